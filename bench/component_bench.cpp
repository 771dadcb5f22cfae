// Reference counting and factory lookups against the standard-library operations they
// stand for, measured in the same run.
#include <benchmark/benchmark.h>
#include <quendel/framework.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

struct IWork : framework::CTUnknown {
  virtual int Work() = 0;
};
// Real ids are long ("example.imaging.gray-filter"): past the 15 bytes a std::string keeps
// without a heap block.
constexpr char kWorkId[] = "example.imaging.gray-filter.bench";

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

// A host's log sink that does nothing but count.
std::int64_t linesSeen = 0;
void Discard(const char*, void*) { ++linesSeen; }

// The id as a caller passes it: a pointer whose text the lookup measures.
const char* CallerId() {
  const char* id = kWorkId;
  benchmark::DoNotOptimize(id);
  return id;
}

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

// The chain the component model fixes, written by hand with no call devirtualised: a virtual
// call on the interface, an out-of-line call for the controlling object, a virtual call on
// it, the atomic operation and the last-release test.
struct HandUnknown {
  virtual int AddRef() = 0;
  virtual int Release() = 0;
};
struct HandControl final : HandUnknown {
  std::atomic<int> count{1};
  int AddRef() override { return count.fetch_add(1, std::memory_order_relaxed) + 1; }
  int Release() override {
    if (count.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    return 0;
  }
};
struct HandInterface final : HandUnknown {
  HandUnknown* Owner();
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  HandUnknown* owner = new HandControl;
};
__attribute__((noinline)) HandUnknown* HandInterface::Owner() {
  benchmark::ClobberMemory();  // stays a call
  return owner;
}

void BM_HandWrittenAddRefRelease(benchmark::State& state) {
  auto* object = new HandInterface;
  HandUnknown* work = object;
  benchmark::DoNotOptimize(work);
  for (auto _ : state) {
    work->AddRef();
    work->Release();
  }
  work->Release();
  delete object;
}
BENCHMARK(BM_HandWrittenAddRefRelease);

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
  const char* id = CallerId();
  for (auto _ : state) {
    void* object = nullptr;
    factory->CreateComponent(id, &object);
    static_cast<IWork*>(object)->Release();
  }
  static_cast<IWork*>(keep)->Release();
  factory->Release();
}
BENCHMARK(BM_FactoryCreateLive);

void BM_ViewMapLookupAndCount(benchmark::State& state) {
  std::unordered_map<std::string_view, std::atomic<int>*> map;
  auto count = std::make_unique<std::atomic<int>>(1);
  map.emplace(kWorkId, count.get());
  const char* id = CallerId();
  for (auto _ : state) {
    std::atomic<int>* found = map.find(id)->second;
    benchmark::DoNotOptimize(found->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(found->fetch_sub(1, std::memory_order_acq_rel));
  }
}
BENCHMARK(BM_ViewMapLookupAndCount);

// What the factory's lock adds at the least: one uncontended lock and unlock.
void BM_StdMutexLockUnlock(benchmark::State& state) {
  auto mutex = std::make_unique<std::mutex>();
  for (auto _ : state) {
    mutex->lock();
    mutex->unlock();
  }
}
BENCHMARK(BM_StdMutexLockUnlock);

// The floor of a registry that any thread may use: the lookup (no string built) under an
// uncontended lock, then the count.
void BM_ViewMapLockedLookupAndCount(benchmark::State& state) {
  std::unordered_map<std::string_view, std::atomic<int>*> map;
  std::mutex mutex;
  auto count = std::make_unique<std::atomic<int>>(1);
  map.emplace(kWorkId, count.get());
  const char* id = CallerId();
  for (auto _ : state) {
    std::atomic<int>* found = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex);
      found = map.find(id)->second;
    }
    benchmark::DoNotOptimize(found->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(found->fetch_sub(1, std::memory_order_acq_rel));
  }
}
BENCHMARK(BM_ViewMapLockedLookupAndCount);

// Two threads in one registry. Each looks up an id of its own, so that the registry is all
// they share; the "SameId" variants put both on one id.
constexpr std::size_t kShards = 16;
std::size_t ShardOf(std::string_view id) { return std::hash<std::string_view>{}(id) % kShards; }

// The threads' ids, 33 bytes like kWorkId. The second moves until the sharded floor keeps it in
// another shard than the first: otherwise its threads would share a lock.
struct ThreadIdTexts {
  char text[2][sizeof kWorkId] = {"example.imaging.gray-filter.thr-0",
                                  "example.imaging.gray-filter.thr-1"};
  ThreadIdTexts() {
    while (ShardOf(text[1]) == ShardOf(text[0])) ++text[1][sizeof kWorkId - 2];
  }
};
const char* ThreadId(int index) {
  static const ThreadIdTexts ids;
  return ids.text[index];
}

// The id a thread passes, as a caller would.
const char* ThreadCallerId(const benchmark::State& state, bool sameId) {
  const char* id = ThreadId(sameId ? 0 : state.thread_index());
  benchmark::DoNotOptimize(id);
  return id;
}

// A worker that answers the id it was made for.
class IdWorker final : public Worker {
 public:
  IdWorker(framework::CTComponentFactory* factory, const char* id) : Worker(factory), id(id) {}
  int DelegatQueryInterface(const char* asked, void** object) override {
    if (std::strcmp(asked, id) == 0) {
      return framework::RefComponentInterface(static_cast<IWork*>(this), object);
    }
    return -1;
  }

 private:
  const char* id;
};

template <int kIndex>
framework::CTComponentUnknown* CreateIdWorker(framework::CTComponentFactory* factory) {
  return new IdWorker(factory, ThreadId(kIndex));
}

void ThreadRegistry(framework::TWrap<framework::ComponentInfo>** entries, std::size_t* count) {
  static framework::TWrap<framework::ComponentInfo> list[2];
  constexpr framework::ComponentCreator kCreators[2] = {CreateIdWorker<0>, CreateIdWorker<1>};
  for (int i = 0; i < 2; ++i) {
    auto* info = new framework::ComponentInfo;
    info->name = "Worker";
    info->id = ThreadId(i);
    info->creator = kCreators[i];
    list[i] = {info};
  }
  *entries = list;
  *count = 2;
}

// Thread 0 sets up before its loop and tears down after it: the loop starts once every thread
// has reached it and ends once every thread has left it.
framework::CTComponentFactory* sharedFactory = nullptr;

void FactoryCreateLiveThreads(benchmark::State& state, bool sameId) {
  void* keep[2] = {};
  if (state.thread_index() == 0) {
    framework::SetLogoutCallback(Discard, nullptr);
    framework::CreateComponentFactory(&sharedFactory);
    sharedFactory->RegistryComponent(&ThreadRegistry);
    for (int i = 0; i < 2; ++i) sharedFactory->CreateComponent(ThreadId(i), &keep[i]);
  }
  const char* id = ThreadCallerId(state, sameId);
  for (auto _ : state) {
    void* object = nullptr;
    sharedFactory->CreateComponent(id, &object);
    static_cast<IWork*>(object)->Release();
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    for (void* object : keep) static_cast<IWork*>(object)->Release();
    sharedFactory->Release();
  }
}

void BM_FactoryCreateLiveThreads(benchmark::State& state) {
  FactoryCreateLiveThreads(state, false);
}
BENCHMARK(BM_FactoryCreateLiveThreads)->Threads(1)->Threads(2)->UseRealTime();

void BM_FactoryCreateLiveSameIdThreads(benchmark::State& state) {
  FactoryCreateLiveThreads(state, true);
}
BENCHMARK(BM_FactoryCreateLiveSameIdThreads)->Threads(1)->Threads(2)->UseRealTime();

// The floor for threads: a lock per shard of the registry, and each id's count on a cache line
// of its own.
struct alignas(64) Shard {
  std::mutex mutex;
  std::unordered_map<std::string_view, std::atomic<int>*> map;
};
struct alignas(64) LineCount {
  std::atomic<int> value{1};
};
struct ShardedRegistry {
  Shard shards[kShards];
  LineCount counts[2];
};
ShardedRegistry* sharedRegistry = nullptr;

void ShardedLockedLookupAndCountThreads(benchmark::State& state, bool sameId) {
  if (state.thread_index() == 0) {
    sharedRegistry = new ShardedRegistry;
    for (int i = 0; i < 2; ++i) {
      const std::string_view id = ThreadId(i);
      sharedRegistry->shards[ShardOf(id)].map.emplace(id, &sharedRegistry->counts[i].value);
    }
  }
  const char* id = ThreadCallerId(state, sameId);
  for (auto _ : state) {
    const std::string_view key = id;
    Shard& shard = sharedRegistry->shards[ShardOf(key)];
    std::atomic<int>* found = nullptr;
    {
      std::lock_guard<std::mutex> lock(shard.mutex);
      found = shard.map.find(key)->second;
    }
    benchmark::DoNotOptimize(found->fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(found->fetch_sub(1, std::memory_order_acq_rel));
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) delete sharedRegistry;
}

void BM_ShardedLockedLookupAndCountThreads(benchmark::State& state) {
  ShardedLockedLookupAndCountThreads(state, false);
}
BENCHMARK(BM_ShardedLockedLookupAndCountThreads)->Threads(1)->Threads(2)->UseRealTime();

void BM_ShardedLockedLookupAndCountSameIdThreads(benchmark::State& state) {
  ShardedLockedLookupAndCountThreads(state, true);
}
BENCHMARK(BM_ShardedLockedLookupAndCountSameIdThreads)->Threads(1)->Threads(2)->UseRealTime();

// One log line to a host callback that does nothing: a null reference refused.
void BM_LogLine(benchmark::State& state) {
  framework::SetLogoutCallback(Discard, nullptr);
  for (auto _ : state) {
    void* object = nullptr;
    framework::RefComponentInterface(nullptr, &object);
  }
  framework::SetLogoutCallback(nullptr, nullptr);
}
BENCHMARK(BM_LogLine);

// The same line written by hand: the clock, the local time, the whole line formatted into a
// std::string, and a call through a std::function.
void HandWrittenLogLine(const std::function<void(const char*, void*)>& output) {
  constexpr const char* kFunction = "framework::RefComponentInterface";
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  std::string line(256, '\0');
  line.resize(std::snprintf(line.data(), line.size(), "%02d:%02d:%02d.%03d [%s][%d] [ERROR %s]: %s",
                            local.tm_hour, local.tm_min, local.tm_sec,
                            static_cast<int>(now.tv_nsec / 1000000), kFunction, 216, kFunction,
                            "RefComponentInterface ref is null!!!!"));
  output(line.c_str(), nullptr);
}

void BM_LogLineFloor(benchmark::State& state) {
  const std::function<void(const char*, void*)> output = Discard;
  for (auto _ : state) HandWrittenLogLine(output);
}
BENCHMARK(BM_LogLineFloor);

// The floor of a fresh instance's cycle: one hand-written line for each of its four lines,
// and one more for the rest of its work.
void BM_FiveLogLineFloors(benchmark::State& state) {
  const std::function<void(const char*, void*)> output = Discard;
  for (auto _ : state)
    for (int i = 0; i < 5; ++i) HandWrittenLogLine(output);
}
BENCHMARK(BM_FiveLogLineFloors);

// A fresh instance each time: creator, first reference, last release with its log lines.
void BM_FactoryCreateReleaseFresh(benchmark::State& state) {
  framework::SetLogoutCallback(Discard, nullptr);
  framework::CTComponentFactory* factory = nullptr;
  framework::CreateComponentFactory(&factory);
  factory->RegistryComponent(&Registry);
  const std::int64_t before = linesSeen;
  for (auto _ : state) {
    void* object = nullptr;
    factory->CreateComponent(kWorkId, &object);
    static_cast<IWork*>(object)->Release();
  }
  state.SetLabel(std::to_string((linesSeen - before) / state.iterations()) + " log lines each");
  factory->Release();
  framework::SetLogoutCallback(nullptr, nullptr);
}
BENCHMARK(BM_FactoryCreateReleaseFresh);

}  // namespace

BENCHMARK_MAIN();
