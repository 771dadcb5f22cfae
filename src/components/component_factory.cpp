#include <cstring>
#include <string_view>
#include <vector>

#include "components/component_factory_impl.h"
#include "components/component_unknown_impl.h"
#include "components/held_records.h"
#include "components/live_factories.h"
#include "logging/log_message.h"

namespace framework {
namespace {

// Where the factory's own lines say they come from (fixed parts of the output).
constexpr const char* kDestructor = "framework::CTComponentFactory::~CTComponentFactory";
constexpr int kDestructorLine = 190;
constexpr const char* kCreateFactory = "framework::CreateComponentFactory";
constexpr int kCreateFactoryLine = 224;

}  // namespace

CTComponentFactory::CTComponentFactory()
    : CTUnknown(), CTComponentUnknown(nullptr, nullptr), impl(new Impl) {
  JoinLiveFactories(impl);
}

CTComponentFactory::~CTComponentFactory() {
  QLOG_INFO(kDestructor, kDestructorLine) << "release component factory";
  if (impl != nullptr) {
    LeaveLiveFactories(impl);
    impl->PrintNotReleaseComponent();
    // Newest first, so that a component releases what it uses (made before it) before that
    // is destroyed. Re-read after each: destroying one may release others on the way.
    while (CTComponentUnknown* instance = impl->TakeNewest()) {
      // Destroyed directly: a release it gets meanwhile (a cycle) must not run another end.
      CTComponentUnknown::Impl::Of(*instance)->Retire();
      delete instance;
    }
    delete impl;  // deletes every registered description
    impl = nullptr;
  }
}

int CTComponentFactory::QueryInterface(const char* id, void** object) {
  return Owner()->QueryInterface(id, object);
}

int CTComponentFactory::AddRef() { return Owner()->AddRef(); }

int CTComponentFactory::Release() { return Owner()->Release(); }

int CTComponentFactory::DelegatQueryInterface(const char* id, void** object) {
  if (id == nullptr || object == nullptr) return -1;
  if (std::strcmp(id, kComponentFactoryId) == 0) {
    return RefComponentInterface(static_cast<CTUnknown*>(this), object);
  }
  return impl->QueryComponentInterface(id, object);
}

int CTComponentFactory::RegistryComponent(const ComponentRegistryFunc& registry) {
  return impl->RegistryComponent(registry);
}

int CTComponentFactory::RegistryComponentMatching(const ComponentRegistryFunc& registry,
                                                  const char* const* ids, std::size_t count) {
  if (ids == nullptr && count != 0) return -1;
  std::vector<std::string_view> expected;
  for (std::size_t i = 0; i < count; ++i) expected.emplace_back(ids[i] != nullptr ? ids[i] : "");
  return impl->RegistryComponent(registry, &expected);
}

int CTComponentFactory::SetResolver(ComponentResolver resolver, void* context) {
  return impl->SetResolver(resolver, context);
}

int CTComponentFactory::CreateComponent(const char* id, void** object) {
  if (id == nullptr || object == nullptr) return -1;
  return impl->CreateComponent(id, object, this);
}

void CTComponentFactory::RemoveComponent(const char* id) { impl->RemoveComponent(id, nullptr); }

namespace {

// Descriptions a factory let go, deleted by their own code with no lock held.
void DeleteForgotten(const std::vector<ComponentInfo*>& forgotten) {
  for (ComponentInfo* info : forgotten) {
    ForgetRecord(info);
    delete info;
  }
}

}  // namespace

int CTComponentFactory::ForgetComponents(const ComponentRegistryFunc& registry) {
  std::vector<ComponentInfo*> forgotten;
  const int result = impl->Forget(registry, &forgotten);
  DeleteForgotten(forgotten);
  return result;
}

std::size_t ComponentsRegisteredBy(ComponentRegistryFunc registry) {
  std::size_t number = 0;
  VisitLiveFactories(
      [&](CTComponentFactory::Impl& factory) { number += factory.CountFrom(registry); });
  return number;
}

int ForgetComponentsEverywhere(ComponentRegistryFunc registry) {
  std::vector<ComponentInfo*> forgotten;
  int result = 0;
  VisitLiveFactories([&](CTComponentFactory::Impl& factory) {
    if (factory.Forget(registry, &forgotten) != 0) result = -1;
  });
  DeleteForgotten(forgotten);
  return result;
}

int CreateComponentFactory(CTComponentFactory** factory) {
  if (factory == nullptr) {
    // Nowhere to put the factory: make none rather than leak one.
    QLOG_ERROR(kCreateFactory, kCreateFactoryLine) << "QueryInterface ComponentFactory failed!!!!";
    return -1;
  }
  auto* created = new CTComponentFactory;
  const int result =
      created->DelegatQueryInterface(kComponentFactoryId, reinterpret_cast<void**>(factory));
  if (result < 0) {
    QLOG_ERROR(kCreateFactory, kCreateFactoryLine) << "QueryInterface ComponentFactory failed!!!!";
    delete created;
  }
  return result;
}

}  // namespace framework
