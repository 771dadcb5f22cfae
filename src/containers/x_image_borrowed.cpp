#include "containers/image_geometry.h"
#include "quendel/x_image.h"

namespace framework {
namespace {

// A view over the caller's pixels: no count and no callback, so nothing is ever freed.
XImage Borrow(XImage::PIXEL_FORMAT format, size_t width, size_t height, char* pixels, int stride,
              int bytesPerPixel) {
  XImage image;
  const image_geometry::Layout layout =
      image_geometry::ForBorrowed(width, height, stride, bytesPerPixel);
  // Outside the 32-bit model the view gets no pixels, so nothing copies past the caller's.
  char* const view = layout.fits ? pixels : nullptr;
  image.data = view;
  image.size = layout.fits ? static_cast<size_t>(layout.total) : 0;
  image_geometry::Apply(layout, format, view, image);
  return image;
}

}  // namespace

XImage XImage::FromGray(size_t width, size_t height, char* data, int stride) {
  return Borrow(PIXEL_FORMAT_GRAY, width, height, data, stride, 1);
}

XImage XImage::FromRgb(int width, int height, unsigned char* data, int stride) {
  return Borrow(PIXEL_FORMAT_RGB, static_cast<size_t>(width), static_cast<size_t>(height),
                reinterpret_cast<char*>(data), stride, 3);
}

XImage XImage::FromRgba(int width, int height, unsigned char* data, int stride) {
  return Borrow(PIXEL_FORMAT_RGBA, static_cast<size_t>(width), static_cast<size_t>(height),
                reinterpret_cast<char*>(data), stride, 4);
}

XImage XImage::FromBgra(int width, int height, unsigned char* data, int stride) {
  return Borrow(PIXEL_FORMAT_BGRA, static_cast<size_t>(width), static_cast<size_t>(height),
                reinterpret_cast<char*>(data), stride, 4);
}

}  // namespace framework
