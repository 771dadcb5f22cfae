#include "support/module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quendel::test {

#if defined(_WIN32)
LoadedModule::LoadedModule(const std::string& path) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (handle_ == nullptr) error_ = "LoadLibrary failed with " + std::to_string(GetLastError());
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

void* LoadedModule::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

std::string ProviderPath(const std::string& name) {
  return std::string(QUENDEL_TEST_PROVIDER_DIR) + "/" + name + ".dll";
}
#else
LoadedModule::LoadedModule(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) error_ = dlerror();
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* LoadedModule::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

std::string ProviderPath(const std::string& name) {
  return std::string(QUENDEL_TEST_PROVIDER_DIR) + "/" + name + ".so";
}
#endif

}  // namespace quendel::test
