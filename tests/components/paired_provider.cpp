// The same components written twice: by hand, as the contract spells it out, and with the
// helpers. Registered under the same ids and texts by HandRegistry and HelperRegistry.
#include <cstring>

#include "components/paired_interfaces.h"

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::RefComponentInterface;
using framework::TWrap;

namespace {

paired::Stats stats;

// Counts the life of the object it is a member of.
class Tally {
 public:
  explicit Tally(paired::Lives& lives) : lives_(lives) { ++lives_.constructed; }
  Tally(const Tally&) = delete;
  Tally& operator=(const Tally&) = delete;
  ~Tally() { ++lives_.destroyed; }

 private:
  paired::Lives& lives_;
};

namespace hand {

class Counter : public paired::ICounter, public paired::IReset, public CTComponentUnknown {
 public:
  explicit Counter(CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {}
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
  Tally tally_{stats.hand};
  int value_ = 0;
};

class Inner : public paired::IInner, public CTComponentUnknown {
 public:
  explicit Inner(CTUnknown* outer) : CTComponentUnknown(outer, nullptr) {}
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, "paired.inner") == 0) {
      return RefComponentInterface(static_cast<paired::IInner*>(this), object);
    }
    return -1;
  }
  int Twice(int value) override { return 2 * value; }

 private:
  Tally tally_{stats.hand};
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
  Tally tally_{stats.hand};
  CTComponentUnknown* inner_ = new Inner(static_cast<paired::IGreeter*>(this));
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

}  // namespace hand

namespace helper {

class Counter : public framework::TComponent<paired::ICounter, paired::IReset> {
 public:
  using TComponent::TComponent;
  int Increment() override { return ++value_; }
  void Reset() override { value_ = 0; }

 private:
  Tally tally_{stats.helper};
  int value_ = 0;
};

class Inner : public framework::TComponent<paired::IInner> {
 public:
  using TComponent::TComponent;
  int Twice(int value) override { return 2 * value; }

 private:
  Tally tally_{stats.helper};
};

// Written with the forwarding macro alone, and constructed from an owner and a factory.
class Aggregate : public paired::IGreeter, public CTComponentUnknown {
 public:
  Aggregate(CTUnknown* owner, CTComponentFactory* factory) : CTComponentUnknown(owner, factory) {
    inner_->DelegatAddRef();
  }
  ~Aggregate() override { inner_->DelegatRelease(); }
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, paired::IGreeter::kInterfaceId) == 0) {
      return RefComponentInterface(static_cast<paired::IGreeter*>(this), object);
    }
    return inner_->DelegatQueryInterface(id, object);
  }
  const char* Greeting() override { return "aggregate"; }

 private:
  Tally tally_{stats.helper};
  CTComponentUnknown* inner_ = new Inner(static_cast<paired::IGreeter*>(this), nullptr);
};

}  // namespace helper

}  // namespace

QUENDEL_PROVIDER_EXPORT void HandRegistry(TWrap<ComponentInfo>** entries, std::size_t* count) {
  static TWrap<ComponentInfo> list[2];
  list[0] = {hand::Describe("Counter", "paired.counter", "1.0", 1, "counts",
                            [](CTComponentFactory* factory) -> CTComponentUnknown* {
                              return new hand::Counter(factory);
                            })};
  list[1] = {hand::Describe("Aggregate", "paired.aggregate", "2.0", 2, "aggregates",
                            [](CTComponentFactory* factory) -> CTComponentUnknown* {
                              return new hand::Aggregate(factory);
                            })};
  *entries = list;
  *count = 2;
}

QUENDEL_REGISTRY_FUNCTION(HelperRegistry,
                          framework::Describe<helper::Counter>("Counter",
                                                               paired::ICounter::kInterfaceId,
                                                               "1.0", 1, "counts"),
                          framework::Describe<helper::Aggregate>("Aggregate",
                                                                 paired::IGreeter::kInterfaceId,
                                                                 "2.0", 2, "aggregates"));

QUENDEL_PROVIDER_EXPORT paired::Stats* PairedStats() { return &stats; }
