#pragma once

#include <quendel/host.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/module_loader.h"

namespace quendel::test {

// A scratch folder of the test's own, removed at its end.
struct ScratchFolder {
  ScratchFolder() { std::filesystem::create_directories(path); }
  ~ScratchFolder() { std::filesystem::remove_all(path); }
  // A copy of the test module `module` at `name`, as a new file: a module loaded from the file
  // it replaces keeps that one.
  std::string Put(const std::string& module, const std::string& name) {
    const std::filesystem::path file = path / name;
    std::filesystem::copy_file(ProviderFile(module), path / "incoming");
    std::filesystem::rename(path / "incoming", file);
    return file.string();
  }
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("quendel-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
};

// Whether this process has the module file `file` loaded.
inline bool Mapped(const std::string& file) {
#if defined(_WIN32)
  return GetModuleHandleA(std::filesystem::path(file).filename().string().c_str()) != nullptr;
#else
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

}  // namespace quendel::test
