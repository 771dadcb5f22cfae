#ifndef QUENDEL_TESTS_SUPPORT_LOG_LINES_H
#define QUENDEL_TESTS_SUPPORT_LOG_LINES_H

#include <string>
#include <vector>

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

// The factory's lines, each spelled once here.
using Lines = std::vector<std::string>;

inline std::string NoEntriesLine() {
  return TaggedLine(kRegistryFunction, 126, "Get Component Inifo failed.");
}
inline std::string RefusedLine() {
  return PlainLine(kRegistryFunction, 130, "component info is null or id is null.");
}
inline Lines DuplicateLines(const std::string& id) {
  return {PlainLine(kRegistryFunction, 132, std::string(39, '+')),
          PlainLine(kRegistryFunction, 135, "Already registry the component!!!!   id:" + id)};
}
inline Lines RegisteredLines(const std::string& name, const std::string& id,
                             const std::string& version, int type, const std::string& description) {
  const std::string& f = kRegistryFunction;
  return {PlainLine(f, 132, std::string(39, '+')),
          PlainLine(f, 142, "register new component. "),
          PlainLine(f, 143, "name:" + name),
          PlainLine(f, 144, "id:" + id),
          PlainLine(f, 145, "version:" + version),
          PlainLine(f, 146, "type:" + std::to_string(type)),
          PlainLine(f, 147, "description:" + description)};
}
inline std::string NotFoundLine(const std::string& id) {
  return PlainLine(kCreateFunction, 118, "not found component. id:" + id);
}
inline std::string CreateFailedLine() {
  return TaggedLine(kCreateFunction, 111, "CreateComponent failed!!!");
}
// An instance's last release; the first line is 19 em dashes of code page 936.
inline Lines ReleasedLines(const std::string& name, const std::string& id) {
  std::string dashes;
  for (int i = 0; i < 19; ++i) dashes += "\xA1\xAA";
  return {PlainLine(kRemoveFunction, 160, dashes),
          PlainLine(kRemoveFunction, 163, "release component. "),
          PlainLine(kRemoveFunction, 164, "name:" + name),
          PlainLine(kRemoveFunction, 165, "id:" + id)};
}
// The last release of an instance described by an id the factory never registered.
inline std::string UnregisteredReleaseLine(const std::string& id) {
  return PlainLine(kRemoveFunction, 169, "not found component. id:" + id);
}
// The factory's end: the first line, one per live instance, then their number.
inline std::string FactoryEndLine() {
  return PlainLine(kFactoryDestructor, 190, "release component factory");
}
inline std::string WaitingLine(const std::string& id, const std::string& name) {
  return TaggedLine(kReportFunction, 177, "wait release component id:" + id + ". name:" + name);
}
inline std::string WaitCountLine(std::size_t live) {
  return PlainLine(kReportFunction, 180, "wait release component. count:" + std::to_string(live));
}
inline std::string NullRefLine() {
  return TaggedLine("framework::RefComponentInterface", 216,
                    "RefComponentInterface ref is null!!!!");
}
inline std::string NoFactoryLine() {
  return TaggedLine("framework::CreateComponentFactory", 224,
                    "QueryInterface ComponentFactory failed!!!!");
}

}  // namespace quendel::test

#endif  // QUENDEL_TESTS_SUPPORT_LOG_LINES_H
