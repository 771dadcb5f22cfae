#ifndef QUENDEL_TESTS_SUPPORT_MODULE_LOADER_H
#define QUENDEL_TESTS_SUPPORT_MODULE_LOADER_H

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

  // The address of an exported C symbol, or null.
  void* Symbol(const char* name) const;
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The file name of the test provider module NAME built by quendel_add_test_provider.
std::string ProviderPath(const std::string& name);

}  // namespace quendel::test

#endif  // QUENDEL_TESTS_SUPPORT_MODULE_LOADER_H
