// XBuffer and XImage against a model written from their headers: the blocks and who holds them,
// the bytes every holder sees, the release callbacks owed, and each pixel format's planes.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "quendel/x_image.h"
#include "support/property.h"

namespace {

using framework::XBuffer;
using framework::XImage;
using I64 = std::int64_t;
__extension__ typedef __int128 Wide;

constexpr size_t kArena = 256;  // borrowed views end where it ends: reading past them is caught
constexpr int kBuffers = 3;     // slots 0-2 hold XBuffers, 3-5 XImages
constexpr int kSlots = 6;
constexpr size_t kBig = size_t{1} << 31;
// Per listed format: bytes per pixel of plane 0; chroma planes (0 none, 1 one plane of full
// rows, 2 two planes of half rows), each spanning stride * height / 2; channels.
constexpr int kPerPixel[8] = {1, 4, 1, 1, 1, 3, 4, 3};
constexpr int kChroma[8] = {0, 0, 1, 1, 2, 0, 0, 0};
constexpr size_t kChannels[8] = {1, 4, 0, 0, 0, 3, 4, 3};
constexpr int kFormats[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, -1, 1000};
// Small images, then a total of exactly 2^31, sizes past INT32_MAX (one whose low 32 bits look
// small), a default RGBA stride past INT32_MAX and a total that wraps in 32 bits.
constexpr size_t kDims[][2] = {{0, 0},
                               {1, 1},
                               {2, 3},
                               {3, 2},
                               {5, 7},
                               {8, 3},
                               {7, 1},
                               {65536, 32768},
                               {kBig, 1},
                               {1, kBig},
                               {(size_t{1} << 32) + 2, 2},
                               {(1 << 29) + 1, 4},
                               {46341, 46341}};
// Then sizes no block can have (above PTRDIFF_MAX - 7; the last ones would wrap r + 4).
constexpr size_t kSizes[] = {0, 1, 3, 4, 5, 8, 13, 40, PTRDIFF_MAX - 6, SIZE_MAX - 4, SIZE_MAX};

using Call = std::tuple<char*, size_t, void*>;
std::vector<Call> calls;
int users[3];
void Record(char* data, size_t size, void* user) { calls.emplace_back(data, size, user); }
void Throw(char* data, size_t size, void* user) {
  Record(data, size, user);
  throw std::runtime_error("host callback failed");
}
constexpr XBuffer::ReleaseCallback kCallbacks[] = {nullptr, Record, Throw};

I64 Low32(size_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }
I64 Row(int f, int k, I64 w) { return k == 0 ? kPerPixel[f] * w : kChroma[f] == 2 ? w / 2 : w; }

// A stride for rows of `row` bytes: default (0, negative), exact, padded, short, INT32_MIN, small.
int Stride(int kind, quendel::test::Bytes& in, I64 row) {
  const I64 pick[] = {0, -3, row, row + 1 + in.Below(3), row - 1, INT32_MIN, in.Below(8)};
  return static_cast<int>(Low32(static_cast<size_t>(pick[kind])));
}

struct Block {
  char* data;  // as the library made it
  size_t capacity;
  int holders;
  std::vector<int> bytes;  // -1: never written
};

struct Slot {
  int block = -1;  // 0 is the borrowed arena, -1 no storage
  size_t offset = 0, size = 0;
  int callback = 0;
  void* user = nullptr;
  std::int32_t width = 0, height = 0, format = 0, strides[3] = {};
  I64 planes[3] = {-1, -1, -1};  // from the data, -1 for null
};

size_t Total(const Slot& s) {
  const Wide pair = I64{s.strides[1]} + s.strides[2];
  return static_cast<size_t>(Wide{s.height} * s.strides[0] + pair * s.height / 2);
}

struct Model {
  std::vector<Block> blocks;
  std::vector<Call> owed;
  Slot slots[kSlots];

  int* At(const Slot& s) { return blocks[s.block].bytes.data() + s.offset; }
  std::vector<int> Read(const Slot& s, size_t from, size_t n) {
    return {At(s) + from, At(s) + from + n};
  }
  bool Empty(int i) {
    const Slot& s = slots[i];
    return i < kBuffers ? s.block < 0 || s.size == 0 : s.planes[0] < 0 || Total(s) == 0;
  }
  void Hold(const Slot& s) {
    if (s.block > 0) ++blocks[s.block].holders;
  }
  void Drop(Slot& s) {  // XBuffer::Release; the callback fields stay
    if (s.block > 0 && --blocks[s.block].holders == 0 && s.callback != 0)
      owed.emplace_back(blocks[s.block].data, s.size, s.user);
    s.block = -1;
    s.offset = s.size = 0;
  }
  void Take(Slot& s, const Slot& from) {
    Drop(s);
    s = from;
  }
  bool Create(Slot& s, size_t n, char* made) {
    if (s.block > 0 && blocks[s.block].holders == 1 && n <= blocks[s.block].capacity) {
      s.size = n;
      return true;
    }
    Drop(s);
    if (n > size_t{PTRDIFF_MAX} - 7) return false;
    MODEL_CHECK(made != nullptr);
    for (const Block& b : blocks) MODEL_CHECK(b.holders == 0 || b.data != made);
    blocks.push_back({made, (n + 3) / 4 * 4, 1, std::vector<int>((n + 3) / 4 * 4, -1)});
    s.block = static_cast<int>(blocks.size()) - 1;
    s.size = n;
    return true;
  }
  // The geometry an image request describes, and whether it gets pixels.
  bool Layout(Slot& s, size_t width, size_t height, int f, const int given[3], size_t& total) {
    const I64 w = Low32(width), h = Low32(height);
    const bool listed = f >= 0 && f < 8;
    bool ok = width <= INT32_MAX && height <= INT32_MAX;
    I64 st[3];
    for (int k = 0; k < 3; ++k) {
      const bool has = listed && kChroma[f] >= k;
      const I64 row = has ? Row(f, k, w) : 0;
      st[k] = !listed ? given[k] : !has ? 0 : given[k] < 1 ? row : given[k];
      ok = ok && st[k] >= 0 && st[k] <= INT32_MAX && !(has && given[k] >= 1 && given[k] < row);
      s.strides[k] = static_cast<std::int32_t>(Low32(static_cast<size_t>(st[k])));
    }
    s.width = static_cast<std::int32_t>(w);
    s.height = static_cast<std::int32_t>(h);
    s.format = f;
    total = ok ? static_cast<size_t>(h * st[0] + (st[1] + st[2]) * h / 2) : 0;
    return ok && total < kBig;
  }
  void Planes(Slot& s) {  // each plane follows the previous one; a stride of 0 has none
    s.planes[0] = 0;
    s.planes[1] = s.strides[1] != 0 ? I64{s.height} * s.strides[0] : -1;
    s.planes[2] =
        s.planes[1] >= 0 && s.strides[2] != 0 ? s.planes[1] + I64{s.strides[1]} * s.height / 2 : -1;
  }
  void CreateImage(Slot& s, size_t width, size_t height, int f, const int given[3], char* made) {
    size_t total = 0;
    if (Layout(s, width, height, f, given, total) && Create(s, total, made)) return Planes(s);
    Drop(s);
    std::fill(std::begin(s.planes), std::end(s.planes), -1);
  }
  void Release(Slot& s) {  // XImage::Release keeps the format and the callback
    Drop(s);
    s = Slot{-1, 0, 0, s.callback, s.user, 0, 0, s.format};
  }
  // CopyTo and CloneImage of a source with pixels: default strides, then each row of each plane
  // up to the shorter stride, never past either plane.
  void CopyImage(Slot source, Slot& s, char* made) {
    Hold(source);  // onto itself, the old pixels live until copied
    const int none[3] = {};
    CreateImage(s, static_cast<size_t>(I64{source.width}), static_cast<size_t>(I64{source.height}),
                source.format, none, made);
    for (int k = 0; k < 3; ++k) {
      const I64 from = source.strides[k], to = s.strides[k], h = s.height;
      if (source.planes[k] < 0 || s.planes[k] < 0 || from <= 0 || to <= 0) continue;
      const I64 fromSpan = k ? from * h / 2 : from * h, toSpan = k ? to * h / 2 : to * h;
      const int* read = At(source) + source.planes[k];
      for (I64 t = 0; t < toSpan; ++t) {
        const I64 f = t / to * from + t % to;
        if (t % to < from && f < fromSpan) At(s)[s.planes[k] + t] = read[f];
      }
    }
    Drop(source);
  }
};

void Check(Model& m, const std::unique_ptr<XBuffer>* lib) {
  for (int i = 0; i < kSlots; ++i) {
    const XBuffer& b = *lib[i];
    const Slot& s = m.slots[i];
    char* const data = s.block < 0 ? nullptr : m.blocks[s.block].data + s.offset;
    MODEL_CHECK(b.data == data && b.size == s.size && b.Empty() == m.Empty(i));
    MODEL_CHECK(b.DataSize() == (i < kBuffers ? s.size : Total(s)));
    MODEL_CHECK(b.releaseCallback == kCallbacks[s.callback] && b.releaseUser == s.user);
    // An owned block has its count after its bytes rounded up to 4, one per holder.
    const bool owned = s.block > 0;
    MODEL_CHECK(reinterpret_cast<char*>(b.refCount) ==
                (owned ? data + m.blocks[s.block].capacity : nullptr));
    MODEL_CHECK(!owned || b.refCount->load() == m.blocks[s.block].holders);
    for (size_t k = 0; data != nullptr && k < s.size; ++k) {
      MODEL_CHECK(m.At(s)[k] < 0 || static_cast<unsigned char>(data[k]) == m.At(s)[k]);
    }
    if (i < kBuffers) continue;
    const auto& g = static_cast<const XImage&>(b);
    MODEL_CHECK(g.width == s.width && g.height == s.height && g.PixelFormat() == s.format);
    MODEL_CHECK(g.Width() == static_cast<size_t>(I64{s.width}) &&
                g.Height() == static_cast<size_t>(I64{s.height}) && g.Total() == Total(s));
    MODEL_CHECK(g.Channel() == (s.format >= 0 && s.format < 8 ? kChannels[s.format] : 0));
    for (int k = 0; k < 3; ++k) {
      MODEL_CHECK(g.strides[k] == s.strides[k]);
      MODEL_CHECK(g.planes[k] == (s.planes[k] < 0 ? nullptr : data + s.planes[k]));
    }
  }
  MODEL_CHECK(calls == m.owed);
}

void RunBufferModel(quendel::test::Bytes& in) {
  calls.clear();
  Model m;
  std::vector<char> arena(kArena);
  m.blocks.push_back({arena.data(), kArena, 1, {}});
  for (size_t k = 0; k < kArena; ++k) m.blocks[0].bytes.push_back((arena[k] = k * 5 + 3) & 255);
  char pattern[512];
  for (int k = 0; k < 512; ++k) pattern[k] = static_cast<char>(k * 37 + 11);
  std::unique_ptr<XBuffer> lib[kSlots];
  for (int i = 0; i < kSlots; ++i) lib[i].reset(i < kBuffers ? new XBuffer : new XImage);
  auto image = [&lib](int i) -> XImage& { return static_cast<XImage&>(*lib[i]); };
  while (in.More()) {
    const int i = in.Below(kSlots), j = in.Below(kSlots), b = i % 3, g = 3 + b, jg = 3 + j % 3;
    const size_t n = kSizes[in.Below(11)], *dims = kDims[in.Below(13)];
    const size_t width = dims[0], height = dims[1];
    const int f = kFormats[in.Below(11)], kinds = in.Below(8);
    int given[3];
    for (int k = 0; k < 3; ++k) {
      const I64 row = f >= 0 && f < 8 ? Row(f, k, Low32(width)) : 1;
      given[k] = Stride(kinds < 7 ? kinds : in.Below(7), in, row);
    }
    Slot fresh;
    switch (in.Below(14)) {
      case 0:
        MODEL_CHECK(lib[b]->Create(n) == m.Create(m.slots[b], n, lib[b]->data));
        break;
      case 1:  // a new buffer assigned over the slot, which then has no callback
        *lib[b] = XBuffer(n);
        m.Create(fresh, n, lib[b]->data);
        m.Take(m.slots[b], fresh);
        break;
      case 2: {  // a view of the arena's last bytes, or a size without storage
        const bool null = in.Below(4) == 0;
        *lib[b] = XBuffer(null ? nullptr : arena.data() + kArena - n % 256, n % 256);
        m.Take(m.slots[b], Slot{null ? -1 : 0, kArena - n % 256, n % 256});
        break;
      }
      case 3: {  // by assignment (also of itself) or by a copy that replaces the slot
        const int from = i < kBuffers ? j : jg;
        const bool assign = in.Below(2) == 0;
        if (assign && i < kBuffers)
          *lib[i] = *lib[from];
        else if (assign)
          image(i) = image(from);
        else if (i < kBuffers)
          lib[i].reset(new XBuffer(*lib[from]));
        else
          lib[i].reset(new XImage(image(from)));
        Slot copy = m.slots[from];
        m.Hold(copy);
        m.Take(m.slots[i], copy);
        break;
      }
      case 4:  // Clone of a buffer or an image
        *lib[b] = lib[j]->Clone();
        if (!m.Empty(j) && m.Create(fresh, m.slots[j].size, lib[b]->data))
          std::copy_n(m.At(m.slots[j]), m.slots[j].size, m.At(fresh));
        m.Take(m.slots[b], fresh);
        break;
      case 5: {  // XBuffer::CopyTo, also onto itself and from a source without data
        lib[j]->CopyTo(*lib[b]);
        if (m.Empty(j)) {
          m.Drop(m.slots[b]);
          break;
        }
        const std::vector<int> bytes = m.Read(m.slots[j], 0, m.slots[j].size);
        m.Create(m.slots[b], bytes.size(), lib[b]->data);
        std::copy(bytes.begin(), bytes.end(), m.At(m.slots[b]));
        break;
      }
      case 6: {  // from the pattern, from null, or from a slot's bytes (overlapping its own)
        Slot& s = m.slots[i];
        const size_t offset = in.Below(8) == 0 ? SIZE_MAX - in.Below(3) : in.Below(s.size + 4);
        size_t length = in.Below(8) == 0 ? SIZE_MAX - in.Below(3) : in.Below(300);
        char* source = in.Below(8) == 0 ? nullptr : pattern + in.Below(8);
        std::vector<int> bytes(source != nullptr && length < 300 ? length : 0);
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = source[k] & 255;
        if (in.Below(2) == 0 && m.slots[j].block >= 0 && m.slots[j].size > 0) {
          const size_t at = in.Below(m.slots[j].size);
          length = std::min(length, m.slots[j].size - at);
          source = lib[j]->data + at;
          bytes = m.Read(m.slots[j], at, length);
        }
        const bool ok = source != nullptr && s.block >= 0 && length != 0 && offset <= s.size &&
                        length <= s.size - offset;
        MODEL_CHECK(lib[i]->Write(source, length, offset) == ok);
        if (ok) std::copy(bytes.begin(), bytes.end(), m.At(s) + offset);
        break;
      }
      case 7:
        m.slots[i].callback = in.Below(3);
        m.slots[i].user = users + in.Below(3);
        lib[i]->SetReleaseCallback(kCallbacks[m.slots[i].callback], m.slots[i].user);
        break;
      case 8:
        lib[i]->Release();
        i < kBuffers ? m.Drop(m.slots[i]) : m.Release(m.slots[i]);
        break;
      case 9:
        image(g).Create(width, height, XImage::PIXEL_FORMAT(f), given[0], given[1], given[2]);
        m.CreateImage(m.slots[g], width, height, f, given, lib[g]->data);
        break;
      case 10: {
        image(g) = XImage(width, height, XImage::PIXEL_FORMAT(f));
        const int none[3] = {};
        m.CreateImage(fresh, width, height, f, none, lib[g]->data);
        m.Take(m.slots[g], fresh);
        break;
      }
      case 11: {  // FromGray, FromRgb, FromRgba, FromBgra over the arena's end or null pixels
        const int kind = in.Below(4), formats[] = {0, 5, 1, 6};
        const size_t w = kind ? static_cast<size_t>(Low32(width)) : width;
        const size_t h = kind ? static_cast<size_t>(Low32(height)) : height;
        const int stride[3] = {Stride(in.Below(7), in, Row(formats[kind], 0, Low32(w))), 0, 0};
        size_t total = 0;
        const bool fits = m.Layout(fresh, w, h, formats[kind], stride, total);
        char* pixels = fits && total <= kArena && in.Below(4) != 0 ? arena.data() + kArena - total : nullptr;
        auto from = kind == 1 ? XImage::FromRgb : kind == 2 ? XImage::FromRgba : XImage::FromBgra;
        auto* bytes = reinterpret_cast<unsigned char*>(pixels);
        image(g) = kind ? from(static_cast<int>(width), static_cast<int>(height), bytes, stride[0])
                        : XImage::FromGray(width, height, pixels, stride[0]);
        fresh.block = pixels ? 0 : -1;
        fresh.offset = kArena - total;
        fresh.size = fits ? total : 0;
        if (pixels) m.Planes(fresh);
        m.Take(m.slots[g], fresh);
        break;
      }
      case 12:  // CloneImage: an image without pixels gives an empty one
        image(g) = image(jg).CloneImage();
        if (!m.Empty(jg)) m.CopyImage(m.slots[jg], fresh, lib[g]->data);
        m.Take(m.slots[g], fresh);
        break;
      case 13: {  // CopyTo keeps the target's callback; from an image without pixels: released,
                  // GRAY
        const bool empty = m.Empty(jg);
        image(jg).CopyTo(image(g));
        if (!empty) m.CopyImage(m.slots[jg], m.slots[g], lib[g]->data);
        if (empty) m.Release(m.slots[g]);
        if (empty) m.slots[g].format = 0;
        break;
      }
    }
    Check(m, lib);
  }
  for (int i = 0; i < kSlots; ++i) lib[i].reset(), m.Drop(m.slots[i]);
  MODEL_CHECK(calls == m.owed);
}

}  // namespace

QUENDEL_PROPERTY_TEST(BufferModel, RunBufferModel);
