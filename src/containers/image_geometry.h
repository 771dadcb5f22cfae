#ifndef QUENDEL_CONTAINERS_IMAGE_GEOMETRY_H
#define QUENDEL_CONTAINERS_IMAGE_GEOMETRY_H

#include <cstddef>
#include <cstdint>

#include "quendel/x_image.h"

namespace framework {
namespace image_geometry {

// Images stay below this many bytes so that every plane offset fits a 32-bit int.
constexpr std::int64_t kByteLimit = std::int64_t{1} << 31;

// The layout that Create settles on for a request, computed in 64 bits.
struct Layout {
  std::int64_t width;
  std::int64_t height;
  std::int64_t strides[3];
  std::int64_t total;
  // False when the request leaves the 32-bit model or gives a listed format a stride shorter
  // than its plane's row; such an image gets no pixels.
  bool fits;
};

// Strides, total and fit for Create(width, height, format, stride0, stride1, stride2).
Layout ForCreate(size_t width, size_t height, XImage::PIXEL_FORMAT format, int stride0, int stride1,
                 int stride2);

// The layout of a borrowed single-plane image with `bytesPerPixel` default bytes per pixel.
// (A negative int converted to size_t is past the limit and keeps its low 32 bits.)
Layout ForBorrowed(size_t width, size_t height, int stride, int bytesPerPixel);

// height * s0 + ((s1 + s2) * height) / 2 for any 32-bit values, exact modulo 2^64 (the
// sign-extended total whenever it fits 64 bits).
std::uint64_t Total(std::int32_t height, std::int32_t s0, std::int32_t s1, std::int32_t s2);

// Bytes that plane `index` spans: s * height for plane 0, (s * height) / 2 for the others.
std::int64_t PlaneSpan(int index, std::int64_t stride, std::int64_t height);

// Stores the layout's geometry in `image` (as 32-bit fields) and points the planes into
// `pixels`, or sets them all null when `pixels` is null.
void Apply(const Layout& layout, XImage::PIXEL_FORMAT format, char* pixels, XImage& image);

// Copies the pixels of `source` into the planes of `target`, plane by plane: one block per
// plane when the strides match, otherwise row by row, the smaller stride per row. Never
// reads or writes past either image's planes; skips planes either image lacks.
void CopyPlanes(const XImage& source, XImage& target);

}  // namespace image_geometry
}  // namespace framework

#endif  // QUENDEL_CONTAINERS_IMAGE_GEOMETRY_H
