#ifndef QUENDEL_DETAIL_MODULE_MANIFEST_READ_H
#define QUENDEL_DETAIL_MODULE_MANIFEST_READ_H

// The host kit's reader of the manifest bytes that the module file reader took from a file
// (quendel/module_manifest.h gives the layout). The bytes come from a file and may be
// anything: every read is checked against their end.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "quendel/detail/module_file_bytes.h"
#include "quendel/module_manifest.h"

namespace framework::host {

// One component as a module's manifest states it.
struct ManifestEntry {
  std::string name;
  std::string id;
  std::string version;
  std::int32_t type = 0;
  std::string description;
};

namespace detail {

// Reads a NUL-terminated text at `*at`, before `end`, and moves past it.
inline bool ReadManifestText(const std::vector<unsigned char>& bytes, std::size_t end,
                             std::size_t* at, std::string* text) {
  for (std::size_t i = *at; i < end; ++i) {
    if (bytes[i] != 0) continue;
    text->assign(reinterpret_cast<const char*>(bytes.data()) + *at, i - *at);
    *at = i + 1;
    return true;
  }
  return false;
}

// Reads the manifest `bytes` into `entries`. False, with `why` saying what is wrong, for bytes
// that are no well-formed manifest of layout version 1: cut short, a count larger than the
// entries that follow, a text without its end, an entry without an id, an id listed twice,
// or bytes left over.
inline bool ParseManifest(const std::vector<unsigned char>& bytes,
                          std::vector<ManifestEntry>* entries, std::string* why) {
  entries->clear();
  const reader::FileBytes file(bytes.data(), bytes.size());
  const auto refuse = [entries, why](const std::string& what) {
    entries->clear();
    *why = "damaged manifest: " + what;
    return false;
  };
  if (bytes.size() < framework::detail::kManifestHeaderBytes) return refuse("cut short");
  if (file.U32(0) != bytes.size()) return refuse("its size is not the bytes it has");
  if (file.U32(4) != framework::detail::kManifestVersion)
    return refuse("unknown layout version " + std::to_string(file.U32(4)));
  const std::uint32_t count = file.U32(8);
  std::size_t at = framework::detail::kManifestHeaderBytes;
  std::set<std::string> ids;
  for (std::uint32_t i = 0; i < count; ++i) {
    ManifestEntry entry;
    if (!file.Holds(at, 4)) return refuse("fewer components than it counts");
    entry.type = static_cast<std::int32_t>(file.U32(at));
    at += 4;
    if (!ReadManifestText(bytes, bytes.size(), &at, &entry.name) ||
        !ReadManifestText(bytes, bytes.size(), &at, &entry.id) ||
        !ReadManifestText(bytes, bytes.size(), &at, &entry.version) ||
        !ReadManifestText(bytes, bytes.size(), &at, &entry.description))
      return refuse("a text runs past its end");
    if (entry.id.empty()) return refuse("a component without an id");
    if (!ids.insert(entry.id).second) return refuse("the id " + entry.id + " is listed twice");
    entries->push_back(std::move(entry));
  }
  if (at != bytes.size()) return refuse("bytes after its last component");
  return true;
}

}  // namespace detail
}  // namespace framework::host

#endif  // QUENDEL_DETAIL_MODULE_MANIFEST_READ_H
