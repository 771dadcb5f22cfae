#ifndef QUENDEL_DETAIL_MODULE_FILE_MACHINE_H
#define QUENDEL_DETAIL_MODULE_FILE_MACHINE_H

// The processor a module is built for, as ELF's e_machine and PE's Machine number it, and
// the one this host runs on. On a 64-bit processor the reader does not name, the host's
// number is 0 and the machine is left to the loader to check.
#include <cstdint>
#include <string>

#include "quendel/detail/module_file_result.h"

namespace framework::host::detail::reader {

struct MachineNumbers {
  std::uint16_t elf, pe;
  const char* name;
};

constexpr MachineNumbers kMachines[] = {
    {62, 0x8664, "x86-64"}, {183, 0xaa64, "AArch64"}, {243, 0x5064, "RISC-V"},    {3, 0x14c, "x86"},
    {40, 0x1c4, "ARM"},     {21, 0, "PowerPC 64"},    {258, 0x6264, "LoongArch"}, {22, 0, "IBM Z"},
};

#if defined(__x86_64__) || defined(_M_X64)
constexpr MachineNumbers kHostMachine = kMachines[0];
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr MachineNumbers kHostMachine = kMachines[1];
#elif defined(__riscv) && __riscv_xlen == 64
constexpr MachineNumbers kHostMachine = kMachines[2];
#else
constexpr MachineNumbers kHostMachine = {0, 0, "an unnamed processor"};
#endif

inline std::uint16_t HostMachine(ModuleFormat format) {
  return format == ModuleFormat::kElf ? kHostMachine.elf : kHostMachine.pe;
}

inline std::string MachineText(ModuleFormat format, std::uint16_t machine) {
  for (const MachineNumbers& known : kMachines) {
    if (machine != 0 && machine == (format == ModuleFormat::kElf ? known.elf : known.pe))
      return known.name;
  }
  return "machine " + std::to_string(machine);
}

// True when the module is built for this host's processor; refuses it in `result` otherwise.
inline bool CheckMachine(ModuleFile& result, ModuleFormat format, std::uint16_t machine) {
  const std::uint16_t host = HostMachine(format);
  if (host == 0 || machine == host) return true;
  return Refuse(
      result, ModuleFileVerdict::kWrongMachine,
      "built for " + MachineText(format, machine) + ", this host is " + kHostMachine.name);
}

}  // namespace framework::host::detail::reader

#endif  // QUENDEL_DETAIL_MODULE_FILE_MACHINE_H
