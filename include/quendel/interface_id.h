#ifndef QUENDEL_INTERFACE_ID_H
#define QUENDEL_INTERFACE_ID_H

// Interfaces that carry their own id, so that typed helpers can ask for them by type.
#include <type_traits>

#include "quendel/component.h"
#include "quendel/component_factory.h"
#include "quendel/export.h"

// Declares, inside an interface, the id it is asked for by:
//
//   struct IGrayFilter : framework::CTUnknown {
//     QUENDEL_INTERFACE_ID(IGrayFilter, "example.imaging.gray-filter");
//     virtual framework::XImage Apply(const framework::XImage& rgba) = 0;
//   };
//
// The interface names itself so that an interface derived from it without an id of its own
// is not mistaken for it. Adds no data and no virtual slot: the layout stays as it was.
#define QUENDEL_INTERFACE_ID(Interface, id)         \
  static constexpr const char* kInterfaceId = (id); \
  using QuendelIdentifiedInterface = Interface

namespace framework {

// The id of interface I. Found from QUENDEL_INTERFACE_ID, or specialised in namespace
// framework for interfaces whose header cannot change:
//
//   template <> struct framework::InterfaceTraits<IOld> {
//     static constexpr const char* Id() { return "old.id"; }
//   };
template <typename Interface, typename = void>
struct InterfaceTraits {};

template <typename Interface>
struct InterfaceTraits<
    Interface,
    std::enable_if_t<std::is_same_v<typename Interface::QuendelIdentifiedInterface, Interface>>> {
  static constexpr const char* Id() { return Interface::kInterfaceId; }
};

// The factory answers its own id like any interface.
template <>
struct InterfaceTraits<CTComponentFactory> {
  static constexpr const char* Id() { return kComponentFactoryId; }
};

template <typename Interface, typename = void>
struct HasInterfaceIdT : std::false_type {};
template <typename Interface>
struct HasInterfaceIdT<Interface, std::void_t<decltype(InterfaceTraits<Interface>::Id())>>
    : std::true_type {};

// True when I declares an id of its own (not one inherited from a base interface).
template <typename Interface>
inline constexpr bool HasInterfaceId = HasInterfaceIdT<Interface>::value;

template <typename Interface>
constexpr const char* InterfaceId() {
  static_assert(HasInterfaceId<Interface>,
                "the interface declares no id: add QUENDEL_INTERFACE_ID(Self, \"id\") to it, "
                "specialise framework::InterfaceTraits, or pass the id explicitly");
  return InterfaceTraits<Interface>::Id();
}

}  // namespace framework

#endif  // QUENDEL_INTERFACE_ID_H
