#include "components/component_factory_impl.h"
#include "components/component_unknown_impl.h"
#include "logging/log_message.h"
#include "quendel/component_factory.h"

namespace framework {

CTComponentUnknown::Impl::Impl(std::function<void()> onRelease, CTComponentFactory* factory,
                               CTUnknown* owner)
    : SharedCount(std::move(onRelease)), factory(factory), owner(owner) {}

CTComponentUnknown::Impl::~Impl() = default;

CTComponentUnknown::CTComponentUnknown(CTUnknown* owner, CTComponentFactory* factory)
    : impl(nullptr), info(nullptr) {
  // With no outer object the delegating face is the controlling CTUnknown: both interfaces
  // have the same slots, so the pointer is taken over without adjustment.
  CTUnknown* controlling =
      owner != nullptr ? owner : reinterpret_cast<CTUnknown*>(static_cast<CTDelegatUnknown*>(this));
  // The last release tells the factory that made this instance, then deletes it through the
  // virtual destructor so the most derived object is freed by its own module.
  impl = new Impl(
      [this] {
        if (impl != nullptr && impl->factory != nullptr && info != nullptr) {
          impl->factory->impl->RemoveComponent(info->id, this);
        }
        delete this;
      },
      factory, controlling);
}

CTComponentUnknown::~CTComponentUnknown() {
  delete impl;
  impl = nullptr;
}

int CTComponentUnknown::DelegatQueryInterface(const char*, void**) { return -1; }

int CTComponentUnknown::DelegatAddRef() {
  if (impl == nullptr) return -1;
  return impl->AddShared();
}

int CTComponentUnknown::DelegatRelease() {
  if (impl == nullptr) return -1;
  // The last release of an instance a factory made is decided under the factory's lock, so
  // that the factory never hands the instance out again once it is dying.
  if (impl->factory != nullptr && info != nullptr) {
    if (!impl->ReleaseUnlessLast()) impl->factory->impl->ReleaseInstance(*this);
  } else {
    impl->ReleaseShared();
  }
  return 0;
}

void CTComponentUnknown::SetInfo(const ComponentInfo* componentInfo) { info = componentInfo; }

CTUnknown* CTComponentUnknown::Owner() { return impl->owner; }

namespace {
// Where the line of a null reference says it comes from (fixed parts of the output).
constexpr const char* kRefFunction = "framework::RefComponentInterface";
constexpr int kNullRefLine = 216;
}  // namespace

int RefComponentInterface(CTUnknown* ref, void** object) {
  if (ref == nullptr) {
    QLOG_ERROR(kRefFunction, kNullRefLine) << "RefComponentInterface ref is null!!!!";
    if (object != nullptr) *object = nullptr;
    return -1;
  }
  if (object == nullptr) return -1;
  *object = ref;
  ref->AddRef();
  return 0;
}

}  // namespace framework
