#pragma once

#include <quendel/framework.h>

// The test provider module lists one counter twice, under the same id and texts: written by
// hand (HandRegistry) and with the helpers (HelperRegistry).
namespace paired {

struct ICounter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(ICounter, "paired.counter");
  virtual int Increment() = 0;
};

}  // namespace paired
