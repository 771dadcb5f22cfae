#ifndef QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
#define QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "internal/visibility.h"
#include "quendel/component_factory.h"

namespace framework {

// The factory's registry: one entry per registered component id, never removed.
//
// Any thread may use it. The mutex guards the map and every entry's `instance`; it is never
// held while code of the host or a provider runs (registry functions, creators, queries,
// destructors, log output), so such code may call the factory again. The last release of an
// instance this factory made is decided under the mutex, so an entry never names an
// instance that is dying, and an instance is handed out only under a reference the factory
// took while the instance was alive.
class QUENDEL_HIDDEN CTComponentFactory::Impl {
 public:
  struct ComponentObject {
    TWrap<ComponentInfo> info;               // owned by the factory from registration on
    CTComponentUnknown* instance = nullptr;  // the live instance; not a counted reference
  };

  int RegistryComponent(const ComponentRegistryFunc& registry);
  int CreateComponent(const char* id, void** object, CTComponentFactory* factory);
  // Logs the release of the live instance of `id` and forgets it, if the entry still names
  // `instance` (any instance when null).
  void RemoveComponent(const char* id, const CTComponentUnknown* instance);
  void PrintNotReleaseComponent();
  int QueryComponentInterface(const char* id, void** object);
  // A release of `instance` that may be its last.
  void ReleaseInstance(CTComponentUnknown& instance);
  // For the factory's end: takes the live instance out of `entry`, or null.
  CTComponentUnknown* TakeInstance(ComponentObject& entry);

  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<ComponentObject>> components;

 private:
  // A reference the factory holds on an instance while it asks it something unlocked.
  struct Pin {
    CTComponentUnknown* instance = nullptr;
    bool unreferenced = false;  // the count was 0: a component that never answered its id
  };
  Pin PinLocked(CTComponentUnknown* instance);
  void Unpin(const Pin& pin);
  int AskPinned(const Pin& pin, const char* id, void** object);
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
