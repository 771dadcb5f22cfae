#ifndef QUENDEL_PROVIDER_H
#define QUENDEL_PROVIDER_H

/// \file
/// Shorthands for a provider's registry function. The function they define is the
/// hand-written one: it lists heap-made ComponentInfo records that the factory takes over,
/// in an array that stays the provider's.
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#include "quendel/component.h"
#include "quendel/export.h"
#include "quendel/module_manifest.h"
#include "quendel/module_record.h"

/// \def QUENDEL_PROVIDER_EXPORT
/// Exports a provider's C entry point from its module, so a host finds it by name.
#if defined(_WIN32)
#define QUENDEL_PROVIDER_EXPORT extern "C" __declspec(dllexport)
#else
#define QUENDEL_PROVIDER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

/// \file
/// \details Every module that includes this header exports its module record and "can
/// unload now" (quendel/module_record.h). The library itself does not, and a module that
/// writes its own record defines QUENDEL_NO_MODULE_RECORD.

/// \cond
#if !defined(QUENDEL_FRAMEWORK_BUILD) && !defined(QUENDEL_NO_MODULE_RECORD)
QUENDEL_MODULE_RECORD();
#endif
/// \endcond

namespace framework {

/// The record the helpers hand out. The factory it is handed to owns it in every case: it
/// deletes a registered one when it ends and a refused one (a null id, or an id already
/// registered) at once. Records of any other type that the factory refuses stay their
/// provider's. Counted among the module's live objects (when made with `new`, as the helpers
/// do).
struct FactoryOwnedInfo final : ComponentInfo, detail::CountedAllocation {
  FactoryOwnedInfo() = default;
  FactoryOwnedInfo(const FactoryOwnedInfo&) = delete;
  FactoryOwnedInfo& operator=(const FactoryOwnedInfo&) = delete;
};

/// The creator of Component: a new instance for `factory`, not aggregated and without a
/// reference (count 0), or null when it cannot be made. Component is constructed from the
/// factory alone, or from a null owner and the factory.
template <typename Component>
CTComponentUnknown* CreateInstance(CTComponentFactory* factory) {
  static_assert(std::is_base_of_v<CTComponentUnknown, Component>,
                "a component derives from CTComponentUnknown");
  try {
    if constexpr (std::is_constructible_v<Component, CTComponentFactory*>) {
      return new Component(factory);
    } else {
      return new Component(nullptr, factory);
    }
  } catch (const std::bad_alloc&) {
    return nullptr;  // the factory logs the failure and tries again next time
  }
}

/// The description of Component, fields in ComponentInfo's order.
template <typename Component>
constexpr ComponentDescription Describe(const char* name, const char* id, const char* version,
                                        std::int32_t type, const char* description) {
  return {name, id, version, type, description, &CreateInstance<Component>};
}

/// Fills `entries` with a fresh FactoryOwnedInfo per description. An entry whose record cannot
/// be allocated is left null, which the factory reports and skips.
inline void ListComponents(const ComponentDescription* descriptions, std::size_t number,
                           TWrap<ComponentInfo>* entries) {
  for (std::size_t i = 0; i < number; ++i) {
    ComponentInfo* info = new (std::nothrow) FactoryOwnedInfo;
    if (info != nullptr) {
      info->name = descriptions[i].name;
      info->id = descriptions[i].id;
      info->version = descriptions[i].version;
      info->type = descriptions[i].type;
      info->description = descriptions[i].description;
      info->creator = descriptions[i].creator;
    }
    entries[i].ptr = info;
  }
}

}  // namespace framework

/// Defines and exports the registry function `name` listing the given descriptions, and the
/// module's manifest (quendel/module_manifest.h) listing the same:
///
/// \code
///   QUENDEL_REGISTRY_FUNCTION(ImagingRegistry,
///       framework::Describe<GrayFilter>("GrayFilter", kGrayFilterId, "1.0.0", 1, "to gray"));
/// \endcode
///
/// Each call hands out new records, since the factory they are handed to deletes them, refused
/// or not: registering the provider twice, or with another that lists the same id, leaks
/// nothing. The array is per thread, so factories on different threads may register the same
/// provider. The function is also the module's registry entry (QUENDEL_REGISTRY_ENTRY), so a
/// module defines one registry function this way.
#define QUENDEL_REGISTRY_FUNCTION(name, ...)                                                    \
  static constexpr ::framework::ComponentDescription name##Descriptions[] = {__VA_ARGS__};      \
  QUENDEL_MODULE_MANIFEST(name##Descriptions);                                                  \
  QUENDEL_PROVIDER_EXPORT void name(::framework::TWrap<::framework::ComponentInfo>** entries,   \
                                    std::size_t* count) {                                       \
    constexpr std::size_t kNumber = sizeof(name##Descriptions) / sizeof(name##Descriptions[0]); \
    static thread_local ::framework::TWrap<::framework::ComponentInfo> list[kNumber];           \
    ::framework::ListComponents(name##Descriptions, kNumber, list);                             \
    *entries = list;                                                                            \
    *count = kNumber;                                                                           \
  }                                                                                             \
  QUENDEL_REGISTRY_ENTRY(name)

/// Exports `function`, a registry function, under the name a host's kit looks for
/// ("quendel_registry"). One per module.
#define QUENDEL_REGISTRY_ENTRY(function)                                              \
  QUENDEL_PROVIDER_EXPORT void quendel_registry(                                      \
      ::framework::TWrap<::framework::ComponentInfo>** entries, std::size_t* count) { \
    function(entries, count);                                                         \
  }                                                                                   \
  static_assert(true, "swallows the semicolon after the macro call")

#endif  // QUENDEL_PROVIDER_H
