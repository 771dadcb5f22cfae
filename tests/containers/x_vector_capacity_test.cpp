#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "containers/x_vector_test_types.h"

namespace quendel::test {
namespace {

template <typename T>
std::uint64_t ExpectedMaxSize() {
  if constexpr (sizeof(T) == 1) return 0x7FFFFFFFFFFFFFFF;
  if constexpr (sizeof(T) == 4) return 0x3FFFFFFFFFFFFFFF;
  if constexpr (sizeof(T) == 8) return 0x1FFFFFFFFFFFFFFF;
  if constexpr (std::is_same_v<T, XBuffer>) return 0x0555555555555555;
  if constexpr (std::is_same_v<T, XImage>) return 0x02AAAAAAAAAAAAAA;
  return 0;
}

template <typename T>
class XVectorEveryTypeTest : public ::testing::Test {};
TYPED_TEST_SUITE(XVectorEveryTypeTest, XVectorElementTypes, XVectorElementTypeNames);

TYPED_TEST(XVectorEveryTypeTest, GrowsByHalfFromNothing) {
  XVector<TypeParam> vector;
  EXPECT_EQ(vector.size(), 0u);
  EXPECT_EQ(vector.capacity(), 0u);
  EXPECT_TRUE(vector.empty());
  EXPECT_EQ(vector.data(), nullptr);

  std::vector<std::uint64_t> capacities;
  for (int i = 0; i < 142; ++i) {
    vector.push_back(TypeParam());
    if (capacities.empty() || capacities.back() != vector.capacity()) {
      capacities.push_back(vector.capacity());
    }
  }
  EXPECT_EQ(capacities,
            (std::vector<std::uint64_t>{1, 2, 3, 4, 6, 9, 13, 19, 28, 42, 63, 94, 141, 211}));
  EXPECT_EQ(vector.size(), 142u);
}

TYPED_TEST(XVectorEveryTypeTest, RefusesCountsBeyondItsLimitAndStaysAsItWas) {
  XVector<TypeParam> vector(3);
  const std::uint64_t limit = vector.max_size();
  EXPECT_EQ(limit, ExpectedMaxSize<TypeParam>());

  const TypeParam* data = vector.data();
  auto expectUnchanged = [&] {
    EXPECT_EQ(vector.data(), data);
    EXPECT_EQ(vector.size(), 3u);
    EXPECT_EQ(vector.capacity(), 3u);
  };
  EXPECT_EQ(MessageOf<std::length_error>([&] { XVector<TypeParam> tooLong(limit + 1); }),
            "vector too long");
  EXPECT_EQ(MessageOf<std::length_error>([&] { vector.reserve(limit + 1); }), "vector too long");
  expectUnchanged();
  EXPECT_EQ(MessageOf<std::length_error>([&] { vector.resize(limit + 1); }), "vector too long");
  expectUnchanged();
  EXPECT_EQ(MessageOf<std::length_error>([&] { vector.resize(limit + 1, TypeParam()); }),
            "vector too long");
  expectUnchanged();
  EXPECT_EQ(MessageOf<std::length_error>([&] { vector.assign(limit + 1, TypeParam()); }),
            "vector too long");
  expectUnchanged();
  // A count within the limit that no block can hold.
  EXPECT_THROW(vector.reserve(limit), std::bad_alloc);
  expectUnchanged();
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { vector.at(3); }), "invalid vector subscript");
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { std::as_const(vector).at(limit); }),
            "invalid vector subscript");
  expectUnchanged();
  EXPECT_NO_THROW(vector.at(2));
}

TYPED_TEST(XVectorEveryTypeTest, MovedFromVectorsAreEmptyAndUsable) {
  XVector<TypeParam> source(5);
  const TypeParam* block = source.data();

  XVector<TypeParam> moved(std::move(source));
  EXPECT_EQ(moved.data(), block);
  EXPECT_EQ(moved.size(), 5u);
  EXPECT_EQ(source.capacity(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(source.data(), nullptr);
  source.push_back(TypeParam());
  EXPECT_EQ(source.size(), 1u);

  XVector<TypeParam> target(2);
  target = std::move(moved);
  EXPECT_EQ(target.data(), block);
  EXPECT_EQ(moved.size(), 0u);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.capacity(), 0u);
  moved.push_back(TypeParam());
  EXPECT_EQ(moved.size(), 1u);
}

TYPED_TEST(XVectorEveryTypeTest, LargeBlocksStartOn32ByteBoundaries) {
  const std::uint64_t smallest = (4096 + sizeof(TypeParam) - 1) / sizeof(TypeParam);
  // Enough blocks that a 16-byte-aligned allocator would miss by chance.
  std::vector<XVector<TypeParam>> vectors;
  vectors.reserve(48);
  for (std::uint64_t extra = 0; extra < 24; ++extra) {
    vectors.emplace_back(smallest + extra * 7);
    XVector<TypeParam> grown;
    grown.reserve(smallest + extra);
    vectors.push_back(std::move(grown));
  }
  for (const auto& vector : vectors) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(vector.data()) % 32, 0u);
  }
}

TEST(XVectorCapacityTest, ResizeReserveAndShrinkAllocateAsTold) {
  XVector<int> vector;
  vector.resize(10);
  EXPECT_EQ(vector.capacity(), 10u);
  vector.resize(11);
  EXPECT_EQ(vector.capacity(), 15u);
  vector.resize(3);
  EXPECT_EQ(vector.capacity(), 15u);
  vector.reserve(5);
  EXPECT_EQ(vector.capacity(), 15u);

  for (int i = 0; i < 4; ++i) vector.push_back(i + 1);
  vector.shrink_to_fit();
  EXPECT_EQ(vector.capacity(), 7u);
  EXPECT_EQ(std::vector<int>(vector.data(), vector.data() + 7),
            (std::vector<int>{0, 0, 0, 1, 2, 3, 4}));

  vector.reserve(100);
  EXPECT_EQ(vector.capacity(), 100u);
  EXPECT_EQ(vector.back(), 4);

  const int* block = vector.data();
  vector.clear();
  EXPECT_EQ(vector.data(), block);
  EXPECT_EQ(vector.capacity(), 100u);
  vector.shrink_to_fit();
  EXPECT_EQ(vector.capacity(), 0u);
  EXPECT_EQ(vector.data(), nullptr);
  vector.shrink_to_fit();
  EXPECT_EQ(vector.data(), nullptr);
}

TEST(XVectorCapacityTest, CopiesAllocateExactlyAndAssignmentKeepsOrGrows) {
  XVector<int> source(12, 5);
  source.reserve(40);
  const XVector<int> copy(source);
  EXPECT_EQ(copy.capacity(), 12u);
  const XVector<int> empty;
  EXPECT_EQ(XVector<int>(empty).data(), nullptr);

  auto assignInto = [](std::uint64_t count) {
    XVector<int> target;
    target.reserve(10);
    const int* block = target.data();
    const XVector<int> source(count, 9);
    target = source;
    EXPECT_EQ(target.size(), count);
    EXPECT_EQ(target[count - 1], 9);
    return std::make_pair(target.capacity(), target.data() == block);
  };
  EXPECT_EQ(assignInto(3), std::make_pair(std::uint64_t{10}, true));
  EXPECT_EQ(assignInto(20), std::make_pair(std::uint64_t{20}, false));
  EXPECT_EQ(assignInto(12), std::make_pair(std::uint64_t{15}, false));

  XVector<int> target(4, 1);
  target.assign(2, 7);
  EXPECT_EQ(target.size(), 2u);
  EXPECT_EQ(target.capacity(), 4u);
  target.assign(5, 3);
  EXPECT_EQ(target.capacity(), 6u);
  EXPECT_EQ(target.at(4), 3);
}

TEST(XVectorCapacityTest, SwapExchangesBlocksAndSelfSwapChangesNothing) {
  XVector<int> a(3, 1);
  XVector<int> b;
  b.reserve(8);
  const int* blockA = a.data();
  const int* blockB = b.data();

  a.swap(a);
  EXPECT_EQ(a.data(), blockA);
  EXPECT_EQ(a.size(), 3u);

  a.swap(b);
  EXPECT_EQ(a.data(), blockB);
  EXPECT_EQ(a.capacity(), 8u);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(b.data(), blockA);
  EXPECT_EQ(b.size(), 3u);
  EXPECT_EQ(&b.front(), b.data());
}

}  // namespace
}  // namespace quendel::test
