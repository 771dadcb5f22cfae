// A provider built against the package: a component and its registry function.
#include "echo.h"

namespace {

class Repeater : public framework::TComponent<consumer::IEcho> {
 public:
  using TComponent::TComponent;
  int Echo(int value) override { return value; }
};

}  // namespace

QUENDEL_REGISTRY_FUNCTION(ConsumerRegistry,
                          framework::Describe<Repeater>("Repeater", consumer::IEcho::kInterfaceId,
                                                        "1", 1, "answers with what it is given"));
