#ifndef QUENDEL_CATALOG_H
#define QUENDEL_CATALOG_H

/// \file
/// The catalog of providers: lists every component that the module files of some folders offer
/// without loading any of them, loads a module when one of its components is first asked for,
/// and lets idle modules go. Header-only, like the rest of the host kit.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "quendel/component_factory.h"
#include "quendel/host.h"
#include "quendel/log_stream.h"

namespace framework::host {

/// One component a catalog lists.
struct CatalogComponent {
  ManifestEntry component;  ///< name, id, version, type and description, from the manifest
  std::string path;         ///< the module file that offers it
  bool chosen = false;      ///< false when another module's offer of the id wins
  std::string text;         ///< for an offer that lost: which one won
};

/// One module file a catalog knows, and where it stands.
struct CatalogModule {
  std::string path;                            ///< the module file
  ModuleState state = ModuleState::kUnloaded;  ///< a refusal, kLoaded, kInUse, ... or kUnloaded
  std::string text;                            ///< its state in words; for a refusal, why
  bool loaded = false;                         ///< true while the catalog holds it loaded
  std::size_t loads = 0;                       ///< how often the catalog has loaded it
};

namespace detail {

// Compares two version texts part by part between the dots: as numbers when both parts are
// digits, else as text; a missing part counts as 0. Negative, zero or positive, as strcmp.
inline int CompareVersions(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    const std::size_t iEnd = std::min(a.find('.', i), a.size());
    const std::size_t jEnd = std::min(b.find('.', j), b.size());
    std::string x = i < a.size() ? a.substr(i, iEnd - i) : "0";
    std::string y = j < b.size() ? b.substr(j, jEnd - j) : "0";
    const auto digits = [](const std::string& part) {
      return !part.empty() &&
             std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (digits(x) && digits(y)) {
      x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
      y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    }
    if (x != y) return x < y ? -1 : 1;
    i = iEnd + 1;
    j = jEnd + 1;
  }
  return 0;
}

}  // namespace detail

/// A catalog of the provider modules in some folders, serving one factory.
///
/// AddFolder reads each file's record and manifest (quendel/module_manifest.h): no module code
/// runs. Files that cannot be loaded, or state no manifest, are listed with their state and
/// text. When two modules offer one id, the higher version wins (CompareVersions: numbers
/// between the dots), then the first path (folders in the order added, files in name order);
/// the losing offer is listed with a text naming the winner, and a loser's module that is
/// loaded for another id never registers it.
///
/// The catalog installs itself as the factory's resolver: CreateComponent of an id that the
/// factory does not know, from the host or from a component of any provider, loads the module
/// that wins the id (reading, checking and loading the file as Module does), registers it
/// (checked against its manifest) and creates the instance. A module that fails to load is
/// reported once as an error line and in Modules(), and its offers leave the choice until
/// AddFolder reads its folder again: another module's offer of one of its ids is then chosen,
/// and an id no other module offers stays unknown. UnloadIdle() forgets the components of every
/// module with nothing alive and unloads it; its next use loads the file again, as it is then
/// on disk. One catalog serves a factory at a time.
///
/// Every member may be called from any thread. A module's loading and unloading are
/// serialised, so threads asking for ids of one module load it once; no catalog lock is held
/// while the factory or a module's code runs, except that module's own.
class Catalog {
 public:
  /// Serves `factory`, which it holds a reference to until it ends.
  explicit Catalog(CTComponentFactory& factory) : factory_(&factory) {
    factory_->AddRef();
    factory_->SetResolver(&Catalog::Resolve, this);
  }
  Catalog(const Catalog&) = delete;
  Catalog& operator=(const Catalog&) = delete;
  /// Uninstalls the resolver (waiting for calls under way), lets idle modules go as
  /// UnloadIdle does and releases the factory. Modules that can then be unloaded are; the
  /// others, whose objects are alive, stay loaded until the process ends.
  ~Catalog() {
    factory_->SetResolver(nullptr, nullptr);
    UnloadIdle();
    factory_->Release();
    factory_ = nullptr;
    for (const auto& slot : slots_) {
      std::lock_guard<std::mutex> lock(slot->mutex);
      if (slot->module != nullptr) slot->module->Unload();
    }
  }

  /// Reads the regular files of `folder` in name order (links to regular files included; a
  /// second name of one file is listed as kAlreadyLoaded). A folder read again is read anew:
  /// files not loaded now are read again, including those that failed, and files gone are
  /// listed as kFileNotFound. False when the folder cannot be read.
  bool AddFolder(const std::string& folder) {
    std::error_code error;
    const std::vector<std::string> files = detail::RegularFilesIn(folder, &error);
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end())
      folders_.push_back(folder);
    if (error) {
      folderErrors_[folder] =
          std::string(ModuleStateText(ModuleState::kFolderUnreadable)) + ": " + error.message();
      return false;
    }
    folderErrors_.erase(folder);
    for (const auto& slot : slots_) {
      if (slot->folder == folder && !slot->loaded &&
          !std::binary_search(files.begin(), files.end(), slot->path)) {
        Forget(*slot, ModuleState::kFileNotFound, ModuleStateText(ModuleState::kFileNotFound));
      }
    }
    for (const std::string& path : files) Read(folder, path);
    Choose();
    return true;
  }

  /// Every component the manifests offer, in the order of their files.
  std::vector<CatalogComponent> Components() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CatalogComponent> components;
    for (const auto& slot : slots_) {
      for (const ManifestEntry& entry : slot->manifest) {
        CatalogComponent listed{entry, slot->path, true, {}};
        const auto winner = chosen_.find(entry.id);
        if (slot->failed) {
          listed.chosen = false;
          listed.text = "its module failed to load: " + slot->text;
        } else if (winner->second != slot.get()) {
          listed.chosen = false;
          listed.text = "offered also by " + winner->second->path + " (version " +
                        VersionIn(*winner->second, entry.id) + "), which is chosen";
        }
        components.push_back(std::move(listed));
      }
    }
    return components;
  }

  /// Every module file, with its state: a refusal, or where a loadable one stands.
  std::vector<CatalogModule> Modules() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<CatalogModule> modules;
    for (const auto& slot : slots_)
      modules.push_back({slot->path, slot->state, slot->text, slot->loaded, slot->loads});
    return modules;
  }

  /// The files that cannot be loaded, and folders that cannot be read, with state and text.
  std::vector<FileOutcome> Refused() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<FileOutcome> refused;
    for (const auto& [folder, text] : folderErrors_)
      refused.push_back({folder, ModuleState::kFolderUnreadable, text});
    for (const auto& slot : slots_) {
      if (IsRefusal(slot->state)) refused.push_back({slot->path, slot->state, slot->text});
    }
    return refused;
  }

  /// Forgets the components of every loaded module with nothing alive, in every factory, and
  /// unloads it; returns how many were unloaded. A module whose objects are alive stays
  /// loaded (kInUse or kHeldByFactory); if its components could be forgotten, its next use
  /// registers them again.
  std::size_t UnloadIdle() {
    std::size_t unloaded = 0;
    for (Slot* slot : Snapshot()) {
      std::lock_guard<std::mutex> own(slot->mutex);
      if (slot->module == nullptr) continue;
      const bool gone = slot->module->Unload(HeldComponents::kForget);
      std::lock_guard<std::mutex> lock(mutex_);
      slot->state = slot->module->State();
      slot->text = slot->module->Text();
      if (gone) {
        slot->module.reset();
        slot->loaded = false;
        ++unloaded;
      }
    }
    return unloaded;
  }

 private:
  struct Slot {
    std::string folder;
    std::string path;
    std::string identity;
    // Guards `module`; held while the module loads, registers or unloads.
    std::mutex mutex;
    std::unique_ptr<Module> module;
    // The rest is guarded by the catalog's mutex.
    std::vector<ManifestEntry> manifest;
    ModuleState state = ModuleState::kUnloaded;
    std::string text;
    bool loaded = false;
    bool failed = false;
    std::size_t loads = 0;
  };

  static bool IsRefusal(ModuleState state) {
    return state != ModuleState::kLoaded && state != ModuleState::kInUse &&
           state != ModuleState::kHeldByFactory && state != ModuleState::kUnloaded;
  }

  static std::string VersionIn(const Slot& slot, const std::string& id) {
    for (const ManifestEntry& entry : slot.manifest)
      if (entry.id == id) return entry.version;
    return {};
  }

  std::vector<Slot*> Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Slot*> slots;
    for (const auto& slot : slots_) slots.push_back(slot.get());
    return slots;
  }

  // With mutex_ held.
  void Forget(Slot& slot, ModuleState state, std::string text) {
    slot.manifest.clear();
    slot.state = state;
    slot.text = std::move(text);
  }

  // With mutex_ held: (re)reads the file at `path` unless its module is loaded.
  void Read(const std::string& folder, const std::string& path) {
    auto found = std::find_if(slots_.begin(), slots_.end(),
                              [&path](const auto& slot) { return slot->path == path; });
    if (found == slots_.end()) {
      slots_.push_back(std::make_unique<Slot>());
      found = std::prev(slots_.end());
      (*found)->folder = folder;
      (*found)->path = path;
    }
    Slot& slot = **found;
    if (slot.loaded) return;
    slot.failed = false;
    std::error_code missing;
    slot.identity = detail::FileIdentity(std::filesystem::canonical(path, missing));
    for (const auto& other : slots_) {
      if (other.get() == &slot || slot.identity.empty() || other->identity != slot.identity ||
          other->state == ModuleState::kAlreadyLoaded)
        continue;
      // The other file may have been replaced or removed since it was read, and its number
      // given to a new file: only what it is now counts.
      other->identity = detail::FileIdentity(std::filesystem::canonical(other->path, missing));
      if (other->identity == slot.identity)
        return Forget(slot, ModuleState::kAlreadyLoaded, "the same file as " + other->path);
    }
    std::string text;
    QuendelModuleRecord record{};
    std::vector<ManifestEntry> manifest;
    bool stated = false;
    ModuleState state =
        detail::CheckModuleFile(detail::ReadModuleFile(path), &text, &record, &manifest, &stated);
    if (state == ModuleState::kLoaded && !stated) {
      state = ModuleState::kNoManifest;
      text = ModuleStateText(state);
    }
    if (state != ModuleState::kLoaded) return Forget(slot, state, text);
    slot.manifest = std::move(manifest);
    slot.state = ModuleState::kUnloaded;
    slot.text = "listed, not loaded";
  }

  // With mutex_ held: decides every id's winner.
  void Choose() {
    std::sort(slots_.begin(), slots_.end(), [this](const auto& a, const auto& b) {
      const std::size_t x = FolderRank(a->folder), y = FolderRank(b->folder);
      return x != y ? x < y : a->path < b->path;
    });
    chosen_.clear();
    for (const auto& slot : slots_) {
      if (slot->failed) continue;  // its offers leave the choice until its folder is read again
      for (const ManifestEntry& entry : slot->manifest) {
        const auto [known, added] = chosen_.emplace(entry.id, slot.get());
        if (!added &&
            detail::CompareVersions(entry.version, VersionIn(*known->second, entry.id)) > 0)
          known->second = slot.get();
      }
    }
  }

  std::size_t FolderRank(const std::string& folder) const {
    return static_cast<std::size_t>(std::find(folders_.begin(), folders_.end(), folder) -
                                    folders_.begin());
  }

  static int Resolve(CTComponentFactory* factory, const char* id, void* context) {
    return static_cast<Catalog*>(context)->Provide(*factory, id, true) ? 0 : -1;
  }

  // Loads and registers the module that wins `id`; true when the factory should look again.
  // `first` for the id asked for, false for the ids its module loses to others.
  bool Provide(CTComponentFactory& factory, const std::string& id, bool first) {
    Slot* slot = nullptr;
    std::vector<std::string> contested;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto found = chosen_.find(id);
      if (found == chosen_.end()) return false;
      slot = found->second;
      for (const ManifestEntry& entry : slot->manifest)
        if (first && chosen_.find(entry.id)->second != slot) contested.push_back(entry.id);
    }
    // The winners of the ids this module loses register first, so that its offers of them
    // are refused as duplicates (one level only: two modules may each win an id of the other).
    for (const std::string& other : contested) Provide(factory, other, false);
    std::lock_guard<std::mutex> own(slot->mutex);
    if (slot->module != nullptr) return RegisterAgain(factory, *slot);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (slot->failed || slot->manifest.empty()) return false;
    }
    auto module = std::make_unique<Module>(slot->path);
    if (!module->Loaded()) return Failed(*slot, id, module->State(), module->Text());
    if (!module->HasManifest()) {
      module->Unload();
      return Failed(*slot, id, ModuleState::kNoManifest, ModuleStateText(ModuleState::kNoManifest));
    }
    if (!module->Register(factory)) {
      const ModuleState state = module->State();
      const std::string text = module->Text();
      module->Unload();  // it registered nothing
      return Failed(*slot, id, state, text);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // What the file says now, which may differ from what AddFolder read.
    slot->manifest = module->Manifest();
    slot->state = module->State();
    slot->text = module->Text();
    slot->loaded = true;
    ++slot->loads;
    slot->module = std::move(module);
    Choose();
    return true;
  }

  // With the slot's mutex held, for an id the factory missed while the module is loaded:
  // another thread registered the module meanwhile (the factories hold all of its components:
  // the factory looks again), or some were forgotten, or refused while another module held
  // the id (registered again).
  static bool RegisterAgain(CTComponentFactory& factory, Slot& slot) {
    const Module& module = *slot.module;
    if (ComponentsRegisteredBy(module.Registry()) >= module.Manifest().size()) return true;
    return module.Register(factory);
  }

  bool Failed(Slot& slot, const std::string& id, ModuleState state, const std::string& text) {
    LogStream(kLogError, "framework::host::Catalog", __LINE__)
        << "cannot load " << slot.path << " for " << id << ": " << text;
    std::lock_guard<std::mutex> lock(mutex_);
    slot.failed = true;
    slot.state = state;
    slot.text = text;
    Choose();
    // Another module's offer of the id, if any, is chosen now: the factory asks again.
    return chosen_.count(id) != 0;
  }

  CTComponentFactory* factory_;
  mutable std::mutex mutex_;
  std::vector<std::string> folders_;
  std::map<std::string, std::string> folderErrors_;
  std::vector<std::unique_ptr<Slot>> slots_;  // in the catalog's order
  std::map<std::string, Slot*> chosen_;       // id, the module that wins it
};

}  // namespace framework::host

#endif  // QUENDEL_CATALOG_H
