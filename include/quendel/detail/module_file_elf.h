#ifndef QUENDEL_DETAIL_MODULE_FILE_ELF_H
#define QUENDEL_DETAIL_MODULE_FILE_ELF_H

// Reads a 64-bit little-endian ELF shared library: the header, that every table, segment and
// section the loader or this reader would touch lies inside the file, and the provider symbols
// in the dynamic symbol table, each placed in its loadable segment. Every loop runs at most as
// often as the file has room for the entries it walks.
#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "quendel/detail/module_file_bytes.h"
#include "quendel/detail/module_file_machine.h"
#include "quendel/detail/module_file_result.h"

namespace framework::host::detail::reader {

namespace elf {
constexpr std::uint64_t kHeaderSize = 64, kSegmentSize = 56, kSectionSize = 64, kSymbolSize = 24;
constexpr std::uint16_t kSharedObject = 3;           // ET_DYN
constexpr std::uint32_t kLoad = 1, kExecutable = 1;  // PT_LOAD, PF_X
constexpr std::uint32_t kNullSection = 0, kStrings = 3, kNoBits = 8, kDynamicSymbols = 11;
constexpr std::uint8_t kObject = 1, kFunction = 2, kThreadLocal = 6, kLocalBinding = 0;
constexpr std::uint16_t kUndefined = 0, kAbsolute = 0xfff1, kCommon = 0xfff2;
}  // namespace elf

// A PT_LOAD segment: its memory [address, address + memory) and the file bytes that fill its
// first `filed` bytes.
struct ElfSegment {
  std::uint64_t address = 0, memory = 0, offset = 0, filed = 0;
  bool executable = false;
};

// Where the header says the program and section header tables are.
struct ElfTables {
  std::uint64_t segments, segmentCount, sections, sectionCount;
};

// The loadable segment holding `address`; false when none does.
inline bool FindElfSegment(const FileBytes& file, const ElfTables& tables, std::uint64_t address,
                           ElfSegment* found) {
  for (std::uint64_t i = 0; i < tables.segmentCount; ++i) {
    const std::uint64_t at = tables.segments + i * elf::kSegmentSize;
    if (file.U32(at) != elf::kLoad) continue;
    const ElfSegment segment{file.U64(at + 16), file.U64(at + 40), file.U64(at + 8),
                             file.U64(at + 32), (file.U32(at + 4) & elf::kExecutable) != 0};
    if (address >= segment.address && address - segment.address < segment.memory) {
      *found = segment;
      return true;
    }
  }
  return false;
}

// Checks every segment's file bytes, and that the loadable ones are well formed and in
// ascending, disjoint order. False, with `result` refused, when one is not.
inline bool CheckElfSegments(const FileBytes& file, const ElfTables& tables, ModuleFile& result) {
  std::uint64_t end = 0;
  for (std::uint64_t i = 0; i < tables.segmentCount; ++i) {
    const std::uint64_t at = tables.segments + i * elf::kSegmentSize;
    const std::uint64_t address = file.U64(at + 16), memory = file.U64(at + 40);
    if (!file.Holds(file.U64(at + 8), file.U64(at + 32))) return Outside(result, "a segment");
    if (file.U32(at) != elf::kLoad) continue;
    if (file.U64(at + 32) > memory)
      return Damaged(result, "a segment is larger in the file than in memory");
    if (memory > std::numeric_limits<std::uint64_t>::max() - address)
      return Damaged(result, "a segment lies past the end of memory");
    if (address < end) return Damaged(result, "overlapping segments");
    end = address + memory;
  }
  return true;
}

// Checks that every section with file bytes lies inside the file and finds the dynamic symbol
// table; `symbols` is its section header, 0 when there is none.
inline bool CheckElfSections(const FileBytes& file, const ElfTables& tables, ModuleFile& result,
                             std::uint64_t* symbols) {
  *symbols = 0;
  for (std::uint64_t i = 0; i < tables.sectionCount; ++i) {
    const std::uint64_t at = tables.sections + i * elf::kSectionSize;
    const std::uint32_t type = file.U32(at + 4);
    if (type != elf::kNullSection && type != elf::kNoBits &&
        !file.Holds(file.U64(at + 24), file.U64(at + 32)))
      return Outside(result, "a section");
    if (type == elf::kDynamicSymbols && *symbols == 0) *symbols = at;
  }
  return true;
}

// Classifies the exported definition at `symbol` of `wanted`, and takes what it holds when
// that is the record or the manifest and it is data.
inline bool TakeElfSymbol(const FileBytes& file, const ElfTables& tables, std::uint64_t symbol,
                          const WantedSymbol& wanted, ModuleFile& result) {
  const std::uint8_t type = file.U8(symbol + 4) & 0xf;
  const std::uint16_t section = file.U16(symbol + 6);
  const std::uint64_t address = file.U64(symbol + 8), size = file.U64(symbol + 16);
  // A thread-local symbol's value is an offset into each thread's block, not an address.
  if (type == elf::kThreadLocal || section == elf::kAbsolute || section == elf::kCommon) {
    *wanted.kind = SymbolKind::kOther;
    return true;
  }
  ElfSegment segment;
  if (!FindElfSegment(file, tables, address, &segment))
    return Damaged(result, std::string(wanted.name) + " lies outside the module's segments");
  if (type == elf::kFunction && segment.executable) {
    *wanted.kind = SymbolKind::kFunction;
  } else if (type == elf::kObject && !segment.executable) {
    *wanted.kind = SymbolKind::kData;
  } else {
    *wanted.kind = SymbolKind::kOther;
  }
  if (*wanted.kind == SymbolKind::kData) {
    const std::uint64_t into = address - segment.address;
    const std::uint64_t room = std::min(size, segment.memory - into);
    const std::uint64_t backed = into < segment.filed ? segment.filed - into : 0;
    TakeHeld(result, file, wanted, segment.offset + (backed > 0 ? into : 0), backed, room);
  }
  return true;
}

// Looks the provider names up among the exported definitions of the dynamic symbol table
// whose section header is at `symbols`; the first definition of a name counts.
inline bool FindElfSymbols(const FileBytes& file, const ElfTables& tables, std::uint64_t symbols,
                           ModuleFile& result) {
  if (file.U64(symbols + 56) != elf::kSymbolSize)
    return Damaged(result, "unexpected symbol table entry size");
  const std::uint32_t link = file.U32(symbols + 40);
  const std::uint64_t names = tables.sections + link * elf::kSectionSize;
  if (link >= tables.sectionCount || file.U32(names + 4) != elf::kStrings)
    return Damaged(result, "the symbol table has no name table");
  const std::uint64_t first = file.U64(symbols + 24);
  const std::uint64_t count = file.U64(symbols + 32) / elf::kSymbolSize;
  const std::uint64_t text = file.U64(names + 24), textSize = file.U64(names + 32);
  const std::array<WantedSymbol, kWantedSymbols> wanted = WantedSymbols(result);
  bool found[kWantedSymbols] = {};
  for (std::uint64_t i = 1; i < count; ++i) {
    const std::uint64_t symbol = first + i * elf::kSymbolSize;
    const std::uint64_t name = file.U32(symbol);
    if (name != 0 && name >= textSize)
      return Damaged(result, "a symbol name lies outside its table");
    const std::uint8_t binding = file.U8(symbol + 4) >> 4, visibility = file.U8(symbol + 5) & 3;
    // Local, internal and hidden symbols are not exported; undefined ones are imports.
    if (binding == elf::kLocalBinding || visibility == 1 || visibility == 2 ||
        file.U16(symbol + 6) == elf::kUndefined)
      continue;
    for (std::size_t w = 0; w < kWantedSymbols; ++w) {
      if (found[w] || !file.NameAt(text + name, text + textSize, wanted[w].name)) continue;
      found[w] = true;
      if (!TakeElfSymbol(file, tables, symbol, wanted[w], result)) return false;
    }
  }
  return true;
}

// Reads an ELF file (its magic already matched) into `result`; false when it was refused.
inline bool ParseElf(const FileBytes& file, ModuleFile& result) {
  result.format = ModuleFormat::kElf;
  if (file.Size() > 4 && file.U8(4) == 1)
    return Refuse(result, ModuleFileVerdict::kWrongClass,
                  "a 32-bit module, this host loads 64-bit modules");
  if (!file.Holds(0, elf::kHeaderSize)) return Outside(result, "the ELF header");
  if (file.U8(4) != 2) return Damaged(result, "unknown ELF class");
  if (file.U8(5) == 2)
    return Refuse(result, ModuleFileVerdict::kWrongByteOrder,
                  "a big-endian module, this host is little-endian");
  if (file.U8(5) != 1) return Damaged(result, "unknown ELF byte order");
  if (file.U16(16) != elf::kSharedObject)
    return Refuse(result, ModuleFileVerdict::kNotSharedLibrary, "not a shared library");
  if (!CheckMachine(result, ModuleFormat::kElf, file.U16(18))) return false;

  const ElfTables tables{file.U64(32), file.U16(56), file.U64(40), file.U16(60)};
  if (tables.segmentCount != 0 && file.U16(54) != elf::kSegmentSize)
    return Damaged(result, "unexpected program header size");
  if (!file.Holds(tables.segments, tables.segmentCount * elf::kSegmentSize))
    return Outside(result, "the program header table");
  // Without section headers the symbols could still be found through the dynamic segment;
  // every linker writes them, so such a file is refused instead.
  if (tables.sectionCount == 0)
    return Refuse(result, ModuleFileVerdict::kUnsupported,
                  "unsupported module file: no section headers");
  if (file.U16(58) != elf::kSectionSize) return Damaged(result, "unexpected section header size");
  if (!file.Holds(tables.sections, tables.sectionCount * elf::kSectionSize))
    return Outside(result, "the section header table");
  std::uint64_t symbols = 0;
  if (!CheckElfSegments(file, tables, result) || !CheckElfSections(file, tables, result, &symbols))
    return false;
  if (symbols == 0)
    return Refuse(result, ModuleFileVerdict::kUnsupported,
                  "unsupported module file: no dynamic symbol section");
  return FindElfSymbols(file, tables, symbols, result);
}

}  // namespace framework::host::detail::reader

#endif  // QUENDEL_DETAIL_MODULE_FILE_ELF_H
