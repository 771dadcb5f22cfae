#ifndef QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
#define QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quendel/component_factory.h"
#include "visibility.h"

namespace framework {

// The factory's registry: one entry per registered component id, never removed.
//
// Any thread may use it. The entries are spread over shards, each with its own mutex, so
// that threads looking up different ids rarely meet. A shard's mutex guards its map and its
// entries' `instance` and `born`. No code of a host or a provider ever runs under one: an
// instance is pinned (one more reference, unless its last release has begun) under the
// lock and asked after it; the last release of an instance is decided under the lock, so an
// entry never names a dying instance.
class QUENDEL_HIDDEN CTComponentFactory::Impl {
 public:
  struct ComponentObject {
    std::string id;                          // the text of the entry's key
    TWrap<ComponentInfo> info;               // owned by the factory from registration on
    CTComponentUnknown* instance = nullptr;  // the live instance; not a counted reference
    std::uint64_t born = 0;                  // when `instance` was recorded, for the end
    ComponentRegistryFunc source = nullptr;  // the registry function that listed it
    // Creations and last releases under way without the lock: the entry may not be forgotten.
    int busy = 0;
  };

  // A live instance held for a call made without the lock. A pin taken while the instance
  // had no reference is "resting": dropping it puts the count back to 0 without a release,
  // as nothing but the pin ever held it.
  struct Pin {
    CTComponentUnknown* instance = nullptr;
    bool resting = false;
  };

  ~Impl();

  // Registers what `registry` lists; with `expected`, only when its ids are exactly those.
  int RegistryComponent(const ComponentRegistryFunc& registry,
                        const std::vector<std::string_view>* expected = nullptr);
  // `attempt` counts the resolver's answers for this call so far.
  int CreateComponent(const char* id, void** object, CTComponentFactory* factory, int attempt = 0);
  int SetResolver(ComponentResolver resolver, void* context);
  // Logs the release of the live instance of `id` and forgets it, if the entry still names
  // `instance` (any instance when null).
  void RemoveComponent(const char* id, const CTComponentUnknown* instance);
  void PrintNotReleaseComponent();
  int QueryComponentInterface(const char* id, void** object);
  // A release of `instance` that may be its last.
  void ReleaseInstance(CTComponentUnknown& instance);
  // For the factory's end: takes the most recently recorded live instance out of its entry,
  // or null when none is left.
  CTComponentUnknown* TakeNewest();
  // Removes every entry that `registry` listed, unless one has a live instance or is busy
  // (then -1 and nothing changes), and appends their descriptions, no longer held, to
  // `forgotten` for the caller to delete without a lock.
  int Forget(ComponentRegistryFunc registry, std::vector<ComponentInfo*>* forgotten);
  // How many entries `registry` listed.
  std::size_t CountFrom(ComponentRegistryFunc registry);

 private:
  struct Key {
    std::string_view text;
    std::size_t hash;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept { return key.hash; }
  };
  struct KeyEqual {
    bool operator()(const Key& a, const Key& b) const noexcept { return a.text == b.text; }
  };
  using Map = std::unordered_map<Key, std::unique_ptr<ComponentObject>, KeyHash, KeyEqual>;
  // A cache line each, so that threads on different shards do not share one.
  struct alignas(64) Shard {
    std::mutex mutex;
    Map entries;
  };
  static constexpr std::size_t kShards = 16;

  static Key KeyOf(std::string_view id);
  Shard& ShardOf(const Key& key) { return shards[key.hash % kShards]; }
  // With the shard's lock held: pins the entry's live instance, if any.
  static Pin PinLocked(const ComponentObject& entry);
  void Unpin(const Pin& pin);
  // Asks a pinned instance, then drops the pin.
  int AskPinned(const Pin& pin, const char* id, void** object);
  // Ends a creation or last release that made `entry` busy.
  void Unbusy(Shard& shard, ComponentObject& entry);
  // Asks the resolver, if any, for `id`; true when it says it registered it.
  bool Resolve(const char* id, CTComponentFactory* factory);

  // The resolver and the calls of it under way, which SetResolver waits for.
  struct Resolving {
    std::mutex mutex;
    std::condition_variable idle;
    ComponentResolver resolver = nullptr;
    void* context = nullptr;
    int calls = 0;
  };

  Shard shards[kShards];
  std::atomic<std::uint64_t> births{0};
  Resolving resolving;
};

}  // namespace framework

#endif  // QUENDEL_COMPONENTS_COMPONENT_FACTORY_IMPL_H
