#ifndef QUENDEL_MODULE_MANIFEST_H
#define QUENDEL_MODULE_MANIFEST_H

/// \file
/// The manifest: the components a provider module offers, as plain bytes in the module's file,
/// so that a host lists them without loading the module (quendel/catalog.h). It is made at
/// compile time from the same descriptions the registry helpers hand out, so the two lists
/// cannot drift apart.
///
/// Layout (little-endian 32-bit integers): size of the whole manifest in bytes, layout version
/// (1), number of components; then per component its type and four NUL-terminated texts:
/// name, id, version, description.
#include <cstddef>
#include <cstdint>

#include "quendel/component.h"
#include "quendel/module_record.h"

/// The C name a host looks for.
#define QUENDEL_MANIFEST_SYMBOL "quendel_manifest"

namespace framework {

/// What a provider says about one component; the registry function turns each into a fresh
/// ComponentInfo, and the manifest keeps its texts. The texts must outlive the factory that
/// registers them (string literals). A manifest made for a hand-written registry function may
/// leave `creator` null.
struct ComponentDescription {
  const char* name;          ///< The component's name.
  const char* id;            ///< Its id, also the id of its primary interface.
  const char* version;       ///< Its version text.
  std::int32_t type;         ///< The provider's own number for the kind of component.
  const char* description;   ///< What it does.
  ComponentCreator creator;  ///< Makes an instance; the manifest leaves it out.
};

namespace detail {

constexpr std::size_t kManifestHeaderBytes = 12;
constexpr std::uint32_t kManifestVersion = 1;

// Whether a description's text is null, while compiling. GCC with its null-pointer sanitizer
// will not compare the address of an inline variable with null then; such an address is
// never null, and only a constant null pointer is.
constexpr bool IsNullText(const char* text) {
#if defined(__GNUC__) && !defined(__clang__)
  return __builtin_constant_p(text == nullptr) && text == nullptr;
#else
  return text == nullptr;
#endif
}

// A null text is kept as an empty one.
constexpr std::size_t ManifestTextBytes(const char* text) {
  std::size_t length = 0;
  while (!IsNullText(text) && text[length] != '\0') ++length;
  return length + 1;
}

template <std::size_t kCount>
constexpr std::size_t ManifestSize(const ComponentDescription (&descriptions)[kCount]) {
  std::size_t size = kManifestHeaderBytes;
  for (const ComponentDescription& d : descriptions) {
    size += 4 + ManifestTextBytes(d.name) + ManifestTextBytes(d.id) + ManifestTextBytes(d.version) +
            ManifestTextBytes(d.description);
  }
  return size;
}

template <std::size_t kSize>
struct ManifestBytes {
  unsigned char bytes[kSize];
};

template <std::size_t kSize>
class ManifestWriter {
 public:
  constexpr void Integer(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.bytes[at++] = static_cast<unsigned char>(value >> (8 * i));
  }
  constexpr void Text(const char* text) {
    for (std::size_t i = 0; !IsNullText(text) && text[i] != '\0'; ++i)
      out.bytes[at++] = static_cast<unsigned char>(text[i]);
    out.bytes[at++] = 0;
  }
  ManifestBytes<kSize> out{};
  std::size_t at = 0;
};

template <std::size_t kSize, std::size_t kCount>
constexpr ManifestBytes<kSize> BuildManifest(const ComponentDescription (&descriptions)[kCount]) {
  static_assert(kSize <= UINT32_MAX, "a manifest's size is a 32-bit number");
  ManifestWriter<kSize> writer;
  writer.Integer(static_cast<std::uint32_t>(kSize));
  writer.Integer(kManifestVersion);
  writer.Integer(static_cast<std::uint32_t>(kCount));
  for (const ComponentDescription& d : descriptions) {
    // No factory registers a component without an id; neither does a manifest list one.
    if (IsNullText(d.id) || d.id[0] == '\0') throw "a component in a manifest needs an id";
    writer.Integer(static_cast<std::uint32_t>(d.type));
    writer.Text(d.name);
    writer.Text(d.id);
    writer.Text(d.version);
    writer.Text(d.description);
  }
  return writer.out;
}

}  // namespace detail
}  // namespace framework

/// Exports the manifest of the module: `descriptions` is a constexpr array of
/// ComponentDescription listing exactly the components its registry entry lists.
/// QUENDEL_REGISTRY_FUNCTION does this itself; a module with a hand-written registry function
/// writes it once in one of its files. The manifest is made while compiling: a description
/// without an id does not compile.
#define QUENDEL_MODULE_MANIFEST(descriptions)                                                     \
  static constexpr auto quendel_manifest_made =                                                   \
      ::framework::detail::BuildManifest<::framework::detail::ManifestSize(descriptions)>(        \
          descriptions);                                                                          \
  QUENDEL_MODULE_DATA const ::framework::detail::ManifestBytes<::framework::detail::ManifestSize( \
      descriptions)>                                                                              \
      quendel_manifest = quendel_manifest_made

#endif  // QUENDEL_MODULE_MANIFEST_H
