#ifndef QUENDEL_HOST_H
#define QUENDEL_HOST_H

/// \file
/// The host kit: reads each provider module's file and checks its record before the loader
/// sees it, loads exactly the file it checked, registers its components with a factory, and
/// unloads it only when no factory holds its components and nothing it made is alive.
/// Header-only: the library itself loads no module.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "quendel/component_factory.h"
#include "quendel/detail/module_file.h"
#include "quendel/detail/module_manifest_read.h"
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
#include <sys/stat.h>
#endif

/// The host kit: loading provider modules once their files are checked, registering their
/// components with a factory, unloading them, and the catalog of them (quendel/catalog.h).
namespace framework::host {

/// Where a module stands. Every state but kLoaded, kInUse, kHeldByFactory and kUnloaded is a
/// refusal: the module was not loaded, and none of its code ran. ModuleStateText() gives each
/// state's text; a Module's Text() may say more (which platform, which versions).
enum class ModuleState {
  kLoaded,              ///< "loaded": checked; its components can be registered
  kInUse,               ///< loaded, and an unload was refused: objects it made are alive
  kUnloaded,            ///< "unloaded"
  kFileNotFound,        ///< "file not found"
  kNotSharedLibrary,    ///< "not a shared library"
  kLoaderError,         ///< the loader's own text (dlerror, FormatMessage)
  kNoRecord,            ///< "not a provider: no module record"
  kNoRegistryFunction,  ///< "not a provider: no registry function"
  kUnreadableRecord,    ///< "unreadable module record"
  kInterfaceMajor,      ///< another interface major
  kPointerSize,         ///< another pointer size
  kCompilerAbi,         ///< another C++ ABI
  kRuntime,             ///< another C++ runtime
  kBuildFlavour,        ///< debug against release, or the reverse
  kNotRegularFile,      ///< a directory, a device, a named pipe, a socket
  kUnreadableFile,      ///< the file could not be read (or is over 1 GiB)
  kWrongPlatform,       ///< another format, word size, byte order or processor
  kDamagedFile,         ///< headers, tables or segments that do not lie inside the file
  kWrongSymbolKind,     ///< a record or "can unload now" that is code, a registry entry that is not
  kAlreadyLoaded,       ///< the same file is loaded by another Module, or listed twice
  kHeldByFactory,       ///< loaded, and an unload was refused: a factory holds its components
  kFolderUnreadable,    ///< LoadDirectory only: the folder could not be read
  kDamagedManifest,     ///< a manifest that is not data, or whose bytes are not well formed
  kManifestMismatch,    ///< Register: the registry entry lists other ids than the manifest
  kNoManifest,          ///< Catalog only: the module states no manifest, so it cannot be listed
};

/// The text of each state.
inline const char* ModuleStateText(ModuleState state) {
  switch (state) {
    case ModuleState::kLoaded:
      return "loaded";
    case ModuleState::kInUse:
      return "in use: objects the module made are still alive";
    case ModuleState::kUnloaded:
      return "unloaded";
    case ModuleState::kFileNotFound:
      return "file not found";
    case ModuleState::kNotSharedLibrary:
      return "not a shared library";
    case ModuleState::kLoaderError:
      return "the loader refused the module";
    case ModuleState::kNoRecord:
      return "not a provider: no module record";
    case ModuleState::kNoRegistryFunction:
      return "not a provider: no registry function";
    case ModuleState::kUnreadableRecord:
      return "unreadable module record";
    case ModuleState::kInterfaceMajor:
      return "built against another interface major";
    case ModuleState::kPointerSize:
      return "built for another pointer size";
    case ModuleState::kCompilerAbi:
      return "built for another C++ ABI";
    case ModuleState::kRuntime:
      return "built against another C++ runtime";
    case ModuleState::kBuildFlavour:
      return "built in another flavour (debug or release)";
    case ModuleState::kNotRegularFile:
      return "not a regular file";
    case ModuleState::kUnreadableFile:
      return "unreadable file";
    case ModuleState::kWrongPlatform:
      return "built for another platform";
    case ModuleState::kDamagedFile:
      return "damaged module file";
    case ModuleState::kWrongSymbolKind:
      return "not a provider: an entry of the wrong kind";
    case ModuleState::kAlreadyLoaded:
      return "already loaded";
    case ModuleState::kHeldByFactory:
      return "in use: a factory still holds its components";
    case ModuleState::kFolderUnreadable:
      return "cannot read the folder";
    case ModuleState::kDamagedManifest:
      return "damaged manifest";
    case ModuleState::kManifestMismatch:
      return "the registry entry does not list the manifest's components";
    case ModuleState::kNoManifest:
      return "not listed: the module has no manifest";
  }
  return "unknown state";
}

/// What Unload() does with the components a factory still holds.
enum class HeldComponents {
  kKeep,    ///< refuse to unload while a factory holds any
  kForget,  ///< ask every factory to forget them first (refused while one is alive)
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

// The refusal for a reader's verdict other than kRead.
inline ModuleState StateOf(ModuleFileVerdict verdict) {
  switch (verdict) {
    case ModuleFileVerdict::kFileNotFound:
      return ModuleState::kFileNotFound;
    case ModuleFileVerdict::kNotRegularFile:
      return ModuleState::kNotRegularFile;
    case ModuleFileVerdict::kUnreadableFile:
    case ModuleFileVerdict::kTooLarge:
      return ModuleState::kUnreadableFile;
    case ModuleFileVerdict::kNotSharedLibrary:
      return ModuleState::kNotSharedLibrary;
    case ModuleFileVerdict::kOtherPlatform:
    case ModuleFileVerdict::kWrongClass:
    case ModuleFileVerdict::kWrongByteOrder:
    case ModuleFileVerdict::kWrongMachine:
      return ModuleState::kWrongPlatform;
    default:
      return ModuleState::kDamagedFile;
  }
}

// The first refusal of what the file says of the three provider entries, or kLoaded.
inline ModuleState CheckEntries(const ModuleFile& file, std::string* text) {
  const auto refuse = [text](ModuleState state, const char* why) {
    *text = why;
    return state;
  };
  if (file.recordSymbol == SymbolKind::kAbsent)
    return refuse(ModuleState::kNoRecord, ModuleStateText(ModuleState::kNoRecord));
  if (file.recordSymbol != SymbolKind::kData)
    return refuse(ModuleState::kWrongSymbolKind, "not a provider: its module record is not data");
  // Version 1's fields are all this host reads; a later record only appends.
  if (file.recordBytes < sizeof(QuendelModuleRecord) ||
      file.record.size < sizeof(QuendelModuleRecord) || file.record.version < 1) {
    return refuse(ModuleState::kUnreadableRecord, ModuleStateText(ModuleState::kUnreadableRecord));
  }
  return ModuleState::kLoaded;
}

inline ModuleState CheckFunctions(const ModuleFile& file, std::string* text) {
  if (file.registrySymbol == SymbolKind::kAbsent || file.canUnloadSymbol == SymbolKind::kAbsent) {
    *text = ModuleStateText(ModuleState::kNoRegistryFunction);
    return ModuleState::kNoRegistryFunction;
  }
  if (file.registrySymbol != SymbolKind::kFunction) {
    *text = "not a provider: its registry entry is not a function";
    return ModuleState::kWrongSymbolKind;
  }
  if (file.canUnloadSymbol != SymbolKind::kData) {
    *text = "not a provider: its \"can unload now\" is not data";
    return ModuleState::kWrongSymbolKind;
  }
  return ModuleState::kLoaded;
}

// Everything the file says, checked in the order Module documents: kLoaded, with the record
// and the manifest (empty when the module states none; `*stated` tells), or the first
// refusal with its text.
inline ModuleState CheckModuleFile(const ModuleFile& file, std::string* text,
                                   QuendelModuleRecord* record,
                                   std::vector<ManifestEntry>* manifest, bool* stated) {
  manifest->clear();
  *stated = false;
  if (file.verdict != ModuleFileVerdict::kRead) {
    *text = file.text;
    return StateOf(file.verdict);
  }
  ModuleState verdict = CheckEntries(file, text);
  if (verdict != ModuleState::kLoaded) return verdict;
  *record = file.record;
  const QuendelModuleRecord ours = QUENDEL_THIS_MODULE_RECORD;
  verdict = Compare(*record, ours, text);
  if (verdict == ModuleState::kLoaded) verdict = CheckFunctions(file, text);
  if (verdict != ModuleState::kLoaded) return verdict;
  if (file.manifestSymbol == SymbolKind::kAbsent) return ModuleState::kLoaded;
  *stated = true;
  if (file.manifestSymbol != SymbolKind::kData) {
    *text = "damaged manifest: it is not data";
    return ModuleState::kDamagedManifest;
  }
  if (!ParseManifest(file.manifest, manifest, text)) return ModuleState::kDamagedManifest;
  return ModuleState::kLoaded;
}

// Who a file is, whatever the path that names it: links and other spellings of one file give
// one identity. Empty when the file cannot be looked at.
inline std::string FileIdentity(const std::filesystem::path& canonical) {
#if defined(_WIN32)
  return canonical.string();
#else
  struct stat status {};
  if (stat(canonical.c_str(), &status) != 0) return {};
  return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
#endif
}

// The files that Modules of this process hold loaded, so that one file is loaded once.
class LoadedFiles {
 public:
  static bool Claim(const std::string& identity) {
    std::lock_guard<std::mutex> lock(Mutex());
    return Identities().insert(identity).second;
  }
  static void Release(const std::string& identity) {
    std::lock_guard<std::mutex> lock(Mutex());
    Identities().erase(identity);
  }

 private:
  // Never destroyed: Modules may end during the process's own teardown.
  static std::mutex& Mutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
  }
  static std::set<std::string>& Identities() {
    static auto* identities = new std::set<std::string>;
    return *identities;
  }
};

// The regular files of `folder` (links to regular files included), in name order; `*error`
// says why the folder could not be read.
inline std::vector<std::string> RegularFilesIn(const std::string& folder, std::error_code* error) {
  std::vector<std::string> files;
  std::filesystem::directory_iterator it(folder, *error);
  for (const std::filesystem::directory_iterator end; !*error && it != end; it.increment(*error)) {
    std::error_code kind;
    if (it->is_regular_file(kind)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
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

/// One provider module. Loading reads the file first and checks, in this order: it is a
/// regular file, a shared library of this platform whose headers, tables and segments lie
/// inside it, it exports a module record (data) whose interface major, pointer size, C++ ABI,
/// C++ runtime and build flavour are this host's, a registry entry (a function) and "can
/// unload now" (data), a well-formed manifest if it states one (quendel/module_manifest.h),
/// and no other Module holds the same file. Only then does the loader see the file, by its
/// canonical path, so the module loaded is the one checked, and no code of a refused module
/// ever runs. Registering checks that the registry entry lists exactly the manifest's ids.
///
/// Unloading asks the library whether a factory still holds components the module
/// registered, then the module whether anything it made is alive: its components
/// (TComponent), the records of its registry helpers and the value holders its code made.
/// While either is so, Unload() refuses and says which, and the destructor keeps the module
/// loaded until the process ends. What the module does not count (buffer release callbacks,
/// components written without TComponent) is the host's to release before unloading.
/// A Module is used from one thread at a time.
class Module {
 public:
  /// Reads and checks the file at `path` and loads it if it passes; State() and Text() say
  /// how that went.
  explicit Module(std::string path) : path_(std::move(path)) { Load(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  /// Takes over `other`'s module; `other` is left holding none, in state kUnloaded.
  Module(Module&& other) noexcept { *this = std::move(other); }
  /// Lets this object's own module go as the destructor does, then takes over `other`'s.
  Module& operator=(Module&& other) noexcept {
    if (this != &other) {
      Drop();
      path_ = std::move(other.path_);
      text_ = std::move(other.text_);
      identity_ = std::move(other.identity_);
      state_ = other.state_;
      record_ = other.record_;
      manifest_ = std::move(other.manifest_);
      hasManifest_ = other.hasManifest_;
      handle_ = std::exchange(other.handle_, nullptr);
      registry_ = std::exchange(other.registry_, nullptr);
      canUnload_ = std::exchange(other.canUnload_, nullptr);
      other.state_ = ModuleState::kUnloaded;
    }
    return *this;
  }
  ~Module() { Drop(); }

  /// Where the module stands.
  ModuleState State() const { return state_; }
  /// What happened, in words ("loaded", "file not found", the loader's text, ...).
  const std::string& Text() const { return text_; }
  /// The path the module was made with.
  const std::string& Path() const { return path_; }
  /// True while the module is loaded.
  bool Loaded() const { return handle_ != nullptr; }
  /// The record as the module states it; all zero when none was read.
  const QuendelModuleRecord& Record() const { return record_; }
  /// The components its manifest lists, as read from the file; empty without one.
  const std::vector<ManifestEntry>& Manifest() const { return manifest_; }
  /// True when the module's file states a manifest.
  bool HasManifest() const { return hasManifest_; }
  /// The module's registry entry; null unless it is loaded.
  ComponentRegistryFunc Registry() const { return registry_; }

  /// Registers the module's components with `factory`. False, with nothing called, unless
  /// the module is loaded. For a module with a manifest, nothing is registered unless its
  /// registry entry lists exactly the manifest's ids: then false, and the module stays loaded
  /// in state kManifestMismatch (it can be unloaded).
  bool Register(CTComponentFactory& factory) const {
    if (!Loaded()) return false;
    if (!hasManifest_) return factory.RegistryComponent(registry_) == 0;
    std::vector<const char*> ids;
    for (const ManifestEntry& entry : manifest_) ids.push_back(entry.id.c_str());
    if (factory.RegistryComponentMatching(registry_, ids.data(), ids.size()) == 0) return true;
    return Refuse(ModuleState::kManifestMismatch);
  }

  /// Another exported function of a loaded module, or null.
  template <typename Function>
  Function Find(const char* name) const {
    return Loaded() ? reinterpret_cast<Function>(detail::Symbol(handle_, name)) : nullptr;
  }

  /// True when the module is loaded, no factory holds its components and none of the objects
  /// it counts is alive.
  bool CanUnload() const {
    return Loaded() && ComponentsRegisteredBy(registry_) == 0 && canUnload_() != 0;
  }

  /// Unloads the module if no factory holds its components (with kForget, every factory is
  /// asked to forget them first) and nothing it made is alive; true once it is unloaded.
  /// Otherwise it stays loaded and usable, in state kHeldByFactory or kInUse, and false is
  /// returned.
  bool Unload(HeldComponents held = HeldComponents::kKeep) {
    if (!Loaded()) return state_ == ModuleState::kUnloaded;
    if (held == HeldComponents::kForget) ForgetComponentsEverywhere(registry_);
    if (ComponentsRegisteredBy(registry_) != 0) return Refuse(ModuleState::kHeldByFactory);
    if (canUnload_() == 0) return Refuse(ModuleState::kInUse);
    Release(ModuleState::kUnloaded, ModuleStateText(ModuleState::kUnloaded));
    return true;
  }

 private:
  void Set(ModuleState state, std::string text) const {
    state_ = state;
    text_ = std::move(text);
  }
  bool Refuse(ModuleState state) const {
    Set(state, ModuleStateText(state));
    return false;
  }
  void Release(ModuleState state, std::string text) {
    detail::Close(std::exchange(handle_, nullptr));
    detail::LoadedFiles::Release(identity_);
    registry_ = nullptr;
    canUnload_ = nullptr;
    Set(state, std::move(text));
  }
  // A module that cannot be unloaded stays loaded until the process ends.
  void Drop() {
    if (CanUnload()) {
      detail::Close(handle_);
      detail::LoadedFiles::Release(identity_);
    }
    handle_ = nullptr;
  }

  void Load() {
    std::string text;
    const ModuleState verdict = detail::CheckModuleFile(detail::ReadModuleFile(path_), &text,
                                                        &record_, &manifest_, &hasManifest_);
    if (verdict != ModuleState::kLoaded) return Set(verdict, text);

    // The loader gets the very file that was read: a name without a slash would send it
    // searching the library path.
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::canonical(path_, error);
    const std::string identity = error ? std::string() : detail::FileIdentity(canonical);
    if (identity.empty())
      return Set(ModuleState::kFileNotFound, ModuleStateText(ModuleState::kFileNotFound));
    if (!detail::LoadedFiles::Claim(identity)) {
      return Set(ModuleState::kAlreadyLoaded, "already loaded by another Module");
    }
    identity_ = identity;
    handle_ = detail::Open(canonical.string());
    if (handle_ == nullptr) {
      detail::LoadedFiles::Release(identity_);
      return Set(ModuleState::kLoaderError, detail::LoaderError());
    }
    registry_ =
        reinterpret_cast<ComponentRegistryFunc>(detail::Symbol(handle_, QUENDEL_REGISTRY_SYMBOL));
    const auto* canUnload = static_cast<const QuendelCanUnloadFunc*>(
        detail::Symbol(handle_, QUENDEL_CAN_UNLOAD_SYMBOL));
    canUnload_ = canUnload != nullptr ? *canUnload : nullptr;
    if (registry_ == nullptr || canUnload_ == nullptr) {
      // The loader disagrees with the file (it was replaced meanwhile): give it back.
      return Release(ModuleState::kNoRegistryFunction,
                     ModuleStateText(ModuleState::kNoRegistryFunction));
    }
    Set(ModuleState::kLoaded, ModuleStateText(ModuleState::kLoaded));
  }

  std::string path_;
  // Mutable: Register, const since it leaves the module as it is, reports a mismatch here.
  mutable std::string text_;
  std::string identity_;
  mutable ModuleState state_ = ModuleState::kUnloaded;
  QuendelModuleRecord record_{};
  std::vector<ManifestEntry> manifest_;
  bool hasManifest_ = false;
  void* handle_ = nullptr;
  ComponentRegistryFunc registry_ = nullptr;
  QuendelCanUnloadFunc canUnload_ = nullptr;
};

/// What loading one file of a folder came to.
struct FileOutcome {
  std::string path;   ///< The file, or the folder that could not be read.
  ModuleState state;  ///< What it came to.
  std::string text;   ///< In words: the Module's Text(), the file it repeats, or the read error.
};

/// Loads every provider module among the regular files of `folder` (links to regular files
/// included), in name order, and returns those it kept; files that are not providers are let
/// go. `outcomes`, when given, receives one entry per file; a file listed again under another
/// name (a link to a file already seen) is reported as kAlreadyLoaded and not loaded again,
/// and a folder that cannot be read as one kFolderUnreadable entry for the folder.
inline std::vector<Module> LoadDirectory(const std::string& folder,
                                         std::vector<FileOutcome>* outcomes = nullptr) {
  const auto report = [outcomes](const std::string& path, ModuleState state, std::string text) {
    if (outcomes != nullptr) outcomes->push_back({path, state, std::move(text)});
  };
  std::error_code error;
  const std::vector<std::string> files = detail::RegularFilesIn(folder, &error);
  if (error) {
    report(folder, ModuleState::kFolderUnreadable,
           std::string(ModuleStateText(ModuleState::kFolderUnreadable)) + ": " + error.message());
    return {};
  }
  std::vector<Module> loaded;
  std::vector<std::pair<std::string, std::string>> seen;  // identity, first path
  for (const std::string& file : files) {
    std::error_code missing;
    const std::string identity = detail::FileIdentity(std::filesystem::canonical(file, missing));
    const auto first = std::find_if(seen.begin(), seen.end(), [&identity](const auto& known) {
      return known.first == identity;
    });
    if (!identity.empty() && first != seen.end()) {
      report(file, ModuleState::kAlreadyLoaded, "the same file as " + first->second);
      continue;
    }
    seen.emplace_back(identity, file);
    Module module(file);
    report(file, module.State(), module.Text());
    if (module.Loaded()) loaded.push_back(std::move(module));
  }
  return loaded;
}

}  // namespace framework::host

#endif  // QUENDEL_HOST_H
