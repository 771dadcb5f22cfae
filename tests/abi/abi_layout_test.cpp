// Modules built elsewhere call the library's classes through virtual tables laid out by
// their own copy of the headers. These tests call each exported polymorphic class through a
// hand-written mirror of its documented slot order, so that a reordered, inserted or removed
// virtual function fails here. Itanium layout: a member function takes `this` first, and a
// virtual destructor fills two slots, the complete-object one and then the deleting one.
#include <gtest/gtest.h>
#include <quendel/framework.h>
#include <quendel/x_value.h>

#include <cstring>
#include <new>
#include <string>
#include <type_traits>

#include "support/log_capture.h"

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::XBuffer;
using framework::XImage;
using framework::XValue;

namespace {

// Word `index` of an object, read as the pointer that other modules find there.
void* Word(const void* object, std::size_t index) {
  void* word;
  std::memcpy(&word, static_cast<const char*>(object) + index * sizeof(void*), sizeof word);
  return word;
}

// Slot `index` of the first virtual table of `object`, as a function taking `this` first.
template <typename Fn>
Fn Slot(const void* object, std::size_t index) {
  return reinterpret_cast<Fn>(Word(Word(object, 0), index));
}

using QueryFn = int (*)(void*, const char*, void**);
using CountFn = int (*)(void*);
using DestructorFn = void (*)(void*);
using SizeFn = size_t (*)(const void*);
using EmptyFn = bool (*)(const void*);
using CreateFn = bool (*)(void*, size_t);
using ReleaseFn = void (*)(void*);
using WriteFn = bool (*)(void*, char*, size_t, size_t);
using CloneFn = XValue::Holder* (*)(const void*);

enum ComponentSlot {
  kDelegatQuery,
  kDelegatAddRef,
  kDelegatRelease,
  kComponentDtor,
  kComponentDelete
};
enum UnknownSlot { kQuery, kAddRef, kRelease };
enum BufferSlot { kDtor, kDelete, kDataSize, kEmpty, kCreate, kReleaseBytes, kWrite };
enum HolderSlot { kHolderDtor, kHolderDelete, kClone };

// A component that overrides only its destructor: slots 1 to 3 of its table are the
// library's own CTComponentUnknown operations.
struct Destructible : CTComponentUnknown {
  explicit Destructible(int* destroyed)
      : CTComponentUnknown(nullptr, nullptr), destroyed(destroyed) {}
  ~Destructible() override { ++*destroyed; }
  int* destroyed;
};

TEST(VtableSlots, ComponentUnknownDelegatOperationsThenDestructor) {
  // The library's own table.
  auto* component = new CTComponentUnknown(nullptr, nullptr);
  void* object = &component;
  EXPECT_EQ(Slot<QueryFn>(component, kDelegatQuery)(component, "any.id", &object), -1);
  EXPECT_EQ(object, static_cast<void*>(&component));
  EXPECT_EQ(Slot<CountFn>(component, kDelegatAddRef)(component), 1);
  EXPECT_EQ(Slot<CountFn>(component, kDelegatAddRef)(component), 2);
  EXPECT_EQ(Slot<CountFn>(component, kDelegatRelease)(component), 0);
  Slot<DestructorFn>(component, kComponentDelete)(component);  // frees; ASan checks it

  // Complete-object destructor: destroys in place and frees nothing.
  int destroyed = 0;
  alignas(Destructible) unsigned char storage[sizeof(Destructible)];
  auto* inPlace = new (storage) Destructible(&destroyed);
  EXPECT_EQ(Slot<CountFn>(inPlace, kDelegatAddRef)(inPlace), 1);
  Slot<DestructorFn>(inPlace, kComponentDtor)(inPlace);
  EXPECT_EQ(destroyed, 1);

  // Deleting destructor of a derived component.
  auto* derived = new Destructible(&destroyed);
  Slot<DestructorFn>(derived, kComponentDelete)(derived);
  EXPECT_EQ(destroyed, 2);
}

TEST(VtableSlots, ComponentUnknownFieldsFollowTheTablePointer) {
  struct WithInfo : CTComponentUnknown {
    WithInfo() : CTComponentUnknown(nullptr, nullptr) {}
  } component;
  ComponentInfo info;
  component.SetInfo(&info);
  EXPECT_NE(Word(&component, 1), nullptr);  // impl
  EXPECT_EQ(Word(&component, 2), &info);    // info
}

TEST(VtableSlots, FactoryUnknownFaceComesFirstThenItsComponentFace) {
  quendel::test::LogCapture log;
  CTComponentFactory* factory = nullptr;
  ASSERT_EQ(framework::CreateComponentFactory(&factory), 0);

  // The CTUnknown face sits at the factory's own address (a C-style cast reaches the
  // private base, as a module holding a CTUnknown* does).
  auto* unknown = (CTUnknown*)factory;  // NOLINT
  ASSERT_EQ(static_cast<void*>(unknown), static_cast<void*>(factory));
  void* answer = nullptr;
  EXPECT_EQ(Slot<QueryFn>(unknown, kQuery)(unknown, framework::kComponentFactoryId, &answer), 0);
  EXPECT_EQ(answer, static_cast<void*>(factory));
  EXPECT_EQ(Slot<CountFn>(unknown, kAddRef)(unknown), 3);
  EXPECT_EQ(Slot<CountFn>(unknown, kRelease)(unknown), 0);
  EXPECT_EQ(Slot<CountFn>(unknown, kRelease)(unknown), 0);

  // The CTComponentUnknown face follows, one table pointer further on.
  auto* component = (CTComponentUnknown*)factory;  // NOLINT
  ASSERT_EQ(reinterpret_cast<char*>(component) - reinterpret_cast<char*>(factory),
            static_cast<std::ptrdiff_t>(sizeof(void*)));
  answer = nullptr;
  EXPECT_EQ(
      Slot<QueryFn>(component, kDelegatQuery)(component, framework::kComponentFactoryId, &answer),
      0);
  EXPECT_EQ(answer, static_cast<void*>(factory));
  EXPECT_EQ(Slot<CountFn>(component, kDelegatAddRef)(component), 3);
  EXPECT_EQ(Slot<CountFn>(component, kDelegatRelease)(component), 0);
  EXPECT_EQ(Slot<CountFn>(component, kDelegatRelease)(component), 0);
  EXPECT_EQ(log.Count("release component factory"), 0);

  // Its deleting destructor, reached through the component face.
  Slot<DestructorFn>(component, kComponentDelete)(component);
  EXPECT_EQ(log.Count("release component factory"), 1);
}

struct CallbackLog {
  int calls = 0;
  size_t size = 0;
};
void CountRelease(char*, size_t size, void* user) {
  auto* log = static_cast<CallbackLog*>(user);
  ++log->calls;
  log->size = size;
}

TEST(VtableSlots, BufferDestructorDataSizeEmptyCreateReleaseWrite) {
  XBuffer buffer(10);
  EXPECT_EQ(Slot<SizeFn>(&buffer, kDataSize)(&buffer), 10u);
  EXPECT_FALSE(Slot<EmptyFn>(&buffer, kEmpty)(&buffer));
  EXPECT_TRUE(Slot<CreateFn>(&buffer, kCreate)(&buffer, 20));
  EXPECT_EQ(buffer.size, 20u);
  char bytes[] = "abcd";
  EXPECT_TRUE(Slot<WriteFn>(&buffer, kWrite)(&buffer, bytes, 4, 16));
  EXPECT_EQ(std::memcmp(buffer.Data() + 16, "abcd", 4), 0);
  EXPECT_FALSE(Slot<WriteFn>(&buffer, kWrite)(&buffer, bytes, 4, 17));
  Slot<ReleaseFn>(&buffer, kReleaseBytes)(&buffer);
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_TRUE(Slot<EmptyFn>(&buffer, kEmpty)(&buffer));

  CallbackLog log;
  alignas(XBuffer) unsigned char storage[sizeof(XBuffer)];
  auto* inPlace = new (storage) XBuffer(6);
  inPlace->SetReleaseCallback(&CountRelease, &log);
  Slot<DestructorFn>(inPlace, kDtor)(inPlace);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.size, 6u);

  auto* heap = new XBuffer(3);
  heap->SetReleaseCallback(&CountRelease, &log);
  Slot<DestructorFn>(heap, kDelete)(heap);
  EXPECT_EQ(log.calls, 2);
  EXPECT_EQ(log.size, 3u);
}

TEST(VtableSlots, ImageKeepsTheBufferSlotsWithItsOverrides) {
  XImage image(4, 3, XImage::PIXEL_FORMAT_RGB);
  // DataSize and Empty are the image's own: the byte total of its planes.
  EXPECT_EQ(Slot<SizeFn>(&image, kDataSize)(&image), 36u);
  EXPECT_FALSE(Slot<EmptyFn>(&image, kEmpty)(&image));
  // Create(size_t) and Write are the buffer's: they touch the bytes, not the geometry.
  EXPECT_TRUE(Slot<CreateFn>(&image, kCreate)(&image, 20));
  EXPECT_EQ(image.size, 20u);
  EXPECT_EQ(image.Total(), 36u);
  char bytes[] = "xy";
  EXPECT_TRUE(Slot<WriteFn>(&image, kWrite)(&image, bytes, 2, 18));
  EXPECT_FALSE(Slot<WriteFn>(&image, kWrite)(&image, bytes, 2, 19));
  // Release is the image's: it clears the geometry too, and keeps the format.
  Slot<ReleaseFn>(&image, kReleaseBytes)(&image);
  EXPECT_EQ(image.Width(), 0u);
  EXPECT_EQ(image.planes[0], nullptr);
  EXPECT_EQ(image.PixelFormat(), XImage::PIXEL_FORMAT_RGB);
  EXPECT_TRUE(Slot<EmptyFn>(&image, kEmpty)(&image));

  CallbackLog log;
  alignas(XImage) unsigned char storage[sizeof(XImage)];
  auto* inPlace = new (storage) XImage(2, 2, XImage::PIXEL_FORMAT_GRAY);
  inPlace->SetReleaseCallback(&CountRelease, &log);
  Slot<DestructorFn>(inPlace, kDtor)(inPlace);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.size, 4u);

  auto* heap = new XImage(3, 1, XImage::PIXEL_FORMAT_BGRA);
  heap->SetReleaseCallback(&CountRelease, &log);
  Slot<DestructorFn>(heap, kDelete)(heap);
  EXPECT_EQ(log.calls, 2);
  EXPECT_EQ(log.size, 12u);
}

TEST(VtableSlots, ValueHolderDestructorThenClone) {
  int destroyed = 0;
  struct Holder final : XValue::Holder {
    Holder(int value, int* destroyed) : value(value), destroyed(destroyed) {}
    ~Holder() override { ++*destroyed; }
    XValue::Holder* Clone() const override { return new Holder(value + 1, destroyed); }
    const char* TypeName() const override { return "Holder"; }
    int value;
    int* destroyed;
  };
  auto* holder = new Holder(41, &destroyed);
  XValue::Holder* clone = Slot<CloneFn>(holder, kClone)(holder);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(static_cast<Holder*>(clone)->value, 42);
  Slot<DestructorFn>(clone, kHolderDelete)(clone);
  EXPECT_EQ(destroyed, 1);

  alignas(Holder) unsigned char storage[sizeof(Holder)];
  auto* inPlace = new (storage) Holder(7, &destroyed);
  Slot<DestructorFn>(inPlace, kHolderDtor)(inPlace);
  EXPECT_EQ(destroyed, 2);

  // The library's own copy of a value goes through the same slot.
  XValue value(holder);
  XValue copy(value);
  EXPECT_EQ(static_cast<Holder*>(copy.holder)->value, 42);
}

TEST(VtableSlots, ComponentInfoDestructorComesFirst) {
  int destroyed = 0;
  struct Info : ComponentInfo {
    explicit Info(int* destroyed) : destroyed(destroyed) {}
    ~Info() override { ++*destroyed; }
    int* destroyed;
  };
  alignas(Info) unsigned char storage[sizeof(Info)];
  auto* inPlace = new (storage) Info(&destroyed);
  Slot<DestructorFn>(inPlace, 0)(inPlace);
  EXPECT_EQ(destroyed, 1);
  auto* heap = new Info(&destroyed);
  Slot<DestructorFn>(heap, 1)(heap);
  EXPECT_EQ(destroyed, 2);
}

TEST(PrivateLayout, VectorMapAndValueAreOnePointerToWhatTheyOwn) {
  framework::XVector<int> vector;
  vector.reserve(10);
  vector.push_back(1);
  vector.push_back(2);
  // The implementation object: first, last, end of storage.
  void* impl = Word(&vector, 0);
  EXPECT_EQ(Word(impl, 0), vector.data());
  EXPECT_EQ(Word(impl, 1), vector.data() + 2);
  EXPECT_EQ(Word(impl, 2), vector.data() + 10);

  framework::XMap map;
  EXPECT_NE(Word(&map, 0), nullptr);

  XValue value(5);
  EXPECT_EQ(Word(&value, 0), value.holder);
  EXPECT_NE(value.holder, nullptr);
}

}  // namespace
