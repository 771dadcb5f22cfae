// Minimal module files built in memory, ELF and PE, with the provider symbols and the manifest
// placed as a model says, so that the module file reader's test and fuzzer know every answer
// for them.
#pragma once

#include <quendel/module_manifest.h>
#include <quendel/module_record.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace quendel::test {

enum class Place { kAbsent, kData, kFunction, kOther };

// Where each provider symbol is (record, can unload, registry, manifest) and which way of being
// absent or other it takes; the record's stored bytes, the room its symbol (ELF) or section (PE)
// gives it, and how many of them the file holds: the rest of the room is zero-filled. The
// manifest's bytes (at least 12) are all in the file, its symbol's room on ELF.
struct ModuleModel {
  Place places[4];
  unsigned variants[4];
  unsigned char record[40];
  std::uint32_t room, backed;  // 1 <= room <= 40, backed <= room
  std::vector<std::uint8_t> manifest;
};

// An image, and its fields (offset, width) that place or size a range of the file or index a
// table: pointing or stretching any of them past the file's or the table's end damages it.
struct ModuleImage {
  std::vector<std::uint8_t> bytes;
  std::vector<std::pair<std::size_t, int>> ranges;

  void Put(std::size_t at, std::uint64_t value, int width) {
    if (bytes.size() < at + width) bytes.resize(at + width);
    for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
  }
  void Range(std::size_t at, std::uint64_t value, int width) {
    Put(at, value, width);
    ranges.emplace_back(at, width);
  }
  void Text(std::size_t at, const char* text) {
    for (std::size_t i = 0; i <= std::strlen(text); ++i) Put(at + i, text[i], 1);
  }
};

inline const char* const kProviderNames[4] = {QUENDEL_MODULE_RECORD_SYMBOL,
                                              QUENDEL_CAN_UNLOAD_SYMBOL, QUENDEL_REGISTRY_SYMBOL,
                                              QUENDEL_MANIFEST_SYMBOL};

// ELF: the headers and 16 bytes of code in an executable segment at address 0; the names, the
// symbols, an 8-byte data slot, the manifest and the record in a read-only segment at file
// offset + 0x10000 that goes on 40 bytes past the record's start; filler bytes, then the
// section headers.
inline ModuleImage BuildElf(const ModuleModel& model, std::uint16_t machine) {
  constexpr std::uint64_t kCode = 176, kNames = 192, kSymbols = 272, kSlot = 392, kManifest = 400;
  constexpr std::uint64_t kShift = 0x10000, kFar = 1 << 30;
  const std::uint64_t recordAt = kManifest + (model.manifest.size() + 7) / 8 * 8;
  const std::uint64_t end = recordAt + model.backed, sections = (end + 7) / 8 * 8 + 8;
  ModuleImage image;
  image.Put(0, 0x0101'0246'4c45'7fULL, 7);  // magic, 64-bit, little-endian, version 1
  image.Put(16, 3, 2);                      // a shared object
  image.Put(18, machine, 2);
  image.Range(32, 64, 8);
  image.Range(40, sections, 8);
  image.Put(54, 56, 2);
  image.Range(56, 2, 2);
  image.Put(58, 64, 2);
  image.Range(60, 6, 2);
  // Loadable segments, execute+read and read-only: flags, offset, address, file and memory size.
  const std::uint64_t segments[2][5] = {
      {5, 0, 0, kNames, kNames},
      {4, kNames, kShift + kNames, end - kNames, recordAt + 40 - kNames}};
  for (std::size_t s = 0; s < 2; ++s) {
    image.Put(64 + 56 * s, 1, 4);
    image.Put(68 + 56 * s, segments[s][0], 4);
    image.Range(72 + 56 * s, segments[s][1], 8);
    image.Put(80 + 56 * s, segments[s][2], 8);
    image.Range(96 + 56 * s, segments[s][3], 8);
    image.Put(104 + 56 * s, segments[s][4], 8);
  }
  for (std::size_t i = 0; i < 16; ++i) image.Put(kCode + i, 0xc3, 1);
  std::uint64_t name = 1;
  for (int w = 0; w < 4; ++w) {
    const std::uint64_t data = kShift + (w == 0 ? recordAt : w == 3 ? kManifest : kSlot);
    const std::uint64_t v = model.variants[w];
    // Name, type and binding, visibility, section, address: data, a function, then the ways
    // of being absent (unnamed, undefined, local, hidden) and of being other (data in code,
    // untyped, a function in data, thread-local, absolute, an indirect function).
    const std::uint64_t ways[12][5] = {
        {name, 0x11, 0, 4, data},  {name, 0x12, 0, 1, kCode},     {0, 0x11, 0, 4, data},
        {name, 0x11, 0, 0, data},  {name, 0x01, 0, 4, data},      {name, 0x11, 2, 4, data},
        {name, 0x11, 0, 1, kCode}, {name, 0x10, 0, 4, data},      {name, 0x12, 0, 4, data},
        {name, 0x16, 0, 4, kFar},  {name, 0x11, 0, 0xfff1, kFar}, {name, 0x1a, 0, 1, kCode}};
    const Place place = model.places[w];
    const auto& way = ways[place == Place::kData       ? 0
                           : place == Place::kFunction ? 1
                           : place == Place::kAbsent   ? 2 + v % 4
                                                       : 6 + v % 6];
    const std::size_t at = kSymbols + 24 * (w + 1);
    image.Put(at, way[0], 4);
    image.Put(at + 4, way[1] | way[2] << 8 | way[3] << 16, 4);
    image.Put(at + 8, way[4], 8);
    image.Put(at + 16, w == 0 ? model.room : w == 3 ? model.manifest.size() : 8, 8);
    image.Text(kNames + name, kProviderNames[w]);
    name += std::strlen(kProviderNames[w]) + 1;
  }
  for (std::size_t i = 0; i < model.manifest.size(); ++i)
    image.Put(kManifest + i, model.manifest[i], 1);
  for (std::uint32_t i = 0; i < model.backed; ++i) image.Put(recordAt + i, model.record[i], 1);
  for (std::uint64_t at = end; at < sections; ++at) image.Put(at, 0xee, 1);
  // Code, names, symbols (named by section 2), data, zero-filled: type, offset, size, link.
  const std::uint64_t table[5][4] = {{1, kCode, 16, 0},
                                     {3, kNames, name, 0},
                                     {11, kSymbols, 120, 2},
                                     {1, kSlot, end - kSlot, 0},
                                     {8, end, 40 - model.backed, 0}};
  for (std::size_t s = 0; s < 5; ++s) {
    const std::size_t at = sections + 64 * (s + 1);
    image.Put(at + 4, table[s][0], 4);
    image.Put(at + 24, table[s][1], 8);
    image.Put(at + 32, table[s][2], 8);
    image.Put(at + 40, table[s][3], 4);
    image.Put(at + 56, table[s][0] == 11 ? 24 : 0, 8);
    if (table[s][0] == 8) continue;  // zero-filled: no file bytes to lie about
    image.ranges.emplace_back(at + 24, 8);
    image.ranges.emplace_back(at + 32, 8);
  }
  return image;
}

// PE: the DOS, PE and optional headers and two sections, 16 bytes of code at address 0x1000,
// and at 0x2000 the export directory with its tables and names (a forwarder's text among
// them), an 8-byte data slot, the manifest and the record, the section going on `room` bytes
// past the record's start; an empty COFF symbol table last.
inline ModuleImage BuildPe(const ModuleModel& model, std::uint16_t machine) {
  constexpr std::uint64_t kCode = 416, kData = 432, kSlot = 184, kManifest = 192;
  const std::uint64_t recordAt = kManifest + (model.manifest.size() + 7) / 8 * 8;
  constexpr std::uint64_t kCodeAt = 0x1000, kDataAt = 0x2000;
  ModuleImage image;
  image.Put(0, 0x5a4d, 2);
  image.Range(0x3c, 64, 4);
  image.Put(64, 0x4550, 4);
  image.Put(68, machine, 2);
  image.Range(70, 2, 2);
  image.Range(84, 240, 2);
  image.Put(86, 0x2022, 2);  // an executable image, a DLL
  image.Put(88, 0x20b, 2);
  image.Range(88 + 108, 16, 4);
  image.Put(88 + 112, kDataAt, 4);
  image.Put(88 + 116, kSlot, 4);
  // Virtual size and address, raw size and offset, and code or data.
  const std::uint64_t table[2][5] = {
      {16, kCodeAt, 16, kCode, 0x60000020},
      {recordAt + model.room, kDataAt, recordAt + model.backed, kData, 0x40000040}};
  for (std::size_t s = 0; s < 2; ++s) {
    image.Put(336 + 40 * s, table[s][0], 4);
    image.Put(340 + 40 * s, table[s][1], 4);
    image.Range(344 + 40 * s, table[s][2], 4);
    image.Range(348 + 40 * s, table[s][3], 4);
    image.Put(364 + 40 * s, table[s][4], 4);
  }
  for (std::size_t i = 0; i < 16; ++i) image.Put(kCode + i, 0xc3, 1);
  image.Text(kData + 160, "other.quendel_entry");
  std::uint64_t listed = 0, name = 80;
  for (int w = 0; w < 4; ++w) {
    const Place place = model.places[w];
    const std::uint64_t data = w == 0 ? recordAt : w == 3 ? kManifest : kSlot;
    const std::uint64_t address = place == Place::kFunction ? kCodeAt
                                  : place == Place::kOther  ? kDataAt + 160
                                                            : kDataAt + data;
    image.Put(kData + 40 + 4 * w, address, 4);
    if (place == Place::kAbsent) continue;
    image.Put(kData + 56 + 4 * listed, kDataAt + name, 4);
    image.Range(kData + 72 + 2 * listed, w, 2);  // its ordinal must index the address table
    image.Text(kData + name, kProviderNames[w]);
    name += std::strlen(kProviderNames[w]) + 1;
    ++listed;
  }
  image.Range(kData + 20, 4, 4);
  image.Range(kData + 24, listed, 4);
  image.Put(kData + 28, kDataAt + 40, 4);
  image.Put(kData + 32, kDataAt + 56, 4);
  image.Put(kData + 36, kDataAt + 72, 4);
  image.bytes.resize(kData + recordAt + model.backed);
  for (std::size_t i = 0; i < model.manifest.size(); ++i)
    image.Put(kData + kManifest + i, model.manifest[i], 1);
  for (std::uint32_t i = 0; i < model.backed; ++i)
    image.Put(kData + recordAt + i, model.record[i], 1);
  // No COFF symbols, and their name table, which is its 4-byte size alone, ends the file.
  image.Range(76, image.bytes.size(), 4);
  image.Range(80, 0, 4);
  image.Range(image.bytes.size(), 4, 4);
  return image;
}

}  // namespace quendel::test
