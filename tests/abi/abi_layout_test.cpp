// Modules built elsewhere call the library's classes through virtual tables laid out by their
// own copy of the headers. This calls each exported polymorphic class through a hand-written
// table of its slot order, so that a reordered, inserted or removed virtual function fails
// here. Itanium layout: `this` comes first, and a virtual destructor fills two slots, the
// complete-object one and then the deleting one.
#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <cstring>

#include "support/counting_holder.h"
#include "support/log_capture.h"
#include "support/log_lines.h"

using namespace framework;

namespace {

// Calls slot `index` of the object's virtual table, `this` first.
template <typename Result, typename... Args>
Result Call(const void* object, std::size_t index, Args... args) {
  void* const* table = *static_cast<void* const* const*>(object);
  return reinterpret_cast<Result (*)(const void*, Args...)>(table[index])(object, args...);
}

TEST(VtableSlots, ComponentAndFactoryFaces) {
  quendel::test::LogCapture log;
  // CTComponentUnknown: DelegatQueryInterface, DelegatAddRef, DelegatRelease, destructors.
  auto* component = new CTComponentUnknown(nullptr, nullptr);
  void* object = nullptr;
  EXPECT_EQ(Call<int>(component, 0, "any.id", &object), -1);
  EXPECT_EQ(Call<int>(component, 1), 1);
  EXPECT_EQ(Call<int>(component, 1), 2);
  EXPECT_EQ(Call<int>(component, 2), 0);
  Call<void>(component, 4);  // the deleting destructor; ASan checks the free

  // The factory: its CTUnknown face at its own address, the component face one word on.
  CTComponentFactory* factory = nullptr;
  ASSERT_EQ(CreateComponentFactory(&factory), 0);
  auto* unknown = (CTUnknown*)factory;        // NOLINT: reaches the private base, as modules do
  auto* face = (CTComponentUnknown*)factory;  // NOLINT
  ASSERT_EQ(reinterpret_cast<char*>(face) - reinterpret_cast<char*>(unknown), sizeof(void*));
  EXPECT_EQ(Call<int>(unknown, 0, kComponentFactoryId, &object), 0);
  EXPECT_EQ(object, static_cast<void*>(factory));
  EXPECT_EQ(Call<int>(face, 0, kComponentFactoryId, &object), 0);
  EXPECT_EQ(Call<int>(unknown, 1), 4);
  EXPECT_EQ(Call<int>(face, 1), 5);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Call<int>(unknown, 2), 0);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Call<int>(face, 2), 0);
  EXPECT_TRUE(log.Texts().empty());
  Call<void>(face, 4);
  EXPECT_EQ(log.Texts(), (quendel::test::Lines{quendel::test::kFactoryEndLine,
                                               quendel::test::WaitCountLine(0)}));
}

void CountRelease(char*, size_t size, void* user) { *static_cast<size_t*>(user) += size; }

// XBuffer: destructors, DataSize, Empty, Create, Release, Write; XImage keeps them, with its
// own DataSize, Empty and Release. XValue::Holder: destructors, Clone, TypeName.
TEST(VtableSlots, ValuesBuffersAndImages) {
  auto* buffer = new XBuffer(10);
  auto* image = new XImage(4, 3, XImage::PIXEL_FORMAT_RGB);
  size_t released = 0;
  buffer->SetReleaseCallback(&CountRelease, &released);
  EXPECT_EQ(Call<size_t>(buffer, 2), 10u);
  EXPECT_EQ(Call<size_t>(image, 2), 36u);
  EXPECT_FALSE(Call<bool>(image, 3));
  EXPECT_TRUE(Call<bool>(buffer, 4, size_t{20}));
  EXPECT_EQ(released, 10u);
  char bytes[] = "ab";
  EXPECT_TRUE(Call<bool>(buffer, 6, bytes, size_t{2}, size_t{18}));
  EXPECT_FALSE(Call<bool>(buffer, 6, bytes, size_t{2}, size_t{19}));
  Call<void>(image, 5);
  EXPECT_EQ(image->Width(), 0u);
  EXPECT_TRUE(Call<bool>(image, 3));
  Call<void>(buffer, 1);
  EXPECT_EQ(released, 30u);
  Call<void>(image, 1);

  quendel::test::HolderLog holders;
  auto* holder = new quendel::test::CountingHolder(42, &holders);
  auto* clone = static_cast<quendel::test::CountingHolder*>(Call<XValue::Holder*>(holder, 2));
  EXPECT_TRUE(clone->value == 42 && holders.clones == 1);
  EXPECT_STREQ(Call<const char*>(holder, 3), "CountingHolder");
  Call<void>(clone, 1);
  Call<void>(holder, 1);
  EXPECT_EQ(holders.live, 0);
}

}  // namespace
