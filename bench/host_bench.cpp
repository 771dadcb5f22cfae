// What the host kit costs against what it saves, measured in the same run on the example
// provider: reading a module's file against loading it, listing a folder of 50 providers
// through their manifests against loading them, and creating through the catalog against
// loading and registering by hand.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <quendel/catalog.h>
#include <quendel/ref.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using framework::host::Catalog;
using framework::host::Module;

constexpr char kSourceId[] = "example.imaging.gradient-source";

void BM_ReadModuleFile(benchmark::State& state) {
  for (auto _ : state) {
    const auto file = framework::host::detail::ReadModuleFile(QUENDEL_BENCH_PROVIDER);
    benchmark::DoNotOptimize(file.record);
  }
}
BENCHMARK(BM_ReadModuleFile);

// What the loader does for the same file: map it, resolve it, run its initialisers, and give
// it back.
void BM_LoadModule(benchmark::State& state) {
  for (auto _ : state) {
    void* handle = dlopen(QUENDEL_BENCH_PROVIDER, RTLD_NOW | RTLD_LOCAL);
    benchmark::DoNotOptimize(handle);
    dlclose(handle);
  }
}
BENCHMARK(BM_LoadModule);

// A folder of 50 copies of the example provider, each a file of its own.
const std::string& FiftyProviders() {
  static const std::string folder = [] {
    const fs::path path = fs::temp_directory_path() / "quendel_bench_providers";
    fs::remove_all(path);
    fs::create_directories(path);
    for (int i = 0; i < 50; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "provider_%02d.so", i);
      fs::copy_file(QUENDEL_BENCH_PROVIDER, path / name);
    }
    return path.string();
  }();
  return folder;
}

void BM_CatalogList50(benchmark::State& state) {
  auto factory = framework::CreateFactoryRef();
  for (auto _ : state) {
    Catalog catalog(*factory);
    catalog.AddFolder(FiftyProviders());
    benchmark::DoNotOptimize(catalog.Components().size());
  }
}
BENCHMARK(BM_CatalogList50)->Unit(benchmark::kMicrosecond);

// The same folder loaded, each module checked and loaded by the kit, then let go.
void BM_LoadDirectory50(benchmark::State& state) {
  for (auto _ : state) {
    auto modules = framework::host::LoadDirectory(FiftyProviders());
    benchmark::DoNotOptimize(modules.size());
  }
}
BENCHMARK(BM_LoadDirectory50)->Unit(benchmark::kMicrosecond);

// The first CreateComponent of a listed id: the catalog loads, checks and registers the
// module, then the factory creates. The idle module is let go untimed.
void BM_CatalogFirstCreate(benchmark::State& state) {
  auto factory = framework::CreateFactoryRef();
  Catalog catalog(*factory);
  catalog.AddFolder(QUENDEL_BENCH_PROVIDERS);
  for (auto _ : state) {
    void* object = nullptr;
    factory->CreateComponent(kSourceId, &object);
    static_cast<framework::CTUnknown*>(object)->Release();
    state.PauseTiming();
    catalog.UnloadIdle();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CatalogFirstCreate)->Unit(benchmark::kMicrosecond);

// The same by hand: load the module, register it, create; forgotten and unloaded untimed.
void BM_LoadRegisterCreate(benchmark::State& state) {
  auto factory = framework::CreateFactoryRef();
  for (auto _ : state) {
    Module module(QUENDEL_BENCH_PROVIDER);
    module.Register(*factory);
    void* object = nullptr;
    factory->CreateComponent(kSourceId, &object);
    static_cast<framework::CTUnknown*>(object)->Release();
    state.PauseTiming();
    module.Unload(framework::host::HeldComponents::kForget);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadRegisterCreate)->Unit(benchmark::kMicrosecond);

// A live lookup once the catalog has loaded the module, against one registered by hand.
void LiveLookups(benchmark::State& state, framework::CTComponentFactory& factory) {
  void* held = nullptr;
  factory.CreateComponent(kSourceId, &held);
  for (auto _ : state) {
    void* object = nullptr;
    factory.CreateComponent(kSourceId, &object);
    static_cast<framework::CTUnknown*>(object)->Release();
  }
  static_cast<framework::CTUnknown*>(held)->Release();
}

void BM_CatalogLiveLookup(benchmark::State& state) {
  auto factory = framework::CreateFactoryRef();
  Catalog catalog(*factory);
  catalog.AddFolder(QUENDEL_BENCH_PROVIDERS);
  LiveLookups(state, *factory);
}
BENCHMARK(BM_CatalogLiveLookup);

void BM_ModuleLiveLookup(benchmark::State& state) {
  Module module(QUENDEL_BENCH_PROVIDER);
  auto factory = framework::CreateFactoryRef();
  module.Register(*factory);
  LiveLookups(state, *factory);
}
BENCHMARK(BM_ModuleLiveLookup);

}  // namespace

BENCHMARK_MAIN();
