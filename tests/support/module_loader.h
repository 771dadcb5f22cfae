#pragma once

#include <string>

namespace quendel::test {

// The folder of the test provider modules (quendel_add_test_provider), and the file of one.
std::string ProviderDir();
std::string ProviderFile(const std::string& name);

// A test provider module loaded at run time by its name, the way a host loads a provider;
// unloaded on destruction.
class LoadedModule {
 public:
  explicit LoadedModule(const std::string& name);
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();
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

}  // namespace quendel::test
