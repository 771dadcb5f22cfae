// Drives a small pool of buffers and images through random copies, assignments (images
// assigned through their buffer part included), Create, Write, Clone, CopyTo, Release,
// borrowed views and destruction, with random formats, sizes and strides, oversized and
// negative ones among them. Every step is checked against a model of the blocks and their
// holders: fields, counts, sharing, geometry, the bytes written, and each release callback,
// which must come exactly once per block with the last holder's data, size and user.
#include <fuzzer/FuzzedDataProvider.h>
#include <quendel/x_buffer.h>
#include <quendel/x_image.h>

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

using framework::XBuffer;
using framework::XImage;

namespace {

// Requests above this many bytes are not made: the point is the model, not the allocator.
constexpr std::int64_t kLargestBlock = std::int64_t{1} << 20;
constexpr std::size_t kArrayBytes = 512;

// The caller's memory that borrowed buffers and images view.
char arrays[2][kArrayBytes];
// Source bytes for Write.
char pattern[256];

struct Event {
  char* data;
  size_t size;
  void* user;
  bool operator==(const Event& other) const {
    return data == other.data && size == other.size && user == other.user;
  }
};
std::vector<Event> events;
int users[3];

void RecordRelease(char* data, size_t size, void* user) { events.push_back({data, size, user}); }

// Bytes of a region as far as the model knows them; -1 where it does not.
struct Region {
  std::vector<int> bytes;
  bool block = false;
  std::size_t capacity = 0;
  int holders = 0;
  bool freed = false;
  char* base = nullptr;  // learned from the first holder of a new block
};

struct Geometry {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t format = 0;
  std::int32_t strides[3] = {0, 0, 0};
  bool hasPlane[3] = {false, false, false};
  std::int64_t planeOffset[3] = {0, 0, 0};  // from the data pointer
};

struct Slot {
  bool image = false;
  int region = -1;  // -1: a null data pointer
  std::size_t offset = 0;
  bool owned = false;
  size_t size = 0;
  bool callback = false;
  void* user = nullptr;
  Geometry geometry;
};

// What Create settles on for a request, in 64 bits.
struct Layout {
  std::int64_t width;
  std::int64_t height;
  std::int64_t strides[3];
  std::int64_t total;
  bool fits;
};

std::int64_t Low32(size_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}
std::int32_t Narrow(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// Pixels only inside the 32-bit model: sizes that fit an int, strides from 0 up, a total
// below 2^31; and no stride given shorter than its row (`overlaps`).
void Settle(Layout& layout, size_t width, size_t height, bool overlaps) {
  layout.fits = width <= INT32_MAX && height <= INT32_MAX && !overlaps;
  for (std::int64_t stride : layout.strides) layout.fits &= stride >= 0 && stride <= INT32_MAX;
  layout.total = 0;
  if (!layout.fits) return;
  const std::int64_t h = layout.height;
  layout.total = h * layout.strides[0] + ((layout.strides[1] + layout.strides[2]) * h) / 2;
  layout.fits = layout.total < (std::int64_t{1} << 31);
}

Layout CreateLayout(size_t width, size_t height, std::int32_t format, int s0, int s1, int s2) {
  Layout layout{Low32(width), Low32(height), {s0, s1, s2}, 0, false};
  const std::int64_t w = layout.width;
  bool overlaps = false;
  if (static_cast<std::uint32_t>(format) <= 7) {
    // Per format: how many planes, and the default stride of each.
    const int planes[8] = {1, 1, 2, 2, 3, 1, 1, 1};
    const std::int64_t defaults[8][3] = {{w, 0, 0},     {4 * w, 0, 0},     {w, w, 0},
                                         {w, w, 0},     {w, w / 2, w / 2}, {3 * w, 0, 0},
                                         {4 * w, 0, 0}, {3 * w, 0, 0}};
    const int given[3] = {s0, s1, s2};
    for (int i = 0; i < 3; ++i) {
      layout.strides[i] = i >= planes[format] ? 0 : given[i] >= 1 ? given[i] : defaults[format][i];
      overlaps |= i < planes[format] && given[i] >= 1 && given[i] < defaults[format][i];
    }
  }
  Settle(layout, width, height, overlaps);
  return layout;
}

Layout BorrowedLayout(size_t width, size_t height, int stride, int bytesPerPixel) {
  Layout layout{Low32(width), Low32(height), {0, 0, 0}, 0, false};
  layout.strides[0] = stride >= 1 ? stride : bytesPerPixel * layout.width;
  Settle(layout, width, height, stride >= 1 && stride < bytesPerPixel * layout.width);
  return layout;
}

std::int64_t PlaneSpan(int index, std::int64_t stride, std::int64_t height) {
  return index == 0 ? stride * height : (stride * height) / 2;
}

// height * s0 + ((s1 + s2) * height) / 2 exactly, widened with its sign.
size_t TotalOf(const Geometry& g) {
  const __int128 h = g.height;
  const __int128 total = h * g.strides[0] + ((__int128{g.strides[1]} + g.strides[2]) * h) / 2;
  return static_cast<size_t>(static_cast<std::uint64_t>(static_cast<unsigned __int128>(total)));
}

void Apply(const Layout& layout, std::int32_t format, bool pixels, Geometry& g) {
  g.width = Narrow(layout.width);
  g.height = Narrow(layout.height);
  g.format = format;
  for (int i = 0; i < 3; ++i) {
    g.strides[i] = Narrow(layout.strides[i]);
    g.hasPlane[i] = false;
    g.planeOffset[i] = 0;
  }
  if (!pixels) return;
  const std::int64_t h = layout.height;
  const std::int64_t* s = layout.strides;
  g.hasPlane[0] = true;
  if (s[1] != 0) {
    g.hasPlane[1] = true;
    g.planeOffset[1] = PlaneSpan(0, s[0], h);
  }
  if (s[1] != 0 && s[2] != 0) {
    g.hasPlane[2] = true;
    g.planeOffset[2] = g.planeOffset[1] + PlaneSpan(1, s[1], h);
  }
}

class BufferModel {
 public:
  explicit BufferModel(FuzzedDataProvider& input) : input_(input) {
    for (std::size_t a = 0; a < 2; ++a) {
      Region array;
      array.base = arrays[a];
      array.bytes.resize(kArrayBytes);
      for (std::size_t k = 0; k < kArrayBytes; ++k) {
        arrays[a][k] = static_cast<char>(k * 7 + a);
        array.bytes[k] = static_cast<unsigned char>(arrays[a][k]);
      }
      regions_.push_back(array);
    }
    for (std::size_t k = 0; k < sizeof pattern; ++k) pattern[k] = static_cast<char>(k * 13 + 5);
    for (auto& slot : pool_) slot = std::make_unique<XBuffer>();
  }

  void Run() {
    for (int step = 0; step < 160 && input_.remaining_bytes() > 0; ++step) {
      const std::size_t i = input_.ConsumeIntegralInRange<std::size_t>(0, pool_.size() - 1);
      const std::size_t j = input_.ConsumeIntegralInRange<std::size_t>(0, pool_.size() - 1);
      expected_.clear();
      events.clear();
      const int operation = input_.ConsumeIntegralInRange(0, 17);
      if (quendel::fuzz::Tracing()) std::fprintf(stderr, "op %d on %zu, %zu\n", operation, i, j);
      Operate(operation, i, j);
      FUZZ_CHECK_MSG(events == expected_, "release callbacks: " + std::to_string(events.size()) +
                                              " seen, " + std::to_string(expected_.size()) +
                                              " expected");
      CheckAll();
    }
    expected_.clear();
    events.clear();
    for (std::size_t i = 0; i < pool_.size(); ++i) {
      DropHold(models_[i]);
      pool_[i].reset();
    }
    FUZZ_CHECK(events == expected_);
    for (const Region& region : regions_) FUZZ_CHECK(!region.block || region.freed);
  }

 private:
  // ---- choosing arguments ------------------------------------------------------------
  size_t PickBufferSize() {
    return input_.ConsumeIntegralInRange(0, 7) == 0
               ? input_.ConsumeIntegralInRange<size_t>(1000, 5000)
               : input_.ConsumeIntegralInRange<size_t>(0, 64);
  }
  size_t PickDimension() {
    switch (input_.ConsumeIntegralInRange(0, 15)) {
      case 0:
        return INT32_MAX;
      case 1:
        return size_t{1} << 31;
      case 2:
        return (size_t{1} << 32) + 5;  // low 32 bits small, the value not
      case 3:
        return SIZE_MAX;
      case 4:
        return 600000000;  // fits an int, four bytes a pixel does not
      default:
        return input_.ConsumeIntegralInRange<size_t>(0, 24);
    }
  }
  int PickStride() {
    switch (input_.ConsumeIntegralInRange(0, 15)) {
      case 0:
        return INT_MIN;
      case 1:
        return INT_MAX;
      case 2:
        return 1 << 30;
      default:
        return input_.ConsumeIntegralInRange(-5, 60);
    }
  }
  std::int32_t PickFormat() {
    switch (input_.ConsumeIntegralInRange(0, 11)) {
      case 0:
        return 8 + input_.ConsumeIntegralInRange(0, 3);
      case 1:
        return input_.ConsumeBool() ? -1 : INT32_MIN;
      case 2:
        return INT32_MAX;
      default:
        return input_.ConsumeIntegralInRange(0, 7);
    }
  }

  // ---- model operations --------------------------------------------------------------
  Region& RegionOf(const Slot& slot) { return regions_[static_cast<std::size_t>(slot.region)]; }
  char* Pointer(const Slot& slot) {
    if (slot.region < 0) return nullptr;
    Region& region = RegionOf(slot);
    return region.base == nullptr ? nullptr : region.base + slot.offset;
  }

  // The buffer part lets go of its bytes; the last holder's callback runs first.
  void DropHold(Slot& slot) {
    if (slot.owned) {
      Region& region = RegionOf(slot);
      FUZZ_CHECK(region.holders > 0 && !region.freed);
      if (--region.holders == 0) {
        if (slot.callback) expected_.push_back({Pointer(slot), slot.size, slot.user});
        region.freed = true;
      }
    }
    slot.region = -1;
    slot.offset = 0;
    slot.owned = false;
    slot.size = 0;
  }
  // The virtual Release: an image also clears its geometry, keeping the format.
  void ReleaseVirtual(Slot& slot) {
    DropHold(slot);
    if (slot.image) {
      const std::int32_t format = slot.geometry.format;
      slot.geometry = Geometry{};
      slot.geometry.format = format;
    }
  }
  void Hold(const Slot& slot) {
    if (slot.owned) ++RegionOf(slot).holders;
  }
  void NewBlock(Slot& slot, size_t size) {
    Region block;
    block.block = true;
    block.capacity = (size + 3) & ~size_t{3};
    block.bytes.assign(block.capacity, -1);
    block.holders = 1;
    regions_.push_back(block);
    slot.region = static_cast<int>(regions_.size() - 1);
    slot.offset = 0;
    slot.owned = true;
    slot.size = size;
  }
  // XBuffer::Create: keep the block when this is its only holder and the size fits.
  void BufferCreate(Slot& slot, size_t size) {
    if (slot.owned && RegionOf(slot).holders <= 1 && size <= RegionOf(slot).capacity) {
      slot.size = size;
      return;
    }
    ReleaseVirtual(slot);
    NewBlock(slot, size);
  }
  // The buffer fields and (for an image from an image) the geometry, as assignment copies.
  void CopyBufferFields(const Slot& from, Slot& to) {
    to.region = from.region;
    to.offset = from.offset;
    to.owned = from.owned;
    to.size = from.size;
    to.callback = from.callback;
    to.user = from.user;
  }
  // Image Create on the model; false when the request would allocate more than we allow.
  bool ImageCreate(Slot& slot, size_t width, size_t height, std::int32_t format, int s0, int s1,
                   int s2, bool dryRun) {
    const Layout layout = CreateLayout(width, height, format, s0, s1, s2);
    if (layout.fits && layout.total > kLargestBlock) return false;
    if (dryRun) return true;
    if (layout.fits) {
      BufferCreate(slot, static_cast<size_t>(layout.total));
    } else {
      ReleaseVirtual(slot);
    }
    Apply(layout, format, layout.fits, slot.geometry);
    return true;
  }
  bool ImageEmpty(const Slot& slot) {
    return !slot.geometry.hasPlane[0] || slot.region < 0 || TotalOf(slot.geometry) == 0;
  }
  void Unknown(Region& region, std::size_t from, std::int64_t count) {
    for (std::int64_t k = 0; k < count && from + k < region.bytes.size(); ++k) {
      region.bytes[from + static_cast<std::size_t>(k)] = -1;
    }
  }
  // Plane by plane, the rows that lie whole in both planes; the rest is not predicted.
  void CopyPlanes(const Slot& from, Slot& to) {
    if (to.region < 0) return;
    Region& target = RegionOf(to);
    for (int i = 0; i < 3; ++i) {
      if (!from.geometry.hasPlane[i] || !to.geometry.hasPlane[i] || from.region < 0) continue;
      const std::int64_t s = from.geometry.strides[i];
      const std::int64_t d = to.geometry.strides[i];
      if (s <= 0 || d <= 0) continue;
      const std::int64_t fromSpan = PlaneSpan(i, s, from.geometry.height);
      const std::int64_t toSpan = PlaneSpan(i, d, to.geometry.height);
      if (fromSpan <= 0 || toSpan <= 0) continue;
      const std::size_t fromStart =
          from.offset + static_cast<std::size_t>(from.geometry.planeOffset[i]);
      const std::size_t toStart = to.offset + static_cast<std::size_t>(to.geometry.planeOffset[i]);
      Unknown(target, toStart, toSpan);
      const std::vector<int> source = RegionOf(from).bytes;
      if (s == d && fromSpan == toSpan) {
        for (std::int64_t k = 0; k < fromSpan; ++k)
          target.bytes[toStart + k] = source[fromStart + k];
        continue;
      }
      const std::int64_t rows = std::min(fromSpan / s, toSpan / d);
      for (std::int64_t r = 0; r < rows; ++r) {
        for (std::int64_t k = 0; k < std::min(s, d); ++k) {
          target.bytes[toStart + r * d + k] = source[fromStart + r * s + k];
        }
      }
    }
  }

  XImage& AsImage(std::size_t i) { return static_cast<XImage&>(*pool_[i]); }

  // ---- the operations ----------------------------------------------------------------
  void Operate(int operation, std::size_t i, std::size_t j) {
    Slot& slot = models_[i];
    Slot& other = models_[j];
    switch (operation) {
      case 0:  // a fresh default buffer (the old object is destroyed first)
        Replace(i, std::make_unique<XBuffer>(), Slot{});
        break;
      case 1: {  // a borrowed view of the caller's bytes, or of a null pointer
        Slot view;
        const size_t size = input_.ConsumeIntegralInRange<size_t>(0, 64);
        char* data = nullptr;
        if (input_.ConsumeIntegralInRange(0, 5) != 0) {
          view.region = input_.ConsumeIntegralInRange(0, 1);
          view.offset = input_.ConsumeIntegralInRange<std::size_t>(0, kArrayBytes - size);
          data = arrays[view.region] + view.offset;
        }
        view.size = size;
        Replace(i, std::make_unique<XBuffer>(data, size), view);
        break;
      }
      case 2: {  // an owned buffer
        const size_t size = PickBufferSize();
        Slot owned;
        DropHold(slot);
        pool_[i].reset();
        NewBlock(owned, size);
        pool_[i] = std::make_unique<XBuffer>(size);
        slot = owned;
        break;
      }
      case 3: {  // copy construction: as an image from an image, else as a buffer
        const bool asImage = other.image && input_.ConsumeBool();
        Slot copy = other;
        copy.image = asImage;
        if (!asImage) copy.geometry = Geometry{};
        Hold(other);
        std::unique_ptr<XBuffer> made =
            asImage ? std::make_unique<XImage>(AsImage(j)) : std::make_unique<XBuffer>(*pool_[j]);
        Replace(i, std::move(made), copy);
        break;
      }
      case 4: {  // assignment, image to image or through the buffer part
        const bool asImage = slot.image && other.image && input_.ConsumeBool();
        if (i == j) {
          if (asImage) {
            AsImage(i) = AsImage(j);
          } else {
            *pool_[i] = *pool_[j];
          }
          break;
        }
        const Slot source = other;
        Hold(source);
        ReleaseVirtual(slot);
        CopyBufferFields(source, slot);
        if (asImage) {
          AsImage(i) = AsImage(j);
          slot.geometry = source.geometry;
        } else {
          *pool_[i] = *pool_[j];  // XBuffer::operator=, the image's own Release included
        }
        break;
      }
      case 5: {  // Create(size_t) through the buffer's table, also on an image
        const size_t size = PickBufferSize();
        BufferCreate(slot, size);
        FUZZ_CHECK(pool_[i]->Create(size));
        break;
      }
      case 6:  // Release through the table
        ReleaseVirtual(slot);
        pool_[i]->Release();
        break;
      case 7:
        Write(i);
        break;
      case 8: {  // Clone into slot i: a new owned buffer unless the source is empty
        const bool empty = other.image ? ImageEmpty(other) : other.region < 0 || other.size == 0;
        XBuffer clone = pool_[j]->Clone();
        Slot result;
        if (!empty) {
          NewBlock(result, other.size);
          for (size_t k = 0; k < other.size; ++k) {
            regions_.back().bytes[k] = RegionOf(other).bytes[other.offset + k];
          }
        }
        Replace(i, std::make_unique<XBuffer>(clone), result);
        break;
      }
      case 9: {  // XBuffer::CopyTo: Create(size) then Write of the bytes, into slot i
        const Slot source = other;
        if (source.image ? ImageEmpty(source) : source.region < 0 || source.size == 0) {
          ReleaseVirtual(slot);  // nothing to copy: the target is released, as Clone gives
          static_cast<const XBuffer&>(*pool_[j]).CopyTo(*pool_[i]);
          break;
        }
        // A view of a null pointer may claim any size; a copy of it would allocate that much.
        if (source.size > static_cast<size_t>(kLargestBlock)) break;
        const std::vector<int> bytes =
            source.region < 0 ? std::vector<int>()
                              : std::vector<int>(RegionOf(source).bytes.begin() + source.offset,
                                                 RegionOf(source).bytes.begin() + source.offset +
                                                     static_cast<std::ptrdiff_t>(source.size));
        BufferCreate(slot, source.size);
        if (source.region >= 0 && source.size > 0) {
          for (size_t k = 0; k < source.size; ++k) RegionOf(slot).bytes[slot.offset + k] = bytes[k];
        }
        static_cast<const XBuffer&>(*pool_[j]).CopyTo(*pool_[i]);
        break;
      }
      case 10: {  // the callback belongs to the object
        const bool set = input_.ConsumeIntegralInRange(0, 3) != 0;
        void* user = &users[input_.ConsumeIntegralInRange(0, 2)];
        slot.callback = set;
        slot.user = user;
        pool_[i]->SetReleaseCallback(set ? &RecordRelease : nullptr, user);
        break;
      }
      case 11: {  // a fresh image, empty or with owned pixels of the default strides
        Slot image;
        image.image = true;
        if (input_.ConsumeBool()) {
          Replace(i, std::make_unique<XImage>(), image);
          break;
        }
        const size_t width = PickDimension();
        const size_t height = PickDimension();
        const std::int32_t format = PickFormat();
        if (!ImageCreate(image, width, height, format, 0, 0, 0, true)) break;
        DropHold(slot);
        pool_[i].reset();
        ImageCreate(image, width, height, format, 0, 0, 0, false);
        pool_[i] =
            std::make_unique<XImage>(width, height, static_cast<XImage::PIXEL_FORMAT>(format));
        slot = image;
        break;
      }
      case 12: {  // image Create with any strides
        if (!slot.image) break;
        const size_t width = PickDimension();
        const size_t height = PickDimension();
        const std::int32_t format = PickFormat();
        const int s0 = PickStride();
        const int s1 = PickStride();
        const int s2 = PickStride();
        if (!ImageCreate(slot, width, height, format, s0, s1, s2, false)) break;
        AsImage(i).Create(width, height, static_cast<XImage::PIXEL_FORMAT>(format), s0, s1, s2);
        break;
      }
      case 13: {  // CloneImage into slot i
        if (!other.image) break;
        Slot clone;
        clone.image = true;
        if (!ImageEmpty(other)) {
          const Geometry& g = other.geometry;
          const size_t width = static_cast<size_t>(std::int64_t{g.width});
          const size_t height = static_cast<size_t>(std::int64_t{g.height});
          if (!ImageCreate(clone, width, height, g.format, 0, 0, 0, false)) break;
          CopyPlanes(other, clone);
        }
        XImage made = AsImage(j).CloneImage();
        Replace(i, std::make_unique<XImage>(made), clone);
        break;
      }
      case 14: {  // XImage::CopyTo into another image, which keeps its callback
        if (!slot.image || !other.image || i == j) break;
        if (ImageEmpty(other)) {  // no pixels: the target ends up as CloneImage gives it
          ReleaseVirtual(slot);
          slot.geometry.format = 0;
          AsImage(j).CopyTo(AsImage(i));
          break;
        }
        const Geometry& g = other.geometry;
        const size_t width = static_cast<size_t>(std::int64_t{g.width});
        const size_t height = static_cast<size_t>(std::int64_t{g.height});
        if (!ImageCreate(slot, width, height, g.format, 0, 0, 0, true)) break;
        const Slot source = other;
        ImageCreate(slot, width, height, g.format, 0, 0, 0, false);
        CopyPlanes(source, slot);
        AsImage(j).CopyTo(AsImage(i));
        break;
      }
      case 15:
        Borrow(i);
        break;
      case 16:  // destruction runs the release of the buffer part
        DropHold(slot);
        pool_[i].reset();
        pool_[i] = std::make_unique<XBuffer>();
        slot = Slot{};
        break;
      case 17: {  // the empty image keeps format 0 and reports one channel
        XImage empty;
        FUZZ_CHECK(empty.Empty() && empty.Channel() == 1 && empty.PixelFormat() == 0);
        break;
      }
    }
  }

  // Destroys slot i's object (its release is part of the model) and puts `made` there.
  void Replace(std::size_t i, std::unique_ptr<XBuffer> made, const Slot& model) {
    Slot old = models_[i];
    DropHold(old);
    pool_[i] = std::move(made);
    models_[i] = model;
  }

  void Write(std::size_t i) {
    Slot& slot = models_[i];
    const size_t length = input_.ConsumeIntegralInRange<size_t>(0, 70);
    size_t offset = input_.ConsumeIntegralInRange<size_t>(0, 70);
    if (input_.ConsumeIntegralInRange(0, 7) == 0) offset = SIZE_MAX - length + 1;  // wraps
    const bool nullSource = input_.ConsumeIntegralInRange(0, 7) == 0;
    const std::size_t from = input_.ConsumeIntegralInRange<std::size_t>(0, sizeof pattern - 71);
    char* source = nullSource ? nullptr : pattern + from;
    const bool fits = offset <= slot.size && length <= slot.size - offset;
    const bool expected = !nullSource && length > 0 && slot.region >= 0 && fits;
    FUZZ_CHECK(pool_[i]->Write(source, length, offset) == expected);
    if (expected) {
      Region& region = RegionOf(slot);
      for (size_t k = 0; k < length; ++k) {
        region.bytes[slot.offset + offset + k] = static_cast<unsigned char>(source[k]);
      }
    }
  }

  void Borrow(std::size_t i) {
    const int kind = input_.ConsumeIntegralInRange(0, 3);
    const int bytesPerPixel[] = {1, 3, 4, 4};
    const std::int32_t formats[] = {0, 5, 1, 6};
    size_t width;
    size_t height;
    int intWidth = 0;
    int intHeight = 0;
    if (kind == 0) {
      width = PickDimension();
      height = PickDimension();
    } else {
      intWidth = input_.ConsumeBool() ? input_.ConsumeIntegralInRange(0, 24)
                                      : input_.ConsumeIntegral<int>();
      intHeight = input_.ConsumeBool() ? input_.ConsumeIntegralInRange(0, 24)
                                       : input_.ConsumeIntegral<int>();
      width = static_cast<size_t>(intWidth);
      height = static_cast<size_t>(intHeight);
    }
    const int stride = PickStride();
    const Layout layout = BorrowedLayout(width, height, stride, bytesPerPixel[kind]);
    Slot view;
    view.image = true;
    char* pixels = nullptr;
    if (input_.ConsumeIntegralInRange(0, 5) != 0 && layout.fits) {
      if (layout.total > static_cast<std::int64_t>(kArrayBytes)) return;  // too big for ours
      view.region = input_.ConsumeIntegralInRange(0, 1);
      view.offset = input_.ConsumeIntegralInRange<std::size_t>(
          0, kArrayBytes - static_cast<std::size_t>(layout.total));
      pixels = arrays[view.region] + view.offset;
    }
    view.size = layout.fits ? static_cast<size_t>(layout.total) : 0;
    Apply(layout, formats[kind], pixels != nullptr, view.geometry);
    auto* bytes = reinterpret_cast<unsigned char*>(pixels);
    XImage made;
    switch (kind) {
      case 0:
        made = XImage::FromGray(width, height, pixels, stride);
        break;
      case 1:
        made = XImage::FromRgb(intWidth, intHeight, bytes, stride);
        break;
      case 2:
        made = XImage::FromRgba(intWidth, intHeight, bytes, stride);
        break;
      default:
        made = XImage::FromBgra(intWidth, intHeight, bytes, stride);
        break;
    }
    Replace(i, std::make_unique<XImage>(made), view);
  }

  // ---- checks ------------------------------------------------------------------------
  void CheckAll() {
    std::vector<int> holders(regions_.size(), 0);
    for (std::size_t i = 0; i < pool_.size(); ++i) {
      const XBuffer& buffer = *pool_[i];
      Slot& slot = models_[i];
      const std::string where = "slot " + std::to_string(i);
      FUZZ_CHECK_MSG(slot.image == (dynamic_cast<const XImage*>(&buffer) != nullptr), where);
      if (slot.owned) {
        Region& region = RegionOf(slot);
        FUZZ_CHECK(!region.freed);
        if (region.base == nullptr) {
          // A new block: learn where it is, and that no live block is there already.
          region.base = buffer.data;
          for (const Region& live : regions_) {
            FUZZ_CHECK(&live == &region || !live.block || live.freed || live.base != region.base);
          }
        }
        ++holders[static_cast<std::size_t>(slot.region)];
        FUZZ_CHECK_MSG(buffer.refCount != nullptr, where);
        FUZZ_CHECK(reinterpret_cast<char*>(buffer.refCount) == region.base + region.capacity);
      } else {
        FUZZ_CHECK_MSG(buffer.refCount == nullptr, where);
      }
      FUZZ_CHECK_MSG(buffer.data == Pointer(slot), where);
      FUZZ_CHECK_MSG(buffer.Data() == buffer.data, where);
      FUZZ_CHECK_MSG(buffer.size == slot.size, where + " size " + std::to_string(buffer.size));
      FUZZ_CHECK(buffer.releaseCallback == (slot.callback ? &RecordRelease : nullptr));
      FUZZ_CHECK(buffer.releaseUser == slot.user);
      if (slot.image) {
        CheckImage(static_cast<const XImage&>(buffer), slot, where);
      } else {
        FUZZ_CHECK(buffer.DataSize() == slot.size);
        FUZZ_CHECK(buffer.Empty() == (slot.region < 0 || slot.size == 0));
      }
      if (slot.region >= 0) {
        const Region& region = RegionOf(slot);
        for (size_t k = 0; k < slot.size && slot.offset + k < region.bytes.size(); ++k) {
          const int known = region.bytes[slot.offset + k];
          if (known >= 0) {
            FUZZ_CHECK_MSG(static_cast<unsigned char>(buffer.data[k]) == known,
                           where + " byte " + std::to_string(k));
          }
        }
      }
    }
    for (std::size_t r = 0; r < regions_.size(); ++r) {
      const Region& region = regions_[r];
      if (!region.block || region.freed) continue;
      FUZZ_CHECK(region.holders == holders[r]);
      const auto* count =
          reinterpret_cast<const std::atomic<std::int32_t>*>(region.base + region.capacity);
      FUZZ_CHECK_MSG(count->load() == region.holders, "count " + std::to_string(count->load()));
    }
  }

  void CheckImage(const XImage& image, const Slot& slot, const std::string& where) {
    const Geometry& g = slot.geometry;
    FUZZ_CHECK_MSG(image.width == g.width && image.height == g.height, where);
    FUZZ_CHECK_MSG(image.format == g.format, where);
    for (int p = 0; p < 3; ++p) {
      FUZZ_CHECK_MSG(image.strides[p] == g.strides[p], where + " stride " + std::to_string(p));
      char* expected =
          g.hasPlane[p] && Pointer(slot) != nullptr ? Pointer(slot) + g.planeOffset[p] : nullptr;
      FUZZ_CHECK_MSG(image.planes[p] == expected, where + " plane " + std::to_string(p));
    }
    const size_t total = TotalOf(g);
    FUZZ_CHECK_MSG(image.Total() == total, where);
    FUZZ_CHECK(image.DataSize() == total);
    FUZZ_CHECK(image.Empty() == (image.planes[0] == nullptr || total == 0));
    FUZZ_CHECK(image.Width() == static_cast<size_t>(std::int64_t{g.width}));
    FUZZ_CHECK(image.Height() == static_cast<size_t>(std::int64_t{g.height}));
    FUZZ_CHECK(image.PixelFormat() == g.format);
    const size_t channels[8] = {1, 4, 0, 0, 0, 3, 4, 3};
    FUZZ_CHECK(image.Channel() ==
               (static_cast<std::uint32_t>(g.format) <= 7 ? channels[g.format] : 0));
  }

  FuzzedDataProvider& input_;
  std::array<std::unique_ptr<XBuffer>, 4> pool_;
  std::array<Slot, 4> models_;
  std::vector<Region> regions_;
  std::vector<Event> expected_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  BufferModel(input).Run();
  return 0;
}
