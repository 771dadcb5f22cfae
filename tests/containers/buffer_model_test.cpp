// XBuffer and XImage against a model written from their headers: the blocks and who holds them,
// the bytes every holder sees, the release callbacks owed, and each pixel format's planes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "quendel/x_image.h"
#include "support/property.h"

namespace {

using namespace framework;
using I64 = std::int64_t;
__extension__ typedef __int128 Wide;

constexpr size_t kArena = 256, kBig = size_t{1} << 31, kWrap = kBig << 1 | 2, kWide = 1 << 29 | 1;
// Listed formats: bytes per pixel; chroma planes (1 of full rows, 2 of half rows); channels.
constexpr int kPlanes[8][3] = {{1, 0, 1}, {4, 0, 4}, {1, 1, 0}, {1, 1, 0},
                               {1, 2, 0}, {3, 0, 3}, {4, 0, 4}, {3, 0, 3}};
// Width, height: small, 2^31 bytes, past INT32_MAX, a default stride past it, 2^32 bytes.
constexpr size_t kDims[] = {0, 0,        1, 1,    2, 3, 3,    2,     5, 7,     8, 3,        7,
                            1, kBig / 2, 2, kBig, 1, 1, kBig, kWrap, 2, kWide, 4, kBig / 4, 8};
// Then sizes no block can have (above PTRDIFF_MAX - 7, or where r + 4 wraps).
constexpr size_t kSizes[] = {0, 1, 3, 4, 5, 8, 13, 40, PTRDIFF_MAX - 6, SIZE_MAX - 4, SIZE_MAX};

std::vector<std::tuple<char*, size_t, void*>> calls, owed;
void Record(char* data, size_t size, void* user) { calls.emplace_back(data, size, user); }
constexpr XBuffer::ReleaseCallback kCallbacks[] = {
    nullptr, Record, [](char* d, size_t n, void* u) { Record(d, n, u), throw 0; }};

I64 Low32(size_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }
I64 Row(int f, int k, I64 w) { return k == 0 ? kPlanes[f][0] * w : kPlanes[f][1] == 2 ? w / 2 : w; }

struct Slot {
  size_t offset = 0, size = 0;  // of block 0, the arena, -1 for no storage, or one made
  int block = -1, callback = 0, width = 0, height = 0, format = 0, strides[3] = {};
  void* user = nullptr;
  I64 planes[3] = {-1, -1, -1};  // from the data, -1 for null
} slots[6];

std::vector<char*> addr;              // per block, as the library made it
std::vector<int> held;                // per block, its holders
std::vector<std::vector<int>> bytes;  // per block, what it holds (-1: never written)

size_t Total(const Slot& s) {
  return size_t(Wide{s.height} * s.strides[0] + (Wide{s.strides[1]} + s.strides[2]) * s.height / 2);
}
bool Empty(const Slot& s, bool image) { return s.block < 0 || (image ? Total(s) : s.size) == 0; }
int* At(const Slot& s) { return bytes[s.block].data() + s.offset; }
char* Ptr(const Slot& s) { return s.block < 0 ? nullptr : addr[s.block] + s.offset; }
void Drop(Slot& s) {  // the callback fields stay
  if (s.block > 0 && --held[s.block] == 0 && s.callback) owed.emplace_back(Ptr(s), s.size, s.user);
  s.block = -1, s.offset = s.size = 0;
}
void Replace(Slot& s, const Slot& by) { Drop(s), s = by; }
void Release(Slot& s, int format) { Replace(s, {0, 0, -1, s.callback, 0, 0, format, {}, s.user}); }
void Copy(const Slot& a, size_t n, Slot& b, size_t at) { std::memmove(At(b) + at, At(a), n * 4); }
bool Create(Slot& s, size_t n, char* made) {
  if (s.block > 0 && held[s.block] == 1 && n <= bytes[s.block].size()) return s.size = n, true;
  if (Drop(s), n > size_t{PTRDIFF_MAX} - 7) return false;
  addr.push_back(made), held.push_back(1), bytes.emplace_back((n + 3) / 4 * 4, -1);
  return s.block = static_cast<int>(addr.size()) - 1, s.size = n, true;
}

// XImage::Create, or (view 0 or 1) a borrowed image with null pixels or over the arena's end.
void Image(Slot& s, size_t width, size_t height, int f, const int* given, char* made, int view) {
  I64 st[3], w = Low32(width), h = Low32(height), ok = width <= INT32_MAX && height <= INT32_MAX;
  for (int k = 0, listed = unsigned(f) < 8; k < 3; ++k) {
    const I64 has = listed && kPlanes[f][1] >= k, row = has ? Row(f, k, w) : 0;
    s.strides[k] = Low32(st[k] = !listed ? given[k] : !has ? 0 : given[k] < 1 ? row : given[k]);
    ok = ok && st[k] >= 0 && st[k] <= INT32_MAX && !(has && given[k] >= 1 && given[k] < row);
  }
  const size_t total = ok ? static_cast<size_t>(h * st[0] + (st[1] + st[2]) * h / 2) : kBig;
  if (view < 0 && !(total < kBig && Create(s, total, made))) Drop(s);
  if (view >= 0) s.block = view && total <= kArena ? 0 : -1;
  if (view >= 0) s.offset = kArena - total, s.size = total < kBig ? total : 0;
  s.width = w, s.height = h, s.format = f, s.planes[0] = s.block >= 0 ? 0 : -1;
  s.planes[1] = s.block >= 0 && s.strides[1] ? h * s.strides[0] : -1;  // each after the last
  s.planes[2] = s.planes[1] >= 0 && s.strides[2] ? s.planes[1] + s.strides[1] * h / 2 : -1;
}

// Clone(Image), CopyTo: default strides, each row up to the shorter stride, never past a plane.
void CopyInto(Slot from, bool fromImage, Slot& to, bool image, char* made) {
  if (Empty(from, fromImage)) return image ? Release(to, 0) : Drop(to);
  if (!image && Create(to, from.size, made)) return Copy(from, from.size, to, 0);
  held[std::max(from.block, 0)] += from.block > 0;  // onto itself the old pixels live on
  Image(to, from.width, from.height, from.format, Slot{}.strides, made, -1);
  for (int k = 0, cut = 1; k < 3; ++k, cut = 2) {
    const I64 s = from.strides[k], d = to.strides[k],  // no rows where either lacks the plane
        h = from.planes[k] < 0 || to.planes[k] < 0 || s <= 0 || d <= 0 ? 0 : to.height;
    for (I64 t = 0, f = 0; t < d * h / cut; ++t, f = t / d * s + t % d)
      if (t % d < s && f < s * h / cut) At(to)[to.planes[k] + t] = At(from)[from.planes[k] + f];
  }
  Drop(from);
}

void Check(const std::unique_ptr<XBuffer>* lib) {
  for (int i = 0; i < 6; ++i) {
    const auto& [s, b] = std::tie(slots[i], *lib[i]);
    // An owned block has its count after its bytes rounded up to 4, one per holder.
    char *const at = Ptr(s), *const ref = s.block > 0 && at ? at + bytes[s.block].size() : nullptr;
    MODEL_CHECK(static_cast<void*>(b.refCount) == ref && (!ref || *b.refCount == held[s.block]));
    MODEL_CHECK(b.data == at && b.size == s.size && b.Empty() == Empty(s, i > 2) &&
                b.releaseCallback == kCallbacks[s.callback] && b.releaseUser == s.user);
    for (size_t k{}; at && k < s.size; ++k) MODEL_CHECK(At(s)[k] < 0 || (at[k] & 255) == At(s)[k]);
    MODEL_CHECK(b.DataSize() == (i < 3 ? s.size : Total(s)));
    if (i < 3) continue;
    const auto& g = static_cast<const XImage&>(b);
    MODEL_CHECK(g.width == s.width && g.height == s.height && g.PixelFormat() == s.format &&
                g.Channel() == (unsigned(s.format) < 8 ? kPlanes[s.format][2] : 0u));
    for (int k = 0; k < 3; ++k)
      MODEL_CHECK(g.strides[k] == s.strides[k] &&
                  g.planes[k] == (s.planes[k] < 0 ? nullptr : at + s.planes[k]));
  }
  MODEL_CHECK(calls == owed);
}

void RunBufferModel(quendel::test::Bytes& in) {
  std::vector<char> arena(kArena);
  addr = {arena.data()}, held = {1}, bytes = {{}}, calls.clear(), owed.clear();
  for (size_t k = 0; k < kArena; ++k) bytes[0].push_back((arena[k] = k * 5 + 3) & 255);
  std::unique_ptr<XBuffer> lib[6];
  for (int i = 0; i < 6; ++i) lib[i].reset(i < 3 ? new XBuffer : new XImage), slots[i] = Slot{};
  auto image = [&lib](int i) -> XImage& { return static_cast<XImage&>(*lib[i]); };
  for (; in.More(); Check(lib)) {
    // Buffer ops act on slot b (0-2), image ops on g (3-5); copies into an image come from one.
    const int i = in.Below(6), b = i % 3, g = 3 + b, assign = in.Below(2);
    const int j = i > 2 ? 3 + in.Below(3) : in.Below(6);
    const size_t n = kSizes[in.Below(11)], m = n % 256;
    Slot t, &s = slots[i], from = slots[j];
    switch (std::min(in.Below(8), 5u)) {  // images made more often
      case 0:  // Create, or a view of the arena's last bytes or of null storage
        if (assign) MODEL_CHECK(lib[b]->Create(n) == Create(slots[b], n, lib[b]->data));
        if (!assign) Replace(slots[b], t = {kArena - m, m, -!j}), *lib[b] = XBuffer(Ptr(t), m);
        break;
      case 1:  // by assignment (also of itself) or by a copy replacing the slot
        if (i < 3) assign ? void(*lib[i] = *lib[j]) : lib[i].reset(new XBuffer(*lib[j]));
        if (i > 2) assign ? void(image(i) = image(j)) : lib[i].reset(new XImage(image(j)));
        held[std::max(from.block, 0)] += from.block > 0, Replace(s, from);
        break;
      case 2:  // Clone, CloneImage (no callback), or CopyTo (onto itself too); no data: empty
        if (i < 3) assign ? void(*lib[i] = lib[j]->Clone()) : lib[j]->CopyTo(*lib[i]);
        if (i > 2) assign ? void(image(i) = image(j).CloneImage()) : image(j).CopyTo(image(i));
        if (CopyInto(from, j > 2, assign ? t : s, i > 2, lib[i]->data), assign) Replace(s, t);
        break;
      case 3: {  // from a slot's bytes (overlapping when they share), the arena, or null
        if (!assign) from = Slot{0, kArena, 0};
        // Either at most the source's bytes, or at least 2^63, which no buffer holds (so the
        // library must refuse it before reading) and which wraps `at + len`.
        const size_t len = in.Below(8) ? std::min<size_t>(in.Below(300), from.size)
                                       : SIZE_MAX - std::min(n, size_t{PTRDIFF_MAX});
        const size_t at = in.Below(8) ? in.Below(s.size + 4) : SIZE_MAX - in.Below(3);
        const bool ok = Ptr(from) && s.block >= 0 && len && at <= s.size && len <= s.size - at;
        const char* const constSource = Ptr(from);  // the inline form for const bytes
        const bool written =
            in.Below(2) ? lib[i]->Write(constSource, len, at) : lib[i]->Write(Ptr(from), len, at);
        MODEL_CHECK(written == ok);
        if (ok) Copy(from, len, s, at);
        break;
      }
      case 4:  // a callback (recording, throwing, none), or Release (an image keeps its format)
        if (assign) s.callback = in.Below(3), s.user = slots + in.Below(6);
        assign ? lib[i]->SetReleaseCallback(kCallbacks[s.callback], s.user) : lib[i]->Release();
        if (!assign) i < 3 ? Drop(s) : Release(s, s.format);
        break;
      case 5: {  // Create, or FromGray, FromRgb, FromRgba, FromBgra (int sizes sign-extended)
        const size_t d = 2 * (in.Below(20) % 13), w = kDims[d], h = kDims[d + 1];  // mostly small
        int f = static_cast<int>(in.Below(11)) - 1, given[3];  // strides as picked below
        for (int k = 0, kind = in.Below(7); k < 3; ++k) {
          const I64 row = unsigned(f) < 8 ? Row(f, k, Low32(w)) : 1;
          const I64 pick[] = {0, INT32_MIN, row, row + 1, row + 2 + in.Below(7), row - 1};
          given[k] = Low32(pick[kind < 6 ? kind : in.Below(6)]);
        }
        if (assign) image(g).Create(w, h, XImage::PIXEL_FORMAT(f), given[0], given[1], given[2]);
        if (assign) Image(slots[g], w, h, f, given, lib[g]->data, -1);
        if (assign) break;
        const int bf = f == 1 || f == 5 || f == 6 ? f : f == 7 ? 5 : 0, stride[3] = {given[0]};
        Image(t, bf ? Low32(w) : w, bf ? Low32(h) : h, bf, stride, nullptr, j > 3);
        auto make = bf == 5 ? XImage::FromRgb : bf == 1 ? XImage::FromRgba : XImage::FromBgra;
        image(g) = bf ? make(Low32(w), Low32(h), reinterpret_cast<unsigned char*>(Ptr(t)), *stride)
                      : XImage::FromGray(w, h, Ptr(t), *stride);
        Replace(slots[g], t);
      }
    }
  }
  for (int i = 0; i < 6; ++i) lib[i].reset(), Drop(slots[i]);
  MODEL_CHECK(calls == owed);
}

#if !defined(QUENDEL_FUZZING)
std::atomic<int> seen{0};
void Mark(char* d, size_t n, void*) { seen += n == 33 && std::memcmp(d, "\0\1\2\3", 4) == 0; }

// Four threads pass copies around, each writing its own byte last. In even rounds one of them
// frees the block; in odd ones the first holder waits (relaxed) to be alone and reuses it.
TEST(XBufferConcurrencyTest, TheLastHolderFreesTheBlockOnceOrReusesItAfterTheOthers) {
  for (int r = 0; r < 100; ++r) {
    XBuffer first(33);
    first.SetReleaseCallback(Mark, nullptr);
    std::vector<std::vector<XBuffer>> copies(4, std::vector<XBuffer>(100, first));
    if (r % 2 == 0) first.Release();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&batch = copies[t], t] {
        for (size_t i = 1; i < batch.size(); ++i) batch[i] = batch[i - 1];
        batch.resize(1), batch[0].data[t] = static_cast<char>(t), batch.clear();
      });
    while (r % 2 && first.refCount->load(std::memory_order_relaxed) != 1) std::this_thread::yield();
    EXPECT_TRUE(r % 2 == 0 || (first.Create(33) && first.Write(first.data, 4, 0)));
    for (auto& thread : threads) thread.join();
  }
  EXPECT_EQ(seen, 100);  // one release per block, after every thread's write
}
#endif

}  // namespace

QUENDEL_PROPERTY_TEST(BufferModel, RunBufferModel);
