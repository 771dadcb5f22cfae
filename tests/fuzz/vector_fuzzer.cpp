// Drives a small pool of XVector<int> or XVector<XValue> through random operations and checks
// each one against a std::vector holding the same elements plus the capacity that the growth
// rule predicts: sizes, capacities, contents, kept blocks, exceptions and their messages.
// Values may be made to fail their Clone part-way through an operation, to check what each
// operation leaves behind.
#include <fuzzer/FuzzedDataProvider.h>
#include <quendel/x_vector.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_holder.h"
#include "fuzz/fuzz_support.h"

using framework::XValue;
using framework::XVector;

namespace {

using quendel::fuzz::CloneFailure;
using quendel::fuzz::holderCounts;

// An element type as the model sees it: an int, where -1 stands for an empty XValue.
struct IntElements {
  using Element = int;
  static constexpr std::uint64_t kMaxSize = 0x3FFFFFFFFFFFFFFF;
  static constexpr int kValueInitialised = 0;
  static constexpr bool kClones = false;
  static int Make(int model) { return model; }
  static int Read(const int& element) { return element; }
  static int Pick(FuzzedDataProvider& input) { return input.ConsumeIntegral<int>(); }
};

struct ValueElements {
  using Element = XValue;
  static constexpr std::uint64_t kMaxSize = 0x1FFFFFFFFFFFFFFF;
  static constexpr int kValueInitialised = -1;
  static constexpr bool kClones = true;
  static XValue Make(int model) { return quendel::fuzz::ValueOf(model); }
  static int Read(const XValue& element) { return quendel::fuzz::ModelOf(element); }
  static int Pick(FuzzedDataProvider& input) { return input.ConsumeIntegralInRange(-1, 999); }
};

struct Model {
  std::vector<int> elements;
  std::uint64_t capacity = 0;
};

enum class Outcome { kDone, kTooLong, kOutOfRange, kCloneFailed };

template <typename Traits>
class VectorModel {
  using T = typename Traits::Element;
  using Vector = XVector<T>;
  static constexpr std::uint64_t kMax = Traits::kMaxSize;

 public:
  explicit VectorModel(FuzzedDataProvider& input) : input_(input) {
    for (auto& slot : pool_) slot = std::make_unique<Vector>();
  }

  void Run() {
    for (int step = 0; step < 200 && input_.remaining_bytes() > 0; ++step) {
      const std::size_t i = PickSlot();
      const std::size_t j = PickSlot();
      armed_ = Traits::kClones && input_.ConsumeIntegralInRange(0, 5) == 0;
      holderCounts.clonesBeforeFailure = armed_ ? input_.ConsumeIntegralInRange(0, 4) : -1;
      before_ = models_[i];
      blockBefore_ = pool_[i]->data();
      Operate(input_.ConsumeIntegralInRange(0, 16), i, j);
      holderCounts.clonesBeforeFailure = -1;
      CheckAll();
    }
    for (auto& slot : pool_) slot.reset();
    FUZZ_CHECK(holderCounts.live == 0);
  }

 private:
  std::size_t PickSlot() { return input_.ConsumeIntegralInRange<std::size_t>(0, 2); }

  // A count for sizing operations: mostly small, sometimes above a 4096-byte block, and now
  // and then beyond max_size().
  std::uint64_t PickCount() {
    switch (input_.ConsumeIntegralInRange(0, 15)) {
      case 0:
        return kMax + 1;
      case 1:
        return input_.ConsumeBool() ? ~std::uint64_t{0} : kMax + 2;
      case 2:
        return input_.ConsumeIntegralInRange<std::uint64_t>(1000, 1100);
      default:
        return input_.ConsumeIntegralInRange<std::uint64_t>(0, 40);
    }
  }

  static std::uint64_t Grown(std::uint64_t capacity, std::uint64_t needed) {
    if (capacity > kMax - capacity / 2) return kMax;
    const std::uint64_t grown = capacity + capacity / 2;
    return grown < needed ? needed : grown;
  }

  template <typename Operation>
  Outcome Attempt(Operation operation) {
    try {
      operation();
      return Outcome::kDone;
    } catch (const std::length_error& error) {
      FUZZ_CHECK_MSG(std::string(error.what()) == "vector too long", error.what());
      return Outcome::kTooLong;
    } catch (const std::out_of_range& error) {
      FUZZ_CHECK_MSG(std::string(error.what()) == "invalid vector subscript", error.what());
      return Outcome::kOutOfRange;
    } catch (const CloneFailure&) {
      FUZZ_CHECK(armed_);
      return Outcome::kCloneFailed;
    }
  }

  void ExpectDone(Outcome outcome) { FUZZ_CHECK(outcome == Outcome::kDone); }
  void ExpectTooLong(Outcome outcome, std::size_t i) {
    FUZZ_CHECK(outcome == Outcome::kTooLong);
    ExpectUnchanged(i);
  }
  // The operations that promise to leave the vector as it was when a copy fails.
  void ExpectUnchanged(std::size_t i) {
    FUZZ_CHECK(models_[i].elements == before_.elements);
    FUZZ_CHECK(models_[i].capacity == before_.capacity);
    FUZZ_CHECK(pool_[i]->data() == blockBefore_);
  }
  void ExpectSameBlock(std::size_t i) { FUZZ_CHECK(pool_[i]->data() == blockBefore_); }
  // After a failed copy where only the basic guarantee holds: take the elements as they are.
  void Resync(std::size_t i) {
    Model& model = models_[i];
    model.elements.clear();
    for (std::uint64_t k = 0; k < pool_[i]->size(); ++k) {
      model.elements.push_back(Traits::Read((*pool_[i])[k]));
    }
  }

  void Operate(int operation, std::size_t i, std::size_t j) {
    Vector& vector = *pool_[i];
    Model& model = models_[i];
    const std::uint64_t size = model.elements.size();
    switch (operation) {
      case 0:
      case 1: {  // push_back, copied or moved; the value may be an element of the vector
        const bool own = size > 0 && input_.ConsumeBool();
        const std::size_t k = own ? input_.ConsumeIntegralInRange<std::size_t>(0, size - 1) : 0;
        const int pushed = own ? model.elements[k] : Traits::Pick(input_);
        const bool moved = operation == 1;
        const bool grows = size == model.capacity;
        T outside = Traits::Make(pushed);
        T& argument = own ? vector[k] : outside;
        const Outcome outcome = Attempt([&] {
          if (moved) {
            vector.push_back(std::move(argument));
          } else {
            vector.push_back(argument);
          }
        });
        if (outcome == Outcome::kCloneFailed) {
          Resync(i);
          ExpectUnchanged(i);
          FUZZ_CHECK(Traits::Read(own ? vector[k] : outside) == pushed);
          break;
        }
        ExpectDone(outcome);
        if (moved && Traits::kClones && own) model.elements[k] = -1;
        model.elements.push_back(pushed);
        if (grows) {
          model.capacity = Grown(model.capacity, size + 1);
        } else {
          ExpectSameBlock(i);
        }
        // A moved XValue is left empty; moving a scalar copies it.
        if (!own) FUZZ_CHECK(Traits::Read(outside) == (moved && Traits::kClones ? -1 : pushed));
        break;
      }
      case 2:  // pop_back
        if (size == 0) break;
        vector.pop_back();
        model.elements.pop_back();
        ExpectSameBlock(i);
        break;
      case 3:
      case 4: {  // resize, value-initialised or with a value that may be an element
        const std::uint64_t count = PickCount();
        const bool withValue = operation == 4;
        const bool own = withValue && size > 0 && input_.ConsumeBool();
        const std::size_t k = own ? input_.ConsumeIntegralInRange<std::size_t>(0, size - 1) : 0;
        const int fill = !withValue ? Traits::kValueInitialised
                         : own      ? model.elements[k]
                                    : Traits::Pick(input_);
        const T outside = Traits::Make(fill);
        const T& value = own ? vector[k] : outside;
        const Outcome outcome = Attempt([&] {
          if (withValue) {
            vector.resize(count, value);
          } else {
            vector.resize(count);
          }
        });
        if (count > kMax) {
          ExpectTooLong(outcome, i);
          break;
        }
        if (outcome == Outcome::kCloneFailed) {
          Resync(i);
          ExpectUnchanged(i);
          break;
        }
        ExpectDone(outcome);
        if (count > model.capacity) {
          model.capacity = Grown(model.capacity, count);
        } else {
          ExpectSameBlock(i);
        }
        model.elements.resize(count, fill);
        break;
      }
      case 5: {  // reserve
        const std::uint64_t count = PickCount();
        const Outcome outcome = Attempt([&] { vector.reserve(count); });
        if (count > model.capacity && count > kMax) {
          ExpectTooLong(outcome, i);
          break;
        }
        if (outcome == Outcome::kCloneFailed) {
          ExpectUnchanged(i);
          break;
        }
        ExpectDone(outcome);
        if (count > model.capacity) {
          model.capacity = count;
        } else {
          ExpectSameBlock(i);
        }
        break;
      }
      case 6: {  // shrink_to_fit
        const Outcome outcome = Attempt([&] { vector.shrink_to_fit(); });
        if (outcome == Outcome::kCloneFailed) {
          ExpectUnchanged(i);
          break;
        }
        ExpectDone(outcome);
        if (size == model.capacity) ExpectSameBlock(i);
        model.capacity = size;
        break;
      }
      case 7:  // clear keeps the block
        vector.clear();
        model.elements.clear();
        ExpectSameBlock(i);
        break;
      case 8: {  // assign
        const std::uint64_t count = PickCount();
        const int fill = Traits::Pick(input_);
        const T value = Traits::Make(fill);
        const Outcome outcome = Attempt([&] { vector.assign(count, value); });
        if (count > model.capacity && count > kMax) {
          ExpectTooLong(outcome, i);
          break;
        }
        if (outcome == Outcome::kCloneFailed) {
          Resync(i);
          if (count > model.capacity) {
            // Either the fill value's own copy failed and nothing changed, or the old
            // elements were gone and the new block is left empty.
            if (model.elements.empty() && vector.capacity() == Grown(model.capacity, count)) {
              model.capacity = Grown(model.capacity, count);
            } else {
              ExpectUnchanged(i);
            }
          }
          break;
        }
        ExpectDone(outcome);
        if (count > model.capacity) {
          model.capacity = Grown(model.capacity, count);
        } else {
          ExpectSameBlock(i);
        }
        model.elements.assign(count, fill);
        break;
      }
      case 9: {  // copy assignment, self-assignment included
        const std::vector<int> source = models_[j].elements;
        const Outcome outcome = Attempt([&] { vector = *pool_[j]; });
        const bool reallocates = i != j && source.size() > model.capacity;
        if (outcome == Outcome::kCloneFailed) {
          // Every copy is made before an old element changes.
          ExpectUnchanged(i);
          break;
        }
        ExpectDone(outcome);
        if (reallocates) {
          model.capacity = Grown(model.capacity, source.size());
        } else {
          ExpectSameBlock(i);
        }
        model.elements = source;
        break;
      }
      case 10: {  // move assignment: the block changes hands, nothing is copied
        T* block = pool_[j]->data();
        vector = std::move(*pool_[j]);
        if (i != j) {
          model = models_[j];
          models_[j] = Model{};
          FUZZ_CHECK(vector.data() == block);
        } else {
          ExpectSameBlock(i);
        }
        break;
      }
      case 11: {  // copy construction: capacity exactly the size
        std::unique_ptr<Vector> copy;
        const Outcome outcome = Attempt([&] { copy = std::make_unique<Vector>(*pool_[j]); });
        if (outcome == Outcome::kCloneFailed) break;
        ExpectDone(outcome);
        pool_[i] = std::move(copy);
        models_[i] = Model{models_[j].elements, models_[j].elements.size()};
        break;
      }
      case 12: {  // move construction: a new implementation object takes the block over
        T* block = pool_[j]->data();
        auto moved = std::make_unique<Vector>(std::move(*pool_[j]));
        FUZZ_CHECK(moved->data() == block);
        Model taken = models_[j];
        models_[j] = Model{};
        pool_[i] = std::move(moved);
        models_[i] = taken;
        break;
      }
      case 13: {  // count construction, value-initialised or filled
        const std::uint64_t count = PickCount();
        const bool withValue = input_.ConsumeBool();
        const int fill = withValue ? Traits::Pick(input_) : Traits::kValueInitialised;
        const T value = Traits::Make(fill);
        std::unique_ptr<Vector> made;
        const Outcome outcome = Attempt([&] {
          made =
              withValue ? std::make_unique<Vector>(count, value) : std::make_unique<Vector>(count);
        });
        if (count > kMax) {
          FUZZ_CHECK(outcome == Outcome::kTooLong);
          break;
        }
        if (outcome == Outcome::kCloneFailed) break;
        ExpectDone(outcome);
        pool_[i] = std::move(made);
        models_[i] = Model{std::vector<int>(count, fill), count};
        break;
      }
      case 14: {  // swap exchanges blocks
        T* mine = pool_[i]->data();
        T* theirs = pool_[j]->data();
        vector.swap(*pool_[j]);
        std::swap(models_[i], models_[j]);
        FUZZ_CHECK(pool_[i]->data() == theirs && pool_[j]->data() == mine);
        break;
      }
      case 15: {  // at, in range or past the end
        const std::uint64_t index =
            input_.ConsumeBool() ? input_.ConsumeIntegralInRange<std::uint64_t>(0, size + 2)
                                 : ~std::uint64_t{0} - input_.ConsumeIntegral<std::uint8_t>();
        const Vector& constant = vector;
        int read = 0;
        const Outcome outcome = Attempt([&] { read = Traits::Read(constant.at(index)); });
        if (index >= size) {
          FUZZ_CHECK(outcome == Outcome::kOutOfRange);
        } else {
          ExpectDone(outcome);
          FUZZ_CHECK(read == model.elements[index]);
          FUZZ_CHECK(&vector.at(index) == vector.data() + index);
        }
        break;
      }
      case 16:  // a fresh default-constructed vector
        pool_[i] = std::make_unique<Vector>();
        models_[i] = Model{};
        break;
    }
  }

  void CheckAll() {
    int nonEmpty = 0;
    for (std::size_t s = 0; s < pool_.size(); ++s) {
      const Vector& vector = *pool_[s];
      const Model& model = models_[s];
      const std::string where = "slot " + std::to_string(s);
      FUZZ_CHECK_MSG(vector.size() == model.elements.size(), where);
      FUZZ_CHECK_MSG(vector.capacity() == model.capacity,
                     where + " capacity " + std::to_string(vector.capacity()) + " expected " +
                         std::to_string(model.capacity));
      FUZZ_CHECK(vector.empty() == model.elements.empty());
      FUZZ_CHECK(vector.max_size() == kMax);
      // No block exactly when there is no capacity; large blocks are 32-byte aligned.
      FUZZ_CHECK((vector.data() == nullptr) == (model.capacity == 0));
      if (model.capacity * sizeof(T) >= 4096) {
        FUZZ_CHECK(reinterpret_cast<std::uintptr_t>(vector.data()) % 32 == 0);
      }
      for (std::size_t k = 0; k < model.elements.size(); ++k) {
        FUZZ_CHECK_MSG(Traits::Read(vector[k]) == model.elements[k], where);
        nonEmpty += model.elements[k] >= 0 ? 1 : 0;
      }
      if (!model.elements.empty()) {
        FUZZ_CHECK(&vector.front() == vector.data());
        FUZZ_CHECK(&vector.back() == vector.data() + model.elements.size() - 1);
      }
    }
    // Every value held by a vector has exactly one live holder, and nothing else does.
    if (Traits::kClones)
      FUZZ_CHECK_MSG(holderCounts.live == nonEmpty, std::to_string(holderCounts.live));
  }

  FuzzedDataProvider& input_;
  std::array<std::unique_ptr<Vector>, 3> pool_;
  std::array<Model, 3> models_;
  Model before_;
  const T* blockBefore_ = nullptr;
  bool armed_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  holderCounts = {};
  FuzzedDataProvider input(data, size);
  if (input.ConsumeBool()) {
    VectorModel<ValueElements>(input).Run();
  } else {
    VectorModel<IntElements>(input).Run();
  }
  return 0;
}
