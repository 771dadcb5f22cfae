# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (posix thread model, so
# std::thread and std::mutex work). Tests and the example host run under Wine:
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# .ci/windows does that, prepares a Wine prefix and runs CTest through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUENDEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUENDEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUENDEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUENDEL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${QUENDEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The MinGW runtime (libgcc, libstdc++, winpthread) is linked into every program and DLL, so
# nothing needs the compiler's runtime DLLs beside it. Each module then has its own copy of
# the C++ runtime; that is safe here because objects crossing a module boundary are deleted
# through their own virtual destructors, every module's allocation ends in the one msvcrt
# heap, and exceptions unwind through SEH tables and are matched by type name.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# CTest runs the cross-built programs through Wine.
find_program(QUENDEL_WINE wine)
if(QUENDEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENDEL_WINE})
endif()
