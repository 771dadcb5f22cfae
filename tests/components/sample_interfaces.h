#ifndef QUENDEL_TESTS_COMPONENTS_SAMPLE_INTERFACES_H
#define QUENDEL_TESTS_COMPONENTS_SAMPLE_INTERFACES_H

#include <quendel/framework.h>

// Interfaces and entry points shared by the sample provider module and the tests that load it.
namespace sample {

constexpr char kCounterId[] = "sample.counter";
constexpr char kGreeterId[] = "sample.greeter";
constexpr char kAggregateId[] = "sample.aggregate";
constexpr char kNamelessId[] = "sample.nameless";
constexpr char kNoCreatorId[] = "sample.no-creator";
constexpr char kFailingId[] = "sample.failing";
constexpr char kSilentId[] = "sample.silent";  // its instances answer no id at all
// Answered only by a live counter: no component is registered under it.
constexpr char kResetId[] = "sample.reset";
// Answered by the inner part of the aggregate, through the aggregate.
constexpr char kInnerId[] = "sample.inner";

struct ICounter : framework::CTUnknown {
  virtual int Increment() = 0;
};
struct IReset : framework::CTUnknown {
  virtual void Reset() = 0;
};
struct IGreeter : framework::CTUnknown {
  virtual const char* Greeting() = 0;
};
struct IInner : framework::CTUnknown {
  virtual int Twice(int value) = 0;
};

// What the provider module has seen, for tests to check lifetimes across the boundary.
struct Stats {
  int constructed = 0;
  int destroyed = 0;
  int infosDeleted = 0;
  int creatorCalls = 0;
};

using StatsFunc = Stats* (*)();
using CreateDirectFunc = framework::CTComponentUnknown* (*)(framework::CTUnknown* owner);

}  // namespace sample

#endif  // QUENDEL_TESTS_COMPONENTS_SAMPLE_INTERFACES_H
