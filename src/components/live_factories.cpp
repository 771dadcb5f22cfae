#include "components/live_factories.h"

#include <mutex>
#include <unordered_set>

namespace framework {
namespace {

struct LiveFactories {
  std::mutex mutex;
  std::unordered_set<CTComponentFactory::Impl*> factories;
};

// Never destroyed: factories may end during the process's own teardown.
LiveFactories& Live() {
  static LiveFactories* live = new LiveFactories;
  return *live;
}

}  // namespace

void JoinLiveFactories(CTComponentFactory::Impl* factory) {
  LiveFactories& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  live.factories.insert(factory);
}

void LeaveLiveFactories(CTComponentFactory::Impl* factory) {
  LiveFactories& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  live.factories.erase(factory);
}

void VisitLiveFactories(const std::function<void(CTComponentFactory::Impl&)>& visit) {
  LiveFactories& live = Live();
  std::lock_guard<std::mutex> lock(live.mutex);
  for (CTComponentFactory::Impl* factory : live.factories) visit(*factory);
}

}  // namespace framework
