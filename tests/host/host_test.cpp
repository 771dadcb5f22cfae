// The host kit against real modules: each refusal with its state and text, decided before
// any code of the module runs; unloading only once no factory holds its components and
// nothing it made is alive; one file loaded once; a folder where only the providers are kept.
#include <gtest/gtest.h>
#include <quendel/framework.h>
#include <quendel/host.h>

#include <filesystem>
#include <set>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/module_loader.h"
#include "support/scratch_folder.h"

using framework::host::HeldComponents;
using framework::host::Module;
using framework::host::ModuleState;
namespace fs = std::filesystem;
namespace qt = quendel::test;

namespace {

// This host: interface 1.x, 8-byte pointers, the Itanium ABI, libstdc++, a release build.
// Each refused provider states one of these otherwise (record_provider.cpp).
TEST(HostKitTest, EachModuleIsKeptOrRefusedWithItsReason) {
  if (QUENDEL_THIS_RUNTIME != QUENDEL_RUNTIME_LIBSTDCXX || sizeof(void*) != 8 || QUENDEL_THIS_DEBUG)
    GTEST_SKIP() << "the texts below are those of a 64-bit libstdc++ release host";
  const std::string major = std::to_string(QUENDEL_INTERFACE_MAJOR),
                    minor = "." + std::to_string(QUENDEL_INTERFACE_MINOR);
  const struct {
    const char* module;
    ModuleState state;
    std::string text;
  } cases[] = {
      {"absent", ModuleState::kFileNotFound, "file not found"},
      {"not_a_library", ModuleState::kNotSharedLibrary, "not a shared library"},
      {"broken_library", ModuleState::kDamagedFile, ""},  // what lies outside the file
      {"plain_library", ModuleState::kNoRecord, "not a provider: no module record"},
      {"size_provider", ModuleState::kUnreadableRecord, "unreadable module record"},
      {"values_provider", ModuleState::kNoRegistryFunction, "not a provider: no registry function"},
      {"major_provider", ModuleState::kInterfaceMajor,
       "built against interface " + std::to_string(QUENDEL_INTERFACE_MAJOR + 1) + minor +
           ", this host uses " + major + minor},
      {"pointer_provider", ModuleState::kPointerSize,
       "built for 4-byte pointers, this host uses 8-byte pointers"},
      {"abi_provider", ModuleState::kCompilerAbi,
       "built for the Microsoft C++ ABI, this host uses the Itanium C++ ABI"},
      {"runtime_provider", ModuleState::kRuntime,
       "built against libc++, this host uses libstdc++ (C++11 ABI)"},
      {"debug_provider", ModuleState::kBuildFlavour, "a debug build, this host is a release build"},
      {"wrong_kind_provider", ModuleState::kWrongSymbolKind,
       "not a provider: its module record is not data"},
      {"test_providers", ModuleState::kLoaded, "loaded"},
  };
  for (const auto& expected : cases) {
    const Module module(qt::ProviderFile(expected.module));
    EXPECT_EQ(module.State(), expected.state) << expected.module << ": " << module.Text();
    EXPECT_TRUE(module.Text() == expected.text || (expected.text.empty() && !module.Text().empty()))
        << expected.module << ": " << module.Text();
    EXPECT_EQ(module.Loaded(), expected.state == ModuleState::kLoaded) << expected.module;
  }
}

TEST(HostKitTest, UnloadsOnlyOnceNoFactoryHoldsItsComponentsAndNothingItMadeIsAlive) {
  qt::LogCapture log;
  for (const char* provider : {"test_providers", "hand_provider"}) {
    Module module(qt::ProviderFile(provider));
    ASSERT_TRUE(module.Loaded()) << module.Text();
    EXPECT_EQ(module.Record().interfaceMajor, QUENDEL_INTERFACE_MAJOR);
    auto factory = framework::CreateFactoryRef();
    ASSERT_TRUE(module.Register(*factory));
    auto counter = framework::CreateRef<paired::ICounter>(factory);
    ASSERT_TRUE(counter);
    EXPECT_FALSE(module.Unload(HeldComponents::kForget));  // an instance is alive
    EXPECT_EQ(module.State(), ModuleState::kHeldByFactory);
    EXPECT_EQ(module.Text(), "in use: a factory still holds its components");
    counter = nullptr;
    EXPECT_FALSE(module.Unload());
    EXPECT_EQ(module.State(), ModuleState::kHeldByFactory) << provider;
    framework::XValue value;
    module.Find<void (*)(framework::XValue*)>("MakeValue")(&value);
    EXPECT_FALSE(module.Unload(HeldComponents::kForget));  // the factory forgot; a value is held
    EXPECT_EQ(module.State(), ModuleState::kInUse);
    EXPECT_EQ(module.Text(), "in use: objects the module made are still alive");
    void* none = nullptr;
    EXPECT_EQ(factory->CreateComponent("paired.counter", &none), -1);
    value = framework::XValue();
    EXPECT_TRUE(module.Unload());
    EXPECT_EQ(module.State(), ModuleState::kUnloaded);
    EXPECT_EQ(module.Text(), "unloaded");
    EXPECT_FALSE(qt::Mapped(qt::ProviderFile(provider))) << provider;
    EXPECT_FALSE(module.Register(*factory));
  }
}

// A module that cannot be unloaded yet stays loaded, and another Module of its file, under
// any name, is refused.
TEST(HostKitTest, OneFileIsLoadedOnceAndTheMovedModuleKeepsIt) {
  qt::ScratchFolder folder;
  const std::string file = folder.Put("test_providers", "copy.so");
  std::error_code noLinks;  // Windows may refuse links: then the same name again
  fs::create_symlink(file, folder.path / "link.so", noLinks);
  Module first(file);
  ASSERT_TRUE(first.Loaded()) << first.Text();
  const Module second(noLinks ? file : (folder.path / "link.so").string());
  EXPECT_EQ(second.State(), ModuleState::kAlreadyLoaded);
  Module moved(std::move(first));
  EXPECT_FALSE(first.Loaded());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.Path(), file);
  EXPECT_EQ(moved.Text(), "loaded");
  first = std::move(moved);
  EXPECT_EQ(first.Path(), file);
  EXPECT_EQ(first.Text(), "loaded");
  EXPECT_EQ(first.Record().interfaceMajor, QUENDEL_INTERFACE_MAJOR);
  ASSERT_TRUE(first.Loaded());
#if !defined(_WIN32)
  // The loader took the checked file, not one it found by searching.
  Dl_info where{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(first.Find<void (*)()>("MakeValue")), &where), 0);
  EXPECT_EQ(fs::canonical(where.dli_fname), fs::canonical(file));
#endif
  EXPECT_TRUE(first.Unload());
  EXPECT_FALSE(qt::Mapped(file));
  if (noLinks) return;
  std::vector<framework::host::FileOutcome> outcomes;
  const std::vector<Module> kept = framework::host::LoadDirectory(folder.path.string(), &outcomes);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_EQ(outcomes[1].state, ModuleState::kAlreadyLoaded);
  EXPECT_EQ(outcomes[1].text, "the same file as " + file);
}

TEST(HostKitTest, EveryStateHasItsOwnTextAndAMissingFolderIsReported) {
  std::set<std::string> texts;
  const int last = static_cast<int>(ModuleState::kNoManifest);
  for (int state = 0; state <= last; ++state) {
    texts.insert(framework::host::ModuleStateText(static_cast<ModuleState>(state)));
  }
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(last + 1));
  std::vector<framework::host::FileOutcome> outcomes;
  EXPECT_TRUE(framework::host::LoadDirectory("/no/such/folder", &outcomes).empty());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].state, ModuleState::kFolderUnreadable);
  EXPECT_EQ(outcomes[0].text.rfind("cannot read the folder: ", 0), 0u) << outcomes[0].text;
}

TEST(HostKitTest, AFolderKeepsExactlyItsProviders) {
  std::vector<framework::host::FileOutcome> outcomes;
  const std::vector<Module> kept = framework::host::LoadDirectory(qt::ProviderDir(), &outcomes);
  std::vector<std::string> names;
  for (const Module& module : kept) names.push_back(fs::path(module.Path()).stem().string());
  EXPECT_EQ(names, (std::vector<std::string>{"catalog_mismatch", "catalog_one", "catalog_two",
                                             "hand_provider", "test_providers"}));
  std::size_t files = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(qt::ProviderDir()))
    files += entry.is_regular_file();
  for (const auto& outcome : outcomes) refused += outcome.state != ModuleState::kLoaded;
  EXPECT_EQ(outcomes.size(), files);
  EXPECT_EQ(refused, files - kept.size());
}

}  // namespace
