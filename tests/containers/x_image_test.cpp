#include "quendel/x_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "buffer_test_support.h"

namespace {

using framework::XImage;
using quendel::test::CallbackLog;
using quendel::test::Count;
using quendel::test::RecordRelease;

constexpr auto kGray = XImage::PIXEL_FORMAT_GRAY;
constexpr auto kRgba = XImage::PIXEL_FORMAT_RGBA;
constexpr auto kRgb = XImage::PIXEL_FORMAT_RGB;
constexpr auto kSemiA = XImage::PIXEL_FORMAT_SEMIPLANAR_420_A;
constexpr auto kSemiB = XImage::PIXEL_FORMAT_SEMIPLANAR_420_B;
constexpr auto kPlanar = XImage::PIXEL_FORMAT_PLANAR_420;

XImage::PIXEL_FORMAT Unlisted(int value) { return static_cast<XImage::PIXEL_FORMAT>(value); }

struct Geometry {
  int strides[3];
  size_t total;
  std::ptrdiff_t plane1;  // byte offset from plane 0, or -1 when absent
  std::ptrdiff_t plane2;
};

void ExpectGeometry(const XImage& image, const Geometry& expected) {
  ASSERT_NE(image.planes[0], nullptr);
  EXPECT_EQ(image.planes[0], image.data);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(image.strides[i], expected.strides[i]) << i;
  EXPECT_EQ(image.Total(), expected.total);
  EXPECT_EQ(image.DataSize(), expected.total);
  EXPECT_EQ(image.size, expected.total);
  const std::ptrdiff_t offsets[2] = {expected.plane1, expected.plane2};
  for (int i = 1; i < 3; ++i) {
    if (offsets[i - 1] < 0) {
      EXPECT_EQ(image.planes[i], nullptr) << i;
    } else {
      EXPECT_EQ(image.planes[i] - image.planes[0], offsets[i - 1]) << i;
    }
  }
}

// Fills every byte of the image's block with its index, so copies can be checked.
void FillPattern(char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
}

TEST(XImageTest, CreateLaysOutThePlanes) {
  XImage planar;
  planar.Create(4, 3, kPlanar, 0, 0, 0);
  ExpectGeometry(planar, {{4, 2, 2}, 18, 12, 15});

  for (auto format : {kSemiA, kSemiB}) {
    XImage semi;
    semi.Create(16, 8, format, 0, 0, 0);
    ExpectGeometry(semi, {{16, 16, 0}, 192, 128, -1});
  }

  XImage rgb;
  rgb.Create(10, 2, kRgb, 0, 7, 9);
  ExpectGeometry(rgb, {{30, 0, 0}, 60, -1, -1});

  XImage rgba;
  rgba.Create(10, 2, kRgba, 48, 0, 0);
  ExpectGeometry(rgba, {{48, 0, 0}, 96, -1, -1});

  XImage negative;
  negative.Create(5, 2, kGray, -3, 0, 0);
  ExpectGeometry(negative, {{5, 0, 0}, 10, -1, -1});

  XImage unlisted;
  unlisted.Create(3, 2, Unlisted(9), 10, 0, 0);
  ExpectGeometry(unlisted, {{10, 0, 0}, 20, -1, -1});
  EXPECT_EQ(unlisted.Channel(), 0u);

  XImage constructed(6, 4, XImage::PIXEL_FORMAT_BGR);
  ExpectGeometry(constructed, {{18, 0, 0}, 72, -1, -1});
  EXPECT_EQ(constructed.Width(), 6u);
  EXPECT_EQ(constructed.Height(), 4u);
  EXPECT_EQ(Count(constructed), 1);
}

TEST(XImageTest, ChannelFollowsTheFormat) {
  const size_t expected[] = {1, 4, 0, 0, 0, 3, 4, 3};
  for (int value = 0; value < 8; ++value) {
    XImage image;
    image.format = Unlisted(value);
    EXPECT_EQ(image.Channel(), expected[value]) << value;
  }
  XImage image;
  for (int value : {8, -1, INT32_MIN, INT32_MAX}) {
    image.format = Unlisted(value);
    EXPECT_EQ(image.Channel(), 0u) << value;
  }

  XImage empty;
  EXPECT_EQ(empty.PixelFormat(), kGray);
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Channel(), 1u);
}

TEST(XImageTest, CreateReusesTheBlockOfTheSoleHolderOnly) {
  XImage image(8, 8, kGray);
  char* block = image.data;
  image.Create(4, 4, kRgba, 0, 0, 0);  // 64 bytes: fits
  EXPECT_EQ(image.data, block);
  EXPECT_EQ(image.planes[0], block);
  EXPECT_EQ(image.size, 64u);

  XImage sharer(image);
  image.Create(4, 4, kRgba, 0, 0, 0);
  EXPECT_NE(image.data, block);
  EXPECT_EQ(sharer.data, block);
  EXPECT_EQ(Count(sharer), 1);
}

TEST(XImageTest, BorrowedFactoriesViewTheCallersPixels) {
  unsigned char pixels[64];
  std::iota(std::begin(pixels), std::end(pixels), 0);
  using Factory = XImage (*)(int, int, unsigned char*, int);
  const struct {
    Factory make;
    XImage::PIXEL_FORMAT format;
    int perPixel;
  } cases[] = {{XImage::FromRgba, kRgba, 4},
               {XImage::FromBgra, XImage::PIXEL_FORMAT_BGRA, 4},
               {XImage::FromRgb, kRgb, 3}};
  for (const auto& c : cases) {
    {
      XImage image = c.make(2, 2, pixels, 0);
      EXPECT_EQ(image.PixelFormat(), c.format);
      EXPECT_EQ(image.strides[0], 2 * c.perPixel);
      EXPECT_EQ(image.Total(), size_t(4 * c.perPixel));
      EXPECT_EQ(image.size, size_t(4 * c.perPixel));
      EXPECT_EQ(image.Data(), reinterpret_cast<char*>(pixels));
      EXPECT_EQ(image.planes[1], nullptr);
      EXPECT_EQ(image.refCount, nullptr);
      EXPECT_FALSE(image.Empty());
      image.SetReleaseCallback(RecordRelease, nullptr);
      XImage copy(image);
      EXPECT_EQ(copy.planes[0], image.planes[0]);
    }
    EXPECT_EQ(pixels[5], 5);  // left untouched

    XImage strided = c.make(2, 3, pixels, 20);
    EXPECT_EQ(strided.strides[0], 20);
    EXPECT_EQ(strided.size, 60u);
  }

  char gray[32] = {};
  XImage image = XImage::FromGray(5, 4, gray, 8);
  EXPECT_EQ(image.strides[0], 8);
  EXPECT_EQ(image.Total(), 32u);
  EXPECT_EQ(image.size, 32u);
  EXPECT_EQ(XImage::FromGray(5, 4, gray, 0).Total(), 20u);

  XImage null = XImage::FromGray(5, 4, nullptr, 0);
  EXPECT_TRUE(null.Empty());
  EXPECT_FALSE(null.Write(gray, 1, 0));
  EXPECT_TRUE(null.CloneImage().Empty());
}

TEST(XImageTest, CloneImageIsADeepCopyWithItsOwnBlock) {
  std::vector<char> pixels(4 * 3 * 4);
  FillPattern(pixels.data(), pixels.size());
  XImage borrowed = XImage::FromBgra(4, 3, reinterpret_cast<unsigned char*>(pixels.data()), 0);
  borrowed.SetReleaseCallback(RecordRelease, nullptr);
  XImage clone = borrowed.CloneImage();
  EXPECT_EQ(Count(clone), 1);
  EXPECT_EQ(clone.releaseCallback, nullptr);
  EXPECT_EQ(clone.PixelFormat(), XImage::PIXEL_FORMAT_BGRA);
  ASSERT_EQ(clone.Total(), pixels.size());
  EXPECT_EQ(std::memcmp(clone.planes[0], pixels.data(), pixels.size()), 0);
  pixels[0] = 99;
  EXPECT_NE(clone.planes[0][0], 99);

  XImage planar(6, 5, kPlanar);  // odd height: chroma planes end half-way through a row
  FillPattern(planar.data, planar.size);
  XImage planarClone = planar.CloneImage();
  // The total rounds (3 + 3) * 5 / 2 once, the two chroma spans each: the last byte is spare.
  ExpectGeometry(planarClone, {{6, 3, 3}, 45, 30, 37});
  EXPECT_EQ(std::memcmp(planarClone.data, planar.data, 30 + 7 + 7), 0);

  XImage empty;
  empty.format = kRgb;
  EXPECT_EQ(empty.CloneImage().PixelFormat(), kGray);
}

TEST(XImageTest, CopyToGivesASharedTargetItsOwnBlock) {
  CallbackLog log;  // outlives the images that report to it
  XImage source(3, 2, kRgb);
  FillPattern(source.data, source.size);
  XImage target(3, 2, kRgb);
  std::memset(target.data, 0x55, target.size);
  target.SetReleaseCallback(RecordRelease, &log);
  XImage third(target);
  source.CopyTo(target);
  EXPECT_NE(target.data, third.data);
  EXPECT_EQ(std::memcmp(target.data, source.data, source.size), 0);
  EXPECT_EQ(third.planes[0][0], 0x55);
  EXPECT_EQ(target.releaseCallback, &RecordRelease);
  EXPECT_TRUE(log.calls.empty());  // the old block lives on in `third`

  char gray[4] = {1, 2, 3, 4};
  XImage borrowedTarget = XImage::FromGray(2, 2, gray, 0);
  source.CopyTo(borrowedTarget);
  EXPECT_EQ(gray[0], 1);
  EXPECT_EQ(borrowedTarget.PixelFormat(), kRgb);
  EXPECT_EQ(std::memcmp(borrowedTarget.data, source.data, source.size), 0);
}

TEST(XImageTest, CopyToItselfKeepsThePixels) {
  std::vector<char> pixels(4 * 9 * 3);  // RGBA rows of 9 bytes with one spare
  FillPattern(pixels.data(), pixels.size());
  XImage image =
      XImage::FromRgba(2, 3, reinterpret_cast<unsigned char*>(pixels.data()), 9).CloneImage();
  image.Create(2, 3, kRgba, 9, 0, 0);
  std::memcpy(image.data, pixels.data(), 27);
  image.CopyTo(image);
  ASSERT_EQ(image.strides[0], 8);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(image.planes[0] + row * 8, pixels.data() + row * 9, 8), 0) << row;
  }
}

TEST(XImageTest, StridedSourcesAreCopiedRowByRowWithinThePlanes) {
  // Rows longer than the default: the copy takes the default layout, row by row.
  std::vector<char> wide(20 * 3);
  FillPattern(wide.data(), wide.size());
  XImage source = XImage::FromGray(6, 3, wide.data(), 20);
  XImage clone = source.CloneImage();
  ASSERT_EQ(clone.strides[0], 6);
  ASSERT_EQ(clone.size, 18u);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(clone.planes[0] + row * 6, wide.data() + row * 20, 6), 0) << row;
  }

  // Rows shorter than the default (a stride the caller chose below the pixel width).
  std::vector<char> narrow(4 * 3);
  FillPattern(narrow.data(), narrow.size());
  XImage tight = XImage::FromRgb(2, 3, reinterpret_cast<unsigned char*>(narrow.data()), 4);
  XImage grown = tight.CloneImage();
  ASSERT_EQ(grown.strides[0], 6);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(grown.planes[0] + row * 6, narrow.data() + row * 4, 4), 0) << row;
  }

  // Semi-planar with padded chroma rows and an odd height: 3 luma rows, 1.5 chroma rows.
  XImage padded;
  padded.Create(4, 3, kSemiA, 10, 12, 0);
  FillPattern(padded.data, padded.size);
  XImage copy = padded.CloneImage();
  ExpectGeometry(copy, {{4, 4, 0}, 12 + 6, 12, -1});
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(copy.planes[0] + row * 4, padded.planes[0] + row * 10, 4), 0);
  }
  EXPECT_EQ(std::memcmp(copy.planes[1], padded.planes[1], 4), 0);
  EXPECT_EQ(std::memcmp(copy.planes[1] + 4, padded.planes[1] + 12, 2), 0);

  // An unlisted format has no default layout: nothing is copied into the zero strides.
  XImage unlisted;
  unlisted.Create(2, 2, Unlisted(12), 8, 8, 8);
  XImage unlistedCopy = unlisted.CloneImage();
  EXPECT_EQ(unlistedCopy.Total(), 0u);
  EXPECT_TRUE(unlistedCopy.Empty());
}

TEST(XImageTest, ReleaseClearsTheGeometryButKeepsTheFormat) {
  CallbackLog log;
  XImage image(4, 4, kPlanar);
  image.SetReleaseCallback(RecordRelease, &log);
  image.Release();
  EXPECT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(image.Width(), 0u);
  EXPECT_EQ(image.Height(), 0u);
  EXPECT_EQ(image.Total(), 0u);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.PixelFormat(), kPlanar);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(image.planes[i], nullptr);
}

TEST(XImageTest, AssignmentSharesPixelsAndGeometry) {
  XImage a(4, 2, kSemiB);
  XImage b(3, 3, kRgb);
  b = a;
  EXPECT_EQ(Count(a), 2);
  EXPECT_EQ(b.planes[1], a.planes[1]);
  EXPECT_EQ(b.strides[1], 4);
  EXPECT_EQ(b.PixelFormat(), kSemiB);
  b = b;
  EXPECT_EQ(Count(a), 2);
  b = XImage();
  EXPECT_EQ(Count(a), 1);
  EXPECT_EQ(b.planes[0], nullptr);
}

// Requests past the 32-bit model get no block at all, never a short one.
TEST(XImageTest, OversizedRequestsGetNoPixels) {
  const size_t above = size_t{INT32_MAX} + 1;
  const struct {
    size_t width;
    size_t height;
    XImage::PIXEL_FORMAT format;
    int strides[3];
  } requests[] = {
      {above, 1, kGray, {}},                  // width past int32
      {1, above, kGray, {}},                  // height past int32
      {size_t{1} << 32 | 2, 2, kGray, {}},    // low 32 bits alone would look small
      {1 << 30, 1, kRgba, {}},                // default stride 4 * width past int32
      {65536, 32768, kGray, {}},              // total exactly 2^31
      {46341, 46341, kGray, {}},              // total just past 2^31
      {1, INT32_MAX, kRgb, {}},               // 3 * (2^31 - 1) bytes
      {4096, 4096 * 128, kPlanar, {}},        // 2^31 + 2^30 bytes over three planes
      {2, 2, Unlisted(9), {-4, 0, 0}},        // negative stride
      {2, 2, Unlisted(-1), {4, 4, -8}},       // negative stride, negative format
      {2, 1 << 30, Unlisted(20), {4, 0, 0}},  // total 2^32
  };
  for (const auto& r : requests) {
    CallbackLog log;
    XImage image(2, 2, kGray);
    image.SetReleaseCallback(RecordRelease, &log);
    image.Create(r.width, r.height, r.format, r.strides[0], r.strides[1], r.strides[2]);
    EXPECT_EQ(log.calls.size(), 1u) << r.width << "x" << r.height;
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.refCount, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(image.planes[i], nullptr);
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.PixelFormat(), r.format);
    XImage clone = image.CloneImage();
    EXPECT_EQ(clone.data, nullptr);
    XImage target(2, 2, kGray);
    image.CopyTo(target);  // reads none of the missing planes
    // No pixels or zero strides; or, where only the low 32 bits of a size were stored,
    // an image of that stored size.
    EXPECT_TRUE(target.Empty() || target.Width() == image.Width());
  }
}

TEST(XImageTest, FailedCreateStillDescribesTheRequest) {
  XImage image;
  image.Create(46341, 46341, kRgb, 0, 0, 0);
  EXPECT_EQ(image.Width(), 46341u);
  EXPECT_EQ(image.Height(), 46341u);
  EXPECT_EQ(image.strides[0], 3 * 46341);
  EXPECT_EQ(image.Total(), size_t{46341} * 46341 * 3);  // exact, no 32-bit wrap
  EXPECT_TRUE(image.Empty());
}

TEST(XImageTest, TotalNeverOverflows) {
  XImage image;
  image.height = INT32_MAX;
  image.strides[0] = INT32_MAX;
  image.strides[1] = INT32_MAX;
  image.strides[2] = INT32_MAX;
  const std::uint64_t h = INT32_MAX;
  EXPECT_EQ(image.Total(), h * h + (2 * h * h) / 2);

  image.height = INT32_MIN;
  image.strides[0] = INT32_MIN;
  image.strides[1] = INT32_MIN;
  image.strides[2] = INT32_MIN;
  EXPECT_EQ(image.Total(), size_t{1} << 63);  // 2^62 + 2^62, past int64 but not size_t

  image.height = 2;
  image.strides[0] = -10;
  image.strides[1] = 0;
  image.strides[2] = 0;
  EXPECT_EQ(image.Total(), static_cast<size_t>(std::int64_t{-20}));
  EXPECT_EQ(image.Width(), 0u);
  image.width = -1;
  EXPECT_EQ(image.Width(), SIZE_MAX);
}

TEST(XImageTest, BorrowedFactoriesPastTheModelGiveNoPixels) {
  unsigned char pixels[16] = {};
  const XImage images[] = {
      XImage::FromRgba(1 << 29, 1, pixels, 0),        // default stride 2^31
      XImage::FromRgba(-2, 2, pixels, 0),             // negative default stride
      XImage::FromRgb(2, -2, pixels, 0),              // negative height
      XImage::FromBgra(2, 1 << 20, pixels, 1 << 11),  // total 2^31
      XImage::FromGray(size_t{1} << 32, 1, reinterpret_cast<char*>(pixels), 4),
  };
  for (const XImage& image : images) {
    EXPECT_EQ(image.planes[0], nullptr);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.size, 0u);
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Clone().data, nullptr);
    EXPECT_EQ(image.CloneImage().data, nullptr);
  }
  EXPECT_EQ(images[2].Height(), static_cast<size_t>(-2));
}

}  // namespace
