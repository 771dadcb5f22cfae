// A module that fills a host's vector with values whose holders only this module's code
// creates, clones and frees.
#include <string>

#include "containers/x_vector_module_values.h"

#if defined(_WIN32)
#define XVECTOR_PROVIDER_EXPORT extern "C" __declspec(dllexport)
#else
#define XVECTOR_PROVIDER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using framework::XValue;
using framework::XVector;

namespace {

// Shares its name with a different type in the host's test.
struct Local {
  int number;
};

}  // namespace

XVECTOR_PROVIDER_EXPORT void XVectorMakeValues(XVector<XValue>* values) {
  values->push_back(XValue(xvector_module::Sample{"mm", 2.5}));
  const XValue text(std::string("made there"));
  values->push_back(text);
  values->push_back(XValue(Local{11}));
}

XVECTOR_PROVIDER_EXPORT int XVectorReadLocal(const XValue* value) {
  const Local* local = value->Get<Local>();
  return local ? local->number : -1;
}
