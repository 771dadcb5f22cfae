#ifndef QUENDEL_EXAMPLES_PROVIDER_MODULE_H
#define QUENDEL_EXAMPLES_PROVIDER_MODULE_H

// Loading a provider module is the host's business, not the library's: this is the whole
// platform layer the example needs.
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

class ProviderModule {
 public:
  explicit ProviderModule(const std::string& path) {
#if defined(_WIN32)
    handle_ = LoadLibraryA(path.c_str());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  }
  ProviderModule(const ProviderModule&) = delete;
  ProviderModule& operator=(const ProviderModule&) = delete;
  ~ProviderModule() {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(handle_);
#else
    dlclose(handle_);
#endif
  }

  bool Loaded() const { return handle_ != nullptr; }

  template <typename Function>
  Function Find(const char* name) const {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    // Through void*: FARPROC's own signature would draw a cast-function-type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
#else
    return reinterpret_cast<Function>(dlsym(handle_, name));
#endif
  }

 private:
#if defined(_WIN32)
  HMODULE handle_ = nullptr;
#else
  void* handle_ = nullptr;
#endif
};

#endif  // QUENDEL_EXAMPLES_PROVIDER_MODULE_H
