#ifndef QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
#define QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "components/reentrant_mutex.h"
#include "quendel/component_factory.h"
#include "visibility.h"

namespace framework {

// The factory's registry: one entry per registered component id, never removed.
//
// Any thread may use it. The mutex guards the map and every entry's `instance`. The last
// release of an instance this factory made is decided under it, so an entry never names a
// dying instance, and the instances are asked for interfaces under it, so none can die
// while it is asked. Registry functions, creators, destructors and log output run without
// it, so that code may use the factory; it is recursive, so a query may too.
class QUENDEL_HIDDEN CTComponentFactory::Impl {
 public:
  struct ComponentObject {
    std::string id;                          // the text of the entry's key
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

  ReentrantMutex mutex;
  // Keyed by views of the entries' own ids, so that a lookup builds no string.
  std::unordered_map<std::string_view, std::unique_ptr<ComponentObject>> components;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
