#include "components/component_factory_impl.h"
#include "logging/log_message.h"

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

}  // namespace

int CTComponentFactory::Impl::RegistryComponent(const ComponentRegistryFunc& registry) {
  TWrap<ComponentInfo>* entries = nullptr;
  std::size_t count = 0;
  // A null function is treated like one that lists nothing.
  if (registry != nullptr) registry(&entries, &count);
  if (entries == nullptr) {
    QLOG_ERROR(kRegistry, 126) << "Get Component Inifo failed.";
    return 0;
  }
  for (std::size_t i = 0; i < count; ++i) {
    ComponentInfo* info = entries[i].ptr;
    if (info == nullptr || info->id == nullptr) {
      QLOG_PLAIN_ERROR(kRegistry, 130) << "component info is null or id is null.";
      continue;
    }
    QLOG_INFO(kRegistry, 132) << "+++++++++++++++++++++++++++++++++++++++";
    std::string key(info->id);
    if (components.find(key) != components.end()) {
      // The rejected description stays the provider's.
      QLOG_INFO(kRegistry, 135) << "Already registry the component!!!!   id:" << key;
      continue;
    }
    QLOG_INFO(kRegistry, 142) << "register new component. ";
    QLOG_INFO(kRegistry, 143) << "name:" << TextOf(info->name);
    QLOG_INFO(kRegistry, 144) << "id:" << key;
    QLOG_INFO(kRegistry, 145) << "version:" << TextOf(info->version);
    QLOG_INFO(kRegistry, 146) << "type:" << info->type;
    QLOG_INFO(kRegistry, 147) << "description:" << TextOf(info->description);
    auto object = std::make_shared<ComponentObject>();
    object->info = entries[i];
    components.emplace(std::move(key), std::move(object));
  }
  return 0;
}

int CTComponentFactory::Impl::CreateComponent(const char* id, void** object,
                                              CTComponentFactory* factory) {
  auto found = components.find(id);
  if (found == components.end()) {
    QLOG_INFO(kCreate, 118) << "not found component. id:" << id;
    return -1;
  }
  ComponentObject& entry = *found->second;
  if (entry.instance != nullptr) return entry.instance->DelegatQueryInterface(id, object);
  ComponentCreator creator = entry.info.ptr->creator;
  // A description without a creator behaves like a creator that could not create.
  CTComponentUnknown* instance = creator != nullptr ? creator(factory) : nullptr;
  if (instance == nullptr) {
    QLOG_ERROR(kCreate, 111) << "CreateComponent failed!!!";
    return -1;
  }
  instance->SetInfo(entry.info.ptr);
  entry.instance = instance;
  return instance->DelegatQueryInterface(id, object);
}

void CTComponentFactory::Impl::RemoveComponent(const char* id) {
  if (id == nullptr) return;
  auto found = components.find(id);
  if (found == components.end()) {
    QLOG_PLAIN_ERROR(kRemove, 169) << "not found component. id:" << id;
    return;
  }
  ComponentObject& entry = *found->second;
  QLOG_INFO(kRemove, 160) << kSeparator;
  QLOG_INFO(kRemove, 163) << "release component. ";
  QLOG_INFO(kRemove, 164) << "name:" << TextOf(entry.info.ptr->name);
  QLOG_INFO(kRemove, 165) << "id:" << id;
  entry.instance = nullptr;
}

void CTComponentFactory::Impl::PrintNotReleaseComponent() {
  int alive = 0;
  for (const auto& [id, entry] : components) {
    if (entry->instance == nullptr) continue;
    ++alive;
    QLOG_ERROR(kPrint, 177) << "wait release component id:" << id
                            << ". name:" << TextOf(entry->info.ptr->name);
  }
  QLOG_INFO(kPrint, 180) << "wait release component. count:" << alive;
}

int CTComponentFactory::Impl::QueryComponentInterface(const char* id, void** object) {
  auto found = components.find(id);
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
