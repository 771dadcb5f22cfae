// The host kit against real modules: each refusal with its state and text, unloading only once
// nothing the provider made is alive, and a folder where only the providers are kept.
#include <gtest/gtest.h>
#include <quendel/framework.h>
#include <quendel/host.h>

#include <filesystem>

#include "components/providers.h"
#include "support/log_capture.h"
#include "support/module_loader.h"

using framework::host::Module;
using framework::host::ModuleState;
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
      {"broken_library", ModuleState::kLoaderError, ""},  // the loader's own text
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

TEST(HostKitTest, UnloadsOnlyOnceNoInstanceOrHeldDescriptionIsAlive) {
  qt::LogCapture log;
  Module module(qt::ProviderFile("test_providers"));
  ASSERT_TRUE(module.Loaded()) << module.Text();
  EXPECT_EQ(module.Record().interfaceMajor, QUENDEL_INTERFACE_MAJOR);
  {
    auto factory = framework::CreateFactoryRef();
    ASSERT_TRUE(module.Register(*factory));
    auto counter = framework::CreateRef<paired::ICounter>(factory);
    ASSERT_TRUE(counter);
    EXPECT_FALSE(module.Unload());
    EXPECT_EQ(module.State(), ModuleState::kInUse);
    EXPECT_EQ(module.Text(), "in use: objects the module made are still alive");
    counter = nullptr;
    EXPECT_FALSE(module.Unload());  // the factory holds the module's description
    EXPECT_TRUE(module.Loaded());
  }
  EXPECT_TRUE(module.Unload());
  EXPECT_EQ(module.State(), ModuleState::kUnloaded);
  EXPECT_EQ(module.Text(), "unloaded");
#if defined(_WIN32)  // and the loader no longer has it
  EXPECT_EQ(GetModuleHandleA("test_providers.dll"), nullptr);
#else
  EXPECT_EQ(dlopen(qt::ProviderFile("test_providers").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
#endif
  auto factory = framework::CreateFactoryRef();
  EXPECT_FALSE(module.Register(*factory));
}

TEST(HostKitTest, AFolderKeepsExactlyItsProviders) {
  std::vector<framework::host::FileOutcome> outcomes;
  const std::vector<Module> kept = framework::host::LoadDirectory(qt::ProviderDir(), &outcomes);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(std::filesystem::path(kept[0].Path()).stem(), "test_providers");
  std::size_t files = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(qt::ProviderDir()))
    files += entry.is_regular_file();
  for (const auto& outcome : outcomes) refused += outcome.state != ModuleState::kLoaded;
  EXPECT_EQ(outcomes.size(), files);
  EXPECT_EQ(refused, files - 1);
}

}  // namespace
