#include "quendel/x_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "buffer_test_support.h"

namespace {

using framework::XImage;
using quendel::test::CallbackLog;
using quendel::test::Count;
using quendel::test::RecordRelease;
using Format = XImage::PIXEL_FORMAT;

constexpr Format kGray = XImage::PIXEL_FORMAT_GRAY;
constexpr Format kRgba = XImage::PIXEL_FORMAT_RGBA;
constexpr Format kRgb = XImage::PIXEL_FORMAT_RGB;
constexpr Format kSemiA = XImage::PIXEL_FORMAT_SEMIPLANAR_420_A;
constexpr Format kPlanar = XImage::PIXEL_FORMAT_PLANAR_420;

Format Unlisted(int value) { return static_cast<Format>(value); }

void Fill(char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
}

TEST(XImageTest, CreateLaysOutThePlanes) {
  const struct {
    size_t width, height;
    Format format;
    int given[3];
    int strides[3];
    size_t total;
    std::ptrdiff_t plane1, plane2;  // offsets from plane 0; -1 when absent
  } cases[] = {
      {4, 3, kPlanar, {0, 0, 0}, {4, 2, 2}, 18, 12, 15},
      {16, 8, kSemiA, {0, 0, 0}, {16, 16, 0}, 192, 128, -1},
      {16, 8, XImage::PIXEL_FORMAT_SEMIPLANAR_420_B, {0, 0, 0}, {16, 16, 0}, 192, 128, -1},
      {10, 2, kRgb, {0, 7, 9}, {30, 0, 0}, 60, -1, -1},
      {10, 2, kRgba, {48, 0, 0}, {48, 0, 0}, 96, -1, -1},
      {5, 2, kGray, {-3, 0, 0}, {5, 0, 0}, 10, -1, -1},
      {3, 2, Unlisted(9), {10, 0, 0}, {10, 0, 0}, 20, -1, -1},
      {6, 5, kPlanar, {0, 0, 0}, {6, 3, 3}, 45, 30, 37},  // odd height: chroma spans 7 each
      {5, 2, kPlanar, {5, 2, 2}, {5, 2, 2}, 14, 10, 12},  // strides exactly the rows
  };
  for (const auto& c : cases) {
    XImage image;
    image.Create(c.width, c.height, c.format, c.given[0], c.given[1], c.given[2]);
    ASSERT_EQ(image.planes[0], image.data);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(image.strides[i], c.strides[i]) << c.total;
    EXPECT_EQ(image.Total(), c.total);
    EXPECT_EQ(image.size, c.total);
    const std::ptrdiff_t offsets[] = {c.plane1, c.plane2};
    for (int i = 1; i < 3; ++i) {
      EXPECT_EQ(image.planes[i] ? image.planes[i] - image.planes[0] : -1, offsets[i - 1]);
    }
  }

  const size_t channels[] = {1, 4, 0, 0, 0, 3, 4, 3, 0, 0};
  for (int value = -1; value < 9; ++value) {
    XImage image;
    image.format = Unlisted(value);
    EXPECT_EQ(image.Channel(), channels[value < 0 ? 9 : value]) << value;
  }
  EXPECT_TRUE(XImage().Empty());
  EXPECT_EQ(XImage().Channel(), 1u);
}

TEST(XImageTest, BorrowedFactoriesViewTheCallersPixels) {
  unsigned char pixels[60] = {};
  for (auto make : {XImage::FromRgba, XImage::FromBgra}) {
    {
      XImage image = make(2, 2, pixels, 0);
      EXPECT_EQ(image.strides[0], 8);
      EXPECT_EQ(image.Total(), 16u);
      EXPECT_EQ(image.size, 16u);
      EXPECT_EQ(image.Data(), reinterpret_cast<char*>(pixels));
      EXPECT_EQ(image.refCount, nullptr);
      EXPECT_FALSE(image.Empty());
      image.SetReleaseCallback(RecordRelease, nullptr);
    }
    EXPECT_EQ(make(2, 3, pixels, 20).size, 60u);
  }
  EXPECT_EQ(XImage::FromRgb(2, 2, pixels, 0).Total(), 12u);
  EXPECT_EQ(XImage::FromGray(5, 4, reinterpret_cast<char*>(pixels), 8).Total(), 32u);
  EXPECT_EQ(XImage::FromGray(5, 4, reinterpret_cast<char*>(pixels), 8).size, 32u);
  XImage null = XImage::FromGray(5, 4, nullptr, 0);
  EXPECT_TRUE(null.Empty());
  EXPECT_TRUE(null.CloneImage().Empty());
  XImage target(3, 3, kRgba);
  null.CopyTo(target);  // as CloneImage gives it, not sized and uninitialised
  EXPECT_EQ(target.data, nullptr);
  EXPECT_EQ(target.planes[0], nullptr);
  EXPECT_EQ(target.Width(), 0u);
  EXPECT_EQ(target.strides[0], 0);
  EXPECT_EQ(target.PixelFormat(), kGray);
}

TEST(XImageTest, DeepCopiesAreIndependentAndLeaveOtherHoldersAlone) {
  std::vector<char> pixels(4 * 3 * 4);
  Fill(pixels.data(), pixels.size());
  XImage borrowed = XImage::FromBgra(4, 3, reinterpret_cast<unsigned char*>(pixels.data()), 0);
  XImage clone = borrowed.CloneImage();
  EXPECT_EQ(Count(clone), 1);
  ASSERT_EQ(clone.Total(), pixels.size());
  EXPECT_EQ(std::memcmp(clone.planes[0], pixels.data(), pixels.size()), 0);
  pixels[0] = 99;
  EXPECT_NE(clone.planes[0][0], 99);

  CallbackLog log;  // outlives the images that report to it
  XImage target(4, 3, kRgba);
  std::memset(target.data, 0x55, target.size);
  target.SetReleaseCallback(RecordRelease, &log);
  XImage third(target);
  clone.CopyTo(target);
  EXPECT_NE(target.data, third.data);
  EXPECT_EQ(target.PixelFormat(), XImage::PIXEL_FORMAT_BGRA);
  EXPECT_EQ(std::memcmp(target.data, clone.data, clone.size), 0);
  EXPECT_EQ(third.planes[0][0], 0x55);
  EXPECT_EQ(target.releaseCallback, &RecordRelease);

  target.Release();
  EXPECT_EQ(target.Width(), 0u);
  EXPECT_EQ(target.Total(), 0u);
  EXPECT_TRUE(target.Empty());
  EXPECT_EQ(target.PixelFormat(), XImage::PIXEL_FORMAT_BGRA);
}

TEST(XImageTest, StridedSourcesAreCopiedRowByRowInsideThePlanes) {
  std::vector<char> wide(20 * 3);  // gray rows of 6 pixels, 20 bytes apart
  Fill(wide.data(), wide.size());
  XImage clone = XImage::FromGray(6, 3, wide.data(), 20).CloneImage();
  ASSERT_EQ(clone.strides[0], 6);
  ASSERT_EQ(clone.size, 18u);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(clone.planes[0] + row * 6, wide.data() + row * 20, 6), 0) << row;
  }

  // Padded semi-planar with an odd height: 3 luma rows, 1.5 chroma rows.
  XImage padded;
  padded.Create(4, 3, kSemiA, 10, 12, 0);
  Fill(padded.data, padded.size);
  XImage copy;
  padded.CopyTo(copy);
  ASSERT_EQ(copy.Total(), 18u);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(copy.planes[0] + row * 4, padded.planes[0] + row * 10, 4), 0);
  }
  EXPECT_EQ(std::memcmp(copy.planes[1], padded.planes[1], 4), 0);
  EXPECT_EQ(std::memcmp(copy.planes[1] + 4, padded.planes[1] + 12, 2), 0);

  // Onto itself while it is the only holder: the old rows must not be overwritten first.
  std::vector<char> rows(padded.data, padded.data + 30);
  padded.CopyTo(padded);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(std::memcmp(padded.planes[0] + row * 4, rows.data() + row * 10, 4), 0) << row;
  }
}

// Requests past the 32-bit model, or with rows that would overlap, get no block at all,
// never a short one.
TEST(XImageTest, OversizedOrOverlappingRequestsGetNoPixels) {
  const size_t above = size_t{INT32_MAX} + 1;
  const struct {
    size_t width, height;
    Format format;
    int strides[3];
  } requests[] = {
      {above, 1, kGray, {}},
      {1, above, kGray, {}},
      {size_t{1} << 32 | 2, 2, kGray, {}},    // the low 32 bits alone would look small
      {1 << 30, 1, kRgba, {}},                // default stride 4 * width past int32
      {65536, 32768, kGray, {}},              // exactly 2^31
      {4096, 4096 * 128, kPlanar, {}},        // 2^31 + 2^30 over three planes
      {2, 2, Unlisted(9), {-4, 0, 0}},        // negative stride
      {2, 1 << 30, Unlisted(20), {4, 0, 0}},  // 2^32, 0 in 32-bit arithmetic
      {64, 8, kRgba, {255, 0, 0}},            // strides a byte short of their rows
      {4, 2, kSemiA, {4, 3, 0}},
      {5, 2, kPlanar, {5, 2, 1}},
  };
  for (const auto& r : requests) {
    CallbackLog log;
    XImage image(2, 2, kGray);
    image.SetReleaseCallback(RecordRelease, &log);
    image.Create(r.width, r.height, r.format, r.strides[0], r.strides[1], r.strides[2]);
    EXPECT_EQ(log.calls.size(), 1u) << r.width << "x" << r.height;
    EXPECT_EQ(image.data, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(image.planes[i], nullptr);
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.PixelFormat(), r.format);
    EXPECT_EQ(image.CloneImage().data, nullptr);
    XImage target(2, 2, kGray);
    image.CopyTo(target);  // must read none of the missing planes
  }

  XImage described;
  described.Create(46341, 46341, kRgb, 0, 0, 0);
  EXPECT_EQ(described.Height(), 46341u);
  EXPECT_EQ(described.strides[0], 3 * 46341);
  EXPECT_EQ(described.Total(), size_t{46341} * 46341 * 3);  // exact, no 32-bit wrap

  unsigned char pixels[16] = {};
  for (const XImage& image :
       {XImage::FromRgba(1 << 29, 1, pixels, 0), XImage::FromRgb(2, -2, pixels, 0),
        XImage::FromBgra(2, 1 << 20, pixels, 1 << 11), XImage::FromRgba(2, 2, pixels, 7),
        XImage::FromRgb(2, 2, pixels, 5),
        XImage::FromGray(5, 3, reinterpret_cast<char*>(pixels), 4)}) {
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.planes[0], nullptr);
    EXPECT_EQ(image.Clone().data, nullptr);
  }
}

TEST(XImageTest, TotalOfAnyFieldValuesNeverOverflows) {
  XImage image;
  image.height = INT32_MIN;
  for (int i = 0; i < 3; ++i) image.strides[i] = INT32_MIN;
  EXPECT_EQ(image.Total(), size_t{1} << 63);  // 2^62 + 2^62
  image.height = 2;
  image.strides[0] = -10;
  image.strides[1] = image.strides[2] = 0;
  EXPECT_EQ(image.Total(), static_cast<size_t>(std::int64_t{-20}));
}

}  // namespace
