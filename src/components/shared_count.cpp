#include "components/shared_count.h"

#include <utility>

#include "logging/log_message.h"

namespace framework {
namespace {

// Where the line of a release past zero says it comes from (fixed parts of the output).
constexpr const char* kReleaseFunction = "framework::SharedCount::ReleaseShared";
constexpr int kAlreadyReleasedLine = 32;

}  // namespace

SharedCount::SharedCount(std::function<void()> onRelease) : onRelease(std::move(onRelease)) {}

SharedCount::~SharedCount() = default;

SharedCount::DropResult SharedCount::Drop() {
  // Decide on the value the decrement itself returns: re-reading the count afterwards could
  // read an object that a concurrent last release has already destroyed.
  if (count.fetch_sub(1, std::memory_order_acq_rel) > 1) return DropResult::kOthersRemain;
  return Settle();
}

SharedCount::DropResult SharedCount::Settle() {
  bool expected = false;
  if (released.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
    return DropResult::kLast;
  }
  return retired.load(std::memory_order_relaxed) ? DropResult::kRetired
                                                 : DropResult::kAlreadyReleased;
}

void SharedCount::FinishRelease() {
  const DropResult settled = Settle();
  if (settled == DropResult::kLast) {
    RunRelease();
  } else if (settled == DropResult::kAlreadyReleased) {
    ReportAlreadyReleased();
  }
}

void SharedCount::RunRelease() {
  // The callback destroys this object, so it must not run from storage it frees.
  std::function<void()> callback = std::move(onRelease);
  if (callback) callback();
}

void SharedCount::ReportAlreadyReleased() {
  QLOG_ERROR(kReleaseFunction, kAlreadyReleasedLine) << "ReleaseShared failed. shared count == 0";
}

}  // namespace framework
