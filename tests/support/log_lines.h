#pragma once

#include <string>
#include <vector>

// Every line the library writes, after the time stamp, spelled once for the tests.
namespace quendel::test {

using Lines = std::vector<std::string>;

inline std::string Plain(const std::string& function, int line, const std::string& text) {
  return "[" + function + "][" + std::to_string(line) + "] " + text;
}
inline std::string Tagged(const std::string& function, int line, const std::string& text) {
  return Plain(function, line, "[ERROR " + function + "]: " + text);
}
inline const std::string kFactory = "framework::CTComponentFactory::Impl::";
inline const std::string kRegistry = kFactory + "RegistryComponent";
inline const std::string kRemove = kFactory + "RemoveComponent";
inline const std::string kReport = kFactory + "PrintNotReleaseComponent";

// XMap's refusal of a present or null key (shown empty); each SetValue form has its own line.
inline std::string MapRefusal(int at, const std::string& key) {
  return Plain("framework::XMap::Impl::SetValue", at, "XMap SetValue failed. found key:" + key);
}
inline const std::string kNoEntriesLine = Tagged(kRegistry, 126, "Get Component Inifo failed.");
inline const std::string kRefusedLine =
    Plain(kRegistry, 130, "component info is null or id is null.");
inline const std::string kRegistryRule = Plain(kRegistry, 132, std::string(39, '+'));
inline Lines DuplicateLines(const std::string& id) {
  return {kRegistryRule, Plain(kRegistry, 135, "Already registry the component!!!!   id:" + id)};
}
inline Lines RegisteredLines(const std::string& name, const std::string& id,
                             const std::string& version, int type, const std::string& description) {
  Lines lines = {kRegistryRule, Plain(kRegistry, 142, "register new component. ")};
  for (const std::string& field : {"name:" + name, "id:" + id, "version:" + version,
                                   "type:" + std::to_string(type), "description:" + description})
    lines.push_back(Plain(kRegistry, 141 + static_cast<int>(lines.size()), field));  // 143...147
  return lines;
}
inline std::string NotFoundLine(const std::string& id) {
  return Plain(kFactory + "CreateComponent", 118, "not found component. id:" + id);
}
inline const std::string kCreateFailedLine =
    Tagged(kFactory + "CreateComponent", 111, "CreateComponent failed!!!");
// An instance's last release; the first line is 19 em dashes of code page 936.
inline Lines ReleasedLines(const std::string& name, const std::string& id) {
  std::string dashes;
  for (int i = 0; i < 19; ++i) dashes += "\xA1\xAA";
  return {Plain(kRemove, 160, dashes), Plain(kRemove, 163, "release component. "),
          Plain(kRemove, 164, "name:" + name), Plain(kRemove, 165, "id:" + id)};
}
// The last release of an instance described by an id the factory never registered.
inline std::string UnregisteredReleaseLine(const std::string& id) {
  return Plain(kRemove, 169, "not found component. id:" + id);
}
// The factory's end: the first line, one per live instance, then their number.
inline const std::string kFactoryEndLine =
    Plain("framework::CTComponentFactory::~CTComponentFactory", 190, "release component factory");
inline std::string WaitingLine(const std::string& id, const std::string& name) {
  return Tagged(kReport, 177, "wait release component id:" + id + ". name:" + name);
}
inline std::string WaitCountLine(std::size_t live) {
  return Plain(kReport, 180, "wait release component. count:" + std::to_string(live));
}
inline const std::string kNullRefLine =
    Tagged("framework::RefComponentInterface", 216, "RefComponentInterface ref is null!!!!");
inline const std::string kNoFactoryLine =
    Tagged("framework::CreateComponentFactory", 224, "QueryInterface ComponentFactory failed!!!!");

}  // namespace quendel::test
