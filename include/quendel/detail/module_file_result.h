#ifndef QUENDEL_DETAIL_MODULE_FILE_RESULT_H
#define QUENDEL_DETAIL_MODULE_FILE_RESULT_H

// What the host kit learns from a module's file before any loader call: whether the file is a
// shared library this host can load at all, which of the provider symbols it exports and of
// which kind, and its module record and manifest as the file states them.
#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "quendel/module_manifest.h"
#include "quendel/module_record.h"

namespace framework::host::detail {

// The two formats the reader knows: 64-bit little-endian ELF and PE32+ (Windows DLLs).
enum class ModuleFormat { kElf, kPe };

#if defined(_WIN32)
constexpr ModuleFormat kHostModuleFormat = ModuleFormat::kPe;
#else
constexpr ModuleFormat kHostModuleFormat = ModuleFormat::kElf;
#endif

// How an exported name is defined. ELF says so in the symbol's type; PE has no types, so
// there the section it lies in decides.
enum class SymbolKind {
  kAbsent,    // not exported (also: only imported, or hidden)
  kData,      // a data object in memory that is not executable
  kFunction,  // a function in executable memory
  kOther,     // anything else: data in code or code in data, thread-local, absolute,
              // an indirect function (its resolver would run at lookup), a PE forwarder
};

// The reader's verdict. Every verdict but kRead is a refusal; ModuleFile::text says why.
enum class ModuleFileVerdict {
  kRead,              // "read"
  kFileNotFound,      // "file not found"
  kNotRegularFile,    // "not a regular file: a directory" (a device, a named pipe, a socket)
  kUnreadableFile,    // "unreadable file"
  kTooLarge,          // "file too large: over 1 GiB"
  kNotSharedLibrary,  // "not a shared library": not ELF or PE, or an executable
  kOtherPlatform,     // "an ELF module, this host loads PE modules", or the reverse
  kWrongClass,        // "a 32-bit module, this host loads 64-bit modules"
  kWrongByteOrder,    // "a big-endian module, this host is little-endian"
  kWrongMachine,      // "built for AArch64, this host is x86-64"
  kUnsupported,       // "unsupported module file: no section headers" (or no symbol section)
  kDamaged,           // "damaged module file: the section header table lies outside the file"
};

// The reader's answer. The symbol kinds and the record are filled only for kRead.
struct ModuleFile {
  ModuleFileVerdict verdict = ModuleFileVerdict::kRead;
  std::string text = "read";
  ModuleFormat format = kHostModuleFormat;
  SymbolKind recordSymbol = SymbolKind::kAbsent;     // quendel_module_record
  SymbolKind canUnloadSymbol = SymbolKind::kAbsent;  // quendel_can_unload_now
  SymbolKind registrySymbol = SymbolKind::kAbsent;   // quendel_registry
  SymbolKind manifestSymbol = SymbolKind::kAbsent;   // quendel_manifest
  // The record's first `recordBytes` bytes as the module holds them once loaded (zeros where
  // it lies in zero-filled memory); every byte past them is zero. recordBytes is the least of
  // the size the record states, the room its symbol (ELF) or the rest of its section (PE)
  // gives it, and the size of this QuendelModuleRecord; it is 0 unless recordSymbol is kData
  // and that room holds at least the record's size field.
  QuendelModuleRecord record{};
  std::size_t recordBytes = 0;
  // The manifest's bytes as the module holds them once loaded, at most the size it states,
  // the room its symbol or section gives it and kMaxManifestBytes; empty unless
  // manifestSymbol is kData and that room holds at least the manifest's size field.
  std::vector<unsigned char> manifest;
};

// A manifest is a few hundred bytes per component; more than this is no manifest.
constexpr std::size_t kMaxManifestBytes = std::size_t{1} << 20;

// What the format readers share; not for the host kit.
namespace reader {

// A name the readers look for, where its kind goes, and which bytes it holds, if data.
enum class Holding { kNothing, kRecord, kManifest };
struct WantedSymbol {
  const char* name;
  SymbolKind* kind;
  Holding holds;
};
constexpr std::size_t kWantedSymbols = 4;
inline std::array<WantedSymbol, kWantedSymbols> WantedSymbols(ModuleFile& result) {
  return {{{QUENDEL_MODULE_RECORD_SYMBOL, &result.recordSymbol, Holding::kRecord},
           {QUENDEL_CAN_UNLOAD_SYMBOL, &result.canUnloadSymbol, Holding::kNothing},
           {QUENDEL_REGISTRY_SYMBOL, &result.registrySymbol, Holding::kNothing},
           {QUENDEL_MANIFEST_SYMBOL, &result.manifestSymbol, Holding::kManifest}}};
}

// Turns `result` into a refusal. False, so that a reader returns it to say it stopped.
inline bool Refuse(ModuleFile& result, ModuleFileVerdict verdict, std::string text) {
  const ModuleFormat format = result.format;
  result = ModuleFile{};
  result.format = format;
  result.verdict = verdict;
  result.text = std::move(text);
  return false;
}
inline bool Damaged(ModuleFile& result, const std::string& what) {
  return Refuse(result, ModuleFileVerdict::kDamaged, "damaged module file: " + what);
}
inline bool Outside(ModuleFile& result, const std::string& what) {
  return Damaged(result, what + " lies outside the file");
}

}  // namespace reader

}  // namespace framework::host::detail

#endif  // QUENDEL_DETAIL_MODULE_FILE_RESULT_H
