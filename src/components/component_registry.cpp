#include <cstdint>
#include <typeinfo>
#include <vector>

#include "components/component_factory_impl.h"
#include "components/component_unknown_impl.h"
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

// A refused description stays with whoever owns it: the helpers' ones are the factory's.
void DisposeRefused(ComponentInfo* info) {
  if (info != nullptr && IsFactoryOwned(*info)) delete info;
}

}  // namespace

int CTComponentFactory::Impl::RegistryComponent(const ComponentRegistryFunc& registry) {
  TWrap<ComponentInfo>* entries = nullptr;
  std::size_t count = 0;
  // A null function is treated like one that lists nothing.
  if (registry != nullptr) registry(&entries, &count);
  if (entries == nullptr) {
    QLOG_ERROR(kRegistry, kNoEntriesLine) << "Get Component Inifo failed.";
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    ComponentInfo* info = entries[i].ptr;
    if (info == nullptr || info->id == nullptr) {
      QLOG_PLAIN_ERROR(kRegistry, kRefusedLine) << "component info is null or id is null.";
      DisposeRefused(info);
      continue;
    }
    QLOG_INFO(kRegistry, kBannerLine) << "+++++++++++++++++++++++++++++++++++++++";
    auto object = std::make_unique<ComponentObject>();
    object->id = info->id;
    object->info = entries[i];
    const std::string_view key = object->id;
    bool registered = false;
    {
      std::lock_guard<ReentrantMutex> lock(mutex);
      registered = components.try_emplace(key, std::move(object)).second;
    }
    if (!registered) {
      QLOG_INFO(kRegistry, kDuplicateLine)
          << "Already registry the component!!!!   id:" << info->id;
      DisposeRefused(info);
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

int CTComponentFactory::Impl::CreateComponent(const char* id, void** object,
                                              CTComponentFactory* factory) {
  ComponentObject* entry = nullptr;
  {
    std::lock_guard<ReentrantMutex> lock(mutex);
    auto found = components.find(std::string_view(id));
    if (found != components.end()) {
      entry = found->second.get();
      // Asked under the lock, which its last release needs: it cannot die meanwhile.
      if (entry->instance != nullptr) return entry->instance->DelegatQueryInterface(id, object);
    }
  }
  if (entry == nullptr) {
    QLOG_INFO(kCreate, kNotFoundLine) << "not found component. id:" << id;
    return -1;
  }

  // Registered descriptions never change, so the creator is read without the lock.
  ComponentCreator creator = entry->info.ptr->creator;
  // A description without a creator behaves like a creator that could not create.
  CTComponentUnknown* created = creator != nullptr ? creator(factory) : nullptr;
  if (created == nullptr) {
    QLOG_ERROR(kCreate, kCreateFailedLine) << "CreateComponent failed!!!";
    return -1;
  }
  CTComponentUnknown* lost = nullptr;
  int result = -1;
  {
    std::lock_guard<ReentrantMutex> lock(mutex);
    if (entry->instance != nullptr) {
      // Another thread's creation won meanwhile: hand out its instance, never this one.
      if (entry->instance != created) lost = created;
    } else {
      created->SetInfo(entry->info.ptr);
      entry->instance = created;
    }
    result = entry->instance->DelegatQueryInterface(id, object);
  }
  delete lost;
  return result;
}

void CTComponentFactory::Impl::ReleaseInstance(CTComponentUnknown& instance) {
  CTComponentUnknown::Impl* count = CTComponentUnknown::Impl::Of(instance);
  SharedCount::DropResult dropped;
  {
    std::lock_guard<ReentrantMutex> lock(mutex);
    dropped = count->Drop();
    if (dropped == SharedCount::DropResult::kLast) {
      // From here on the instance is dying: nobody may be handed it again.
      const char* id = CTComponentUnknown::Impl::InfoOf(instance)->id;
      auto found = id != nullptr ? components.find(std::string_view(id)) : components.end();
      if (found != components.end() && found->second->instance == &instance) {
        found->second->instance = nullptr;
      }
    }
  }
  if (dropped == SharedCount::DropResult::kLast) {
    count->RunRelease();  // logs the release and deletes the instance
  } else if (dropped == SharedCount::DropResult::kAlreadyReleased) {
    SharedCount::ReportAlreadyReleased();
  }
}

void CTComponentFactory::Impl::RemoveComponent(const char* id, const CTComponentUnknown* instance) {
  if (id == nullptr) return;
  const char* name = nullptr;
  bool found = false;
  {
    std::lock_guard<ReentrantMutex> lock(mutex);
    auto entry = components.find(std::string_view(id));
    if (entry != components.end()) {
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

CTComponentUnknown* CTComponentFactory::Impl::TakeInstance(ComponentObject& entry) {
  std::lock_guard<ReentrantMutex> lock(mutex);
  CTComponentUnknown* instance = entry.instance;
  entry.instance = nullptr;
  return instance;
}

void CTComponentFactory::Impl::PrintNotReleaseComponent() {
  std::vector<std::pair<std::string_view, const char*>> alive;
  {
    std::lock_guard<ReentrantMutex> lock(mutex);
    for (const auto& [id, entry] : components) {
      if (entry->instance != nullptr) alive.emplace_back(id, entry->info.ptr->name);
    }
  }
  for (const auto& [id, name] : alive) {
    QLOG_ERROR(kPrint, kWaitingLine)
        << "wait release component id:" << id << ". name:" << TextOf(name);
  }
  QLOG_INFO(kPrint, kWaitCountLine) << "wait release component. count:" << alive.size();
}

int CTComponentFactory::Impl::QueryComponentInterface(const char* id, void** object) {
  std::lock_guard<ReentrantMutex> lock(mutex);
  auto found = components.find(std::string_view(id));
  if (found != components.end() && found->second->instance != nullptr) {
    return found->second->instance->DelegatQueryInterface(id, object);
  }
  for (const auto& entry : components) {
    CTComponentUnknown* instance = entry.second->instance;
    if (instance != nullptr && instance->DelegatQueryInterface(id, object) == 0) return 0;
  }
  return -1;
}

}  // namespace framework
