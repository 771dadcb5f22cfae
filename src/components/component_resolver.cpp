#include "components/component_factory_impl.h"

namespace framework {
namespace {

// Resolver calls under way on this thread, of any factory: a resolver that installs another
// would wait for itself.
thread_local int resolverDepth = 0;

}  // namespace

bool CTComponentFactory::Impl::Resolve(const char* id, CTComponentFactory* factory) {
  ComponentResolver resolver = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<std::mutex> lock(resolving.mutex);
    if (resolving.resolver == nullptr) return false;
    resolver = resolving.resolver;
    context = resolving.context;
    ++resolving.calls;
  }
  // Ends the call also when the resolver throws, which reaches the caller of CreateComponent.
  struct CallEnd {
    Resolving& state;
    ~CallEnd() {
      --resolverDepth;
      std::lock_guard<std::mutex> lock(state.mutex);
      if (--state.calls == 0) state.idle.notify_all();
    }
  };
  ++resolverDepth;
  const CallEnd end{resolving};
  return resolver(factory, id, context) == 0;
}

int CTComponentFactory::Impl::SetResolver(ComponentResolver resolver, void* context) {
  if (resolverDepth > 0) return -1;
  std::unique_lock<std::mutex> lock(resolving.mutex);
  resolving.resolver = resolver;
  resolving.context = context;
  resolving.idle.wait(lock, [this] { return resolving.calls == 0; });
  return 0;
}

}  // namespace framework
