// XVector<int> against std::vector<int>, and against a std::vector<int> steered to the same
// growth by half, for pushes, resizing, copying and indexed reads of a million elements.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "quendel/x_vector.h"

namespace {

constexpr std::uint64_t kCount = 1000000;

// A std::vector that grows by half of its capacity, as XVector does.
struct HalfGrowthVector : std::vector<int> {
  void push_back(int value) {
    if (size() == capacity())
      reserve(capacity() + capacity() / 2 > size() ? capacity() + capacity() / 2 : size() + 1);
    std::vector<int>::push_back(value);
  }
};

template <typename Vector>
Vector Filled() {
  Vector vector;
  vector.resize(kCount);
  for (std::uint64_t i = 0; i < kCount; ++i) vector[i] = static_cast<int>(i);
  return vector;
}

template <typename Vector>
void BM_PushBack(benchmark::State& state) {
  for (auto _ : state) {
    Vector vector;
    for (std::uint64_t i = 0; i < kCount; ++i) vector.push_back(static_cast<int>(i));
    benchmark::DoNotOptimize(vector.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCount));
}
BENCHMARK_TEMPLATE(BM_PushBack, framework::XVector<int>);
BENCHMARK_TEMPLATE(BM_PushBack, std::vector<int>);
BENCHMARK_TEMPLATE(BM_PushBack, HalfGrowthVector);

template <typename Vector>
void BM_Resize(benchmark::State& state) {
  for (auto _ : state) {
    Vector vector;
    vector.resize(kCount);
    benchmark::DoNotOptimize(vector.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCount));
}
BENCHMARK_TEMPLATE(BM_Resize, framework::XVector<int>);
BENCHMARK_TEMPLATE(BM_Resize, std::vector<int>);
BENCHMARK_TEMPLATE(BM_Resize, HalfGrowthVector);

template <typename Vector>
void BM_Copy(benchmark::State& state) {
  const Vector source = Filled<Vector>();
  for (auto _ : state) {
    Vector copy(source);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCount));
}
BENCHMARK_TEMPLATE(BM_Copy, framework::XVector<int>);
BENCHMARK_TEMPLATE(BM_Copy, std::vector<int>);
BENCHMARK_TEMPLATE(BM_Copy, HalfGrowthVector);

template <typename Vector>
void BM_IndexedReads(benchmark::State& state) {
  const Vector vector = Filled<Vector>();
  for (auto _ : state) {
    std::int64_t sum = 0;
    for (std::uint64_t i = 0; i < vector.size(); ++i) sum += vector[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCount));
}
BENCHMARK_TEMPLATE(BM_IndexedReads, framework::XVector<int>);
BENCHMARK_TEMPLATE(BM_IndexedReads, std::vector<int>);
BENCHMARK_TEMPLATE(BM_IndexedReads, HalfGrowthVector);

}  // namespace

BENCHMARK_MAIN();
