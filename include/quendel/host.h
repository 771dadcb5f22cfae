#ifndef QUENDEL_HOST_H
#define QUENDEL_HOST_H

// The host kit: loads provider modules, reads and checks each one's record before calling any
// of its functions, registers its components with a factory, and unloads it only when the
// module says nothing it made is alive. Header-only: the library itself loads no module.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "quendel/component_factory.h"
#include "quendel/module_record.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace framework::host {

// Where a module stands. Every state but the first three is a refusal: the module was not
// kept loaded, and none of its functions was called.
enum class ModuleState {
  kLoaded,              // "loaded": checked; its components can be registered
  kInUse,               // loaded, and an unload was refused: objects it made are alive
  kUnloaded,            // "unloaded"
  kFileNotFound,        // "file not found"
  kNotSharedLibrary,    // "not a shared library"
  kLoaderError,         // the loader's own text (dlerror, FormatMessage)
  kNoRecord,            // "not a provider: no module record"
  kNoRegistryFunction,  // "not a provider: no registry function"
  kUnreadableRecord,    // "unreadable module record"
  kInterfaceMajor,      // another interface major
  kPointerSize,         // another pointer size
  kCompilerAbi,         // another C++ ABI
  kRuntime,             // another C++ runtime
  kBuildFlavour,        // debug against release, or the reverse
};

namespace detail {

inline std::string InterfaceText(std::uint32_t major, std::uint32_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

inline const char* AbiText(std::uint32_t abi) {
  return abi == QUENDEL_CXX_ABI_ITANIUM     ? "the Itanium C++ ABI"
         : abi == QUENDEL_CXX_ABI_MICROSOFT ? "the Microsoft C++ ABI"
                                            : "an unknown C++ ABI";
}

inline const char* RuntimeText(std::uint32_t runtime) {
  switch (runtime) {
    case QUENDEL_RUNTIME_LIBSTDCXX:
      return "libstdc++ (C++11 ABI)";
    case QUENDEL_RUNTIME_LIBSTDCXX_OLD_ABI:
      return "libstdc++ (pre-C++11 ABI)";
    case QUENDEL_RUNTIME_LIBCXX:
      return "libc++";
    case QUENDEL_RUNTIME_MSVC:
      return "the Microsoft C++ library";
    default:
      return "an unknown C++ library";
  }
}

inline const char* FlavourText(std::uint32_t debug) { return debug ? "debug" : "release"; }

// The first refusal of `theirs` by a host built as `ours`, or kLoaded with no text.
inline ModuleState Compare(const QuendelModuleRecord& theirs, const QuendelModuleRecord& ours,
                           std::string* text) {
  if (theirs.interfaceMajor != ours.interfaceMajor) {
    *text = "built against interface " +
            InterfaceText(theirs.interfaceMajor, theirs.interfaceMinor) + ", this host uses " +
            InterfaceText(ours.interfaceMajor, ours.interfaceMinor);
    return ModuleState::kInterfaceMajor;
  }
  if (theirs.pointerSize != ours.pointerSize) {
    *text = "built for " + std::to_string(theirs.pointerSize) + "-byte pointers, this host uses " +
            std::to_string(ours.pointerSize) + "-byte pointers";
    return ModuleState::kPointerSize;
  }
  if (theirs.cxxAbi != ours.cxxAbi) {
    *text = std::string("built for ") + AbiText(theirs.cxxAbi) + ", this host uses " +
            AbiText(ours.cxxAbi);
    return ModuleState::kCompilerAbi;
  }
  if (theirs.runtime != ours.runtime) {
    *text = std::string("built against ") + RuntimeText(theirs.runtime) + ", this host uses " +
            RuntimeText(ours.runtime);
    return ModuleState::kRuntime;
  }
  if (theirs.debug != ours.debug) {
    *text = std::string("a ") + FlavourText(theirs.debug) + " build, this host is a " +
            FlavourText(ours.debug) + " build";
    return ModuleState::kBuildFlavour;
  }
  return ModuleState::kLoaded;
}

// True when the file starts as the platform's shared libraries do (ELF, or PE's "MZ").
inline bool LooksLikeSharedLibrary(const std::filesystem::path& path) {
  char head[4] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(head, sizeof head);
#if defined(_WIN32)
  return file.gcount() >= 2 && head[0] == 'M' && head[1] == 'Z';
#else
  return file.gcount() == 4 && std::memcmp(head,
                                           "\x7f"
                                           "ELF",
                                           4) == 0;
#endif
}

#if defined(_WIN32)
inline void* Open(const std::string& path) { return LoadLibraryA(path.c_str()); }
inline void Close(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
inline void* Symbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
inline std::string LoaderError() {
  const DWORD code = GetLastError();
  char text[512] = {};
  const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, size);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "LoadLibrary failed with error " + std::to_string(code) : message;
}
#else
inline void* Open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
inline void Close(void* handle) { dlclose(handle); }
inline void* Symbol(void* handle, const char* name) { return dlsym(handle, name); }
inline std::string LoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "dlopen failed";
}
#endif

}  // namespace detail

// One provider module. Loading checks, in this order: the file exists and is a shared
// library, the loader takes it, it exports a module record whose interface major, pointer
// size, C++ ABI, C++ runtime and build flavour are this host's, and it exports a registry
// function. Only then is it kept; nothing of it has been called so far (its static
// initialisers have run, as loading runs them).
//
// Unloading asks the module whether anything it made through the helpers is alive: its
// components (TComponent) and its descriptions while a factory holds them. While something
// is, Unload() refuses and says so, and the destructor keeps the module loaded until the
// process ends. Objects the helpers do not count (value holders, buffer release callbacks,
// components written without TComponent) are the host's to release before unloading.
// A Module is used from one thread at a time.
class Module {
 public:
  explicit Module(std::string path) : path_(std::move(path)) { Load(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  Module(Module&& other) noexcept { *this = std::move(other); }
  Module& operator=(Module&& other) noexcept {
    if (this != &other) {
      Drop();
      path_ = std::move(other.path_);
      text_ = std::move(other.text_);
      state_ = other.state_;
      record_ = other.record_;
      handle_ = std::exchange(other.handle_, nullptr);
      registry_ = std::exchange(other.registry_, nullptr);
      canUnload_ = std::exchange(other.canUnload_, nullptr);
      other.state_ = ModuleState::kUnloaded;
    }
    return *this;
  }
  ~Module() { Drop(); }

  ModuleState State() const { return state_; }
  // What happened, in words ("loaded", "file not found", the loader's text, ...).
  const std::string& Text() const { return text_; }
  const std::string& Path() const { return path_; }
  bool Loaded() const { return handle_ != nullptr; }
  // The record as the module states it; all zero when none was read.
  const QuendelModuleRecord& Record() const { return record_; }

  // Registers the module's components with `factory`. False, with nothing called, unless
  // the module is loaded.
  bool Register(CTComponentFactory& factory) const {
    if (!Loaded()) return false;
    return factory.RegistryComponent(registry_) == 0;
  }

  // Another exported function of a loaded module, or null.
  template <typename Function>
  Function Find(const char* name) const {
    return Loaded() ? reinterpret_cast<Function>(detail::Symbol(handle_, name)) : nullptr;
  }

  // True when the module is loaded and none of the objects it counts is alive.
  bool CanUnload() const { return Loaded() && canUnload_() != 0; }

  // Unloads the module if nothing it made is alive; true once it is unloaded. Otherwise it
  // stays loaded and usable, in state kInUse, and false is returned.
  bool Unload() {
    if (!Loaded()) return state_ == ModuleState::kUnloaded;
    if (!CanUnload()) {
      Set(ModuleState::kInUse, "in use: objects the module made are still alive");
      return false;
    }
    Release(ModuleState::kUnloaded, "unloaded");
    return true;
  }

 private:
  void Set(ModuleState state, std::string text) {
    state_ = state;
    text_ = std::move(text);
  }
  void Release(ModuleState state, std::string text) {
    detail::Close(std::exchange(handle_, nullptr));
    registry_ = nullptr;
    canUnload_ = nullptr;
    Set(state, std::move(text));
  }
  // A module that cannot be unloaded stays loaded until the process ends.
  void Drop() {
    if (Loaded() && CanUnload()) detail::Close(handle_);
    handle_ = nullptr;
  }

  void Load() {
    std::error_code error;
    const std::filesystem::path file(path_);
    if (!std::filesystem::is_regular_file(file, error)) {
      return Set(ModuleState::kFileNotFound, "file not found");
    }
    if (!detail::LooksLikeSharedLibrary(file)) {
      return Set(ModuleState::kNotSharedLibrary, "not a shared library");
    }
    handle_ = detail::Open(path_);
    if (handle_ == nullptr) return Set(ModuleState::kLoaderError, detail::LoaderError());

    const auto* record = static_cast<const QuendelModuleRecord*>(
        detail::Symbol(handle_, QUENDEL_MODULE_RECORD_SYMBOL));
    if (record == nullptr)
      return Release(ModuleState::kNoRecord, "not a provider: no module record");
    // Version 1's fields are all this host reads; a later record only appends.
    const std::uint32_t size = record->size;
    if (size < sizeof(QuendelModuleRecord) || record->version < 1) {
      return Release(ModuleState::kUnreadableRecord, "unreadable module record");
    }
    std::memcpy(&record_, record, sizeof record_);
    const QuendelModuleRecord ours = QUENDEL_THIS_MODULE_RECORD;
    std::string text;
    const ModuleState verdict = detail::Compare(record_, ours, &text);
    if (verdict != ModuleState::kLoaded) return Release(verdict, text);

    registry_ =
        reinterpret_cast<ComponentRegistryFunc>(detail::Symbol(handle_, QUENDEL_REGISTRY_SYMBOL));
    const auto* canUnload = static_cast<const QuendelCanUnloadFunc*>(
        detail::Symbol(handle_, QUENDEL_CAN_UNLOAD_SYMBOL));
    canUnload_ = canUnload != nullptr ? *canUnload : nullptr;
    if (registry_ == nullptr || canUnload_ == nullptr) {
      return Release(ModuleState::kNoRegistryFunction, "not a provider: no registry function");
    }
    Set(ModuleState::kLoaded, "loaded");
  }

  std::string path_;
  std::string text_;
  ModuleState state_ = ModuleState::kUnloaded;
  QuendelModuleRecord record_{};
  void* handle_ = nullptr;
  ComponentRegistryFunc registry_ = nullptr;
  QuendelCanUnloadFunc canUnload_ = nullptr;
};

// What loading one file of a folder came to.
struct FileOutcome {
  std::string path;
  ModuleState state;
  std::string text;
};

// Loads every provider module among the regular files of `folder`, in name order, and
// returns those it kept; files that are not providers are let go. `outcomes`, when given,
// receives one entry per file. A folder that cannot be read yields nothing.
inline std::vector<Module> LoadDirectory(const std::string& folder,
                                         std::vector<FileOutcome>* outcomes = nullptr) {
  std::vector<std::string> files;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  std::vector<Module> loaded;
  for (const std::string& file : files) {
    Module module(file);
    if (outcomes != nullptr) outcomes->push_back({file, module.State(), module.Text()});
    if (module.Loaded()) loaded.push_back(std::move(module));
  }
  return loaded;
}

}  // namespace framework::host

#endif  // QUENDEL_HOST_H
