#ifndef QUENDEL_REF_H
#define QUENDEL_REF_H

/// \file
/// Typed, counted references to component interfaces, and the typed ways to obtain them.
#include <cstddef>
#include <type_traits>
#include <utility>

#include "quendel/component.h"
#include "quendel/component_factory.h"
#include "quendel/export.h"
#include "quendel/interface_id.h"

namespace framework {

/// Holds one reference to an interface: AddRef when copied, Release when destroyed or reset,
/// nothing when moved. Works for any interface derived from CTUnknown, and for the factory,
/// whose CTUnknown base is private but whose three operations are public.
template <typename Interface>
class TRef {
  static_assert(std::is_base_of_v<CTUnknown, Interface>, "TRef holds CTUnknown interfaces");

 public:
  /// What Out() returns: converts to the out-pointer a call fills, and stores what the call
  /// left there into the TRef when the full expression ends. Only for use as an argument.
  class OutPointer {
   public:
    OutPointer(const OutPointer&) = delete;
    OutPointer& operator=(const OutPointer&) = delete;
    /// Stores what the call left in the out-pointer into the TRef.
    ~OutPointer() { ref_.ptr_ = raw_ != nullptr ? static_cast<Interface*>(raw_) : typed_; }

    /// For QueryInterface and CreateComponent, which take a `void**`.
    operator void**() && { return &raw_; }
    /// For calls that take the interface's own pointer type, such as CreateComponentFactory.
    operator Interface**() && { return &typed_; }

   private:
    friend class TRef;
    explicit OutPointer(TRef& ref) : ref_(ref) {}

    TRef& ref_;
    void* raw_ = nullptr;
    Interface* typed_ = nullptr;
  };

  /// Empty.
  TRef() noexcept = default;
  /// Empty.
  TRef(std::nullptr_t) noexcept {}
  /// Shares `pointer` with whoever holds it: takes a reference of its own.
  explicit TRef(Interface* pointer) noexcept : ptr_(pointer) {
    if (ptr_ != nullptr) ptr_->AddRef();
  }
  /// Takes over a reference that a call already took for the caller (CreateComponent,
  /// QueryInterface): adds none.
  static TRef Adopt(Interface* pointer) noexcept {
    TRef ref;
    ref.ptr_ = pointer;
    return ref;
  }

  /// Takes a reference of its own.
  TRef(const TRef& other) noexcept : TRef(other.ptr_) {}
  /// Takes over `other`'s reference and leaves `other` empty.
  TRef(TRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  /// From a reference to a derived interface, e.g. `TRef<CTUnknown>` from `TRef<IGrayFilter>`.
  template <typename Other, typename = std::enable_if_t<std::is_convertible_v<Other*, Interface*>>>
  TRef(const TRef<Other>& other) noexcept : TRef(static_cast<Interface*>(other.Get())) {}
  /// The same, taking over `other`'s reference.
  template <typename Other, typename = std::enable_if_t<std::is_convertible_v<Other*, Interface*>>>
  TRef(TRef<Other>&& other) noexcept : ptr_(other.Detach()) {}

  /// Copy and swap: the new reference is taken before the old one goes, so assigning a
  /// reference to itself, or to one that keeps the same object alive, never frees it.
  TRef& operator=(const TRef& other) noexcept {
    TRef(other).Swap(*this);
    return *this;
  }
  /// Takes over `other`'s reference; the one held before goes after it.
  TRef& operator=(TRef&& other) noexcept {
    TRef(std::move(other)).Swap(*this);
    return *this;
  }
  /// Drops the reference, as Reset().
  TRef& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  /// Drops the reference, if any.
  ~TRef() { Reset(); }

  /// Drops the reference, if any. Cleared before the Release so that code run by the last
  /// release never sees a dangling pointer here.
  void Reset() noexcept {
    if (Interface* old = std::exchange(ptr_, nullptr)) old->Release();
  }

  /// Hands the reference to the caller, who must release it; leaves this empty.
  [[nodiscard]] Interface* Detach() noexcept { return std::exchange(ptr_, nullptr); }

  /// Releases what is held, then lends the slot to a call that stores a pointer with a
  /// reference in it: `factory->CreateComponent(id, ref.Out())`.
  [[nodiscard]] OutPointer Out() noexcept {
    Reset();
    return OutPointer(*this);
  }

  /// The interface held, or null; the reference stays with this TRef.
  Interface* Get() const noexcept { return ptr_; }
  /// The interface held, to call it.
  Interface* operator->() const noexcept { return ptr_; }
  /// The interface held.
  Interface& operator*() const noexcept { return *ptr_; }
  /// True when a reference is held.
  explicit operator bool() const noexcept { return ptr_ != nullptr; }

  /// Exchanges the references of the two, taking and dropping none.
  void Swap(TRef& other) noexcept { std::swap(ptr_, other.ptr_); }
  /// Exchanges the references of the two, taking and dropping none.
  friend void swap(TRef& a, TRef& b) noexcept { a.Swap(b); }

  /// True when both hold the same pointer.
  friend bool operator==(const TRef& a, const TRef& b) noexcept { return a.ptr_ == b.ptr_; }
  /// True when the two hold different pointers.
  friend bool operator!=(const TRef& a, const TRef& b) noexcept { return a.ptr_ != b.ptr_; }
  /// True when empty.
  friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.ptr_ == nullptr; }
  /// True when a reference is held.
  friend bool operator!=(const TRef& a, std::nullptr_t) noexcept { return a.ptr_ != nullptr; }

 private:
  Interface* ptr_ = nullptr;
};

/// Asks `source` for interface `id` and hands the answer over typed, or empty when `source`
/// is null or does not answer. The caller vouches that `id` names an Interface.
template <typename Interface, typename Source>
TRef<Interface> QueryRef(Source* source, const char* id) {
  if (source == nullptr || id == nullptr) return {};
  void* object = nullptr;
  if (source->QueryInterface(id, &object) != 0 || object == nullptr) return {};
  return TRef<Interface>::Adopt(static_cast<Interface*>(object));
}

/// Asks `source` for Interface by the id the interface declares.
template <typename Interface, typename Source>
TRef<Interface> QueryRef(Source* source) {
  return QueryRef<Interface>(source, InterfaceId<Interface>());
}

/// Asks the interface that `source` holds for interface `id`.
template <typename Interface, typename Source>
TRef<Interface> QueryRef(const TRef<Source>& source, const char* id) {
  return QueryRef<Interface>(source.Get(), id);
}

/// Asks the interface that `source` holds for Interface by the id the interface declares.
template <typename Interface, typename Source>
TRef<Interface> QueryRef(const TRef<Source>& source) {
  return QueryRef<Interface>(source.Get(), InterfaceId<Interface>());
}

/// Has the factory hand out component `id` (creating it when no instance is alive), typed as
/// Interface, or empty when it cannot. The caller vouches that the component answers its id
/// with an Interface.
template <typename Interface>
TRef<Interface> CreateRef(CTComponentFactory* factory, const char* id) {
  if (factory == nullptr || id == nullptr) return {};
  void* object = nullptr;
  if (factory->CreateComponent(id, &object) != 0 || object == nullptr) return {};
  return TRef<Interface>::Adopt(static_cast<Interface*>(object));
}

/// A component's id is also the id of its primary interface: creates it by that interface.
template <typename Interface>
TRef<Interface> CreateRef(CTComponentFactory* factory) {
  return CreateRef<Interface>(factory, InterfaceId<Interface>());
}

/// Has the factory that `factory` holds hand out component `id`, typed as Interface.
template <typename Interface>
TRef<Interface> CreateRef(const TRef<CTComponentFactory>& factory, const char* id) {
  return CreateRef<Interface>(factory.Get(), id);
}

/// Has the factory that `factory` holds create the component whose id Interface declares.
template <typename Interface>
TRef<Interface> CreateRef(const TRef<CTComponentFactory>& factory) {
  return CreateRef<Interface>(factory.Get(), InterfaceId<Interface>());
}

/// A new factory holding the host's one reference, or empty when it cannot be made.
inline TRef<CTComponentFactory> CreateFactoryRef() {
  CTComponentFactory* factory = nullptr;
  if (CreateComponentFactory(&factory) != 0) return {};
  return TRef<CTComponentFactory>::Adopt(factory);
}

}  // namespace framework

#endif  // QUENDEL_REF_H
