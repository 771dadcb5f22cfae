#ifndef QUENDEL_INTERFACE_ID_H
#define QUENDEL_INTERFACE_ID_H

/// \file
/// Interfaces that carry their own id, so that typed helpers can ask for them by type.
#include <type_traits>

#include "quendel/component.h"
#include "quendel/component_factory.h"
#include "quendel/export.h"

/// Declares, inside an interface, the id it is asked for by:
///
/// \code
///   struct IGrayFilter : framework::CTUnknown {
///     QUENDEL_INTERFACE_ID(IGrayFilter, "example.imaging.gray-filter");
///     virtual framework::XImage Apply(const framework::XImage& rgba) = 0;
///   };
/// \endcode
///
/// The interface names itself so that an interface derived from it without an id of its own
/// is not mistaken for it. Adds no data and no virtual slot: the layout stays as it was.
#define QUENDEL_INTERFACE_ID(Interface, id)         \
  static constexpr const char* kInterfaceId = (id); \
  using QuendelIdentifiedInterface = Interface

namespace framework {

/// The id of interface I. Found from QUENDEL_INTERFACE_ID, or specialised in namespace
/// framework for interfaces whose header cannot change:
///
/// \code
///   template <> struct framework::InterfaceTraits<IOld> {
///     static constexpr const char* Id() { return "old.id"; }
///   };
/// \endcode
template <typename Interface, typename = void>
struct InterfaceTraits {};

/// The id that an interface declares with QUENDEL_INTERFACE_ID.
template <typename Interface>
struct InterfaceTraits<
    Interface,
    std::enable_if_t<std::is_same_v<typename Interface::QuendelIdentifiedInterface, Interface>>> {
  /// The interface's kInterfaceId.
  static constexpr const char* Id() { return Interface::kInterfaceId; }
};

/// The factory answers its own id like any interface.
template <>
struct InterfaceTraits<CTComponentFactory> {
  /// kComponentFactoryId.
  static constexpr const char* Id() { return kComponentFactoryId; }
};

/// Whether InterfaceTraits gives Interface an id: see HasInterfaceId.
template <typename Interface, typename = void>
struct HasInterfaceIdT : std::false_type {};
/// An interface with an id.
template <typename Interface>
struct HasInterfaceIdT<Interface, std::void_t<decltype(InterfaceTraits<Interface>::Id())>>
    : std::true_type {};

/// True when I declares an id of its own (not one inherited from a base interface).
template <typename Interface>
inline constexpr bool HasInterfaceId = HasInterfaceIdT<Interface>::value;

/// The id of Interface; an interface that declares none fails to compile, saying how to add
/// one.
template <typename Interface>
constexpr const char* InterfaceId() {
  static_assert(HasInterfaceId<Interface>,
                "the interface declares no id: add QUENDEL_INTERFACE_ID(Self, \"id\") to it, "
                "specialise framework::InterfaceTraits, or pass the id explicitly");
  return InterfaceTraits<Interface>::Id();
}

}  // namespace framework

#endif  // QUENDEL_INTERFACE_ID_H
