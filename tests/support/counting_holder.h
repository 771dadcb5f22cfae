#pragma once

#include <stdexcept>

#include "quendel/x_value.h"

namespace quendel::test {

// What the holders of one test did. `clonesBeforeFailure` >= 0 makes Clone throw once that
// many further clones have succeeded.
struct HolderLog {
  int clones = 0, destructions = 0, live = 0, clonesBeforeFailure = -1;
};

class CountingHolder final : public framework::XValue::Holder {
 public:
  CountingHolder(int value, HolderLog* log) : value(value), log_(log) { ++log_->live; }
  ~CountingHolder() override { ++log_->destructions, --log_->live; }
  Holder* Clone() const override {
    if (log_->clonesBeforeFailure == 0) throw std::runtime_error("clone failed");
    if (log_->clonesBeforeFailure > 0) --log_->clonesBeforeFailure;
    ++log_->clones;
    return new CountingHolder(value, log_);
  }
  const char* TypeName() const override { return "CountingHolder"; }
  const int value;

 private:
  HolderLog* log_;
};

inline framework::XValue Counted(int value, HolderLog* log) {
  return framework::XValue(new CountingHolder(value, log));
}
// The value a counting holder holds, or -1 for an empty value.
inline int ValueOf(const framework::XValue& value) {
  return value.holder ? static_cast<const CountingHolder*>(value.holder)->value : -1;
}

}  // namespace quendel::test
