// Drives an XMap through random sets (copied and moved, onto absent and present keys),
// lookups, in-place changes and removals, and checks each step against a std::map of the
// same keys: results, stored values, that stored values never move, how often values are
// cloned, the refusal log line of each duplicate set, and that every holder is destroyed
// exactly once. Clones may be made to fail, to check what a failed copy leaves behind.
#include <fuzzer/FuzzedDataProvider.h>
#include <quendel/x_map.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_holder.h"
#include "fuzz/fuzz_support.h"

using framework::XMap;
using framework::XValue;
using quendel::fuzz::CloneFailure;
using quendel::fuzz::holderCounts;
using quendel::fuzz::ModelOf;
using quendel::fuzz::PlainLine;
using quendel::fuzz::ValueOf;

namespace {

const std::string kSetValue = "framework::XMap::Impl::SetValue";

struct Stored {
  int value;                   // -1: an empty value
  const XValue* at = nullptr;  // where GetValue first found it; it must never move
};

class MapModel {
 public:
  explicit MapModel(FuzzedDataProvider& input) : input_(input) {}

  void Run() {
    map_ = std::make_unique<XMap>();
    for (int step = 0; step < 300 && input_.remaining_bytes() > 0; ++step) {
      const int operation = input_.ConsumeIntegralInRange(0, 8);
      const std::string key = PickKey();
      if (quendel::fuzz::Tracing()) {
        std::fprintf(stderr, "op %d key '%s'\n", operation, key.c_str());
      }
      Operate(operation, key);
      Check();
    }
    map_.reset();
    FUZZ_CHECK_MSG(holderCounts.live == 0, std::to_string(holderCounts.live));
    Expect({});
  }

 private:
  // Keys that collide in interesting ways, or any bytes (up to the first NUL).
  std::string PickKey() {
    static const char* const kKeys[] = {"", "a", "A", "key", "key ", "\xA1\xAA", "k\xff"};
    if (input_.ConsumeIntegralInRange(0, 3) == 0) {
      return std::string(input_.ConsumeRandomLengthString(24).c_str());
    }
    if (input_.ConsumeIntegralInRange(0, 15) == 0) return std::string(300, 'x');
    return kKeys[input_.ConsumeIntegralInRange<std::size_t>(0, std::size(kKeys) - 1)];
  }
  int PickValue() { return input_.ConsumeIntegralInRange(-1, 99); }
  // Sometimes the next clone fails.
  bool Arm() {
    const bool armed = input_.ConsumeIntegralInRange(0, 4) == 0;
    holderCounts.clonesBeforeFailure = armed ? 0 : -1;
    return armed;
  }

  void Expect(const std::vector<std::string>& expected) {
    const std::vector<std::string> actual = log_.Take();
    FUZZ_CHECK_MSG(actual == expected, "\nexpected:" + quendel::fuzz::Joined(expected) +
                                           "\nactual:" + quendel::fuzz::Joined(actual));
  }
  std::vector<std::string> Refusal(int line, const std::string& key) {
    return {PlainLine(kSetValue, line, "XMap SetValue failed. found key:" + key)};
  }

  void Operate(int operation, const std::string& key) {
    const bool present = model_.count(key) != 0;
    const int clonesBefore = holderCounts.clones;
    switch (operation) {
      case 0: {  // SetValue, copying form
        const int value = PickValue();
        const XValue argument = ValueOf(value);
        const bool armed = Arm();
        bool failed = false;
        try {
          map_->SetValue(key.c_str(), argument);
        } catch (const CloneFailure&) {
          failed = true;
        }
        holderCounts.clonesBeforeFailure = -1;
        FUZZ_CHECK(ModelOf(argument) == value);
        if (present) {
          FUZZ_CHECK(!failed && holderCounts.clones == clonesBefore);  // nothing is cloned
          Expect(Refusal(30, key));
          break;
        }
        FUZZ_CHECK(failed == (armed && value >= 0));
        // A failed clone leaves the key in the map with an empty value.
        model_[key] = Stored{failed ? -1 : value};
        FUZZ_CHECK(holderCounts.clones == clonesBefore + (value >= 0 && !failed ? 1 : 0));
        Expect({});
        break;
      }
      case 1: {  // SetValue, moving form: the holder changes hands, nothing is cloned
        const int value = PickValue();
        XValue argument = ValueOf(value);
        const XValue::Holder* holder = argument.holder;
        Arm();
        map_->SetValue(key.c_str(), std::move(argument));
        holderCounts.clonesBeforeFailure = -1;
        FUZZ_CHECK(holderCounts.clones == clonesBefore);
        if (present) {
          FUZZ_CHECK(argument.holder == holder);  // NOLINT(bugprone-use-after-move)
          Expect(Refusal(22, key));
          break;
        }
        FUZZ_CHECK(argument.holder == nullptr);  // NOLINT(bugprone-use-after-move)
        model_[key] = Stored{value};
        FUZZ_CHECK(map_->GetValue(key.c_str())->holder == holder);
        Expect({});
        break;
      }
      case 2:
      case 3: {  // GetValue by pointer, through the map or through a const map
        const XMap& constant = *map_;
        XValue* found =
            operation == 2 ? map_->GetValue(key.c_str()) : constant.GetValue(key.c_str());
        FUZZ_CHECK((found != nullptr) == present);
        if (present) Found(key, found);
        FUZZ_CHECK(holderCounts.clones == clonesBefore);
        Expect({});
        break;
      }
      case 4: {  // GetValue into a value, which is copy-assigned only when the key is there
        const int previous = PickValue();
        XValue out = ValueOf(previous);
        const XValue::Holder* holder = out.holder;
        const bool armed = Arm();
        bool result = false;
        bool failed = false;
        try {
          result = map_->GetValue(key.c_str(), out);
        } catch (const CloneFailure&) {
          failed = true;
        }
        holderCounts.clonesBeforeFailure = -1;
        const int stored = present ? model_[key].value : -1;
        FUZZ_CHECK(failed == (present && armed && stored >= 0));
        if (!present || failed) {
          // Absent key, or the copy failed: `out` keeps what it held, holder and all.
          FUZZ_CHECK(!result && out.holder == holder);
        } else {
          FUZZ_CHECK(result && ModelOf(out) == stored);
          FUZZ_CHECK(holderCounts.clones == clonesBefore + (stored >= 0 ? 1 : 0));
        }
        Expect({});
        break;
      }
      case 5: {  // changing a stored value in place through its pointer
        XValue* found = map_->GetValue(key.c_str());
        if (found == nullptr) break;
        const int value = PickValue();
        *found = ValueOf(value);
        model_[key].value = value;
        Found(key, found);
        break;
      }
      case 6:  // RemoveAt, present or absent, never logs
        map_->RemoveAt(key.c_str());
        model_.erase(key);
        FUZZ_CHECK(map_->GetValue(key.c_str()) == nullptr);
        Expect({});
        break;
      case 7: {  // keys are compared as whole byte strings
        const std::string longer = key + "!";
        FUZZ_CHECK((map_->GetValue(longer.c_str()) != nullptr) == (model_.count(longer) != 0));
        break;
      }
      case 8:  // a new map; the old one destroys every holder it has
        map_ = std::make_unique<XMap>();
        model_.clear();
        FUZZ_CHECK(holderCounts.live == 0);
        Expect({});
        break;
    }
  }

  // The value of a present key sits where it was first found, however the map has grown.
  void Found(const std::string& key, const XValue* at) {
    Stored& stored = model_[key];
    if (stored.at == nullptr) stored.at = at;
    FUZZ_CHECK_MSG(stored.at == at, key);
  }

  void Check() {
    int nonEmpty = 0;
    for (auto& [key, stored] : model_) {
      const XValue* value = map_->GetValue(key.c_str());
      FUZZ_CHECK_MSG(value != nullptr, key);
      FUZZ_CHECK_MSG(ModelOf(*value) == stored.value, key);
      Found(key, value);
      nonEmpty += stored.value >= 0 ? 1 : 0;
    }
    FUZZ_CHECK_MSG(holderCounts.live == nonEmpty, std::to_string(holderCounts.live));
  }

  FuzzedDataProvider& input_;
  quendel::fuzz::LogRecorder& log_ = Recorder();
  std::unique_ptr<XMap> map_;
  std::map<std::string, Stored> model_;

  static quendel::fuzz::LogRecorder& Recorder() {
    static quendel::fuzz::LogRecorder recorder;
    return recorder;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  holderCounts = {};
  FuzzedDataProvider input(data, size);
  MapModel(input).Run();
  return 0;
}
