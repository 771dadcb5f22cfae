#pragma once

#include <string>

namespace quendel::test {

// A module loaded at run time, the way a host loads a provider; unloaded on destruction.
class LoadedModule {
 public:
  explicit LoadedModule(const std::string& path);
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();
  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  // An exported C symbol, or null.
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* Symbol(const char* name) const;
  void* handle_ = nullptr;
  std::string error_;
};

// The file of the test provider module NAME built by quendel_add_test_provider.
std::string ProviderPath(const std::string& name);

}  // namespace quendel::test
