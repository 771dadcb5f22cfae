#ifndef QUENDEL_COMPONENTS_LIVE_FACTORIES_H
#define QUENDEL_COMPONENTS_LIVE_FACTORIES_H

#include <functional>

#include "quendel/component_factory.h"

namespace framework {

// The factories of this process that have not begun to end, so that a host can ask all of
// them about a module it wants to unload without holding a pointer to any. A factory joins
// when it is made and leaves as the first step of its end. Safe from any thread.
void JoinLiveFactories(CTComponentFactory::Impl* factory);
void LeaveLiveFactories(CTComponentFactory::Impl* factory);
// Calls `visit` for each live factory with the list's lock held: none can end meanwhile.
// `visit` must not run code of a host or a provider.
void VisitLiveFactories(const std::function<void(CTComponentFactory::Impl&)>& visit);

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_LIVE_FACTORIES_H
