// A provider module as a real one is written: components derived from CTComponentUnknown,
// descriptions on the heap, and C entry points found by name after loading.
#include <cstring>

#include "components/sample_interfaces.h"

#if defined(_WIN32)
#define SAMPLE_EXPORT extern "C" __declspec(dllexport)
#else
#define SAMPLE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::RefComponentInterface;
using framework::TWrap;

namespace {

sample::Stats stats;

// Counts its own deletions, which only the factory may do for registered descriptions.
struct CountedInfo : ComponentInfo {
  ~CountedInfo() override { ++stats.infosDeleted; }
};

class Counted : public CTComponentUnknown {
 public:
  Counted(CTUnknown* owner, CTComponentFactory* factory) : CTComponentUnknown(owner, factory) {
    ++stats.constructed;
  }
  ~Counted() override { ++stats.destroyed; }
};

class Counter : public sample::ICounter, public sample::IReset, public Counted {
 public:
  using Counted::Counted;
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, sample::kCounterId) == 0) {
      return RefComponentInterface(static_cast<sample::ICounter*>(this), object);
    }
    if (std::strcmp(id, sample::kResetId) == 0) {
      return RefComponentInterface(static_cast<sample::IReset*>(this), object);
    }
    return -1;
  }
  int Increment() override { return ++value_; }
  void Reset() override { value_ = 0; }

 private:
  int value_ = 0;
};

class Greeter : public sample::IGreeter, public Counted {
 public:
  using Counted::Counted;
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, sample::kGreeterId) == 0 || std::strcmp(id, sample::kNamelessId) == 0) {
      return RefComponentInterface(static_cast<sample::IGreeter*>(this), object);
    }
    return -1;
  }
  const char* Greeting() override { return "hello"; }
};

// The inner part of the aggregate; as an aggregated part its Owner() is the outer object.
class Inner : public sample::IInner, public Counted {
 public:
  using Counted::Counted;
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, sample::kInnerId) == 0) {
      return RefComponentInterface(static_cast<sample::IInner*>(this), object);
    }
    return -1;
  }
  int Twice(int value) override { return 2 * value; }
};

// Owns an Inner and hands out its interface: identity and count stay the outer object's.
class Aggregate : public sample::IGreeter, public Counted {
 public:
  Aggregate(CTUnknown* owner, CTComponentFactory* factory) : Counted(owner, factory) {
    inner_ = new Inner(static_cast<sample::IGreeter*>(this), nullptr);
    inner_->DelegatAddRef();
  }
  ~Aggregate() override { inner_->DelegatRelease(); }
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, sample::kAggregateId) == 0) {
      return RefComponentInterface(static_cast<sample::IGreeter*>(this), object);
    }
    return inner_->DelegatQueryInterface(id, object);
  }
  const char* Greeting() override { return "aggregate"; }

 private:
  CTComponentUnknown* inner_;
};

class Silent : public Counted {
 public:
  using Counted::Counted;
};

template <typename Component>
CTComponentUnknown* Create(CTComponentFactory* factory) {
  ++stats.creatorCalls;
  return new Component(nullptr, factory);
}

CTComponentUnknown* CreateNothing(CTComponentFactory*) {
  ++stats.creatorCalls;
  return nullptr;
}

ComponentInfo* Describe(const char* name, const char* id, const char* version, int type,
                        const char* description, framework::ComponentCreator creator) {
  auto* info = new CountedInfo;
  info->name = name;
  info->id = id;
  info->version = version;
  info->type = type;
  info->description = description;
  info->creator = creator;
  return info;
}

TWrap<ComponentInfo> registry[9];
ComponentInfo* duplicate = nullptr;
ComponentInfo* withoutId = nullptr;

}  // namespace

// The full list: a counter, a duplicate of it, a null entry, a null id, a greeter, an
// aggregate, a description with null texts, one without a creator, one whose creator fails.
SAMPLE_EXPORT void SampleRegistry(TWrap<ComponentInfo>** entries, std::size_t* count) {
  delete duplicate;
  delete withoutId;
  duplicate = Describe("Counter again", sample::kCounterId, "9", 9, "rejected", &Create<Counter>);
  withoutId = Describe("No id", nullptr, "1", 0, "rejected", &Create<Counter>);
  registry[0] = {Describe("Counter", sample::kCounterId, "1.0", 1, "counts", &Create<Counter>)};
  registry[1] = {duplicate};
  registry[2] = {nullptr};
  registry[3] = {withoutId};
  registry[4] = {Describe("Greeter", sample::kGreeterId, "2.1", 2, "greets", &Create<Greeter>)};
  registry[5] = {
      Describe("Aggregate", sample::kAggregateId, "1", 3, "aggregates", &Create<Aggregate>)};
  registry[6] = {Describe(nullptr, sample::kNamelessId, nullptr, -4, nullptr, &Create<Greeter>)};
  registry[7] = {Describe("No creator", sample::kNoCreatorId, "1", 5, "null creator", nullptr)};
  registry[8] = {Describe("Failing", sample::kFailingId, "1", 6, "creator fails", &CreateNothing)};
  *entries = registry;
  *count = 9;
}

// Only the silent component, whose instances answer no id.
SAMPLE_EXPORT void SilentRegistry(TWrap<ComponentInfo>** entries, std::size_t* count) {
  static TWrap<ComponentInfo> list[1];
  list[0] = {Describe("Silent", sample::kSilentId, "1", 7, "answers nothing", &Create<Silent>)};
  *entries = list;
  *count = 1;
}

SAMPLE_EXPORT void EmptyRegistry(TWrap<ComponentInfo>** entries, std::size_t* count) {
  static TWrap<ComponentInfo> none[1];
  *entries = none;
  *count = 0;
}

SAMPLE_EXPORT void NullRegistry(TWrap<ComponentInfo>**, std::size_t* count) { *count = 3; }

// Rejected descriptions stay the provider's; the tests free them through this.
SAMPLE_EXPORT void SampleFreeRejected() {
  delete duplicate;
  delete withoutId;
  duplicate = withoutId = nullptr;
}

SAMPLE_EXPORT sample::Stats* SampleStats() { return &stats; }

// A counter made directly, without a factory; `owner` aggregates it when not null.
SAMPLE_EXPORT CTComponentUnknown* SampleCreateCounter(CTUnknown* owner) {
  return new Counter(owner, nullptr);
}
