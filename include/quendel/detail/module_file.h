#ifndef QUENDEL_DETAIL_MODULE_FILE_H
#define QUENDEL_DETAIL_MODULE_FILE_H

// The host kit's reader of module files: decides from the file alone, before any loader call,
// whether a module can be loaded and what it exports, so that a damaged file never reaches
// the loader and a module that is no provider never gets its static initialisers run.
#include <string>
#include <vector>

#include "quendel/detail/module_file_bytes.h"
#include "quendel/detail/module_file_elf.h"
#include "quendel/detail/module_file_pe.h"
#include "quendel/detail/module_file_read.h"
#include "quendel/detail/module_file_result.h"

namespace framework::host::detail {

// Reads `size` bytes of a module file, of the `format` the host loads: its verdict, and for a
// file that was read, the kinds of the provider symbols, the record and the manifest. Reads
// no byte outside [data, data + size), whatever the bytes say.
inline ModuleFile ParseModuleFile(const unsigned char* data, std::size_t size,
                                  ModuleFormat format = kHostModuleFormat) {
  const reader::FileBytes file(data, size);
  ModuleFile result;
  result.format = format;
  const bool elf = file.Holds(0, 4) && file.U32(0) == 0x464c457f;  // "\x7f" "ELF"
  const bool pe = file.Holds(0, 2) && file.U16(0) == 0x5a4d;       // "MZ"
  if (!elf && !pe) {
    reader::Refuse(result, ModuleFileVerdict::kNotSharedLibrary, "not a shared library");
  } else if (elf != (format == ModuleFormat::kElf)) {
    result.format = elf ? ModuleFormat::kElf : ModuleFormat::kPe;
    reader::Refuse(result, ModuleFileVerdict::kOtherPlatform,
                   elf ? "an ELF module, this host loads PE modules"
                       : "a PE module, this host loads ELF modules");
  } else if (elf) {
    reader::ParseElf(file, result);
  } else {
    reader::ParsePe(file, result);
  }
  return result;
}

// Reads the module file at `path` and parses it as ParseModuleFile does; a path that is no
// readable regular file of at most 1 GiB is refused with its reason.
inline ModuleFile ReadModuleFile(const std::string& path, ModuleFormat format = kHostModuleFormat) {
  std::vector<unsigned char> bytes;
  ModuleFile result;
  result.format = format;
  if (!reader::ReadWholeFile(path, bytes, result)) return result;
  return ParseModuleFile(bytes.data(), bytes.size(), format);
}

}  // namespace framework::host::detail

#endif  // QUENDEL_DETAIL_MODULE_FILE_H
