#pragma once

#include <quendel/framework.h>

// The provider lists one counter twice, same id and texts: by hand and with the helpers.
namespace paired {

struct ICounter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(ICounter, "paired.counter");
  virtual int Increment() = 0;
};

}  // namespace paired
