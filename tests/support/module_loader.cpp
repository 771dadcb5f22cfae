#include "support/module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#define QUENDEL_OPEN(path) reinterpret_cast<void*>(LoadLibraryA(path))
#define QUENDEL_CLOSE(handle) FreeLibrary(reinterpret_cast<HMODULE>(handle))
#define QUENDEL_SYMBOL(handle, name) \
  reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name))
#define QUENDEL_ERROR() ("LoadLibrary failed with " + std::to_string(GetLastError()))
#define QUENDEL_SUFFIX ".dll"
#else
#include <dlfcn.h>
#define QUENDEL_OPEN(path) dlopen(path, RTLD_NOW | RTLD_LOCAL)
#define QUENDEL_CLOSE(handle) dlclose(handle)
#define QUENDEL_SYMBOL(handle, name) dlsym(handle, name)
#define QUENDEL_ERROR() std::string(dlerror())
#define QUENDEL_SUFFIX ".so"
#endif

namespace quendel::test {

std::string ProviderDir() { return QUENDEL_TEST_PROVIDER_DIR; }
std::string ProviderFile(const std::string& name) {
  return ProviderDir() + "/" + name + QUENDEL_SUFFIX;
}

LoadedModule::LoadedModule(const std::string& name)
    : handle_(QUENDEL_OPEN(ProviderFile(name).c_str())) {
  if (handle_ == nullptr) error_ = QUENDEL_ERROR();
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) QUENDEL_CLOSE(handle_);
}

void* LoadedModule::Symbol(const char* name) const {
  return handle_ != nullptr ? QUENDEL_SYMBOL(handle_, name) : nullptr;
}

}  // namespace quendel::test
