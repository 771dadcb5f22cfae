#ifndef QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
#define QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H

#include <memory>
#include <string>
#include <unordered_map>

#include "internal/visibility.h"
#include "quendel/component_factory.h"

namespace framework {

// The factory's registry: one entry per registered component id, never removed.
class QUENDEL_HIDDEN CTComponentFactory::Impl {
 public:
  struct ComponentObject {
    TWrap<ComponentInfo> info;               // owned by the factory from registration on
    CTComponentUnknown* instance = nullptr;  // the live instance; not a counted reference
  };

  int RegistryComponent(const ComponentRegistryFunc& registry);
  int CreateComponent(const char* id, void** object, CTComponentFactory* factory);
  void RemoveComponent(const char* id);
  void PrintNotReleaseComponent();
  int QueryComponentInterface(const char* id, void** object);

  std::unordered_map<std::string, std::shared_ptr<ComponentObject>> components;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
