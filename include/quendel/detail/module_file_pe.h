#ifndef QUENDEL_DETAIL_MODULE_FILE_PE_H
#define QUENDEL_DETAIL_MODULE_FILE_PE_H

// Reads a PE32+ DLL: the DOS and PE headers, that the section table and every section's raw
// data lie inside the file, and the provider names in the export directory, each placed in
// its section. PE exports carry no types: an export in an executable section is a
// function, one in any other section data. Every loop runs at most as often as the file has
// room for the entries it walks.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "quendel/detail/module_file_bytes.h"
#include "quendel/detail/module_file_machine.h"
#include "quendel/detail/module_file_result.h"

namespace framework::host::detail::reader {

namespace pe {
constexpr std::uint64_t kDosHeaderSize = 64, kHeadersSize = 24, kSectionSize = 40;
constexpr std::uint64_t kOptionalFixedSize = 112, kExportDirectorySize = 40, kCoffSymbolSize = 18;
constexpr std::uint32_t kSignature = 0x4550;  // "PE\0\0"
constexpr std::uint16_t kMagic64 = 0x20b, kMagic32 = 0x10b, kDll = 0x2000;
constexpr std::uint32_t kCode = 0x20, kExecute = 0x20000000;
}  // namespace pe

// Where the section table is.
struct PeSections {
  std::uint64_t table, count;
};

// What lies at an address (RVA) of the loaded image: `room` bytes to its section's end, the
// first `backed` of them the file's at `offset`, the rest zero-filled.
struct PePlace {
  std::uint64_t offset = 0, backed = 0, room = 0;
  bool executable = false;
};

// The section holding `address`; false when none does. A section spans its VirtualSize, or
// its raw data when that is 0. The sections are in ascending, disjoint order (CheckPeSections),
// so only the last one starting at or below `address` can hold it: a binary search finds it,
// which keeps a file of many names and many sections from taking their product in time.
inline bool FindPeSection(const FileBytes& file, const PeSections& sections, std::uint64_t address,
                          PePlace* place) {
  std::uint64_t low = 0, high = sections.count;
  while (high - low > 1) {
    const std::uint64_t middle = low + (high - low) / 2;
    if (file.U32(sections.table + middle * pe::kSectionSize + 12) <= address) {
      low = middle;
    } else {
      high = middle;
    }
  }
  const std::uint64_t at = sections.table + low * pe::kSectionSize;
  const std::uint64_t start = file.U32(at + 12), raw = file.U32(at + 16);
  const std::uint64_t span = file.U32(at + 8) != 0 ? file.U32(at + 8) : raw;
  if (sections.count == 0 || address < start || address - start >= span) return false;
  const std::uint64_t into = address - start, filed = std::min(raw, span);
  place->offset = file.U32(at + 20) + into;
  place->backed = into < filed ? filed - into : 0;
  place->room = span - into;
  place->executable = (file.U32(at + 36) & (pe::kCode | pe::kExecute)) != 0;
  return true;
}

// Checks that every section's raw data lies inside the file and that the sections are in
// ascending, disjoint order.
inline bool CheckPeSections(const FileBytes& file, const PeSections& sections, ModuleFile& result) {
  std::uint64_t end = 0;
  for (std::uint64_t i = 0; i < sections.count; ++i) {
    const std::uint64_t at = sections.table + i * pe::kSectionSize;
    const std::uint64_t start = file.U32(at + 12), raw = file.U32(at + 16);
    if (raw != 0 && !file.Holds(file.U32(at + 20), raw)) return Outside(result, "a section");
    if (start < end) return Damaged(result, "overlapping sections");
    end = start + (file.U32(at + 8) != 0 ? file.U32(at + 8) : raw);
  }
  return true;
}

// Checks the tables the loader does not map but that end most DLLs, so that a file cut there
// does not read as whole: the COFF symbols with their names, and the certificates of a
// signed DLL (directory 4, which gives a file offset).
inline bool CheckPeTrailers(const FileBytes& file, std::uint64_t headers, ModuleFile& result) {
  const std::uint64_t symbols = file.U32(headers + 12), count = file.U32(headers + 16);
  const std::uint64_t names = symbols + count * pe::kCoffSymbolSize;
  if (symbols != 0 && (!file.Holds(symbols, count * pe::kCoffSymbolSize + 4) ||
                       !file.Holds(names, file.U32(names))))
    return Outside(result, "the symbol table");
  const std::uint64_t optional = headers + pe::kHeadersSize;
  if (file.U32(optional + 108) > 4 && file.U32(optional + 148) != 0 &&
      !file.Holds(file.U32(optional + 144), file.U32(optional + 148)))
    return Outside(result, "the certificate table");
  return true;
}

// Where the export directory is, in the image and in the file.
struct PeExports {
  std::uint64_t address, size;
  PePlace directory;
};

// Classifies the export of `wanted` at `address`, and takes what it holds when that is the
// record or the manifest and it is data. An address inside the export directory names another
// DLL's export (a forwarder).
inline bool TakePeSymbol(const FileBytes& file, const PeSections& sections,
                         const PeExports& exports, std::uint64_t address,
                         const WantedSymbol& wanted, ModuleFile& result) {
  if (address >= exports.address && address - exports.address < exports.size) {
    *wanted.kind = SymbolKind::kOther;
    return true;
  }
  PePlace place;
  if (!FindPeSection(file, sections, address, &place))
    return Damaged(result, std::string(wanted.name) + " lies outside the module's sections");
  *wanted.kind = place.executable ? SymbolKind::kFunction : SymbolKind::kData;
  if (!place.executable) TakeHeld(result, file, wanted, place.offset, place.backed, place.room);
  return true;
}

// A table of `count` entries of `width` bytes at `address`, which must lie in the file.
inline bool FindPeTable(const FileBytes& file, const PeSections& sections, std::uint64_t address,
                        std::uint64_t count, std::uint64_t width, PePlace* table) {
  return count == 0 ||
         (FindPeSection(file, sections, address, table) && table->backed >= count * width);
}

// Looks the provider names up among the exported names; the first of a name counts.
inline bool FindPeSymbols(const FileBytes& file, const PeSections& sections,
                          const PeExports& exports, ModuleFile& result) {
  const std::uint64_t at = exports.directory.offset;
  const std::uint64_t functionCount = file.U32(at + 20), nameCount = file.U32(at + 24);
  PePlace functions, names, ordinals;
  if (!FindPeTable(file, sections, file.U32(at + 28), functionCount, 4, &functions))
    return Outside(result, "the export address table");
  if (!FindPeTable(file, sections, file.U32(at + 32), nameCount, 4, &names))
    return Outside(result, "the export name table");
  if (!FindPeTable(file, sections, file.U32(at + 36), nameCount, 2, &ordinals))
    return Outside(result, "the export ordinal table");
  const std::array<WantedSymbol, kWantedSymbols> wanted = WantedSymbols(result);
  bool found[kWantedSymbols] = {};
  for (std::uint64_t i = 0; i < nameCount; ++i) {
    PePlace name;
    if (!FindPeSection(file, sections, file.U32(names.offset + 4 * i), &name) || name.backed == 0)
      return Outside(result, "an export name");
    for (std::size_t w = 0; w < kWantedSymbols; ++w) {
      if (found[w] || !file.NameAt(name.offset, name.offset + name.backed, wanted[w].name))
        continue;
      found[w] = true;
      const std::uint64_t index = file.U16(ordinals.offset + 2 * i);
      if (index >= functionCount)
        return Damaged(result, "an export lies outside the export address table");
      const std::uint64_t address = file.U32(functions.offset + 4 * index);
      if (!TakePeSymbol(file, sections, exports, address, wanted[w], result)) return false;
    }
  }
  return true;
}

// Reads a PE file (its "MZ" already matched) into `result`; false when it was refused.
inline bool ParsePe(const FileBytes& file, ModuleFile& result) {
  result.format = ModuleFormat::kPe;
  if (!file.Holds(0, pe::kDosHeaderSize)) return Outside(result, "the DOS header");
  const std::uint64_t headers = file.U32(0x3c);
  if (!file.Holds(headers, pe::kHeadersSize)) return Outside(result, "the PE header");
  // An "MZ" file without a PE header is a DOS program.
  if (file.U32(headers) != pe::kSignature)
    return Refuse(result, ModuleFileVerdict::kNotSharedLibrary, "not a shared library");
  const std::uint64_t optional = headers + pe::kHeadersSize;
  const std::uint64_t optionalSize = file.U16(headers + 20);
  if (optionalSize < 2 || !file.Holds(optional, optionalSize))
    return Outside(result, "the optional header");
  if (file.U16(optional) == pe::kMagic32)
    return Refuse(result, ModuleFileVerdict::kWrongClass,
                  "a 32-bit module, this host loads 64-bit modules");
  if (file.U16(optional) != pe::kMagic64) return Damaged(result, "unknown optional header");
  if (!CheckMachine(result, ModuleFormat::kPe, file.U16(headers + 4))) return false;
  if ((file.U16(headers + 22) & pe::kDll) == 0)
    return Refuse(result, ModuleFileVerdict::kNotSharedLibrary, "not a shared library");
  if (optionalSize < pe::kOptionalFixedSize) return Damaged(result, "short optional header");
  const std::uint64_t directories = file.U32(optional + 108);
  if (directories > (optionalSize - pe::kOptionalFixedSize) / 8)
    return Damaged(result, "the data directories lie outside the optional header");

  const PeSections sections{optional + optionalSize, file.U16(headers + 6)};
  if (!file.Holds(sections.table, sections.count * pe::kSectionSize))
    return Outside(result, "the section table");
  if (!CheckPeSections(file, sections, result) || !CheckPeTrailers(file, headers, result))
    return false;
  PeExports exports{directories > 0 ? file.U32(optional + 112) : 0, file.U32(optional + 116), {}};
  if (exports.address == 0) return true;  // exports nothing
  if (!FindPeSection(file, sections, exports.address, &exports.directory) ||
      exports.directory.backed < pe::kExportDirectorySize)
    return Outside(result, "the export directory");
  return FindPeSymbols(file, sections, exports, result);
}

}  // namespace framework::host::detail::reader

#endif  // QUENDEL_DETAIL_MODULE_FILE_PE_H
