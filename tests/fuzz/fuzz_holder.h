#ifndef QUENDEL_TESTS_FUZZ_FUZZ_HOLDER_H
#define QUENDEL_TESTS_FUZZ_FUZZ_HOLDER_H

#include <quendel/x_value.h>

namespace quendel::fuzz {

struct CloneFailure {};

// What the holders of one input have done. Arm `clonesBeforeFailure` (>= 0) to make Clone
// throw CloneFailure once that many further clones have succeeded.
struct HolderCounts {
  int live = 0;
  int clones = 0;
  int clonesBeforeFailure = -1;
};
inline HolderCounts holderCounts;

// An XValue holder of an int that counts itself, so that a model can tell which values
// exist and how often they were cloned.
class FuzzHolder final : public framework::XValue::Holder {
 public:
  explicit FuzzHolder(int value) : value(value) { ++holderCounts.live; }
  ~FuzzHolder() override { --holderCounts.live; }
  Holder* Clone() const override {
    if (holderCounts.clonesBeforeFailure == 0) throw CloneFailure{};
    if (holderCounts.clonesBeforeFailure > 0) --holderCounts.clonesBeforeFailure;
    ++holderCounts.clones;
    return new FuzzHolder(value);
  }
  const char* TypeName() const override { return "FuzzHolder"; }

  const int value;
};

// The model's view of a value: the held int, or -1 for an empty value.
inline int ModelOf(const framework::XValue& value) {
  return value.holder != nullptr ? static_cast<const FuzzHolder*>(value.holder)->value : -1;
}
inline framework::XValue ValueOf(int model) {
  return model < 0 ? framework::XValue() : framework::XValue(new FuzzHolder(model));
}

}  // namespace quendel::fuzz

#endif  // QUENDEL_TESTS_FUZZ_FUZZ_HOLDER_H
