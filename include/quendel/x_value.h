#ifndef QUENDEL_X_VALUE_H
#define QUENDEL_X_VALUE_H

/// \file
/// The type-erased value that crosses module boundaries.
#include <cstring>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "quendel/export.h"
#include "quendel/module_record.h"

namespace framework {

/// A value of any copyable type, one pointer wide, that crosses module boundaries: the
/// holder is made and freed by the module that knows the held type, and the library only
/// clones and deletes holders through their virtual operations.
class XValue {
 public:
  /// The held value's owner, deleted through its virtual destructor. Each holder made with
  /// `new` counts among the live objects of the module whose code made it, so that a module
  /// is not unloaded while a value it made is held.
  class Holder : public detail::CountedAllocation {
   public:
    virtual ~Holder() = default;
    /// A new heap holder with an independent copy of the value; the caller owns it.
    virtual Holder* Clone() const = 0;
    /// The mangled name of the concrete holder class: equal across modules for the same
    /// class, unlike the addresses of `type_info` objects. Typed access compares it first, so
    /// a holder that keeps the default (null) is copied, moved and destroyed but never read
    /// back through Get.
    virtual const char* TypeName() const { return nullptr; }

   protected:
    Holder() = default;
    /// For holders that copy themselves in Clone.
    Holder(const Holder&) = default;
    /// For holders that copy themselves.
    Holder& operator=(const Holder&) = default;
  };

  /// The holder of a T, which the typed constructor makes and Get reads.
  template <typename T>
  class TypedHolder final : public Holder {
   public:
    /// Holds a copy of `value`.
    explicit TypedHolder(const T& value) : value_(value) {}
    /// Holds `value`, moved in.
    explicit TypedHolder(T&& value) : value_(std::move(value)) {}
    /// A new TypedHolder with a copy of the value.
    Holder* Clone() const override { return new TypedHolder(value_); }
    /// The mangled name of `TypedHolder<T>`.
    const char* TypeName() const override { return typeid(TypedHolder).name(); }
    /// The held value.
    T& Value() { return value_; }

   private:
    T value_;
  };

  /// Empty.
  XValue() noexcept = default;
  /// Adopts a holder made with `new`; null gives an empty value.
  explicit XValue(Holder* adopted) noexcept : holder(adopted) {}

  /// Stores a copy of `value` (any copyable type other than XValue itself).
  template <typename T, typename Stored = std::decay_t<T>,
            typename = std::enable_if_t<!std::is_same_v<Stored, XValue> &&
                                        !std::is_convertible_v<Stored, Holder*> &&
                                        std::is_copy_constructible_v<Stored>>>
  XValue(T&& value) : holder(new TypedHolder<Stored>(std::forward<T>(value))) {}  // NOLINT

  /// Holds a clone of `other`'s value, or nothing when `other` is empty.
  XValue(const XValue& other) : holder(other.holder ? other.holder->Clone() : nullptr) {}
  /// Takes over `other`'s holder and leaves `other` empty. Not noexcept: containers copy
  /// values when they reallocate, they never move them.
  XValue(XValue&& other) : holder(other.holder) { other.holder = nullptr; }

  /// Holds a clone of `other`'s value; the value held before is destroyed after the clone.
  XValue& operator=(const XValue& other) {
    // Clone first: self-assignment stays safe and a throwing Clone changes nothing.
    Holder* copy = other.holder ? other.holder->Clone() : nullptr;
    Holder* previous = holder;
    holder = copy;
    delete previous;
    return *this;
  }

  /// Takes over `other`'s holder, leaving `other` empty, and destroys the value held before.
  XValue& operator=(XValue&& other) {
    if (this != &other) {
      Holder* previous = holder;
      holder = other.holder;
      other.holder = nullptr;
      delete previous;
    }
    return *this;
  }

  /// Destroys the held value.
  ~XValue() { delete holder; }

  /// True when no value is held.
  bool Empty() const { return holder == nullptr; }

  /// The held T, or null when empty or holding another type.
  template <typename T>
  T* Get() {
    if (holder == nullptr) return nullptr;
    const std::type_info& wanted = typeid(TypedHolder<T>);
    const char* held = holder->TypeName();
    if (held != wanted.name() && (held == nullptr || std::strcmp(held, wanted.name()) != 0)) {
      return nullptr;
    }
    // Types local to a module (in an anonymous namespace, say) have the same name in every
    // module. Where the compiler marks their type information as local (GCC does), it tells
    // them apart; a shared type still matches across modules.
    if (typeid(*holder) != wanted) return nullptr;
    return &static_cast<TypedHolder<T>*>(holder)->Value();
  }
  /// The held T, or null when empty or holding another type.
  template <typename T>
  const T* Get() const {
    return const_cast<XValue*>(this)->Get<T>();
  }

  Holder* holder = nullptr;  ///< The value's holder, or null when empty.
};

static_assert(sizeof(XValue) == sizeof(void*), "XValue is one pointer wide");

}  // namespace framework

#endif  // QUENDEL_X_VALUE_H
