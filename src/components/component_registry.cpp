#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "components/component_factory_impl.h"
#include "components/component_unknown_impl.h"
#include "components/held_records.h"
#include "logging/log_message.h"
#include "quendel/provider.h"

namespace framework {
namespace {

// Descriptions may leave their texts null; the log shows those as empty text.
const char* TextOf(const char* text) { return text != nullptr ? text : ""; }

// 19 em dashes of code page 936, written to the log as raw bytes.
constexpr char kSeparator[] =
    "\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA"
    "\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA\xA1\xAA";
static_assert(sizeof kSeparator == 39, "the separator is 38 bytes");

constexpr const char* kRegistry = "framework::CTComponentFactory::Impl::RegistryComponent";
constexpr const char* kCreate = "framework::CTComponentFactory::Impl::CreateComponent";
constexpr const char* kRemove = "framework::CTComponentFactory::Impl::RemoveComponent";
constexpr const char* kPrint = "framework::CTComponentFactory::Impl::PrintNotReleaseComponent";

// The line number each statement shows: like the function names above, a fixed part of the
// output that hosts may parse, not the statement's place in this file.
constexpr int kNoEntriesLine = 126;
constexpr int kRefusedLine = 130;
constexpr int kBannerLine = 132;
constexpr int kDuplicateLine = 135;
constexpr int kRegisteredLine = 142;
constexpr int kNameLine = 143;
constexpr int kIdLine = 144;
constexpr int kVersionLine = 145;
constexpr int kTypeLine = 146;
constexpr int kDescriptionLine = 147;
constexpr int kMismatchLine = 151;
constexpr int kCreateFailedLine = 111;
constexpr int kNotFoundLine = 118;
constexpr int kSeparatorLine = 160;
constexpr int kReleasedLine = 163;
constexpr int kReleasedNameLine = 164;
constexpr int kReleasedIdLine = 165;
constexpr int kUnregisteredLine = 169;
constexpr int kWaitingLine = 177;
constexpr int kWaitCountLine = 180;

// True for a description that the registry helpers made: the factory owns those whether it
// registers them or not. A module built without run-time type information leaves the type
// slot of its virtual table null, so that is looked at before asking for the type.
bool IsFactoryOwned(const ComponentInfo& info) {
#if defined(__GNUC__)
  const void* const* table = *reinterpret_cast<const void* const* const*>(&info);
  if (table[-1] == nullptr) return false;
#endif
  return typeid(info) == typeid(FactoryOwnedInfo);
}

// A refused description stays with whoever owns it: the helpers' ones are the factory's,
// unless a factory holds that very record already.
void DisposeRefused(ComponentInfo* info, bool held) {
  if (info != nullptr && !held && IsFactoryOwned(*info)) delete info;
}

// An id listed on one side only: by the registry function (or an entry without one, as an
// empty id) or in `expected`; a null view when the two lists are the same set of ids.
std::string_view Unmatched(const TWrap<ComponentInfo>* entries, std::size_t count,
                           const std::vector<std::string_view>& expected) {
  std::vector<std::string_view> listed;
  for (std::size_t i = 0; entries != nullptr && i < count; ++i) {
    const ComponentInfo* info = entries[i].ptr;
    listed.push_back(info != nullptr && info->id != nullptr ? info->id : "");
  }
  std::vector<std::string_view> wanted = expected;
  std::sort(listed.begin(), listed.end());
  std::sort(wanted.begin(), wanted.end());
  const auto [mine, theirs] =
      std::mismatch(listed.begin(), listed.end(), wanted.begin(), wanted.end());
  if (mine == listed.end() && theirs == wanted.end()) return {};
  if (mine == listed.end()) return *theirs;
  if (theirs == wanted.end()) return *mine;
  return std::min(*mine, *theirs);
}

}  // namespace

CTComponentFactory::Impl::~Impl() {
  for (Shard& shard : shards) {
    for (auto& entry : shard.entries) {
      ComponentInfo* info = entry.second->info.ptr;
      ForgetRecord(info);
      delete info;
    }
  }
}

CTComponentFactory::Impl::Key CTComponentFactory::Impl::KeyOf(std::string_view id) {
  return {id, std::hash<std::string_view>()(id)};
}

int CTComponentFactory::Impl::RegistryComponent(const ComponentRegistryFunc& registry,
                                                const std::vector<std::string_view>* expected) {
  TWrap<ComponentInfo>* entries = nullptr;
  std::size_t count = 0;
  // A null function is treated like one that lists nothing.
  if (registry != nullptr) registry(&entries, &count);
  if (expected != nullptr) {
    const std::string_view unmatched = Unmatched(entries, count, *expected);
    if (unmatched.data() != nullptr) {
      QLOG_ERROR(kRegistry, kMismatchLine)
          << "the components listed are not the manifest's, none registered. id:" << unmatched;
      for (std::size_t i = 0; entries != nullptr && i < count; ++i) {
        ComponentInfo* info = entries[i].ptr;
        // A record some factory holds stays that factory's, as for any refusal.
        const bool held = info != nullptr && !ClaimRecord(info);
        if (info != nullptr && !held) ForgetRecord(info);
        DisposeRefused(info, held);
      }
      return -1;
    }
  }
  if (entries == nullptr) {
    QLOG_ERROR(kRegistry, kNoEntriesLine) << "Get Component Inifo failed.";
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    ComponentInfo* info = entries[i].ptr;
    if (info == nullptr || info->id == nullptr) {
      QLOG_PLAIN_ERROR(kRegistry, kRefusedLine) << "component info is null or id is null.";
      DisposeRefused(info, false);
      continue;
    }
    QLOG_INFO(kRegistry, kBannerLine) << "+++++++++++++++++++++++++++++++++++++++";
    // A record some factory holds already (listed twice, or to another factory) is refused
    // like a duplicate id, and left to the factory that holds it.
    const bool claimed = ClaimRecord(info);
    bool registered = false;
    if (claimed) {
      auto object = std::make_unique<ComponentObject>();
      object->id = info->id;
      object->info = entries[i];
      object->source = registry;
      const Key key = KeyOf(object->id);
      Shard& shard = ShardOf(key);
      std::lock_guard<std::mutex> lock(shard.mutex);
      registered = shard.entries.try_emplace(key, std::move(object)).second;
    }
    if (!registered) {
      QLOG_INFO(kRegistry, kDuplicateLine)
          << "Already registry the component!!!!   id:" << info->id;
      if (claimed) ForgetRecord(info);
      DisposeRefused(info, !claimed);
      continue;
    }
    QLOG_INFO(kRegistry, kRegisteredLine) << "register new component. ";
    QLOG_INFO(kRegistry, kNameLine) << "name:" << TextOf(info->name);
    QLOG_INFO(kRegistry, kIdLine) << "id:" << info->id;
    QLOG_INFO(kRegistry, kVersionLine) << "version:" << TextOf(info->version);
    QLOG_INFO(kRegistry, kTypeLine) << "type:" << info->type;
    QLOG_INFO(kRegistry, kDescriptionLine) << "description:" << TextOf(info->description);
  }
  return 0;
}

CTComponentFactory::Impl::Pin CTComponentFactory::Impl::PinLocked(const ComponentObject& entry) {
  if (entry.instance == nullptr) return {};
  CTComponentUnknown::Impl* count = CTComponentUnknown::Impl::Of(*entry.instance);
  // Every reference but the resting pins is someone's: with none, this pin rests too.
  const bool resting = count->AddShared() - 1 == count->restingPins;
  if (resting) ++count->restingPins;
  return {entry.instance, resting};
}

void CTComponentFactory::Impl::Unpin(const Pin& pin) {
  CTComponentUnknown::Impl* count = CTComponentUnknown::Impl::Of(*pin.instance);
  if (!pin.resting) {
    // Whoever held the instance may have let it go meanwhile: then this is its last release.
    if (!count->ReleaseUnlessLast()) ReleaseInstance(*pin.instance);
    return;
  }
  // Under the lock, so that no pin is taken while the resting ones are being counted.
  Shard& shard = ShardOf(KeyOf(CTComponentUnknown::Impl::InfoOf(*pin.instance)->id));
  std::lock_guard<std::mutex> lock(shard.mutex);
  --count->restingPins;
  while (!count->ReleaseUnlessLast() && !count->UndoRestingPin()) {
  }
}

int CTComponentFactory::Impl::AskPinned(const Pin& pin, const char* id, void** object) {
  const int result = pin.instance->DelegatQueryInterface(id, object);
  Unpin(pin);
  return result;
}

int CTComponentFactory::Impl::CreateComponent(const char* id, void** object,
                                              CTComponentFactory* factory, int attempt) {
  const Key key = KeyOf(id);
  Shard& shard = ShardOf(key);
  ComponentObject* entry = nullptr;
  Pin pin;
  {
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto found = shard.entries.find(key);
    if (found != shard.entries.end()) {
      entry = found->second.get();
      pin = PinLocked(*entry);
      if (pin.instance == nullptr) ++entry->busy;  // creating it
    }
  }
  if (entry == nullptr) {
    // Twice, for a resolver whose registration another thread's unload undid meanwhile.
    constexpr int kResolverAttempts = 2;
    if (attempt < kResolverAttempts && Resolve(id, factory))
      return CreateComponent(id, object, factory, attempt + 1);
    QLOG_INFO(kCreate, kNotFoundLine) << "not found component. id:" << id;
    return -1;
  }
  if (pin.instance != nullptr) return AskPinned(pin, id, object);

  // Registered descriptions never change, so the creator is read without the lock.
  ComponentCreator creator = entry->info.ptr->creator;
  // A description without a creator behaves like a creator that could not create.
  CTComponentUnknown* created = nullptr;
  try {
    if (creator != nullptr) created = creator(factory);
  } catch (...) {
    Unbusy(shard, *entry);  // a creator that throws must not keep the entry busy for ever
    throw;
  }
  // An instance made for no factory or another one would never tell this factory of its
  // last release, leaving the entry to name freed memory: refused like a failed creation.
  if (created != nullptr && CTComponentUnknown::Impl::Of(*created)->factory != factory) {
    delete created;
    created = nullptr;
  }
  if (created == nullptr) {
    Unbusy(shard, *entry);
    QLOG_ERROR(kCreate, kCreateFailedLine) << "CreateComponent failed!!!";
    return -1;
  }
  CTComponentUnknown* lost = nullptr;
  {
    std::lock_guard<std::mutex> lock(shard.mutex);
    --entry->busy;
    if (entry->instance != nullptr) {
      // Another thread's creation won meanwhile: hand out its instance, never this one.
      if (entry->instance != created) lost = created;
    } else {
      created->SetInfo(entry->info.ptr);
      entry->instance = created;
      entry->born = births.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    pin = PinLocked(*entry);
  }
  delete lost;
  return AskPinned(pin, id, object);
}

void CTComponentFactory::Impl::Unbusy(Shard& shard, ComponentObject& entry) {
  std::lock_guard<std::mutex> lock(shard.mutex);
  --entry.busy;
}

void CTComponentFactory::Impl::ReleaseInstance(CTComponentUnknown& instance) {
  CTComponentUnknown::Impl* count = CTComponentUnknown::Impl::Of(instance);
  const char* id = CTComponentUnknown::Impl::InfoOf(instance)->id;
  Shard& shard = ShardOf(KeyOf(id != nullptr ? id : ""));
  ComponentObject* entry = nullptr;
  SharedCount::DropResult dropped;
  {
    std::lock_guard<std::mutex> lock(shard.mutex);
    dropped = count->Drop();
    if (dropped == SharedCount::DropResult::kLast && id != nullptr) {
      // From here on the instance is dying: nobody may be handed it again, and its entry
      // (whose description the release reads) stays until the release is over.
      auto found = shard.entries.find(KeyOf(id));
      if (found != shard.entries.end() && found->second->instance == &instance) {
        entry = found->second.get();
        entry->instance = nullptr;
        ++entry->busy;
      }
    }
  }
  if (dropped == SharedCount::DropResult::kLast) {
    count->RunRelease();  // logs the release and deletes the instance
    if (entry != nullptr) Unbusy(shard, *entry);
  } else if (dropped == SharedCount::DropResult::kAlreadyReleased) {
    SharedCount::ReportAlreadyReleased();
  }
}

int CTComponentFactory::Impl::Forget(ComponentRegistryFunc registry,
                                     std::vector<ComponentInfo*>* forgotten) {
  // Every shard at once, in index order, so that the check and the removal are one step.
  std::vector<std::unique_lock<std::mutex>> locks;
  locks.reserve(kShards);
  for (Shard& shard : shards) locks.emplace_back(shard.mutex);
  for (Shard& shard : shards) {
    for (const auto& entry : shard.entries) {
      const ComponentObject& object = *entry.second;
      if (object.source == registry && (object.instance != nullptr || object.busy != 0)) {
        return -1;
      }
    }
  }
  for (Shard& shard : shards) {
    for (auto entry = shard.entries.begin(); entry != shard.entries.end();) {
      if (entry->second->source != registry) {
        ++entry;
        continue;
      }
      forgotten->push_back(entry->second->info.ptr);
      entry = shard.entries.erase(entry);
    }
  }
  return 0;
}

std::size_t CTComponentFactory::Impl::CountFrom(ComponentRegistryFunc registry) {
  std::size_t number = 0;
  for (Shard& shard : shards) {
    std::lock_guard<std::mutex> lock(shard.mutex);
    for (const auto& entry : shard.entries) number += entry.second->source == registry;
  }
  return number;
}

void CTComponentFactory::Impl::RemoveComponent(const char* id, const CTComponentUnknown* instance) {
  if (id == nullptr) return;
  const char* name = nullptr;
  bool found = false;
  {
    const Key key = KeyOf(id);
    Shard& shard = ShardOf(key);
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto entry = shard.entries.find(key);
    if (entry != shard.entries.end()) {
      found = true;
      name = entry->second->info.ptr->name;
      if (instance == nullptr || entry->second->instance == instance) {
        entry->second->instance = nullptr;
      }
    }
  }
  if (!found) {
    QLOG_PLAIN_ERROR(kRemove, kUnregisteredLine) << "not found component. id:" << id;
    return;
  }
  QLOG_INFO(kRemove, kSeparatorLine) << kSeparator;
  QLOG_INFO(kRemove, kReleasedLine) << "release component. ";
  QLOG_INFO(kRemove, kReleasedNameLine) << "name:" << TextOf(name);
  QLOG_INFO(kRemove, kReleasedIdLine) << "id:" << id;
}

CTComponentUnknown* CTComponentFactory::Impl::TakeNewest() {
  for (;;) {
    ComponentObject* newest = nullptr;
    Shard* home = nullptr;
    std::uint64_t born = 0;
    for (Shard& shard : shards) {
      std::lock_guard<std::mutex> lock(shard.mutex);
      for (auto& entry : shard.entries) {
        if (entry.second->instance != nullptr && entry.second->born >= born) {
          newest = entry.second.get();
          home = &shard;
          born = newest->born;
        }
      }
    }
    if (newest == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(home->mutex);
    // Unless its last release or a newer creation came in between, it is still the newest.
    if (newest->instance != nullptr && newest->born == born) {
      return std::exchange(newest->instance, nullptr);
    }
  }
}

void CTComponentFactory::Impl::PrintNotReleaseComponent() {
  std::vector<std::pair<std::string_view, const char*>> alive;
  for (Shard& shard : shards) {
    std::lock_guard<std::mutex> lock(shard.mutex);
    for (const auto& entry : shard.entries) {
      if (entry.second->instance != nullptr) {
        alive.emplace_back(entry.first.text, entry.second->info.ptr->name);
      }
    }
  }
  for (const auto& [id, name] : alive) {
    QLOG_ERROR(kPrint, kWaitingLine)
        << "wait release component id:" << id << ". name:" << TextOf(name);
  }
  QLOG_INFO(kPrint, kWaitCountLine) << "wait release component. count:" << alive.size();
}

int CTComponentFactory::Impl::QueryComponentInterface(const char* id, void** object) {
  const Key key = KeyOf(id);
  Pin own;
  {
    Shard& shard = ShardOf(key);
    std::lock_guard<std::mutex> lock(shard.mutex);
    auto found = shard.entries.find(key);
    if (found != shard.entries.end()) own = PinLocked(*found->second);
  }
  if (own.instance != nullptr) return AskPinned(own, id, object);

  // Every live instance, pinned shard by shard and asked after: registrations meanwhile
  // cannot disturb the walk, and each pin is dropped whether or not it answered.
  std::vector<Pin> live;
  for (Shard& shard : shards) {
    std::lock_guard<std::mutex> lock(shard.mutex);
    for (const auto& entry : shard.entries) {
      const Pin pin = PinLocked(*entry.second);
      if (pin.instance != nullptr) live.push_back(pin);
    }
  }
  int result = -1;
  for (const Pin& pin : live) {
    if (result != 0 && pin.instance->DelegatQueryInterface(id, object) == 0) result = 0;
    Unpin(pin);
  }
  return result;
}

}  // namespace framework
