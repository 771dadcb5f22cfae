#ifndef QUENDEL_DETAIL_MODULE_FILE_BYTES_H
#define QUENDEL_DETAIL_MODULE_FILE_BYTES_H

// The module file's bytes as the format readers see them. Offsets and sizes come from the
// file and may be anything: every range check is free of overflow, and every read outside
// the file yields zero instead of touching memory, so a missed check gives a wrong answer at
// worst, never a read past the bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "quendel/detail/module_file_result.h"

namespace framework::host::detail::reader {

class FileBytes {
 public:
  FileBytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  std::uint64_t Size() const { return size_; }

  // True when [offset, offset + length) lies inside the file.
  bool Holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // Little-endian integers; 0 when they do not lie inside the file.
  std::uint64_t Le(std::uint64_t offset, unsigned width) const {
    if (!Holds(offset, width)) return 0;
    std::uint64_t value = 0;
    for (unsigned i = width; i-- > 0;) value = value << 8 | data_[offset + i];
    return value;
  }
  std::uint8_t U8(std::uint64_t offset) const { return static_cast<std::uint8_t>(Le(offset, 1)); }
  std::uint16_t U16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(Le(offset, 2));
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(Le(offset, 4));
  }
  std::uint64_t U64(std::uint64_t offset) const { return Le(offset, 8); }

  // True when the text at `offset` is `name` followed by its NUL, all before `limit` and
  // inside the file. Reads at most the name's length plus one byte.
  bool NameAt(std::uint64_t offset, std::uint64_t limit, const char* name) const {
    const std::uint64_t length = std::strlen(name);
    limit = std::min(limit, size_);
    if (offset >= limit || limit - offset <= length) return false;
    return std::memcmp(data_ + offset, name, length) == 0 && data_[offset + length] == 0;
  }

  // Copies `length` bytes at `offset` when they lie inside the file (no bytes always do).
  bool Copy(std::uint64_t offset, std::uint64_t length, unsigned char* to) const {
    if (length == 0) return true;
    if (!Holds(offset, length)) return false;
    std::memcpy(to, data_ + offset, length);
    return true;
  }

 private:
  const unsigned char* data_;
  std::uint64_t size_;
};

// Fills the record of `result` from a record the module holds in `room` bytes of its memory,
// whose first `backed` bytes are the file's at `offset` and the rest zero-filled. Nothing is
// taken past the size the record states, and nothing at all without a whole size field.
inline void TakeRecord(ModuleFile& result, const FileBytes& file, std::uint64_t offset,
                       std::uint64_t backed, std::uint64_t room) {
  unsigned char bytes[sizeof(QuendelModuleRecord)] = {};
  const std::uint64_t take = std::min<std::uint64_t>(room, sizeof bytes);
  if (!file.Copy(offset, std::min(take, backed), bytes)) return;
  // The record is little-endian, as every module this reader accepts.
  const std::uint64_t stated = FileBytes(bytes, sizeof bytes).U32(0);
  const std::uint64_t used = take < sizeof(std::uint32_t) ? 0 : std::min(take, stated);
  std::memset(bytes + used, 0, sizeof bytes - used);
  std::memcpy(&result.record, bytes, sizeof bytes);
  result.recordBytes = static_cast<std::size_t>(used);
}

// Fills the manifest of `result` from one the module holds as TakeRecord's record: nothing
// past the size it states, and nothing at all without a whole size field.
inline void TakeManifest(ModuleFile& result, const FileBytes& file, std::uint64_t offset,
                         std::uint64_t backed, std::uint64_t room) {
  unsigned char head[4] = {};
  if (room < sizeof head || !file.Copy(offset, std::min<std::uint64_t>(backed, sizeof head), head))
    return;
  const std::uint64_t stated = FileBytes(head, sizeof head).U32(0);
  const std::uint64_t take = std::min<std::uint64_t>({room, stated, kMaxManifestBytes});
  std::vector<unsigned char> bytes(static_cast<std::size_t>(take), 0);
  if (!file.Copy(offset, std::min(take, backed), bytes.data())) return;
  result.manifest = std::move(bytes);
}

// Takes what the data symbol `wanted` holds, as TakeRecord and TakeManifest describe.
inline void TakeHeld(ModuleFile& result, const FileBytes& file, const WantedSymbol& wanted,
                     std::uint64_t offset, std::uint64_t backed, std::uint64_t room) {
  if (wanted.holds == Holding::kRecord) TakeRecord(result, file, offset, backed, room);
  if (wanted.holds == Holding::kManifest) TakeManifest(result, file, offset, backed, room);
}

}  // namespace framework::host::detail::reader

#endif  // QUENDEL_DETAIL_MODULE_FILE_BYTES_H
