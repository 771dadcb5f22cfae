// What the host kit's reading of a provider's file costs, against loading the module, measured
// in the same run on the example provider.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <quendel/host.h>

namespace {

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

}  // namespace

BENCHMARK_MAIN();
