// XVector against a model of its contract: random operations on vectors of ints, of counted
// values and of vectors; then every element type, and values made in another module.
#include <quendel/framework.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/counting_holder.h"
#include "support/property.h"
#if !defined(QUENDEL_FUZZING)
#include "containers/values_module.h"
#include "support/module_loader.h"
#endif

using framework::XValue;
using framework::XVector;

namespace {

quendel::test::HolderLog holders;

// How the model sees an element: an int; empty values and vectors read as -1.
template <typename T>
struct Kind {  // int
  static int Make(int value) { return value; }
  static int Read(int element) { return element; }
  static constexpr int kEmpty = 0;  // value-initialised
  static constexpr bool kMoveEmpties = false;
};
template <>
struct Kind<XValue> {
  static XValue Make(int value) { return quendel::test::Counted(value, &holders); }
  static int Read(const XValue& element) { return quendel::test::ValueOf(element); }
  static constexpr int kEmpty = -1;
  static constexpr bool kMoveEmpties = true;
};
template <>
struct Kind<XVector<int>> {
  static XVector<int> Make(int value) { return XVector<int>(1, value); }
  static int Read(const XVector<int>& element) { return element.empty() ? -1 : element[0]; }
  static constexpr int kEmpty = -1;
  static constexpr bool kMoveEmpties = true;
};

struct Model {
  std::vector<int> items;
  std::int64_t Values() const {
    return std::count_if(items.begin(), items.end(), [](int item) { return item != -1; });
  }
  std::uint64_t capacity = 0;
  // Room for `count` elements: a full block grows by half of itself, or to `count` when
  // that is not enough.
  void Grow(std::uint64_t count) {
    if (count > capacity) capacity = std::max<std::uint64_t>(count, capacity * 3 / 2);
  }
};

template <typename T>
void Check(const XVector<T>& vector, const Model& model) {
  MODEL_CHECK(vector.size() == model.items.size() && vector.capacity() == model.capacity);
  MODEL_CHECK(vector.empty() == model.items.empty());
  MODEL_CHECK((vector.data() == nullptr) == (model.capacity == 0));
  for (std::size_t k = 0; k < model.items.size(); ++k) {
    MODEL_CHECK(Kind<T>::Read(vector[k]) == model.items[k]);
  }
}

// What an operation threw: nothing (""), a library error with its message, or a failed clone.
template <typename Operation>
std::string Thrown(Operation operation) {
  try {
    operation();
  } catch (const std::length_error& error) {
    return std::string("length_error: ") + error.what();
  } catch (const std::out_of_range& error) {
    return std::string("out_of_range: ") + error.what();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "";
}

template <typename T>
void RunWith(quendel::test::Bytes& in) {
  using K = Kind<T>;
  constexpr bool kValues = std::is_same_v<T, XValue>;
  XVector<T> v[2];
  Model m[2];
  for (int step = 0; step < 64 && in.More(); ++step) {
    // No holder leaked or destroyed twice by the last step.
    MODEL_CHECK(!kValues || holders.live == m[0].Values() + m[1].Values());
    const int i = in.Below(2), j = in.Below(2), op = in.Below(18);
    XVector<T>& a = v[i];
    Model& am = m[i];
    const T* block = a.data();
    const Model before = am;
    const auto size = static_cast<std::uint32_t>(am.items.size());
    // Counts are mostly small, now and then past a 4096-byte block or past max_size().
    const std::uint64_t n = in.Below(16) == 0 ? 1000 + in.Below(100) : in.Below(24);
    const std::uint64_t huge = in.Below(2) ? ~std::uint64_t{0} : a.max_size() + 1;
    // The argument: a new value, or an element of the same vector.
    const int value = in.Below(100);
    T fresh = K::Make(value);
    const bool own = size != 0 && in.Below(2);
    const std::uint32_t k = size != 0 ? in.Below(size) : 0;
    T& arg = own ? a[k] : fresh;
    const int argValue = own ? am.items[k] : value;
    int freshAfter = value;
    bool inPlace = true, strong = op != 7;
    std::string expected;
    holders.clonesBeforeFailure = kValues && op != 17 && in.Below(6) == 0 ? in.Below(4) : -1;
    const std::string thrown = Thrown([&] {
      switch (op) {
        case 0:
          a.push_back(std::as_const(arg));
          am.Grow(size + 1), am.items.push_back(argValue);
          break;
        case 1:  // the element moved from is left empty, also when it is in this vector
          a.push_back(std::move(arg));
          am.Grow(size + 1), am.items.push_back(argValue);
          if (K::kMoveEmpties) (own ? am.items[k] : freshAfter) = K::kEmpty;
          break;
        case 2:
          if (size != 0) a.pop_back(), am.items.pop_back();
          break;
        case 3:
          a.resize(n);
          am.Grow(n), am.items.resize(n, K::kEmpty);
          break;
        case 4:
          a.resize(n, arg);
          am.Grow(n), am.items.resize(n, argValue);
          break;
        case 5:  // reserve and shrink_to_fit allocate exactly
          a.reserve(n);
          am.capacity = std::max(am.capacity, n);
          break;
        case 6:
          a.shrink_to_fit();
          am.capacity = size;
          break;
        case 7:
          a.assign(n, arg);
          am.Grow(n), am.items.assign(n, argValue);
          break;
        case 8:
          a = v[j];
          am.Grow(m[j].items.size()), am.items = m[j].items;
          break;
        case 9:
          a = std::move(v[j]);
          if (i != j) am = m[j], m[j] = Model{}, inPlace = false;
          break;
        case 10: {  // a copy allocates exactly and clones each value once
          const int clones = holders.clones;
          XVector<T> copy(v[j]);
          MODEL_CHECK(holders.clones - clones == (kValues ? m[j].Values() : 0));
          a.swap(copy);
          am.items = m[j].items, am.capacity = m[j].items.size(), inPlace = false;
          break;
        }
        case 11: {
          XVector<T> moved(std::move(v[j]));
          a.swap(moved);
          const Model taken = m[j];
          m[j] = Model{}, am = taken, inPlace = false;
          break;
        }
        case 12: {
          const std::uint64_t index = in.Below(size + 2);
          if (index >= size) expected = "out_of_range: invalid vector subscript";
          const T& element = in.Below(2) ? a.at(index) : std::as_const(a).at(index);
          MODEL_CHECK(K::Read(element) == am.items[index]);
          break;
        }
        case 13:
          a.clear(), am.items.clear();
          break;
        case 14:
          a.swap(v[j]), std::swap(am, m[j]), inPlace = false;
          break;
        case 15: {  // refused, leaving the vector as it was
          expected = "length_error: vector too long";
          const auto which = in.Below(6);
          if (which == 0) a.reserve(huge);
          if (which == 1) a.resize(huge);
          if (which == 2) a.resize(huge, arg);
          if (which == 3) a.assign(huge, arg);
          if (which == 4) XVector<T> tooLong(huge);
          XVector<T> tooLong(huge, arg);
          break;
        }
        case 16: {  // count constructors allocate exactly
          const bool filled = in.Below(2);
          XVector<T> made = filled ? XVector<T>(n, arg) : XVector<T>(n);
          a.swap(made);
          am.items.assign(n, filled ? argValue : K::kEmpty);
          am.capacity = n, inPlace = false;
          break;
        }
        case 17:  // from a vector or value living inside one of the target's own elements
          if constexpr (kValues) {
            if (size == 0) break;
            a[k] = XValue(XVector<XValue>(v[j]));
            XVector<XValue>& inner = *a[k].template Get<XVector<XValue>>();
            const int variant = m[j].items.empty() ? in.Below(2) : in.Below(3);
            if (variant == 0) a = inner, am.Grow(m[j].items.size());
            if (variant == 1) a = std::move(inner), am.capacity = m[j].items.size();
            if (variant == 2) a.assign(n, inner[0]), am.Grow(n);
            am.items = variant == 2 ? std::vector<int>(n, m[j].items[0]) : m[j].items;
            inPlace = variant != 1;
          }
          break;
      }
    });
    holders.clonesBeforeFailure = -1;
    if (thrown == "clone failed" && !strong) {  // only the basic guarantee: take what is there
      am.items.clear();
      for (std::uint64_t e = 0; e < a.size(); ++e) am.items.push_back(K::Read(a[e]));
      am.capacity = a.capacity();
    } else if (thrown == "clone failed") {
      MODEL_CHECK(a.data() == block && am.capacity == before.capacity);
      freshAfter = value;  // a value pushed by move is handed back
    } else {
      MODEL_CHECK_MSG(thrown == expected, thrown);
    }
    if (inPlace && am.capacity == before.capacity) MODEL_CHECK(a.data() == block);
    MODEL_CHECK(own || K::Read(fresh) == freshAfter);
    Check(v[0], m[0]);
    Check(v[1], m[1]);
  }
}

void RunVectorSequence(quendel::test::Bytes& in) {
  holders = quendel::test::HolderLog{};
  switch (in.Below(3)) {
    case 0:
      return RunWith<int>(in);
    case 1:
      return RunWith<XVector<int>>(in);
    default:
      RunWith<XValue>(in);
      MODEL_CHECK(holders.live == 0);
  }
}

#if !defined(QUENDEL_FUZZING)
// Instantiates, links and grows by the rule; refuses counts past its limit, and its blocks
// of 4096 bytes or more start on 32-byte boundaries.
template <typename T>
void CheckElementType(const char* name, std::uint64_t limit) {
  SCOPED_TRACE(name);
  XVector<T> vector;
  std::vector<std::uint64_t> capacities;
  for (int i = 0; i < 142; ++i) {
    vector.push_back(T());
    if (capacities.empty() || capacities.back() != vector.capacity()) {
      capacities.push_back(vector.capacity());
    }
  }
  EXPECT_EQ(capacities,
            (std::vector<std::uint64_t>{1, 2, 3, 4, 6, 9, 13, 19, 28, 42, 63, 94, 141, 211}));
  XVector<T> copy(vector);
  copy.resize(5, copy.at(141));
  copy.pop_back();
  copy.shrink_to_fit();
  EXPECT_EQ(copy.capacity(), 4u);
  EXPECT_EQ(vector.max_size(), limit);
  EXPECT_THROW((void)XVector<T>(limit + 1), std::length_error);
  EXPECT_THROW((void)XVector<T>(limit), std::bad_alloc);  // allowed, but no block can hold it
  EXPECT_THROW(vector.reserve(limit), std::bad_alloc);
  EXPECT_THROW(vector.at(142), std::out_of_range);
  EXPECT_EQ(vector.size(), 142u);
  // The first block is exactly 4096 bytes when the element size divides it.
  const std::uint64_t smallest = (4096 + sizeof(T) - 1) / sizeof(T);
  for (std::uint64_t extra = 0; extra < 64; extra += 9) {
    XVector<T> large(smallest + extra);
    copy.reserve(smallest + extra * 2);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.data()) % 32, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(copy.data()) % 32, 0u);
  }
}

#define CHECK_TYPE(T, limit) CheckElementType<T>(#T, limit)

TEST(VectorModel, EveryElementType) {
  const std::uint64_t bytes = 0x7FFFFFFFFFFFFFFF, words = bytes / 2, pointers = bytes / 4;
  CHECK_TYPE(char, bytes);
  CHECK_TYPE(int, words);
  CHECK_TYPE(unsigned int, words);
  CHECK_TYPE(float, words);
  CHECK_TYPE(std::int64_t, pointers);
  CHECK_TYPE(std::uint64_t, pointers);
  CHECK_TYPE(char*, pointers);
  CHECK_TYPE(framework::CTUnknown*, pointers);
  CHECK_TYPE(framework::XBuffer, 0x0555555555555555);
  CHECK_TYPE(framework::XImage, 0x02AAAAAAAAAAAAAA);
  CHECK_TYPE(XValue, pointers);
  CHECK_TYPE(XVector<char>, pointers);
  CHECK_TYPE(XVector<int>, pointers);
  CHECK_TYPE(XVector<unsigned int>, pointers);
  CHECK_TYPE(XVector<float>, pointers);
  CHECK_TYPE(XVector<char*>, pointers);
  CHECK_TYPE(XVector<std::int64_t>, pointers);
  CHECK_TYPE(XVector<std::uint64_t>, pointers);
}

// Not the provider's Local, although both are "Local" in an anonymous namespace.
struct Local {
  double number;
};

TEST(VectorModel, ValuesMadeInAnotherModuleAreClonedAndFreedThere) {
  // Declared first: the provider's holder code must outlive every value it made.
  quendel::test::LoadedModule module(quendel::test::ProviderPath("values_provider"));
  ASSERT_TRUE(module.Loaded()) << module.Error();
  auto makeValues = module.Get<values_module::MakeValuesFunction>("MakeValues");
  auto readLocal = module.Get<values_module::ReadLocalFunction>("ReadLocal");
  ASSERT_TRUE(makeValues && readLocal);

  XVector<XValue> values;
  values.push_back(XValue(Local{1.5}));
  makeValues(&values);
  ASSERT_EQ(values.size(), 4u);
  const XVector<XValue> copies(values);
  values.clear();
  const auto* sample = copies[1].Get<values_module::Sample>();
  ASSERT_TRUE(sample && copies[2].Get<std::string>());
  EXPECT_EQ(sample->unit, "mm");
  EXPECT_EQ(sample->value, 2.5);
  EXPECT_EQ(copies[1].Get<std::string>(), nullptr);
  EXPECT_EQ(*copies[2].Get<std::string>(), "made there");
  EXPECT_EQ(readLocal(&copies[3]), 11);
  ASSERT_NE(copies[0].Get<Local>(), nullptr);
  EXPECT_EQ(copies[0].Get<Local>()->number, 1.5);
#if defined(__GNUC__) && !defined(__clang__)
  // Only GCC tells module-local types of the same name apart.
  EXPECT_EQ(copies[3].Get<Local>(), nullptr);
  EXPECT_EQ(readLocal(&copies[0]), -1);
#endif
}
#endif

}  // namespace

QUENDEL_PROPERTY_TEST(VectorModel, RunVectorSequence);
