// The catalog against a model of its contract, over copies of the catalog's test modules in two
// folders; then what the model leaves out: a module that contradicts its manifest, one without
// a manifest, the factory's resolver on its own, and two threads asking for one module at once.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <quendel/catalog.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/property.h"
#include "support/scratch_folder.h"

namespace {

namespace qt = quendel::test;
using framework::host::Catalog;
using Part = framework::TRef<paired::ICounter>;
using Held = std::map<std::string, std::vector<Part>>;

// What a file may hold, and what each offers: id, version, and the version's rank.
enum Build { kNone, kOne, kTwo, kHand };
const char* const kModules[] = {"", "catalog_one", "catalog_two", "hand_provider"};
struct Offer {
  std::string id, version;
  int rank;
};
const std::vector<Offer> kOffers[] = {{},
                                      {{"catalog.a", "1.10", 10}, {"catalog.b", "1.0", 0}},
                                      {{"catalog.a", "1.9", 9}, {"catalog.c", "1.0", 0}},
                                      {}};
const char* const kIds[] = {"catalog.a", "catalog.b", "catalog.c"};

// Files z/0, z/1, a/0 and a/1: what is on disk, what the catalog lists (once the file's folder
// was read while it existed), what its module was loaded from.
struct File {
  std::string path;
  Build disk = kNone, listed = kNone, built = kNone;
  bool loaded = false;
  bool failed = false;  // its load failed since its folder was last read: out of the choice
  std::size_t loads = 0;
};

struct Model {
  File files[4];
  std::vector<int> folders;               // in the order first read
  std::map<std::string, int> registered;  // id, the file whose module registered it

  std::vector<int> Order() const {
    std::vector<int> order;
    for (int folder : folders)
      for (int f = 2 * folder; f < 2 * folder + 2; ++f)
        if (files[f].listed != kNone) order.push_back(f);
    return order;
  }
  // The file whose offer of `id` is chosen: the highest version, then the first file; or -1.
  int Winner(const std::string& id, std::string* version = nullptr) const {
    int winner = -1, rank = -1;
    for (int f : Order()) {
      for (const Offer& offer : kOffers[files[f].listed]) {
        if (files[f].failed || offer.id != id || offer.rank <= rank) continue;
        winner = f;
        rank = offer.rank;
        if (version != nullptr) *version = offer.version;
      }
    }
    return winner;
  }
  // Loads the module of `f` unless it is loaded, from the file as it is now, and registers it.
  void Load(int f) {
    File& file = files[f];
    // A module without a manifest fails; its listing stays, out of the choice.
    if (!file.loaded && file.disk == kHand) file.failed = true;
    if (file.failed) return;
    if (!file.loaded) ++file.loads;
    if (!file.loaded) file.listed = file.built = file.disk;
    file.loaded = true;
    for (const Offer& offer : kOffers[file.built]) registered.emplace(offer.id, f);
  }
  // CreateComponent: the file whose module makes `id`, or -1. The resolver, asked twice at
  // most, loads the winners of the ids that the winner of `id` loses before it.
  int Create(const std::string& id) {
    for (int asked = 0; asked <= 2; ++asked) {
      if (registered.count(id)) return registered[id];
      const int f = Winner(id);
      if (f < 0 || asked == 2) return -1;
      for (const Offer& offer : kOffers[files[f].listed])
        if (Winner(offer.id) != f) Load(Winner(offer.id));
      Load(f);
    }
    return -1;
  }
  std::size_t UnloadIdle(Held& held) {
    std::size_t unloaded = 0;
    for (int f = 0; f < 4; ++f) {
      bool alive = false;
      for (const auto& [id, by] : registered) alive |= by == f && !held[id].empty();
      if (!files[f].loaded || alive) continue;
      for (auto it = registered.begin(); it != registered.end();)
        it = it->second == f ? registered.erase(it) : std::next(it);
      files[f].loaded = false;
      ++unloaded;
    }
    return unloaded;
  }
  void Read(int folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
    for (File* file : {&files[2 * folder], &files[2 * folder + 1]})
      if (!file->loaded) file->listed = file->disk;
    for (File* file : {&files[2 * folder], &files[2 * folder + 1]}) file->failed = false;
  }
};

// Modules() and Components() as one text each, and which files are mapped.
void CheckListing(const Model& model, const Catalog& catalog) {
  std::string modules, components, expectedModules, expectedComponents;
  const auto row = [](auto... fields) { return ((std::string(fields) + " ") + ... + "\n"); };
  for (const auto& m : catalog.Modules())
    modules += row(m.path, std::to_string(m.loaded), std::to_string(m.loads));
  for (const auto& c : catalog.Components())
    components +=
        row(c.path, c.component.id, c.component.version, std::to_string(c.chosen), c.text);
  for (int f : model.Order()) {
    const File& file = model.files[f];
    expectedModules += row(file.path, std::to_string(file.loaded), std::to_string(file.loads));
    for (const Offer& offer : kOffers[file.listed]) {
      std::string version;
      const int winner = model.Winner(offer.id, &version);
      std::string text;
      if (file.failed)
        text = "its module failed to load: not listed: the module has no manifest";
      else if (winner != f)
        text = "offered also by " + model.files[winner].path + " (version " + version +
               "), which is chosen";
      expectedComponents +=
          row(file.path, offer.id, offer.version, std::to_string(winner == f), text);
    }
  }
  MODEL_CHECK_MSG(modules == expectedModules, modules);
  MODEL_CHECK_MSG(components == expectedComponents, components);
  for (const File& file : model.files)
    MODEL_CHECK_MSG(qt::Mapped(file.path) == file.loaded, file.path);
}

// Creating (and holding) and releasing components, unloading idle modules, replacing a file
// with another module, reading a folder; every answer and listing as the model says.
void Sequence(qt::Bytes& input) {
  const qt::LogCapture log;
  qt::ScratchFolder scratch;
  const std::string folders[] = {"z", "a"};
  Model model;
  for (int f = 0; f < 4; ++f) {
    std::filesystem::create_directories(scratch.path / folders[f / 2]);
    model.files[f].path = (scratch.path / folders[f / 2] / std::to_string(f % 2)).string();
    model.files[f].disk = static_cast<Build>(input.Below(4));
    if (model.files[f].disk != kNone)
      scratch.Put(kModules[model.files[f].disk], model.files[f].path);
  }
  auto factory = framework::CreateFactoryRef();
  Catalog catalog(*factory);
  Held held;
  while (input.More()) {
    const std::uint32_t operation = input.Below(8);
    const std::string id = kIds[input.Below(3)];
    if (operation < 3) {
      const int f = model.Create(id);
      Part part = framework::CreateRef<paired::ICounter>(factory, id.c_str());
      MODEL_CHECK_MSG((part != nullptr) == (f >= 0), id);
      if (f < 0) continue;
      Dl_info where{};  // the module whose code made it
      MODEL_CHECK(dladdr(*reinterpret_cast<void**>(part.Get()), &where) != 0);
      MODEL_CHECK_MSG(where.dli_fname == model.files[f].path, id);
      held[id].push_back(std::move(part));
    } else if (operation == 3 && !held[id].empty()) {
      held[id].pop_back();
    } else if (operation == 4) {
      MODEL_CHECK(catalog.UnloadIdle() == model.UnloadIdle(held));
    } else if (operation == 5) {
      File& file = model.files[input.Below(4)];
      file.disk = static_cast<Build>(1 + input.Below(3));
      scratch.Put(kModules[file.disk], file.path);
    } else if (operation > 5) {
      const int folder = static_cast<int>(input.Below(2));
      MODEL_CHECK(catalog.AddFolder((scratch.path / folders[folder]).string()));
      model.Read(folder);
    }
    CheckListing(model, catalog);
  }
  held.clear();
  MODEL_CHECK(catalog.UnloadIdle() == model.UnloadIdle(held));
  CheckListing(model, catalog);
}

// Loading modules is slow: fewer sequences than the other models run.
TEST(CatalogTest, RandomSequencesMatchTheModel) { qt::RunSeeds(Sequence, 100, 256); }

// A module whose registry entry lists other ids than its manifest registers nothing and is
// unloaded, reported once per reading of its folder; one without a manifest is not listed.
TEST(CatalogTest, AModuleThatContradictsItsManifestIsRefusedAndUnloaded) {
  qt::LogCapture log;
  qt::ScratchFolder scratch;
  const std::string folder = scratch.path.string();
  scratch.Put("catalog_mismatch", "m");
  scratch.Put("hand_provider", "h");
  auto factory = framework::CreateFactoryRef();
  Catalog catalog(*factory);
  for (int read = 0; read < 2; ++read) {
    ASSERT_TRUE(catalog.AddFolder(folder));
    log.Clear();
    EXPECT_EQ(framework::CreateRef<paired::ICounter>(factory, "catalog.m"), nullptr);
    EXPECT_EQ(framework::CreateRef<paired::ICounter>(factory, "catalog.m"), nullptr);
    const std::vector<std::string> texts = log.Texts();
    ASSERT_EQ(texts.size(), 4u);  // then "not found" twice
    EXPECT_EQ(texts[0], qt::Tagged(qt::kRegistry, 151,
                                   "the components listed are not the manifest's, none "
                                   "registered. id:catalog.a"));
    EXPECT_EQ(texts[1].substr(texts[1].find("]: ") + 3),
              "cannot load " + folder +
                  "/m for catalog.m: the registry entry does not list the manifest's components");
    EXPECT_EQ(catalog.Modules()[1].state, framework::host::ModuleState::kManifestMismatch);
    // Its refused records, counted among its objects, are gone.
    EXPECT_FALSE(qt::Mapped(folder + "/m"));
  }
  EXPECT_EQ(catalog.Refused()[0].path, folder + "/h");
  EXPECT_EQ(catalog.Refused()[0].text, "not listed: the module has no manifest");
}

// A resolver's throw reaches the caller of CreateComponent and ends its call; a resolver cannot
// install another, which would wait for the call it is in.
TEST(ResolverTest, AThrowReachesTheCallerAndAResolverCannotReplaceItself) {
  const qt::LogCapture log;
  auto factory = framework::CreateFactoryRef();
  const auto throws = [](framework::CTComponentFactory*, const char*, void*) -> int {
    throw std::runtime_error("from the resolver");
  };
  ASSERT_EQ(factory->SetResolver(throws, nullptr), 0);
  void* object = nullptr;
  EXPECT_THROW(factory->CreateComponent("catalog.a", &object), std::runtime_error);
  int inside = 0;
  const auto replaces = [](framework::CTComponentFactory* factory, const char*, void* context) {
    *static_cast<int*>(context) = factory->SetResolver(nullptr, nullptr);
    return -1;
  };
  ASSERT_EQ(factory->SetResolver(replaces, &inside), 0);
  EXPECT_EQ(factory->CreateComponent("catalog.a", &object), -1);
  EXPECT_EQ(inside, -1);
  EXPECT_EQ(factory->SetResolver(nullptr, nullptr), 0);
}

// Two threads asking at once for two ids of a module that is not loaded load it once.
TEST(CatalogTest, ThreadsAskingForOneModuleAtOnceLoadItOnce) {
  const qt::LogCapture log;
  qt::ScratchFolder scratch;
  scratch.Put("catalog_one", "one");
  auto factory = framework::CreateFactoryRef();
  Catalog catalog(*factory);
  ASSERT_TRUE(catalog.AddFolder(scratch.path.string()));
  for (std::size_t round = 1; round <= 20; ++round) {
    std::atomic<int> waiting{2};
    std::vector<Part> parts(2);
    const auto ask = [&](int i) {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      parts[i] = framework::CreateRef<paired::ICounter>(factory, kIds[i]);
    };
    std::thread first(ask, 0), second(ask, 1);
    first.join();
    second.join();
    EXPECT_TRUE(parts[0] != nullptr && parts[1] != nullptr);
    EXPECT_EQ(catalog.Modules()[0].loads, round);
    parts.clear();
    EXPECT_EQ(catalog.UnloadIdle(), 1u);
  }
}

}  // namespace
