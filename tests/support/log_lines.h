#ifndef QUENDEL_TESTS_SUPPORT_LOG_LINES_H
#define QUENDEL_TESTS_SUPPORT_LOG_LINES_H

#include <string>

// The lines the library's statements write after the time stamp, for tests and fuzzers to
// compare against.
namespace quendel::test {

inline const std::string kRegistryFunction =
    "framework::CTComponentFactory::Impl::RegistryComponent";
inline const std::string kCreateFunction = "framework::CTComponentFactory::Impl::CreateComponent";
inline const std::string kRemoveFunction = "framework::CTComponentFactory::Impl::RemoveComponent";
inline const std::string kReportFunction =
    "framework::CTComponentFactory::Impl::PrintNotReleaseComponent";
inline const std::string kFactoryDestructor = "framework::CTComponentFactory::~CTComponentFactory";

inline std::string PlainLine(const std::string& function, int line, const std::string& text) {
  return "[" + function + "][" + std::to_string(line) + "] " + text;
}
inline std::string TaggedLine(const std::string& function, int line, const std::string& text) {
  return PlainLine(function, line, "[ERROR " + function + "]: " + text);
}
// XMap's refusal of a present or null key (shown empty); each SetValue form has its own line.
inline std::string MapRefusal(int at, const std::string& key) {
  return PlainLine("framework::XMap::Impl::SetValue", at, "XMap SetValue failed. found key:" + key);
}

}  // namespace quendel::test

#endif  // QUENDEL_TESTS_SUPPORT_LOG_LINES_H
