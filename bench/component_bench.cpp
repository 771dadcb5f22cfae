// Reference counting and factory lookups against the standard-library operations they
// stand for, measured in the same run.
#include <benchmark/benchmark.h>
#include <quendel/framework.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct IWork : framework::CTUnknown {
  virtual int Work() = 0;
};
constexpr char kWorkId[] = "bench.work";

class Worker : public IWork, public framework::CTComponentUnknown {
 public:
  explicit Worker(framework::CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {}
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, kWorkId) == 0) {
      return framework::RefComponentInterface(static_cast<IWork*>(this), object);
    }
    return -1;
  }
  int Work() override { return 1; }
};

framework::CTComponentUnknown* CreateWorker(framework::CTComponentFactory* factory) {
  return new Worker(factory);
}

void Registry(framework::TWrap<framework::ComponentInfo>** entries, std::size_t* count) {
  static framework::TWrap<framework::ComponentInfo> list[1];
  auto* info = new framework::ComponentInfo;
  info->name = "Worker";
  info->id = kWorkId;
  info->creator = CreateWorker;
  list[0] = {info};
  *entries = list;
  *count = 1;
}

void Discard(const char*, void*) {}

void BM_ComponentAddRefRelease(benchmark::State& state) {
  void* object = nullptr;
  auto* worker = new Worker(nullptr);
  worker->DelegatQueryInterface(kWorkId, &object);
  auto* work = static_cast<IWork*>(object);
  benchmark::DoNotOptimize(work);
  for (auto _ : state) {
    work->AddRef();
    work->Release();
  }
  work->Release();
}
BENCHMARK(BM_ComponentAddRefRelease);

void BM_StdAtomicAddSub(benchmark::State& state) {
  auto count = std::make_unique<std::atomic<int>>(1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(count->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(count->fetch_sub(1, std::memory_order_acq_rel));
  }
}
BENCHMARK(BM_StdAtomicAddSub);

void BM_StdSharedPtrCopy(benchmark::State& state) {
  auto shared = std::make_shared<int>(1);
  for (auto _ : state) {
    std::shared_ptr<int> copy(shared);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_StdSharedPtrCopy);

// A live instance: lookup plus a reference, and the release that gives it back.
void BM_FactoryCreateLive(benchmark::State& state) {
  framework::SetLogoutCallback(Discard, nullptr);
  framework::CTComponentFactory* factory = nullptr;
  framework::CreateComponentFactory(&factory);
  factory->RegistryComponent(&Registry);
  void* keep = nullptr;
  factory->CreateComponent(kWorkId, &keep);
  for (auto _ : state) {
    void* object = nullptr;
    factory->CreateComponent(kWorkId, &object);
    static_cast<IWork*>(object)->Release();
  }
  static_cast<IWork*>(keep)->Release();
  factory->Release();
}
BENCHMARK(BM_FactoryCreateLive);

void BM_StdMapLookupAndCount(benchmark::State& state) {
  std::unordered_map<std::string, std::atomic<int>*> map;
  auto count = std::make_unique<std::atomic<int>>(1);
  map.emplace(kWorkId, count.get());
  for (auto _ : state) {
    auto found = map.find(kWorkId);
    benchmark::DoNotOptimize(found->second->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(found->second->fetch_sub(1, std::memory_order_acq_rel));
  }
}
BENCHMARK(BM_StdMapLookupAndCount);

// What the factory's lock adds at the least: one uncontended lock and unlock.
void BM_StdMutexLockUnlock(benchmark::State& state) {
  auto mutex = std::make_unique<std::mutex>();
  for (auto _ : state) {
    mutex->lock();
    mutex->unlock();
  }
}
BENCHMARK(BM_StdMutexLockUnlock);

// A registry that any thread may use: the lookup under an uncontended lock, then the count.
void BM_StdMapLockedLookupAndCount(benchmark::State& state) {
  std::unordered_map<std::string, std::atomic<int>*> map;
  std::mutex mutex;
  auto count = std::make_unique<std::atomic<int>>(1);
  map.emplace(kWorkId, count.get());
  for (auto _ : state) {
    std::atomic<int>* found = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex);
      found = map.find(kWorkId)->second;
    }
    benchmark::DoNotOptimize(found->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(found->fetch_sub(1, std::memory_order_acq_rel));
  }
}
BENCHMARK(BM_StdMapLockedLookupAndCount);

// A fresh instance each time: creator, first reference, last release with its log lines.
void BM_FactoryCreateReleaseFresh(benchmark::State& state) {
  framework::SetLogoutCallback(Discard, nullptr);
  framework::CTComponentFactory* factory = nullptr;
  framework::CreateComponentFactory(&factory);
  factory->RegistryComponent(&Registry);
  for (auto _ : state) {
    void* object = nullptr;
    factory->CreateComponent(kWorkId, &object);
    static_cast<IWork*>(object)->Release();
  }
  factory->Release();
}
BENCHMARK(BM_FactoryCreateReleaseFresh);

}  // namespace

BENCHMARK_MAIN();
