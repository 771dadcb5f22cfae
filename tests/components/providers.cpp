// The same components written by hand, as a provider without the helpers writes them, and
// with TComponent and QUENDEL_REGISTRY_FUNCTION.
#include "components/providers.h"

#include <cstring>

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::RefComponentInterface;

namespace {

paired::Lives handLives, helperLives;

// Counts the life of the component it is a member of.
struct Tally {
  explicit Tally(paired::Lives& lives) : lives(lives) { ++lives.constructed; }
  ~Tally() { ++lives.destroyed; }
  paired::Lives& lives;
};

namespace by_hand {

class Counter : public paired::ICounter, public paired::IReset, public CTComponentUnknown {
 public:
  Counter(CTUnknown* owner, CTComponentFactory* factory) : CTComponentUnknown(owner, factory) {}
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, "paired.counter") == 0) {
      return RefComponentInterface(static_cast<paired::ICounter*>(this), object);
    }
    if (std::strcmp(id, "paired.reset") == 0) {
      return RefComponentInterface(static_cast<paired::IReset*>(this), object);
    }
    return -1;
  }
  int Increment() override { return ++value_; }
  void Reset() override { value_ = 0; }

 private:
  Tally tally_{handLives};
  int value_ = 0;
};

class Aggregate : public paired::IGreeter, public CTComponentUnknown {
 public:
  explicit Aggregate(CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {
    inner_->DelegatAddRef();
  }
  ~Aggregate() override { inner_->DelegatRelease(); }
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, "paired.aggregate") == 0) {
      return RefComponentInterface(static_cast<paired::IGreeter*>(this), object);
    }
    return inner_->DelegatQueryInterface(id, object);
  }
  const char* Greeting() override { return "aggregate"; }

 private:
  Tally tally_{handLives};
  CTComponentUnknown* inner_ = new Counter(static_cast<paired::IGreeter*>(this), nullptr);
};

ComponentInfo* Describe(const char* name, const char* id, const char* version, int type,
                        const char* description, framework::ComponentCreator creator) {
  auto* info = new ComponentInfo;
  info->name = name;
  info->id = id;
  info->version = version;
  info->type = type;
  info->description = description;
  info->creator = creator;
  return info;
}

}  // namespace by_hand

namespace with_helpers {

class Counter : public framework::TComponent<paired::ICounter, paired::IReset> {
 public:
  using TComponent::TComponent;
  int Increment() override { return ++value_; }
  void Reset() override { value_ = 0; }

 private:
  Tally tally_{helperLives};
  int value_ = 0;
};

class Aggregate : public framework::TComponent<paired::IGreeter> {
 public:
  explicit Aggregate(CTComponentFactory* factory) : TComponent(factory) { inner_->DelegatAddRef(); }
  ~Aggregate() override { inner_->DelegatRelease(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (TComponent::DelegatQueryInterface(id, object) == 0) return 0;
    return inner_->DelegatQueryInterface(id, object);
  }
  const char* Greeting() override { return "aggregate"; }

 private:
  Tally tally_{helperLives};
  CTComponentUnknown* inner_ = new Counter(static_cast<paired::IGreeter*>(this), nullptr);
};

}  // namespace with_helpers

}  // namespace

QUENDEL_PROVIDER_EXPORT void HandRegistry(framework::TWrap<ComponentInfo>** entries,
                                          std::size_t* count) {
  static framework::TWrap<ComponentInfo> list[2];
  list[0] = {by_hand::Describe("Counter", "paired.counter", "1.0", 1, "counts",
                               [](CTComponentFactory* factory) -> CTComponentUnknown* {
                                 return new by_hand::Counter(nullptr, factory);
                               })};
  list[1] = {by_hand::Describe("Aggregate", "paired.aggregate", "2.0", -2, "aggregates",
                               [](CTComponentFactory* factory) -> CTComponentUnknown* {
                                 return new by_hand::Aggregate(factory);
                               })};
  *entries = list;
  *count = 2;
}

QUENDEL_REGISTRY_FUNCTION(
    HelperRegistry,
    framework::Describe<with_helpers::Counter>("Counter", paired::ICounter::kInterfaceId, "1.0", 1,
                                               "counts"),
    framework::Describe<with_helpers::Aggregate>("Aggregate", paired::IGreeter::kInterfaceId, "2.0",
                                                 -2, "aggregates"));

QUENDEL_PROVIDER_EXPORT paired::Lives* ProviderLives(bool helpers) {
  return helpers ? &helperLives : &handLives;
}
