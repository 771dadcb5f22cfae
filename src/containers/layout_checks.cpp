// Modules built elsewhere hold XBuffer and XImage by value and read their fields directly:
// a layout change must fail the build here, not corrupt memory there.
#include <cstddef>

#include "quendel/x_buffer.h"
#include "quendel/x_image.h"

// offsetof on a polymorphic class is conditionally supported; every compiler this library
// is built with supports it, and the warning only says so.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif

namespace framework {
namespace {

constexpr bool kSixtyFourBit = sizeof(void*) == 8;

static_assert(!kSixtyFourBit || offsetof(XBuffer, data) == 8, "XBuffer::data");
static_assert(!kSixtyFourBit || offsetof(XBuffer, size) == 16, "XBuffer::size");
static_assert(!kSixtyFourBit || offsetof(XBuffer, refCount) == 24, "XBuffer::refCount");
static_assert(!kSixtyFourBit || offsetof(XBuffer, releaseCallback) == 32,
              "XBuffer::releaseCallback");
static_assert(!kSixtyFourBit || offsetof(XBuffer, releaseUser) == 40, "XBuffer::releaseUser");

static_assert(!kSixtyFourBit || offsetof(XImage, planes) == 48, "XImage::planes");
static_assert(!kSixtyFourBit || offsetof(XImage, strides) == 72, "XImage::strides");
static_assert(!kSixtyFourBit || offsetof(XImage, width) == 84, "XImage::width");
static_assert(!kSixtyFourBit || offsetof(XImage, height) == 88, "XImage::height");
static_assert(!kSixtyFourBit || offsetof(XImage, format) == 92, "XImage::format");

}  // namespace
}  // namespace framework

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
