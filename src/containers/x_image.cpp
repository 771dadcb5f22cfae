#include "quendel/x_image.h"

#include "containers/image_geometry.h"

namespace framework {
namespace {

// Only the geometry fields; the XBuffer part is handled by the caller.
void ClearGeometry(XImage& image) {
  for (int i = 0; i < 3; ++i) {
    image.planes[i] = nullptr;
    image.strides[i] = 0;
  }
  image.width = 0;
  image.height = 0;
}

void CopyGeometry(const XImage& from, XImage& to) {
  for (int i = 0; i < 3; ++i) {
    to.planes[i] = from.planes[i];
    to.strides[i] = from.strides[i];
  }
  to.width = from.width;
  to.height = from.height;
  to.format = from.format;
}

}  // namespace

XImage::XImage() : planes{}, strides{}, width(0), height(0), format(PIXEL_FORMAT_GRAY) {}

XImage::XImage(size_t width, size_t height, PIXEL_FORMAT format) : XImage() {
  Create(width, height, format, 0, 0, 0);
}

XImage::XImage(const XImage& other) : XBuffer(other) { CopyGeometry(other, *this); }

XImage& XImage::operator=(const XImage& other) {
  if (this == &other) return *this;
  XBuffer::operator=(other);
  CopyGeometry(other, *this);
  return *this;
}

XImage::~XImage() {
  XBuffer::Release();
  ClearGeometry(*this);
}

size_t XImage::DataSize() const { return Total(); }

bool XImage::Empty() const { return planes[0] == nullptr || Total() == 0; }

void XImage::Release() {
  XBuffer::Release();
  ClearGeometry(*this);
}

void XImage::Create(size_t width, size_t height, PIXEL_FORMAT format, int stride0, int stride1,
                    int stride2) {
  const image_geometry::Layout layout =
      image_geometry::ForCreate(width, height, format, stride0, stride1, stride2);
  bool allocated = false;
  if (layout.fits) {
    allocated = XBuffer::Create(static_cast<size_t>(layout.total));
  } else {
    // A request outside the 32-bit model fails like an allocation: the old pixels go.
    Release();
  }
  image_geometry::Apply(layout, format, allocated ? data : nullptr, *this);
}

size_t XImage::Channel() const {
  switch (format) {
    case PIXEL_FORMAT_GRAY:
      return 1;
    case PIXEL_FORMAT_RGBA:
    case PIXEL_FORMAT_BGRA:
      return 4;
    case PIXEL_FORMAT_RGB:
    case PIXEL_FORMAT_BGR:
      return 3;
    default:
      return 0;
  }
}

size_t XImage::Total() const {
  return static_cast<size_t>(image_geometry::Total(height, strides[0], strides[1], strides[2]));
}

size_t XImage::Width() const { return static_cast<size_t>(static_cast<std::int64_t>(width)); }

size_t XImage::Height() const { return static_cast<size_t>(static_cast<std::int64_t>(height)); }

XImage::PIXEL_FORMAT XImage::PixelFormat() const { return format; }

XImage XImage::CloneImage() const {
  XImage copy;
  if (Empty()) return copy;
  copy.Create(Width(), Height(), format, 0, 0, 0);
  image_geometry::CopyPlanes(*this, copy);
  return copy;
}

void XImage::CopyTo(XImage& target) const {
  if (Empty()) {
    // No pixels to copy: the target ends up as CloneImage would give it, not sized and
    // full of uninitialised bytes.
    target.Release();
    target.format = PIXEL_FORMAT_GRAY;
    return;
  }
  if (&target == this) {
    // A second holder keeps the current pixels alive and makes Create take a new block,
    // so the copy never reads pixels it is overwriting.
    const XImage source(*this);
    source.CopyTo(target);
    return;
  }
  target.Create(Width(), Height(), format, 0, 0, 0);
  image_geometry::CopyPlanes(*this, target);
}

}  // namespace framework
