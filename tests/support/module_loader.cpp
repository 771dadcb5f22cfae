#include "support/module_loader.h"

#include <quendel/host.h>

namespace quendel::test {

namespace platform = framework::host::detail;  // the host kit's loader calls

std::string ProviderDir() { return QUENDEL_TEST_PROVIDER_DIR; }
std::string ProviderFile(const std::string& name) {
#if defined(_WIN32)
  return ProviderDir() + "/" + name + ".dll";
#else
  return ProviderDir() + "/" + name + ".so";
#endif
}

LoadedModule::LoadedModule(const std::string& name) : handle_(platform::Open(ProviderFile(name))) {
  if (handle_ == nullptr) error_ = platform::LoaderError();
}

LoadedModule::~LoadedModule() {
  if (handle_ != nullptr) platform::Close(handle_);
}

void* LoadedModule::Symbol(const char* name) const {
  return handle_ != nullptr ? platform::Symbol(handle_, name) : nullptr;
}

}  // namespace quendel::test
