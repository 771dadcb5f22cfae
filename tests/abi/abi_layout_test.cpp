// Modules built elsewhere call the library's classes through virtual tables laid out by their
// own copy of the headers. This calls each exported polymorphic class through a hand-written
// table of its slot order, so that a reordered, inserted or removed virtual function fails
// here. Itanium layout: `this` comes first, and a virtual destructor fills two slots, the
// complete-object one and then the deleting one.
#include <gtest/gtest.h>
#include <quendel/framework.h>

#include <cstring>

#include "support/log_capture.h"

using namespace framework;

namespace {

template <typename Fn>
Fn Slot(const void* object, std::size_t index) {
  void* const* table = *static_cast<void* const* const*>(object);
  return reinterpret_cast<Fn>(table[index]);
}
using QueryFn = int (*)(void*, const char*, void**);
using CountFn = int (*)(void*);
using DeleteFn = void (*)(void*);
using SizeFn = size_t (*)(const void*);
using EmptyFn = bool (*)(const void*);
using CreateFn = bool (*)(void*, size_t);
using ReleaseFn = void (*)(void*);
using WriteFn = bool (*)(void*, char*, size_t, size_t);
using CloneFn = XValue::Holder* (*)(const void*);
using TypeNameFn = const char* (*)(const void*);

TEST(VtableSlots, ComponentAndFactoryFaces) {
  quendel::test::LogCapture log;
  // CTComponentUnknown: DelegatQueryInterface, DelegatAddRef, DelegatRelease, destructors.
  auto* component = new CTComponentUnknown(nullptr, nullptr);
  void* object = nullptr;
  EXPECT_EQ(Slot<QueryFn>(component, 0)(component, "any.id", &object), -1);
  EXPECT_EQ(Slot<CountFn>(component, 1)(component), 1);
  EXPECT_EQ(Slot<CountFn>(component, 1)(component), 2);
  EXPECT_EQ(Slot<CountFn>(component, 2)(component), 0);
  Slot<DeleteFn>(component, 4)(component);  // the deleting destructor; ASan checks the free

  // The factory: its CTUnknown face at its own address, the component face one word on.
  CTComponentFactory* factory = nullptr;
  ASSERT_EQ(CreateComponentFactory(&factory), 0);
  auto* unknown = (CTUnknown*)factory;        // NOLINT: reaches the private base, as modules do
  auto* face = (CTComponentUnknown*)factory;  // NOLINT
  ASSERT_EQ(reinterpret_cast<char*>(face) - reinterpret_cast<char*>(unknown), sizeof(void*));
  EXPECT_EQ(Slot<QueryFn>(unknown, 0)(unknown, kComponentFactoryId, &object), 0);
  EXPECT_EQ(object, static_cast<void*>(factory));
  EXPECT_EQ(Slot<QueryFn>(face, 0)(face, kComponentFactoryId, &object), 0);
  EXPECT_EQ(Slot<CountFn>(unknown, 1)(unknown), 4);
  EXPECT_EQ(Slot<CountFn>(face, 1)(face), 5);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Slot<CountFn>(unknown, 2)(unknown), 0);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Slot<CountFn>(face, 2)(face), 0);
  EXPECT_EQ(log.Count("release component factory"), 0);
  Slot<DeleteFn>(face, 4)(face);
  EXPECT_EQ(log.Count("release component factory"), 1);
}

void CountRelease(char*, size_t size, void* user) { *static_cast<size_t*>(user) += size; }

// XBuffer: destructors, DataSize, Empty, Create, Release, Write; XImage keeps them, with its
// own DataSize, Empty and Release.
TEST(VtableSlots, BufferAndImage) {
  auto* buffer = new XBuffer(10);
  auto* image = new XImage(4, 3, XImage::PIXEL_FORMAT_RGB);
  size_t released = 0;
  buffer->SetReleaseCallback(&CountRelease, &released);
  EXPECT_EQ(Slot<SizeFn>(buffer, 2)(buffer), 10u);
  EXPECT_EQ(Slot<SizeFn>(image, 2)(image), 36u);
  EXPECT_FALSE(Slot<EmptyFn>(image, 3)(image));
  EXPECT_TRUE(Slot<CreateFn>(buffer, 4)(buffer, 20));
  EXPECT_EQ(released, 10u);
  char bytes[] = "ab";
  EXPECT_TRUE(Slot<WriteFn>(buffer, 6)(buffer, bytes, 2, 18));
  EXPECT_FALSE(Slot<WriteFn>(buffer, 6)(buffer, bytes, 2, 19));
  Slot<ReleaseFn>(image, 5)(image);
  EXPECT_EQ(image->Width(), 0u);
  EXPECT_TRUE(Slot<EmptyFn>(image, 3)(image));
  Slot<DeleteFn>(buffer, 1)(buffer);
  EXPECT_EQ(released, 30u);
  Slot<DeleteFn>(image, 1)(image);
}

// XValue::Holder: destructors, Clone, TypeName (null unless overridden).
TEST(VtableSlots, ValueHolder) {
  struct Holder final : XValue::Holder {
    explicit Holder(int value) : value(value) {}
    XValue::Holder* Clone() const override { return new Holder(value + 1); }
    int value;
  };
  auto* holder = new Holder(41);
  auto* clone = static_cast<Holder*>(Slot<CloneFn>(holder, 2)(holder));
  EXPECT_EQ(clone->value, 42);
  EXPECT_EQ(Slot<TypeNameFn>(holder, 3)(holder), nullptr);
  Slot<DeleteFn>(clone, 1)(clone);
  Slot<DeleteFn>(holder, 1)(holder);
}

}  // namespace
