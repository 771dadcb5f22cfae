#ifndef QUENDEL_X_IMAGE_H
#define QUENDEL_X_IMAGE_H

/// \file
/// The image that modules pass by value.
#include <cstddef>
#include <cstdint>

#include "quendel/export.h"
#include "quendel/x_buffer.h"

namespace framework {

// Create(width, height, format, ...) hides XBuffer::Create(size_t) on purpose: resizing an
// image's bytes without its geometry would leave the planes describing the old layout.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#endif

/// An image passed by value between modules: an XBuffer whose bytes hold up to three planes,
/// plus the geometry. The library lays out planes; it never looks at pixels. Images whose
/// byte total would reach 2^31, or whose sizes do not fit 32 bits, get no pixels.
///
/// The fields continue XBuffer's layout and are binary interface; other modules read
/// `planes` and `strides` directly. Do not reorder.
class QUENDEL_API XImage : public XBuffer {
 public:
  /// The layout of the pixels. Values are binary interface. Any other value is an unlisted
  /// format whose strides are taken as given; the fixed underlying type keeps such values
  /// well defined.
  enum PIXEL_FORMAT : std::int32_t {
    PIXEL_FORMAT_GRAY = 0,  ///< One plane, 1 byte per pixel.
    PIXEL_FORMAT_RGBA = 1,  ///< One plane, 4 bytes per pixel.
    /// Semi-planar 4:2:0: a plane of 1 byte per pixel, then one of `width` bytes per row at
    /// half the height.
    PIXEL_FORMAT_SEMIPLANAR_420_A = 2,
    /// Laid out as PIXEL_FORMAT_SEMIPLANAR_420_A; the library tells the two apart by value only.
    PIXEL_FORMAT_SEMIPLANAR_420_B = 3,
    /// Planar 4:2:0: a plane of 1 byte per pixel, then two of `width` / 2 bytes per row at half
    /// the height.
    PIXEL_FORMAT_PLANAR_420 = 4,
    PIXEL_FORMAT_RGB = 5,   ///< One plane, 3 bytes per pixel.
    PIXEL_FORMAT_BGRA = 6,  ///< One plane, 4 bytes per pixel.
    PIXEL_FORMAT_BGR = 7,   ///< One plane, 3 bytes per pixel.
  };

  /// Empty, format PIXEL_FORMAT_GRAY.
  XImage();
  /// Owned pixels with the default strides.
  XImage(size_t width, size_t height, PIXEL_FORMAT format);
  /// Shares `other`'s pixels, as an XBuffer copy does, and copies its geometry.
  XImage(const XImage& other);
  /// Shares `other`'s pixels, as XBuffer's assignment does, and copies its geometry.
  XImage& operator=(const XImage& other);

  ~XImage() override;
  /// The byte total of the planes, as Total().
  size_t DataSize() const override;
  /// True without plane 0 or with a byte total of 0.
  bool Empty() const override;
  /// Drops the pixels and clears planes, strides, width and height; keeps the format.
  void Release() override;

  /// Sizes and lays out the image. For the listed formats a stride of 0 or less takes the
  /// format's default (the plane's row bytes) and strides of planes the format lacks become
  /// 0; an unlisted format takes all three strides as given. The pixels are not cleared. A
  /// request the block cannot hold, whose total is negative or reaches 2^31, or that gives a
  /// listed format's plane a stride shorter than its row, leaves every plane null while
  /// width, height, format and strides still describe it.
  void Create(size_t width, size_t height, PIXEL_FORMAT format, int stride0, int stride1,
              int stride2);

  /// 1, 4, 3 for the packed formats; 0 for planar and unlisted ones.
  size_t Channel() const;
  /// height * strides[0] + ((strides[1] + strides[2]) * height) / 2, computed without
  /// overflow and widened with its sign.
  size_t Total() const;
  /// The width in pixels.
  size_t Width() const;
  /// The height in pixels.
  size_t Height() const;
  /// The format of the pixels.
  PIXEL_FORMAT PixelFormat() const;

  /// A new owned image with the default strides. A source with other strides is copied row
  /// by row into that layout; nothing is read or written past a plane. An image without
  /// pixels gives an empty one.
  XImage CloneImage() const;
  /// The same into `target`, which keeps its release callback; if it shared its block, the
  /// other holders keep the old pixels. From an image without pixels the target ends up
  /// released and GRAY, as CloneImage would give it.
  void CopyTo(XImage& target) const;
  using XBuffer::CopyTo;

  /// \name Borrowed images
  /// Borrowed images over the caller's pixels, which must outlive every copy. A stride of
  /// 0 or less takes the default (1, 3 or 4 bytes per pixel times width). Sizes outside
  /// the 32-bit model, or a stride shorter than the row, give an image without pixels.
  /// The pointers are not const because the image and its copies may write the caller's
  /// pixels (Write, a filter working in place). For const pixels, copy them instead: borrow
  /// them only for CloneImage, which reads them into an owned image, and keep the clone, as
  /// in `XImage::FromRgba(w, h, const_cast<unsigned char*>(pixels), stride).CloneImage()`.
  /// \{

  /// A GRAY image over `data`.
  static XImage FromGray(size_t width, size_t height, char* data, int stride);
  /// An RGB image over `data`.
  static XImage FromRgb(int width, int height, unsigned char* data, int stride);
  /// An RGBA image over `data`.
  static XImage FromRgba(int width, int height, unsigned char* data, int stride);
  /// A BGRA image over `data`.
  static XImage FromBgra(int width, int height, unsigned char* data, int stride);
  /// \}

  char* planes[3];          ///< The first byte of each plane; null for planes it lacks.
  std::int32_t strides[3];  ///< The bytes from one row of each plane to the next.
  std::int32_t width;       ///< In pixels.
  std::int32_t height;      ///< In pixels.
  PIXEL_FORMAT format;      ///< The format of the pixels.
};

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

static_assert(sizeof(XImage::PIXEL_FORMAT) == 4, "the pixel format is stored in 32 bits");
static_assert(sizeof(void*) != 8 || sizeof(XImage) == 96, "XImage layout is binary interface");

}  // namespace framework

#endif  // QUENDEL_X_IMAGE_H
