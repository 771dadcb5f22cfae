#ifndef QUENDEL_COMPONENT_H
#define QUENDEL_COMPONENT_H

/// \file
/// The component model: the interfaces every component answers, the base class of every
/// component, and the description and registry function through which a provider lists them.
#include <cstddef>
#include <cstdint>

#include "quendel/export.h"

/// Everything the library exports, and the helpers of its headers.
namespace framework {

class CTComponentFactory;
struct ComponentInfo;

/// Root of every component interface. Interfaces derive from it and append their own
/// pure virtual operations after these three slots. Nobody deletes through it.
struct CTUnknown {
  /// Stores the interface named `id` in `*object`, with a reference for the caller: 0, or -1
  /// when it is not answered.
  virtual int QueryInterface(const char* id, void** object) = 0;
  /// Takes a reference; returns the new count.
  virtual int AddRef() = 0;
  /// Drops a reference; the last one destroys the object. Returns 0.
  virtual int Release() = 0;

 protected:
  /// Released, never deleted through the interface.
  ~CTUnknown() = default;
};

/// The non-delegating face of a component: same slots as CTUnknown, so a component that is
/// not aggregated serves as its own controlling CTUnknown.
struct CTDelegatUnknown {
  /// Answers the component's own interfaces, whoever controls it.
  virtual int DelegatQueryInterface(const char* id, void** object) = 0;
  /// Takes a reference on the component itself.
  virtual int DelegatAddRef() = 0;
  /// Drops a reference on the component itself.
  virtual int DelegatRelease() = 0;

 protected:
  /// Released, never deleted through the interface.
  ~CTDelegatUnknown() = default;
};

/// Base of every component. Starts with a reference count of 0; the release that takes the
/// count to zero tells the creating factory (if any) and deletes the object.
class QUENDEL_API CTComponentUnknown : public CTDelegatUnknown {
 public:
  class Impl;

  /// `owner` is the outer object when aggregated, null otherwise; `factory` may be null.
  CTComponentUnknown(CTUnknown* owner, CTComponentFactory* factory);
  CTComponentUnknown(const CTComponentUnknown&) = delete;
  CTComponentUnknown& operator=(const CTComponentUnknown&) = delete;

  /// Answers no interface; components override it to answer their own ids.
  int DelegatQueryInterface(const char* id, void** object) override;
  /// The new count, or -1 during destruction.
  int DelegatAddRef() override;
  /// 0 (never the remaining count), or -1 during destruction.
  int DelegatRelease() override;
  /// Destroys directly: no release callback, the factory is not told.
  virtual ~CTComponentUnknown();

  /// Records the description the component was created from (the factory calls it).
  void SetInfo(const ComponentInfo* info);

 protected:
  /// The controlling CTUnknown: the outer object, or this component's own delegating face.
  CTUnknown* Owner();

 private:
  Impl* impl;

 protected:
  /// The description set with SetInfo, or null.
  const ComponentInfo* info;
};

/// Hands out an interface pointer: stores `ref` in `*object` and takes one reference through
/// `ref`. Returns 0; -1 (and `*object` null) for a null `ref`, -1 for a null `object`.
QUENDEL_API int RefComponentInterface(CTUnknown* ref, void** object);

/// A provider's creator of one component: a new instance for `factory`, or null.
using ComponentCreator = CTComponentUnknown* (*)(CTComponentFactory* factory);

/// Description of one component, made on the heap by its provider. Once a factory registers
/// it, the factory deletes it through this virtual destructor, so the provider's own code
/// frees it. Derive from it to carry more.
struct ComponentInfo {
  virtual ~ComponentInfo() = default;

  const char* name = nullptr;          ///< The component's name, for the log.
  const char* id = nullptr;            ///< Its id, also the id of its primary interface.
  const char* version = nullptr;       ///< Its version text, for the log.
  std::int32_t type = 0;               ///< The provider's own number for the kind of component.
  const char* description = nullptr;   ///< What it does, for the log.
  ComponentCreator creator = nullptr;  ///< Makes an instance; null behaves as a failing one.
};

// The layout crosses module boundaries: it must never change by accident.
static_assert(sizeof(CTComponentUnknown) == 3 * sizeof(void*), "vptr, impl, info");
static_assert(sizeof(ComponentInfo) == 7 * sizeof(void*), "vptr and six fields");

/// One entry of a provider's registry array: exactly one pointer wide.
template <typename T>
struct TWrap {
  T* ptr;  ///< The entry's record.
};

static_assert(sizeof(TWrap<ComponentInfo>) == sizeof(void*),
              "an array of TWrap is an array of pointers");

/// A provider's registry function: stores its array of entries and their number.
using ComponentRegistryFunc = void (*)(TWrap<ComponentInfo>** entries, std::size_t* count);

}  // namespace framework

#endif  // QUENDEL_COMPONENT_H
