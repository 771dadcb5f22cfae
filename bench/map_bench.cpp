// XMap against the standard unordered map it wraps: insert 100,000 distinct short keys, then
// look each one up. Both sides get the keys as C strings, as XMap's callers do.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "quendel/x_map.h"

namespace {

using framework::XMap;
using framework::XValue;

constexpr int kKeyCount = 100000;

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> made;
    made.reserve(kKeyCount);
    for (int i = 0; i < kKeyCount; ++i) made.push_back("key" + std::to_string(i));
    return made;
  }();
  return keys;
}

void BM_XMap_SetCopyThenGet(benchmark::State& state) {
  const XValue value(42);
  for (auto _ : state) {
    XMap map;
    for (const std::string& key : Keys()) map.SetValue(key.c_str(), value);
    for (const std::string& key : Keys()) benchmark::DoNotOptimize(map.GetValue(key.c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
}

void BM_StdMap_SetCopyThenGet(benchmark::State& state) {
  const XValue value(42);
  for (auto _ : state) {
    std::unordered_map<std::string, XValue> map;
    for (const std::string& key : Keys()) map.try_emplace(key.c_str(), value);
    for (const std::string& key : Keys()) {
      auto found = map.find(key.c_str());
      benchmark::DoNotOptimize(found != map.end() ? &found->second : nullptr);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
}

void BM_XMap_SetMovedEmptyThenGet(benchmark::State& state) {
  for (auto _ : state) {
    XMap map;
    for (const std::string& key : Keys()) map.SetValue(key.c_str(), XValue());
    for (const std::string& key : Keys()) benchmark::DoNotOptimize(map.GetValue(key.c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
}

void BM_StdMap_SetMovedEmptyThenGet(benchmark::State& state) {
  for (auto _ : state) {
    std::unordered_map<std::string, XValue> map;
    for (const std::string& key : Keys()) map.try_emplace(key.c_str(), XValue());
    for (const std::string& key : Keys()) {
      auto found = map.find(key.c_str());
      benchmark::DoNotOptimize(found != map.end() ? &found->second : nullptr);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeyCount);
}

BENCHMARK(BM_XMap_SetCopyThenGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdMap_SetCopyThenGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XMap_SetMovedEmptyThenGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdMap_SetMovedEmptyThenGet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
