#ifndef QUENDEL_TESTS_COMPONENTS_PAIRED_INTERFACES_H
#define QUENDEL_TESTS_COMPONENTS_PAIRED_INTERFACES_H

#include <quendel/framework.h>

// The paired provider offers the same components twice, under the same ids and texts: once
// written by hand, once with the helpers. Tests run one scenario on each and compare.
namespace paired {

struct ICounter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(ICounter, "paired.counter");
  virtual int Increment() = 0;
};
// Answered by a live counter only: no component is registered under it.
struct IReset : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IReset, "paired.reset");
  virtual void Reset() = 0;
};
struct IGreeter : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IGreeter, "paired.aggregate");
  virtual const char* Greeting() = 0;
};
// Answered by the aggregate's inner part, through the aggregate.
struct IInner : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IInner, "paired.inner");
  virtual int Twice(int value) = 0;
};

// Objects alive in the module, per way of writing.
struct Lives {
  int constructed = 0;
  int destroyed = 0;
};
struct Stats {
  Lives hand;
  Lives helper;
};

using StatsFunc = Stats* (*)();

}  // namespace paired

#endif  // QUENDEL_TESTS_COMPONENTS_PAIRED_INTERFACES_H
