#ifndef QUENDEL_COMPONENT_HELPERS_H
#define QUENDEL_COMPONENT_HELPERS_H

/// \file
/// Shorthands for writing components. They produce exactly the hand-written form: a class
/// derived from its interfaces and from CTComponentUnknown, whose interfaces forward their
/// three operations to Owner() and whose DelegatQueryInterface answers through
/// RefComponentInterface.
#include <cstring>

#include "quendel/component.h"
#include "quendel/export.h"
#include "quendel/interface_id.h"
#include "quendel/module_record.h"

/// Implements QueryInterface, AddRef and Release of every interface of the enclosing
/// component by forwarding them to Owner(). Put it where the component's public operations
/// are; one set serves all of the component's interfaces, which share the three slots.
#define QUENDEL_FORWARD_UNKNOWN_TO_OWNER()                     \
  int QueryInterface(const char* id, void** object) override { \
    return Owner()->QueryInterface(id, object);                \
  }                                                            \
  int AddRef() override { return Owner()->AddRef(); }          \
  int Release() override { return Owner()->Release(); }        \
  static_assert(true, "swallows the semicolon after the macro call")

namespace framework {

// GCC reports an interface whose destructor is public and not virtual once more at
// TComponent, for every component built on it. The interface's own definition is where that
// is reported and fixed (or silenced, for an interface whose header cannot change).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

/// A component that implements Interfaces..., each of which declares its id
/// (QUENDEL_INTERFACE_ID). It forwards the three operations to Owner() and answers each
/// interface's id with that interface. A component whose primary interface comes first
/// answers its component id as long as the two ids are the same, as they should be.
///
/// \code
///   class GrayFilter : public framework::TComponent<IGrayFilter> {
///    public:
///     using TComponent::TComponent;
///     framework::XImage Apply(const framework::XImage& rgba) override;
///   };
/// \endcode
///
/// To answer more (an aggregated part, a second id), override DelegatQueryInterface and fall
/// back to TComponent::DelegatQueryInterface. Each instance made with `new` counts among its
/// module's live objects, which the module's "can unload now" answer reads, until its memory
/// is freed (after every destructor has run).
template <typename... Interfaces>
class TComponent : public Interfaces...,
                   public CTComponentUnknown,
                   public detail::CountedAllocation {
  static_assert(sizeof...(Interfaces) > 0, "a component implements at least one interface");

 public:
  /// A component that is not aggregated, made by `factory` (which may be null).
  explicit TComponent(CTComponentFactory* factory) : TComponent(nullptr, factory) {}
  /// `owner` is the outer object of an aggregate, or null.
  TComponent(CTUnknown* owner, CTComponentFactory* factory) : CTComponentUnknown(owner, factory) {}

  /// QueryInterface, AddRef and Release of every interface, forwarded to Owner().
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();

  /// Answers the id of each of Interfaces... with that interface; -1 for any other id.
  int DelegatQueryInterface(const char* id, void** object) override {
    if (id == nullptr) return -1;
    int result = -1;
    // The first interface whose id matches answers; the rest are not asked.
    static_cast<void>(
        ((std::strcmp(id, InterfaceId<Interfaces>()) == 0 &&
          (result = RefComponentInterface(static_cast<Interfaces*>(this), object), true)) ||
         ...));
    return result;
  }
};

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace framework

#endif  // QUENDEL_COMPONENT_HELPERS_H
