#include "containers/image_geometry.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace framework {
namespace image_geometry {
namespace {

constexpr std::int64_t kInt32Max = INT32_MAX;

// Sizes are stored in 32 bits; a value past that keeps its low 32 bits, as it always has.
std::int64_t Low32(size_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t Narrow(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

bool IsListed(XImage::PIXEL_FORMAT format) {
  // Compared as unsigned, so negative values count as unlisted.
  return static_cast<std::uint32_t>(format) <= XImage::PIXEL_FORMAT_BGR;
}

// A listed format's stride for one plane: forced to 0 where the format has no such plane,
// the caller's value when it is 1 or more, the format's default (the row's bytes) otherwise.
// A given stride shorter than the row would make rows overlap: `tooShort` is set.
std::int64_t ListedStride(int given, bool hasPlane, std::int64_t rowBytes, bool& tooShort) {
  if (!hasPlane) return 0;
  if (given < 1) return rowBytes;
  tooShort = tooShort || given < rowBytes;
  return given;
}

bool StridesFit(const Layout& layout) {
  return std::all_of(std::begin(layout.strides), std::end(layout.strides),
                     [](std::int64_t s) { return s >= 0 && s <= kInt32Max; });
}

// Checks the 32-bit model and computes the total; `usable` says that width and height fit
// and that no stride is shorter than its row.
void Settle(Layout& layout, bool usable) {
  layout.fits = false;
  layout.total = -1;
  if (!usable || !StridesFit(layout)) return;
  const std::int64_t* s = layout.strides;
  // Everything is within [0, 2^31) here, so no product overflows 64 bits.
  layout.total = layout.height * s[0] + ((s[1] + s[2]) * layout.height) / 2;
  layout.fits = layout.total < kByteLimit;
}

}  // namespace

Layout ForCreate(size_t width, size_t height, XImage::PIXEL_FORMAT format, int stride0, int stride1,
                 int stride2) {
  Layout layout{};
  layout.width = Low32(width);
  layout.height = Low32(height);
  const std::int64_t w = layout.width;
  std::int64_t* s = layout.strides;
  bool tooShort = false;
  if (!IsListed(format)) {
    s[0] = stride0;
    s[1] = stride1;
    s[2] = stride2;
  } else {
    std::int64_t perPixel = 1;
    bool chroma = false;
    bool planarChroma = false;
    switch (format) {
      case XImage::PIXEL_FORMAT_RGBA:
      case XImage::PIXEL_FORMAT_BGRA:
        perPixel = 4;
        break;
      case XImage::PIXEL_FORMAT_RGB:
      case XImage::PIXEL_FORMAT_BGR:
        perPixel = 3;
        break;
      case XImage::PIXEL_FORMAT_SEMIPLANAR_420_A:
      case XImage::PIXEL_FORMAT_SEMIPLANAR_420_B:
        chroma = true;
        break;
      case XImage::PIXEL_FORMAT_PLANAR_420:
        chroma = true;
        planarChroma = true;
        break;
      default:
        break;
    }
    s[0] = ListedStride(stride0, true, perPixel * w, tooShort);
    s[1] = ListedStride(stride1, chroma, planarChroma ? w / 2 : w, tooShort);
    s[2] = ListedStride(stride2, planarChroma, w / 2, tooShort);
  }
  const size_t limit = static_cast<size_t>(kInt32Max);
  Settle(layout, width <= limit && height <= limit && !tooShort);
  return layout;
}

Layout ForBorrowed(size_t width, size_t height, int stride, int bytesPerPixel) {
  Layout layout{};
  layout.width = Low32(width);
  layout.height = Low32(height);
  bool tooShort = false;
  layout.strides[0] = ListedStride(stride, true, bytesPerPixel * layout.width, tooShort);
  const size_t limit = static_cast<size_t>(kInt32Max);
  Settle(layout, width <= limit && height <= limit && !tooShort);
  return layout;
}

std::uint64_t Total(std::int32_t height, std::int32_t s0, std::int32_t s1, std::int32_t s2) {
  const std::int64_t h = height;
  const std::int64_t head = h * s0;  // |head| <= 2^62
  const std::int64_t pair = std::int64_t{s1} + s2;
  // pair * h only reaches 2^63 for an even pair, so halve that one first (exact either way).
  const std::int64_t tail = pair % 2 == 0 ? (pair / 2) * h : (pair * h) / 2;
  // head + tail can reach 2^63; unsigned addition keeps the exact value modulo 2^64.
  return static_cast<std::uint64_t>(head) + static_cast<std::uint64_t>(tail);
}

std::int64_t PlaneSpan(int index, std::int64_t stride, std::int64_t height) {
  return index == 0 ? stride * height : (stride * height) / 2;
}

void Apply(const Layout& layout, XImage::PIXEL_FORMAT format, char* pixels, XImage& image) {
  image.width = Narrow(layout.width);
  image.height = Narrow(layout.height);
  image.format = format;
  for (int i = 0; i < 3; ++i) image.strides[i] = Narrow(layout.strides[i]);
  image.planes[0] = pixels;
  image.planes[1] = nullptr;
  image.planes[2] = nullptr;
  if (pixels == nullptr) return;
  const std::int64_t h = layout.height;
  const std::int64_t* s = layout.strides;
  if (s[1] != 0) image.planes[1] = pixels + PlaneSpan(0, s[0], h);
  if (s[1] != 0 && s[2] != 0) image.planes[2] = image.planes[1] + PlaneSpan(1, s[1], h);
}

void CopyPlanes(const XImage& source, XImage& target) {
  for (int i = 0; i < 3; ++i) {
    const char* from = source.planes[i];
    char* to = target.planes[i];
    if (from == nullptr || to == nullptr) continue;
    const std::int64_t s = source.strides[i];
    const std::int64_t d = target.strides[i];
    const std::int64_t fromSpan = PlaneSpan(i, s, source.height);
    const std::int64_t toSpan = PlaneSpan(i, d, target.height);
    if (s <= 0 || d <= 0 || fromSpan <= 0 || toSpan <= 0) continue;
    // memmove: a borrowed source may lie inside the block the target just reused.
    if (s == d && fromSpan == toSpan) {
      std::memmove(to, from, static_cast<size_t>(fromSpan));
      continue;
    }
    // Rows end where either plane ends, so a chroma plane of an odd height ends half-way.
    for (std::int64_t f = 0, t = 0; f < fromSpan && t < toSpan; f += s, t += d) {
      const std::int64_t row = std::min({s, d, fromSpan - f, toSpan - t});
      std::memmove(to + t, from + f, static_cast<size_t>(row));
    }
  }
}

}  // namespace image_geometry
}  // namespace framework
