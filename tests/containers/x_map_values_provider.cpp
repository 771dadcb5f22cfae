// A module that makes values for a host: every holder here is created, cloned and freed by
// this module's code, whoever calls the operations.
#include "containers/x_map_module_values.h"
#include "quendel/x_map.h"

#if defined(_WIN32)
#define XMAP_PROVIDER_EXPORT extern "C" __declspec(dllexport)
#else
#define XMAP_PROVIDER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using framework::XMap;
using framework::XValue;

namespace {

int liveProbes = 0;

class ProbeHolder final : public XValue::Holder {
 public:
  ProbeHolder() { ++liveProbes; }
  ProbeHolder(const ProbeHolder&) : Holder() { ++liveProbes; }
  ~ProbeHolder() override { --liveProbes; }
  Holder* Clone() const override { return new ProbeHolder(*this); }
  const char* TypeName() const override { return "ProbeHolder"; }
};

}  // namespace

XMAP_PROVIDER_EXPORT void XMapFillValues(XMap* map) {
  map->SetValue("count", XValue(3));
  const XValue label(std::string("sensor"));
  map->SetValue("label", label);
  map->SetValue("reading", XValue(xmap_module::Reading{"C", 21.5}));
  map->SetValue("nothing", XValue());
  map->SetValue("probe", XValue(new ProbeHolder));
}

XMAP_PROVIDER_EXPORT int XMapLiveProbes() { return liveProbes; }
