#pragma once

#include <string>
#include <vector>

// Every line the library writes, after the time stamp, spelled once for the tests.
namespace quendel::test {

using Lines = std::vector<std::string>;

inline std::string PlainLine(const std::string& function, int line, const std::string& text) {
  return "[" + function + "][" + std::to_string(line) + "] " + text;
}
inline std::string TaggedLine(const std::string& function, int line, const std::string& text) {
  return PlainLine(function, line, "[ERROR " + function + "]: " + text);
}
inline const std::string kFactory = "framework::CTComponentFactory::Impl::";
inline const std::string kRegistry = kFactory + "RegistryComponent";
inline const std::string kRemove = kFactory + "RemoveComponent";
inline const std::string kReport = kFactory + "PrintNotReleaseComponent";

// XMap's refusal of a present or null key (shown empty); each SetValue form has its own line.
inline std::string MapRefusal(int at, const std::string& key) {
  return PlainLine("framework::XMap::Impl::SetValue", at, "XMap SetValue failed. found key:" + key);
}
inline std::string NoEntriesLine() {
  return TaggedLine(kRegistry, 126, "Get Component Inifo failed.");
}
inline std::string RefusedLine() {
  return PlainLine(kRegistry, 130, "component info is null or id is null.");
}
inline Lines DuplicateLines(const std::string& id) {
  return {PlainLine(kRegistry, 132, std::string(39, '+')),
          PlainLine(kRegistry, 135, "Already registry the component!!!!   id:" + id)};
}
inline Lines RegisteredLines(const std::string& name, const std::string& id,
                             const std::string& version, int type, const std::string& description) {
  return {PlainLine(kRegistry, 132, std::string(39, '+')),
          PlainLine(kRegistry, 142, "register new component. "),
          PlainLine(kRegistry, 143, "name:" + name),
          PlainLine(kRegistry, 144, "id:" + id),
          PlainLine(kRegistry, 145, "version:" + version),
          PlainLine(kRegistry, 146, "type:" + std::to_string(type)),
          PlainLine(kRegistry, 147, "description:" + description)};
}
inline std::string NotFoundLine(const std::string& id) {
  return PlainLine(kFactory + "CreateComponent", 118, "not found component. id:" + id);
}
inline std::string CreateFailedLine() {
  return TaggedLine(kFactory + "CreateComponent", 111, "CreateComponent failed!!!");
}
// An instance's last release; the first line is 19 em dashes of code page 936.
inline Lines ReleasedLines(const std::string& name, const std::string& id) {
  std::string dashes;
  for (int i = 0; i < 19; ++i) dashes += "\xA1\xAA";
  return {PlainLine(kRemove, 160, dashes), PlainLine(kRemove, 163, "release component. "),
          PlainLine(kRemove, 164, "name:" + name), PlainLine(kRemove, 165, "id:" + id)};
}
// The last release of an instance described by an id the factory never registered.
inline std::string UnregisteredReleaseLine(const std::string& id) {
  return PlainLine(kRemove, 169, "not found component. id:" + id);
}
// The factory's end: the first line, one per live instance, then their number.
inline std::string FactoryEndLine() {
  return PlainLine("framework::CTComponentFactory::~CTComponentFactory", 190,
                   "release component factory");
}
inline std::string WaitingLine(const std::string& id, const std::string& name) {
  return TaggedLine(kReport, 177, "wait release component id:" + id + ". name:" + name);
}
inline std::string WaitCountLine(std::size_t live) {
  return PlainLine(kReport, 180, "wait release component. count:" + std::to_string(live));
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

