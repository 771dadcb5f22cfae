#ifndef QUENDEL_DETAIL_MODULE_FILE_READ_H
#define QUENDEL_DETAIL_MODULE_FILE_READ_H

// Reads a module's whole file into memory with plain reads, never a mapping: a file cut short
// meanwhile then reads short instead of faulting. Only regular files are opened (a pipe or a
// device could block or never end), and at most kMaxModuleFileSize bytes are read.
#include <cstdint>
#include <string>
#include <vector>

#include "quendel/detail/module_file_result.h"

#if defined(_WIN32)
#include <filesystem>
#include <fstream>
#include <system_error>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace framework::host::detail {

constexpr std::uint64_t kMaxModuleFileSize = std::uint64_t{1} << 30;

namespace reader {

inline bool RefuseTooLarge(ModuleFile& result) {
  return Refuse(result, ModuleFileVerdict::kTooLarge, "file too large: over 1 GiB");
}

#if defined(_WIN32)

// Fills `bytes` with the file at `path`; false, with `result` refused, when it cannot.
inline bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes,
                          ModuleFile& result) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status))
    return Refuse(result, ModuleFileVerdict::kFileNotFound, "file not found");
  if (std::filesystem::is_directory(status))
    return Refuse(result, ModuleFileVerdict::kNotRegularFile, "not a regular file: a directory");
  if (!std::filesystem::is_regular_file(status))
    return Refuse(result, ModuleFileVerdict::kNotRegularFile, "not a regular file");
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
  if (size > kMaxModuleFileSize) return RefuseTooLarge(result);
  std::ifstream file(path, std::ios::binary);
  if (!file) return Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
  bytes.reserve(static_cast<std::size_t>(size));
  char chunk[1 << 16];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + file.gcount());
    if (bytes.size() > kMaxModuleFileSize) return RefuseTooLarge(result);
  }
  if (file.bad()) return Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
  return true;
}

#else

// Why a file of `mode` is no module file.
inline bool RefuseNotRegular(ModuleFile& result, mode_t mode) {
  const char* what = S_ISDIR(mode)                    ? ": a directory"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? ": a device"
                     : S_ISFIFO(mode)                 ? ": a named pipe"
                     : S_ISSOCK(mode)                 ? ": a socket"
                                                      : "";
  return Refuse(result, ModuleFileVerdict::kNotRegularFile,
                std::string("not a regular file") + what);
}

// Closes a descriptor when it goes.
struct FileDescriptor {
  int number;
  ~FileDescriptor() {
    if (number >= 0) ::close(number);
  }
};

inline bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes,
                          ModuleFile& result) {
  struct stat status {};
  // Asked before opening, as opening a device may already do something.
  if (::stat(path.c_str(), &status) != 0) {
    return errno == ENOENT || errno == ENOTDIR
               ? Refuse(result, ModuleFileVerdict::kFileNotFound, "file not found")
               : Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
  }
  if (!S_ISREG(status.st_mode)) return RefuseNotRegular(result, status.st_mode);
  // Non-blocking, in case the path has become a pipe since; asked again on what was opened.
  const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.number < 0 || ::fstat(file.number, &status) != 0)
    return Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
  if (!S_ISREG(status.st_mode)) return RefuseNotRegular(result, status.st_mode);
  if (static_cast<std::uint64_t>(status.st_size) > kMaxModuleFileSize)
    return RefuseTooLarge(result);
  bytes.reserve(static_cast<std::size_t>(status.st_size));
  unsigned char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file.number, chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Refuse(result, ModuleFileVerdict::kUnreadableFile, "unreadable file");
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (bytes.size() > kMaxModuleFileSize) return RefuseTooLarge(result);
  }
}

#endif

}  // namespace reader

}  // namespace framework::host::detail

#endif  // QUENDEL_DETAIL_MODULE_FILE_READ_H
