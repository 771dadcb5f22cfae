# Writes and installs quendel_framework.pc. The prefix is found from the file's own place
# (${pcfiledir}), so the file stays right when the tree is installed with
# `cmake --install --prefix` elsewhere than configured, or moved afterwards.
set(QUENDEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(IS_ABSOLUTE "${QUENDEL_PC_DIR}")
  set(QUENDEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH QUENDEL_PC_UP "/${QUENDEL_PC_DIR}" "/")
  string(REGEX REPLACE "/$" "" QUENDEL_PC_UP "${QUENDEL_PC_UP}")
  set(QUENDEL_PC_PREFIX "\${pcfiledir}/${QUENDEL_PC_UP}")
endif()

foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(QUENDEL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(QUENDEL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/quendel_framework.pc.in
               ${PROJECT_BINARY_DIR}/quendel_framework.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quendel_framework.pc DESTINATION ${QUENDEL_PC_DIR})
