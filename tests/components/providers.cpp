// By hand as a provider without the helpers writes it, and with TComponent and the macro.
#include "components/providers.h"

#include <cstring>
#include <string>

using framework::CTComponentFactory;
using framework::CTComponentUnknown;

namespace {

struct HandCounter : paired::ICounter, CTComponentUnknown {
  explicit HandCounter(CTComponentFactory* factory) : CTComponentUnknown(nullptr, factory) {}
  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (std::strcmp(id, "paired.counter") != 0) return -1;
    return framework::RefComponentInterface(static_cast<paired::ICounter*>(this), object);
  }
  int Increment() override { return ++value_; }
  int value_ = 0;
};

struct HelperCounter : framework::TComponent<paired::ICounter> {
  using TComponent::TComponent;
  int Increment() override { return ++value_; }
  int value_ = 0;
};

}  // namespace

QUENDEL_PROVIDER_EXPORT void HandRegistry(framework::TWrap<framework::ComponentInfo>** entries,
                                          std::size_t* count) {
  static framework::TWrap<framework::ComponentInfo> list[1];
  auto* info = new framework::ComponentInfo;  // the factory deletes it
  info->name = "Counter", info->id = "paired.counter", info->version = "1.0", info->type = -1;
  info->description = "counts";
  info->creator = [](CTComponentFactory* factory) -> CTComponentUnknown* {
    return new HandCounter(factory);
  };
  list[0] = {info};
  *entries = list, *count = 1;
}

// Built once with the helpers' registry function as its entry and once, as hand_provider,
// with the hand-written one.
#if defined(QUENDEL_TEST_HAND_ENTRY)
QUENDEL_REGISTRY_ENTRY(HandRegistry);
#else
QUENDEL_REGISTRY_FUNCTION(HelperRegistry,
                          framework::Describe<HelperCounter>("Counter", "paired.counter", "1.0", -1,
                                                             "counts"));
#endif

// A line of this module through the host's log output; returns the statement's line.
QUENDEL_PROVIDER_EXPORT int LogFromProvider() {
  QUENDEL_LOG_ERROR() << "from the provider " << 7 << static_cast<const char*>(nullptr);
  return __LINE__ - 1;
}

// A value whose holder this module's code makes.
QUENDEL_PROVIDER_EXPORT void MakeValue(framework::XValue* value) {
  *value = framework::XValue(std::string("made here"));
}
