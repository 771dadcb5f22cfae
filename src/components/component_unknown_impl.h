#ifndef QUENDEL_COMPONENTS_COMPONENT_UNKNOWN_IMPL_H
#define QUENDEL_COMPONENTS_COMPONENT_UNKNOWN_IMPL_H

#include <functional>

#include "components/shared_count.h"
#include "quendel/component.h"
#include "visibility.h"

namespace framework {

// A component's private state: its count, the factory that made it and its controller.
class QUENDEL_HIDDEN CTComponentUnknown::Impl : public SharedCount {
 public:
  Impl(std::function<void()> onRelease, CTComponentFactory* factory, CTUnknown* owner);
  ~Impl() override;

  // The factory reaches the counts and descriptions of the instances it made through these.
  static Impl* Of(CTComponentUnknown& component) { return component.impl; }
  static const ComponentInfo* InfoOf(const CTComponentUnknown& component) { return component.info; }

  CTComponentFactory* factory;
  CTUnknown* owner;
  // The factory's resting pins on this instance (see CTComponentFactory::Impl::Pin), guarded
  // by the lock of the factory's shard that holds its entry.
  int restingPins = 0;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_COMPONENT_UNKNOWN_IMPL_H
