#ifndef QUENDEL_COMPONENT_FACTORY_H
#define QUENDEL_COMPONENT_FACTORY_H

/// \file
/// The component factory: the registry of component descriptions that creates their instances.
#include <cstddef>

#include "quendel/component.h"
#include "quendel/export.h"

namespace framework {

/// The factory's own interface id, compared as text like every id.
inline constexpr char kComponentFactoryId[] = "{1647f4c5-c70a-45d4-82ec-11c6bh237a28}";

class CTComponentFactory;

/// Called by CreateComponent for an id that no registered description has, with no lock held:
/// it may register a description of `id` with `factory` (RegistryComponent) and return 0, and
/// the factory looks the id up again; any other result leaves the id unknown. `context` is the
/// one given to SetResolver.
using ComponentResolver = int (*)(CTComponentFactory* factory, const char* id, void* context);

/// Registry of component descriptions and creator of at most one live instance per id.
/// Itself a reference-counted component; the release of its last reference destroys it,
/// together with every instance still alive and every registered description.
/// Safe to use from any number of threads; only its own last release must not overlap with
/// other use. It holds no lock while code of the host or a provider runs.
class QUENDEL_API CTComponentFactory : CTUnknown, CTComponentUnknown {
 public:
  class Impl;

  CTComponentFactory();
  CTComponentFactory(const CTComponentFactory&) = delete;
  CTComponentFactory& operator=(const CTComponentFactory&) = delete;

  int QueryInterface(const char* id, void** object) override;
  int AddRef() override;
  int Release() override;

  /// Answers kComponentFactoryId with itself and asks live instances for any other id.
  int DelegatQueryInterface(const char* id, void** object) override;

  /// Registers each valid, new entry that `registry` lists; always returns 0.
  int RegistryComponent(const ComponentRegistryFunc& registry);

  /// As RegistryComponent, provided the ids `registry` lists are exactly the `count` texts of
  /// `ids` (a module's manifest), in any order; then 0. Otherwise nothing is registered, every
  /// entry is treated as refused, an error line names an id listed on one side only, and -1
  /// is returned.
  int RegistryComponentMatching(const ComponentRegistryFunc& registry, const char* const* ids,
                                std::size_t count);

  /// Installs `resolver` (null removes it), which CreateComponent calls for an unknown id, and
  /// waits until calls of the one it replaces have returned, so that the caller may then free
  /// what `context` names. 0; -1, with nothing changed, when called from inside a resolver.
  int SetResolver(ComponentResolver resolver, void* context);

  /// Hands out the live instance for `id`, creating it first when there is none.
  /// 0 on success, -1 when the id is unknown, creation fails or an argument is null.
  /// For an unknown id the resolver, if one is installed, is asked first (twice at most).
  int CreateComponent(const char* id, void** object);

  /// Forgets every component that `registry` registered with this factory and deletes their
  /// descriptions, provided none of them has a live instance or is being created or
  /// released: a host does this before it unloads the module that `registry` lives in.
  /// 0 when none is left (also when there was none); -1, with nothing forgotten, otherwise.
  int ForgetComponents(const ComponentRegistryFunc& registry);

  ~CTComponentFactory() override;

 private:
  friend class CTComponentUnknown;
  // Called by an instance's last release: forget the live instance of `id`.
  void RemoveComponent(const char* id);

  Impl* impl;
};

static_assert(sizeof(CTComponentFactory) == 5 * sizeof(void*),
              "two vptrs, the component base's impl and info, the registry");

/// Creates a factory and stores it, with one reference, in `*factory`. 0 on success.
QUENDEL_API int CreateComponentFactory(CTComponentFactory** factory);

/// How many components that `registry` registered the factories of this process still hold.
QUENDEL_API std::size_t ComponentsRegisteredBy(ComponentRegistryFunc registry);

/// Every factory of this process forgets what `registry` registered with it, as
/// ForgetComponents does. 0 when no factory holds any of it afterwards, -1 when some factory
/// keeps components of it (one has a live instance there).
QUENDEL_API int ForgetComponentsEverywhere(ComponentRegistryFunc registry);

}  // namespace framework

#endif  // QUENDEL_COMPONENT_FACTORY_H
