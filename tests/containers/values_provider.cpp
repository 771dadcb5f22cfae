// The values provider (see values_module.h).
#include <quendel/provider.h>

#include "containers/values_module.h"

using framework::XValue;

namespace {

// Shares its name with a different type in the host's tests.
struct Local {
  int number;
};

int liveProbes = 0;

struct ProbeHolder final : XValue::Holder {
  ProbeHolder() { ++liveProbes; }
  ~ProbeHolder() override { --liveProbes; }
  Holder* Clone() const override { return new ProbeHolder; }
};

}  // namespace

QUENDEL_PROVIDER_EXPORT void MakeValues(framework::XVector<XValue>* values) {
  values->push_back(XValue(values_module::Sample{"mm", 2.5}));
  const XValue text(std::string("made there"));
  values->push_back(text);
  values->push_back(XValue(Local{11}));
}

QUENDEL_PROVIDER_EXPORT int ReadLocal(const XValue* value) {
  const Local* local = value->Get<Local>();
  return local ? local->number : -1;
}

QUENDEL_PROVIDER_EXPORT void FillMap(framework::XMap* map) {
  map->SetValue("count", XValue(3));
  const XValue label(std::string("sensor"));
  map->SetValue("label", label);
  map->SetValue("probe", XValue(new ProbeHolder));
}

QUENDEL_PROVIDER_EXPORT int LiveProbes() { return liveProbes; }
