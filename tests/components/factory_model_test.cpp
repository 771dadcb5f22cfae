// One factory against a model of its registry, live instances, counts, owned records and log.
#include <quendel/framework.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
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
  int constructed = 0, destroyed = 0, creatorCalls = 0, infosDeleted = 0;
  std::vector<std::string> destroyedIds;  // in the order they went
} census;

// Answered by every instance that answers at all; no component is registered under its id.
struct IModel : framework::CTUnknown {
  QUENDEL_INTERFACE_ID(IModel, "m.extra");
};

struct Part final : framework::TComponent<IModel> {  // silent parts answer no id at all
  Part(CTComponentFactory* f, bool a) : TComponent(f), factory(f), answers(a) {
    ++census.constructed;
  }
  ~Part() override {
    ++census.destroyed;
    census.destroyedIds.emplace_back(info != nullptr && info->id != nullptr ? info->id : "");
  }
  int DelegatQueryInterface(const char* id, void** object) override {
    void* none = nullptr;  // asked for IModel's id under the factory's lock, it uses the factory
    if (factory && !std::strcmp(id, IModel::kInterfaceId)) factory->QueryInterface("m.no", &none);
    if (!answers || none != nullptr) return -1;
    if (std::strcmp(id, info->id) != 0) return TComponent::DelegatQueryInterface(id, object);
    return framework::RefComponentInterface(static_cast<IModel*>(this), object);
  }
  CTComponentFactory* const factory;
  const bool answers;
};

// What a description's creator does; a foreign one makes its part for no factory.
enum Kind { kAnswers, kSilent, kNull, kNone, kForeign };
template <Kind kind>
framework::CTComponentUnknown* Create(CTComponentFactory* factory) {
  ++census.creatorCalls;
  if (kind == kNull) return nullptr;
  return new Part(kind == kForeign ? nullptr : factory, kind != kSilent);
}
constexpr framework::ComponentCreator kCreators[] = {&Create<kAnswers>, &Create<kSilent>,
                                                     &Create<kNull>, nullptr, &Create<kForeign>};

struct HandInfo : ComponentInfo {  // the factory deletes it only if it registered it
  ~HandInfo() override { ++census.infosDeleted; }
};

framework::TWrap<ComponentInfo> offered[7];  // what the registry function lists next
std::size_t offeredCount = 0;
void Offer(framework::TWrap<ComponentInfo>** entries, std::size_t* count) {
  *entries = offered, *count = offeredCount;
}
// The same list from a second function: each entry remembers which function listed it.
void OfferToo(framework::TWrap<ComponentInfo>** entries, std::size_t* count) {
  Offer(entries, count);
}
constexpr framework::ComponentRegistryFunc kSources[] = {&Offer, &OfferToo};

std::string Text(const char* text) { return text != nullptr ? text : ""; }

struct Entry {
  std::string name;
  Kind kind;
  bool live = false;       // an instance is recorded
  IModel* face = nullptr;  // its answer, once it answered
  int count = 0;           // the host's references to it
  int born = 0;            // when the live instance was made
  int source = 0;          // which of kSources listed it
  bool hand = false;       // its record is written by hand
};

struct Model {
  explicit Model(qt::Bytes& input) : in(input) {}
  qt::Bytes& in;
  qt::LogCapture log;
  CTComponentFactory* factory = nullptr;
  int handRegistered = 0, ownDeletes = 0, births = 0;
  std::map<std::string, Entry> registry;
  std::vector<ComponentInfo*> lastRegistered;  // the records the last Register handed over

  void Run() {
    const bool releaseAll = in.Below(2) == 0;  // before the factory's end, or leave them
    void* object = &registry;
    MODEL_CHECK(framework::CreateComponentFactory(&factory) == 0 && factory != nullptr);
    MODEL_CHECK(framework::CreateComponentFactory(nullptr) == -1);
    MODEL_CHECK(framework::RefComponentInterface(nullptr, &object) == -1 && object == nullptr);
    Expect({qt::kNoFactoryLine, qt::kNullRefLine});
    Expect(Register());
    static constexpr qt::Lines (Model::*kSteps[])() = {
        &Model::Register, &Model::Create,  &Model::Create, &Model::Hold,  &Model::Hold,
        &Model::Query,    &Model::Reoffer, &Model::Stray,  &Model::Forget};
    for (int step = 0; step < 200 && in.More(); ++step)
      Expect((this->*kSteps[in.Below(std::size(kSteps))])());
    while (releaseAll && Held() != registry.end()) Expect(Hold());
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
    const int source = static_cast<int>(in.Below(2));
    if (in.Below(16) == 0) {  // no function: lists nothing
      MODEL_CHECK(factory->RegistryComponent(nullptr) == 0);
      return {qt::kNoEntriesLine};
    }
    const std::size_t n = in.Below(6);
    framework::ComponentDescription described[6];
    Kind kinds[6];
    for (std::size_t i = 0; i < n; ++i) {
      kinds[i] = static_cast<Kind>(std::max(0, static_cast<int>(in.Below(9)) - 4));
      described[i] = {PickText(), PickId(),
                      PickText(), static_cast<std::int8_t>(in.Byte()) * (1 << 24),
                      PickText(), kCreators[kinds[i]]};
    }
    static ComponentInfo sentinel;
    offered[offeredCount = n].ptr = &sentinel;
    framework::ListComponents(described, n, offered);  // the helpers' records
    MODEL_CHECK(offered[n].ptr == &sentinel);
    qt::Lines expected;
    std::vector<std::unique_ptr<ComponentInfo>> ours;  // refused records written by hand
    lastRegistered.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const framework::ComponentDescription& d = described[i];
      const std::uint32_t by = in.Below(4);  // 0: a null entry, 1: written by hand
      if (by <= 1) {
        std::unique_ptr<ComponentInfo> helped(offered[i].ptr);
        if ((offered[i].ptr = by == 1 ? new HandInfo : nullptr)) *offered[i].ptr = *helped;
      }
      const bool valid = offered[i].ptr != nullptr && d.id != nullptr,
                 fresh = valid && registry.count(d.id) == 0;
      if (by == 1 && !fresh) ours.emplace_back(offered[i].ptr);
      const qt::Lines lines = !valid  ? qt::Lines{qt::kRefusedLine}
                              : fresh ? qt::RegisteredLines(Text(d.name), d.id, Text(d.version),
                                                            d.type, Text(d.description))
                                      : qt::DuplicateLines(d.id);
      expected.insert(expected.end(), lines.begin(), lines.end());
      if (fresh) registry[d.id] = {Text(d.name), kinds[i]};
      if (fresh) registry[d.id].source = source;
      if (fresh) registry[d.id].hand = by == 1;
      if (fresh) lastRegistered.push_back(offered[i].ptr);
      handRegistered += by == 1 && fresh;
    }
    MODEL_CHECK(factory->RegistryComponent(kSources[source]) == 0);
    ownDeletes += static_cast<int>(ours.size());
    return expected;
  }

  qt::Lines Create() {
    const char* id = PickId();
    const bool noOut = in.Below(8) == 0;
    void* object = &registry;
    const Census before = census;
    const int result = factory->CreateComponent(id, noOut ? nullptr : &object);
    auto found = id != nullptr ? registry.find(id) : registry.end();
    if (id == nullptr || noOut || found == registry.end()) {
      MODEL_CHECK(result == -1 && object == &registry && census.constructed == before.constructed);
      return id == nullptr || noOut ? qt::Lines{} : qt::Lines{qt::NotFoundLine(id)};
    }
    Entry& entry = found->second;
    const bool make = !entry.live, answered = (entry.live = entry.live || entry.kind <= kSilent) &&
                                              entry.kind == kAnswers;
    const bool built = make && (entry.live || entry.kind == kForeign);
    MODEL_CHECK(census.creatorCalls == before.creatorCalls + (make && entry.kind != kNone));
    MODEL_CHECK(census.constructed == before.constructed + built);
    MODEL_CHECK(census.destroyed == before.destroyed + (built && !entry.live));  // refused
    if (make && entry.live) entry.born = ++births;
    MODEL_CHECK(result == (answered ? 0 : -1) && (result == 0) != (object == &registry));
    if (answered && make) entry.face = static_cast<IModel*>(object);
    MODEL_CHECK(!answered || object == entry.face);
    entry.count += answered;
    return entry.live ? qt::Lines{} : qt::Lines{qt::kCreateFailedLine};
  }

  std::map<std::string, Entry>::iterator Held() {  // an entry whose instance the host holds
    std::vector<std::map<std::string, Entry>::iterator> held;
    for (auto it = registry.begin(); it != registry.end(); ++it)
      if (it->second.count > 0) held.push_back(it);
    return held.empty() ? registry.end() : held[in.Below(held.size())];
  }

  qt::Lines Hold() {  // one reference more or less to a held instance
    const auto held = Held();
    if (held == registry.end()) return {};
    Entry& entry = held->second;
    if (in.Below(3) == 2) {  // exhausted input releases
      MODEL_CHECK(framework::RefComponentInterface(entry.face, nullptr) == -1);
      MODEL_CHECK(entry.face->AddRef() == ++entry.count);
      return {};
    }
    const int destroyed = census.destroyed;
    MODEL_CHECK(entry.face->Release() == 0);
    entry.live = --entry.count > 0;
    MODEL_CHECK(census.destroyed == destroyed + !entry.live);
    return entry.live ? qt::Lines{} : qt::ReleasedLines(entry.name, held->first);
  }

  // The factory asks live instances only: the one of the id, or any for IModel's.
  qt::Lines Query() {
    const std::uint32_t pick = in.Below(8);
    const char* id = pick == 0 ? IModel::kInterfaceId : pick == 1 ? "m.unknown" : PickId();
    void* object = &registry;
    void** out = in.Below(8) == 0 ? nullptr : &object;
    if (out && id && std::strcmp(id, framework::kComponentFactoryId) == 0) return {};
    const int result = factory->QueryInterface(id, out);
    const bool extra = id != nullptr && std::strcmp(id, IModel::kInterfaceId) == 0;
    bool any = false;
    for (auto& [key, entry] : registry) {
      const bool may = out && id && entry.count > 0 && (extra || key == id);
      if (may && object == entry.face) {
        MODEL_CHECK(result == 0);
        return ++entry.count, qt::Lines{};
      }
      any = any || may;
    }
    MODEL_CHECK(result == -1 && !any && object == &registry);
    return {};
  }

  // The records last handed over, listed again to this factory or to another: refused as
  // duplicates, and deleted by neither.
  qt::Lines Reoffer() {
    const long liveRecords = framework::detail::liveObjects.load();
    const int infosDeleted = census.infosDeleted;
    offeredCount = lastRegistered.size();
    for (std::size_t i = 0; i < offeredCount; ++i) offered[i].ptr = lastRegistered[i];
    qt::Lines expected;
    for (ComponentInfo* info : lastRegistered) {
      const qt::Lines lines = qt::DuplicateLines(info->id);
      expected.insert(expected.end(), lines.begin(), lines.end());
    }
    CTComponentFactory* other = nullptr;
    const bool toOther = in.Below(2) == 0;
    if (toOther) MODEL_CHECK(framework::CreateComponentFactory(&other) == 0);
    MODEL_CHECK((toOther ? other : factory)->RegistryComponent(&Offer) == 0);
    if (toOther) {
      MODEL_CHECK(other->Release() == 0);
      expected.insert(expected.end(), {qt::kFactoryEndLine, qt::WaitCountLine(0)});
    }
    MODEL_CHECK(framework::detail::liveObjects.load() == liveRecords);
    MODEL_CHECK(census.infosDeleted == infosDeleted);
    return expected;
  }

  // What one function listed is forgotten, here or by every factory, unless one of its
  // components is alive: then nothing is.
  qt::Lines Forget() {
    const int source = static_cast<int>(in.Below(2));
    const framework::ComponentRegistryFunc function = kSources[source];
    std::size_t listed = 0;
    int hand = 0;
    bool alive = false;
    for (const auto& [id, entry] : RegistryOf(source)) {
      ++listed;
      hand += entry->hand;
      alive = alive || entry->live;
    }
    MODEL_CHECK(framework::ComponentsRegisteredBy(function) == listed);
    const long liveRecords = framework::detail::liveObjects.load();
    const int infosDeleted = census.infosDeleted;
    const bool everywhere = in.Below(2) == 0;
    const int result = everywhere ? framework::ForgetComponentsEverywhere(function)
                                  : factory->ForgetComponents(function);
    MODEL_CHECK(result == (alive ? -1 : 0));
    if (!alive) {
      for (const auto& [id, entry] : RegistryOf(source)) registry.erase(id);
      handRegistered -= hand;
      ownDeletes += hand;      // deleted before the end
      lastRegistered.clear();  // some may be gone
    }
    const int deleted = alive ? 0 : hand;
    const long recordsGone = alive ? 0 : static_cast<long>(listed) - hand;
    MODEL_CHECK(census.infosDeleted == infosDeleted + deleted);
    MODEL_CHECK(framework::detail::liveObjects.load() == liveRecords - recordsGone);
    MODEL_CHECK(framework::ComponentsRegisteredBy(function) == (alive ? listed : 0));
    return {};
  }

  std::vector<std::pair<std::string, Entry*>> RegistryOf(int source) {
    std::vector<std::pair<std::string, Entry*>> listed;
    for (auto& [id, entry] : registry)
      if (entry.source == source) listed.emplace_back(id, &entry);
    return listed;
  }

  // Made outside a creator, with the factory or without, and described by SetInfo: its last
  // release is logged only with the factory, and forgets no live instance.
  qt::Lines Stray() {
    ComponentInfo info;
    info.id = PickId();  // a null id too: the factory forgets nothing and writes nothing
    const bool withFactory = in.Below(2) == 0;
    auto* part = new Part(withFactory ? factory : nullptr, true);
    part->SetInfo(&info);
    const int destroyed = census.destroyed;
    MODEL_CHECK(part->DelegatAddRef() == 1 && part->DelegatRelease() == 0);
    MODEL_CHECK(census.destroyed == destroyed + 1);
    if (!withFactory || info.id == nullptr) return {};
    const auto found = registry.find(info.id);
    return found == registry.end() ? qt::Lines{qt::UnregisteredReleaseLine(info.id)}
                                   : qt::ReleasedLines(found->second.name, info.id);
  }

  void End() {
    qt::Lines expected = {qt::kFactoryEndLine};
    std::map<int, std::string> newestFirst;  // keyed by -born
    for (const auto& [id, entry] : registry) {
      if (entry.live) expected.push_back(qt::WaitingLine(id, entry.name));
      if (entry.live) newestFirst[-entry.born] = id;
    }
    const int live = static_cast<int>(expected.size()) - 1, destroyed = census.destroyed;
    census.destroyedIds.clear();
    expected.push_back(qt::WaitCountLine(live));
    MODEL_CHECK(census.infosDeleted == ownDeletes && factory->Release() == 0);
    qt::Lines actual = log.Texts();  // the live instances in the registry's own order
    MODEL_CHECK(actual.size() == expected.size());
    for (qt::Lines* lines : {&actual, &expected}) std::sort(lines->begin() + 1, lines->end() - 1);
    MODEL_CHECK(actual == expected && census.destroyed == destroyed + live);
    std::vector<std::string> order;
    for (const auto& [born, id] : newestFirst) order.push_back(id);
    MODEL_CHECK(census.destroyedIds == order);
    MODEL_CHECK(census.constructed == census.destroyed);
    MODEL_CHECK(census.infosDeleted == ownDeletes + handRegistered);
  }
};

void RunFactoryModel(qt::Bytes& input) { census = {}, Model(input).Run(); }

}  // namespace

QUENDEL_PROPERTY_TEST(FactoryModel, RunFactoryModel);
