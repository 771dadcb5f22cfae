// A module whose record differs from its host's build in the one field its build names
// (QUENDEL_TEST_WRONG_<FIELD>): the host must refuse it before calling anything in it.
#define QUENDEL_NO_MODULE_RECORD
#include <quendel/provider.h>

#include <cstdlib>

namespace {

constexpr QuendelModuleRecord Stated() {
  QuendelModuleRecord record = QUENDEL_THIS_MODULE_RECORD;
#if defined(QUENDEL_TEST_WRONG_SIZE)
  record.size = 8;  // too small for the fields of version 1
#elif defined(QUENDEL_TEST_WRONG_MAJOR)
  record.interfaceMajor += 1;
#elif defined(QUENDEL_TEST_WRONG_POINTER)
  record.pointerSize = record.pointerSize == 8 ? 4 : 8;
#elif defined(QUENDEL_TEST_WRONG_ABI)
  record.cxxAbi = record.cxxAbi == QUENDEL_CXX_ABI_ITANIUM ? QUENDEL_CXX_ABI_MICROSOFT
                                                           : QUENDEL_CXX_ABI_ITANIUM;
#elif defined(QUENDEL_TEST_WRONG_RUNTIME)
  record.runtime =
      record.runtime == QUENDEL_RUNTIME_LIBCXX ? QUENDEL_RUNTIME_LIBSTDCXX : QUENDEL_RUNTIME_LIBCXX;
#elif defined(QUENDEL_TEST_WRONG_DEBUG)
  record.debug = !record.debug;
#endif
  return record;
}

// A static initialiser: the host must refuse the module before the loader could run it.
[[maybe_unused]] const bool kInitialised = [] {
  std::abort();
  return true;
}();

}  // namespace

QUENDEL_MODULE_DATA const QuendelModuleRecord quendel_module_record = Stated();
QUENDEL_MODULE_DATA const QuendelCanUnloadFunc quendel_can_unload_now =
    &framework::detail::CanUnloadNow;
QUENDEL_PROVIDER_EXPORT void quendel_registry(framework::TWrap<framework::ComponentInfo>**,
                                              std::size_t*) {
  std::abort();  // a host that calls it fails the test
}
