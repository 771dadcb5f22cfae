// One factory against a model of its registry, live instances, counts, owned descriptions and
// log: random registrations, creations, queries and releases, then the factory's end.
#include <quendel/framework.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/log_lines.h"
#include "support/property.h"

using framework::ComponentInfo;
using framework::CTComponentFactory;
namespace qt = quendel::test;

namespace {

// Ids that differ in case only, the empty id and the factory's own.
const char* const kIds[] = {"m.alpha", "m.beta", "M.alpha", "", framework::kComponentFactoryId};
const char* const kTexts[] = {"alpha", "", "two words", "\xA1\xAA"};

struct Census {
  int constructed = 0, destroyed = 0, lastDestroyed = 0, creatorCalls = 0, infosDeleted = 0;
} census;

// Answered by every instance that answers at all; no component is registered under its id.
struct IModel : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IModel, "m.extra");
  virtual int Serial() = 0;
};

// Silent instances answer no id, not even their own.
struct Part final : framework::TComponent<IModel> {
  Part(CTComponentFactory* factory, bool answers) : TComponent(factory), answers(answers) {}
  ~Part() override { census.lastDestroyed = (++census.destroyed, serial); }
  int DelegatQueryInterface(const char* id, void** object) override {
    if (answers && std::strcmp(id, info->id) == 0) {
      return framework::RefComponentInterface(static_cast<IModel*>(this), object);
    }
    return answers ? TComponent::DelegatQueryInterface(id, object) : -1;
  }
  int Serial() override { return serial; }
  const bool answers;
  const int serial = ++census.constructed;
};

enum Kind { kAnswers, kSilent, kNull, kNone };  // what a description's creator does
template <Kind kind>
framework::CTComponentUnknown* Create(CTComponentFactory* factory) {
  ++census.creatorCalls;
  return kind == kNull ? nullptr : new Part(factory, kind == kAnswers);
}
constexpr framework::ComponentCreator kCreators[] = {&Create<kAnswers>, &Create<kSilent>,
                                                     &Create<kNull>, nullptr};

// Written by hand: the factory deletes it only if it registered it.
struct HandInfo : ComponentInfo {
  ~HandInfo() override { ++census.infosDeleted; }
};

framework::TWrap<ComponentInfo>* offered = nullptr;  // what the registry function lists next
std::size_t offeredCount = 0;
void Offer(framework::TWrap<ComponentInfo>** entries, std::size_t* count) {
  *entries = offered;
  *count = offeredCount;
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

struct Entry {
  std::string name;
  Kind kind;
  int serial = 0, count = 0;  // of the live instance; serial 0 for none
};

struct Model {
  explicit Model(qt::Bytes& input) : in(input) {}
  qt::Bytes& in;
  qt::LogCapture log;
  CTComponentFactory* factory = nullptr;
  int factoryRefs = 1, handRegistered = 0, ownDeletes = 0;
  std::map<std::string, Entry> registry;
  std::vector<std::pair<IModel*, std::string>> held;

  void Run() {
    const bool releaseAll = in.Below(2) == 0;  // before the factory's end, or leave them
    MODEL_CHECK(framework::CreateComponentFactory(&factory) == 0 && factory != nullptr);
    Expect(Register());
    static constexpr qt::Lines (Model::*kSteps[])() = {
        &Model::Register, &Model::Create, &Model::Create, &Model::Create, &Model::Release,
        &Model::AddRef,   &Model::Query,  &Model::Query,  &Model::Stray,  &Model::NullArguments};
    for (int step = 0; step < 200 && in.More(); ++step) {
      Expect((this->*kSteps[in.Below(std::size(kSteps))])());
    }
    while (releaseAll && !held.empty()) Expect(Release(0));
    End();
  }

  const char* PickId() { return in.Below(6) < 5 ? kIds[in.Below(5)] : nullptr; }
  const char* PickText() { return in.Below(5) < 4 ? kTexts[in.Below(4)] : nullptr; }

  void Expect(const qt::Lines& expected) {
    const qt::Lines actual = log.Texts();
    log.Clear();
    MODEL_CHECK_MSG(actual == expected, "first line: " + (actual.empty() ? "" : actual[0]));
  }

  qt::Lines Register() {
    if (in.Below(16) == 0) {  // no function: lists nothing
      MODEL_CHECK(factory->RegistryComponent(nullptr) == 0);
      return {qt::NoEntriesLine()};
    }
    const std::size_t n = in.Below(6);
    framework::ComponentDescription described[6];
    Kind kinds[6];
    for (std::size_t i = 0; i < n; ++i) {
      kinds[i] = static_cast<Kind>(std::max(0, static_cast<int>(in.Below(8)) - 4));
      described[i] = {PickText(), PickId(),
                      PickText(), static_cast<std::int8_t>(in.Byte()) << 24,
                      PickText(), kCreators[kinds[i]]};
    }
    static ComponentInfo sentinel;
    framework::TWrap<ComponentInfo> entries[7];
    entries[n].ptr = &sentinel;
    framework::ListComponents(described, n, entries);  // the helpers' records
    MODEL_CHECK(entries[n].ptr == &sentinel);
    qt::Lines expected;
    std::vector<ComponentInfo*> ours;  // refused records written by hand stay ours
    for (std::size_t i = 0; i < n; ++i) {
      const framework::ComponentDescription& d = described[i];
      const std::uint32_t by = in.Below(4);  // 0: a null entry, 1: written by hand
      if (by <= 1) {
        ComponentInfo* helped = entries[i].ptr;
        entries[i].ptr = by == 1 ? new HandInfo : nullptr;
        if (by == 1) *entries[i].ptr = *helped;
        delete helped;
      }
      const bool valid = entries[i].ptr != nullptr && d.id != nullptr;
      const bool fresh = valid && registry.count(d.id) == 0;
      if (by == 1 && !fresh) ours.push_back(entries[i].ptr);
      const qt::Lines lines = !valid  ? qt::Lines{qt::RefusedLine()}
                              : fresh ? qt::RegisteredLines(Text(d.name), d.id, Text(d.version),
                                                            d.type, Text(d.description))
                                      : qt::DuplicateLines(d.id);
      expected.insert(expected.end(), lines.begin(), lines.end());
      if (fresh) registry[d.id] = {Text(d.name), kinds[i]};
      handRegistered += by == 1 && fresh;
    }
    offered = entries;
    offeredCount = n;
    MODEL_CHECK(factory->RegistryComponent(&Offer) == 0);
    ownDeletes += static_cast<int>(ours.size());
    for (ComponentInfo* info : ours) delete info;
    return expected;
  }

  qt::Lines Create() {
    const char* id = PickId();
    const bool noOut = in.Below(8) == 0;
    void* object = &held;
    const Census before = census;
    const int result = factory->CreateComponent(id, noOut ? nullptr : &object);
    if (id == nullptr || noOut || registry.count(id) == 0) {
      MODEL_CHECK(result == -1 && object == &held && census.creatorCalls == before.creatorCalls);
      return id == nullptr || noOut ? qt::Lines{} : qt::Lines{qt::NotFoundLine(id)};
    }
    Entry& entry = registry[id];
    const bool make = entry.serial == 0;
    MODEL_CHECK(census.creatorCalls == before.creatorCalls + (make && entry.kind != kNone));
    if (make && entry.kind <= kSilent) entry.serial = before.constructed + 1;
    const bool answered = entry.serial != 0 && entry.kind == kAnswers;
    MODEL_CHECK(result == (answered ? 0 : -1) && (result == 0) != (object == &held));
    MODEL_CHECK(census.destroyed == before.destroyed);
    if (answered) {
      MODEL_CHECK(static_cast<IModel*>(object)->Serial() == entry.serial);
      held.emplace_back(static_cast<IModel*>(object), id);
      ++entry.count;
    }
    return entry.serial == 0 ? qt::Lines{qt::CreateFailedLine()} : qt::Lines{};
  }

  qt::Lines Release() { return held.empty() ? qt::Lines{} : Release(in.Below(held.size())); }
  qt::Lines Release(std::size_t index) {
    const auto [face, id] = held[index];
    held.erase(held.begin() + static_cast<std::ptrdiff_t>(index));
    Entry& entry = registry[id];
    const int destroyed = census.destroyed;
    MODEL_CHECK(face->Release() == 0);
    const bool last = --entry.count == 0;
    MODEL_CHECK(census.destroyed == destroyed + last);
    MODEL_CHECK(!last || census.lastDestroyed == std::exchange(entry.serial, 0));
    return last ? qt::ReleasedLines(entry.name, id) : qt::Lines{};
  }

  qt::Lines AddRef() {
    if (held.empty()) return {};
    const auto chosen = held[in.Below(held.size())];
    MODEL_CHECK(chosen.first->AddRef() == ++registry[chosen.second].count);
    held.push_back(chosen);
    return {};
  }

  // Through the factory, which answers its own id and asks live instances only, or through a
  // held instance; instances answer their own id and IModel's.
  qt::Lines Query() {
    const std::uint32_t pick = in.Below(8);
    const char* id = pick == 0 ? IModel::kInterfaceId : pick == 1 ? "m.unknown" : PickId();
    void* object = &held;
    void** out = in.Below(8) == 0 ? nullptr : &object;
    const std::size_t at = in.Below(held.size() + 1);  // held.size(): the factory
    const bool viaFactory = at == held.size();
    if (!viaFactory && id == nullptr) return {};  // components are never asked for a null id
    const int result =
        viaFactory ? factory->QueryInterface(id, out) : held[at].first->QueryInterface(id, out);
    if (viaFactory && out && id && std::strcmp(id, framework::kComponentFactoryId) == 0) {
      MODEL_CHECK(result == 0 && object == static_cast<void*>(factory));
      return ++factoryRefs, qt::Lines{};
    }
    const bool extra = id != nullptr && std::strcmp(id, IModel::kInterfaceId) == 0;
    std::vector<std::string> may;  // entries whose instance may answer
    for (const auto& [key, entry] : registry) {
      if (out == nullptr || id == nullptr || entry.serial == 0 || entry.kind != kAnswers) continue;
      if (viaFactory ? key == id || extra : key == held[at].second && (key == id || extra)) {
        may.push_back(key);
      }
    }
    MODEL_CHECK(result == (may.empty() ? -1 : 0) && (result == 0) != (object == &held));
    if (result != 0) return {};
    auto* face = static_cast<IModel*>(object);
    auto answered = std::find_if(may.begin(), may.end(), [&](const std::string& key) {
      return registry[key].serial == face->Serial();
    });
    MODEL_CHECK(answered != may.end());
    ++registry[*answered].count;
    held.emplace_back(face, *answered);
    return {};
  }

  // A component made outside a creator, with or without the factory, described by SetInfo:
  // its last release is logged when made with the factory, and forgets no live instance.
  qt::Lines Stray() {
    ComponentInfo info;
    info.id = kIds[in.Below(5)];
    const bool withFactory = in.Below(2) == 0;
    auto* part = new Part(withFactory ? factory : nullptr, true);
    part->SetInfo(&info);
    const int refs = static_cast<int>(in.Below(3)), destroyed = census.destroyed;
    for (int i = 1; i <= refs; ++i) MODEL_CHECK(part->DelegatAddRef() == i);
    for (int i = 1; i < refs; ++i) MODEL_CHECK(part->DelegatRelease() == 0);
    MODEL_CHECK(census.destroyed == destroyed && part->DelegatRelease() == 0);
    MODEL_CHECK(census.destroyed == destroyed + 1 && census.lastDestroyed == census.constructed);
    auto found = registry.find(info.id);
    if (!withFactory) return {};
    return found == registry.end() ? qt::Lines{qt::UnregisteredReleaseLine(info.id)}
                                   : qt::ReleasedLines(found->second.name, info.id);
  }

  qt::Lines NullArguments() {
    void* object = &held;
    switch (in.Below(3)) {
      case 0:
        MODEL_CHECK(framework::CreateComponentFactory(nullptr) == -1);
        return {qt::NoFactoryLine()};
      case 1:
        MODEL_CHECK(framework::RefComponentInterface(nullptr, &object) == -1 && !object);
        return {qt::NullRefLine()};
    }
    MODEL_CHECK(held.empty() || framework::RefComponentInterface(held[0].first, nullptr) == -1);
    return {};
  }

  void End() {
    for (; factoryRefs > 1; --factoryRefs) MODEL_CHECK(factory->Release() == 0);
    qt::Lines expected;
    for (const auto& [id, entry] : registry) {
      if (entry.serial != 0) expected.push_back(qt::WaitingLine(id, entry.name));
    }
    const std::size_t live = expected.size();
    const int destroyed = census.destroyed;
    MODEL_CHECK(census.infosDeleted == ownDeletes && factory->Release() == 0);
    // The live instances are reported in the registry's own order.
    qt::Lines actual = log.Texts();
    MODEL_CHECK(actual.size() == live + 2);
    std::sort(actual.begin() + 1, actual.end() - 1);
    std::sort(expected.begin(), expected.end());
    expected.insert(expected.begin(), qt::FactoryEndLine());
    expected.push_back(qt::WaitCountLine(live));
    MODEL_CHECK(actual == expected && census.destroyed == destroyed + static_cast<int>(live));
    MODEL_CHECK(census.constructed == census.destroyed);
    MODEL_CHECK(census.infosDeleted == ownDeletes + handRegistered);
  }
};

void RunFactoryModel(qt::Bytes& input) {
  census = {};
  Model(input).Run();
}

}  // namespace

QUENDEL_PROPERTY_TEST(FactoryModel, RunFactoryModel);
