// The one interface the package consumers agree on.
#pragma once

#include <quendel/framework.h>

namespace consumer {

struct IEcho : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IEcho, "consumer.echo");
  virtual int Echo(int value) = 0;

 protected:
  ~IEcho() = default;  // released, never deleted through the interface
};

}  // namespace consumer
