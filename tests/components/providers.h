#ifndef QUENDEL_TESTS_COMPONENTS_PROVIDERS_H
#define QUENDEL_TESTS_COMPONENTS_PROVIDERS_H

#include <quendel/framework.h>

// The test provider module lists the same two components twice, under the same ids and
// texts: written by hand (HandRegistry) and with the helpers (HelperRegistry).
namespace paired {

struct ICounter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(ICounter, "paired.counter");
  virtual int Increment() = 0;
};
// Answered by live counters only: no component is registered under it.
struct IReset : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IReset, "paired.reset");
  virtual void Reset() = 0;
};
// The aggregate, which answers the counter's interfaces through an inner counter.
struct IGreeter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IGreeter, "paired.aggregate");
  virtual const char* Greeting() = 0;
};

// The objects one way of writing made and destroyed.
struct Lives {
  int constructed = 0;
  int destroyed = 0;
};
using LivesFunc = Lives* (*)(bool helpers);

}  // namespace paired

#endif  // QUENDEL_TESTS_COMPONENTS_PROVIDERS_H
