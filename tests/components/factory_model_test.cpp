// One factory against a model of its registry, its live instances, their counts, the
// descriptions it owns and every log line: random registrations, creations, queries, counts
// and releases, then the factory's end.
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
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::TWrap;
namespace qt = quendel::test;

namespace {

// Ids that collide in case, the empty id and the factory's own; kExtra is answered by every
// instance that answers at all, and registered under no id.
const char* const kIds[] = {"m.alpha", "m.beta", "M.alpha", "", framework::kComponentFactoryId};
const char* const kTexts[] = {"alpha", "", "two words", "\xA1\xAA"};
constexpr char kExtra[] = "m.extra";

struct Census {
  int constructed = 0, destroyed = 0, lastDestroyed = 0, creatorCalls = 0, infosDeleted = 0;
} census;

struct IModel : CTUnknown {
  virtual int Serial() = 0;
};
struct IExtra : CTUnknown {
  virtual int Serial() = 0;
};

class Part final : public IModel, public IExtra, public CTComponentUnknown {
 public:
  Part(CTComponentFactory* factory, bool answers)
      : CTComponentUnknown(nullptr, factory), answers_(answers) {}
  ~Part() override {
    ++census.destroyed;
    census.lastDestroyed = serial_;
  }
  QUENDEL_FORWARD_UNKNOWN_TO_OWNER();
  int DelegatQueryInterface(const char* id, void** object) override {
    if (answers_ && std::strcmp(id, info->id) == 0) {
      return framework::RefComponentInterface(static_cast<IModel*>(this), object);
    }
    if (answers_ && std::strcmp(id, kExtra) == 0) {
      return framework::RefComponentInterface(static_cast<IExtra*>(this), object);
    }
    return -1;
  }
  int Serial() override { return serial_; }

 private:
  bool answers_;
  int serial_ = ++census.constructed;
};

// What a description's creator does: silent instances answer no id, not even their own.
enum Kind { kAnswers, kSilent, kNull, kNone };
template <Kind kind>
CTComponentUnknown* Create(CTComponentFactory* factory) {
  ++census.creatorCalls;
  return kind == kNull ? nullptr : new Part(factory, kind == kAnswers);
}
constexpr framework::ComponentCreator kCreators[] = {&Create<kAnswers>, &Create<kSilent>,
                                                     &Create<kNull>, nullptr};

// A hand-written description: the factory deletes it only if it registered it.
struct HandInfo : ComponentInfo {
  ~HandInfo() override { ++census.infosDeleted; }
};

TWrap<ComponentInfo>* offered = nullptr;  // what the registry function lists next
std::size_t offeredCount = 0;
void Offer(TWrap<ComponentInfo>** entries, std::size_t* count) {
  *count = offeredCount;
  if (offered != nullptr) *entries = offered;
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

struct Entry {
  std::string name;
  framework::ComponentCreator creator;
  int serial = 0;  // of the live instance, 0 for none
  int count = 0;
};
struct Held {
  CTUnknown* face;
  std::string id;
};

class Model {
 public:
  explicit Model(qt::Bytes& input) : in_(input) {}

  void Run() {
    const bool releaseAll = in_.Below(2) == 0;  // before the factory's end, or leave them
    MODEL_CHECK(framework::CreateComponentFactory(&factory_) == 0 && factory_ != nullptr);
    Register();
    for (int step = 0; step < 200 && in_.More(); ++step) {
      // Creations and releases come more often than the rest.
      static constexpr void (Model::*kSteps[])() = {
          &Model::Register,     &Model::Register,  &Model::Create,       &Model::Create,
          &Model::Create,       &Model::Release,   &Model::Release,      &Model::AddRef,
          &Model::QueryFactory, &Model::QueryHeld, &Model::FactoryCount, &Model::Stray,
          &Model::NullArguments};
      (this->*kSteps[in_.Below(std::size(kSteps))])();
      Expect({});
    }
    End(releaseAll);
  }

 private:
  const char* PickId() { return in_.Below(6) < 5 ? kIds[in_.Below(5)] : nullptr; }
  const char* PickText() { return in_.Below(5) < 4 ? kTexts[in_.Below(4)] : nullptr; }
  const char* PickQueryId() {
    const std::uint32_t pick = in_.Below(4);
    return pick == 0 ? kExtra : pick == 1 ? "m.unknown" : PickId();
  }

  void Expect(const qt::Lines& expected) {
    const qt::Lines actual = log_.Texts();
    log_.Clear();
    std::string shown;
    for (const std::string& line : actual) shown += "\n  " + line;
    MODEL_CHECK_MSG(actual == expected, "log was:" + shown);
  }

  void Register() {
    const std::uint32_t shape = in_.Below(16);  // 0: no function, 1: no array
    if (shape == 0) {
      MODEL_CHECK(factory_->RegistryComponent(nullptr) == 0);
      return Expect({qt::NoEntriesLine()});
    }
    const std::size_t n = in_.Below(6);
    framework::ComponentDescription described[6];
    std::uint32_t kinds[6];  // 0: a null entry, 1: written by hand, else by the helpers
    for (std::size_t i = 0; i < n; ++i) {
      kinds[i] = in_.Below(4);
      described[i] = {PickText(), PickId(),
                      PickText(), static_cast<std::int8_t>(in_.Byte()) * (1 << 24),
                      PickText(), kCreators[std::max(0, static_cast<int>(in_.Below(8)) - 4)]};
    }
    static ComponentInfo sentinel;
    TWrap<ComponentInfo> entries[7];
    entries[n].ptr = &sentinel;
    framework::ListComponents(described, n, entries);
    MODEL_CHECK(entries[n].ptr == &sentinel);
    qt::Lines expected = shape == 1 ? qt::Lines{qt::NoEntriesLine()} : qt::Lines{};
    std::vector<ComponentInfo*> ours;  // what stays ours after the call
    for (std::size_t i = 0; i < n; ++i) {
      const framework::ComponentDescription& d = described[i];
      if (kinds[i] <= 1) {
        ComponentInfo* helped = entries[i].ptr;
        entries[i].ptr = kinds[i] == 0 ? nullptr : new HandInfo;
        if (kinds[i] == 1) *entries[i].ptr = *helped;
        delete helped;
      }
      const bool hand = kinds[i] == 1;
      if (shape == 1 || (hand && (d.id == nullptr || registry_.count(d.id) != 0))) {
        if (entries[i].ptr != nullptr) ours.push_back(entries[i].ptr);
        ownDeletes_ += hand;
      }
      if (shape == 1) continue;
      if (entries[i].ptr == nullptr || d.id == nullptr) {
        expected.push_back(qt::RefusedLine());
      } else if (registry_.count(d.id) != 0) {
        for (const std::string& line : qt::DuplicateLines(d.id)) expected.push_back(line);
      } else {
        for (const std::string& line : qt::RegisteredLines(Text(d.name), d.id, Text(d.version),
                                                           d.type, Text(d.description))) {
          expected.push_back(line);
        }
        registry_[d.id] = {Text(d.name), d.creator};
        handRegistered_ += hand;
      }
    }
    offered = shape == 1 ? nullptr : entries;
    offeredCount = n;
    const int deleted = census.infosDeleted;
    MODEL_CHECK(factory_->RegistryComponent(&Offer) == 0);
    Expect(expected);
    MODEL_CHECK(census.infosDeleted == deleted);  // refused hand-written ones stay ours
    for (ComponentInfo* info : ours) delete info;
  }

  void Create() {
    const char* id = PickId();
    const bool noOut = in_.Below(8) == 0;
    void* object = &held_;
    const Census before = census;
    const int result = factory_->CreateComponent(id, noOut ? nullptr : &object);
    auto found = id != nullptr ? registry_.find(id) : registry_.end();
    int expected = -1, calls = 0;
    if (id != nullptr && !noOut && found == registry_.end()) {
      Expect({qt::NotFoundLine(id)});
    } else if (found != registry_.end() && !noOut) {
      Entry& entry = found->second;
      if (entry.serial == 0 && entry.creator != nullptr) ++calls;
      if (entry.serial == 0 &&
          (entry.creator == kCreators[kAnswers] || entry.creator == kCreators[kSilent])) {
        entry.serial = before.constructed + 1;
      }
      Expect(entry.serial == 0 ? qt::Lines{qt::CreateFailedLine()} : qt::Lines{});
      if (entry.serial != 0 && entry.creator == kCreators[kAnswers]) {
        expected = 0;
        ++entry.count;
      }
    }
    MODEL_CHECK(result == expected && census.creatorCalls == before.creatorCalls + calls);
    MODEL_CHECK(census.destroyed == before.destroyed);
    if (result != 0) {
      MODEL_CHECK(object == &held_);
      return;
    }
    MODEL_CHECK(static_cast<IModel*>(object)->Serial() == found->second.serial);
    held_.push_back({static_cast<IModel*>(object), id});
  }

  void Release() {
    if (!held_.empty()) Release(in_.Below(held_.size()));
  }

  void Release(std::size_t index) {
    const Held held = held_[index];
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(index));
    Entry& entry = registry_[held.id];
    const int destroyed = census.destroyed;
    MODEL_CHECK(held.face->Release() == 0);
    const bool last = --entry.count == 0;
    Expect(last ? qt::ReleasedLines(entry.name, held.id) : qt::Lines{});
    MODEL_CHECK(census.destroyed == destroyed + last);
    if (last) MODEL_CHECK(census.lastDestroyed == entry.serial);
    if (last) entry.serial = 0;
  }

  void AddRef() {
    if (held_.empty()) return;
    const Held held = held_[in_.Below(held_.size())];
    MODEL_CHECK(held.face->AddRef() == ++registry_[held.id].count);
    held_.push_back(held);
  }

  // An answer from a live answering instance, of the entry `only` when not null.
  void Take(void* object, bool extra, const char* only) {
    CTUnknown* face = extra ? static_cast<CTUnknown*>(static_cast<IExtra*>(object))
                            : static_cast<IModel*>(object);
    const int serial =
        extra ? static_cast<IExtra*>(object)->Serial() : static_cast<IModel*>(object)->Serial();
    for (auto& [id, entry] : registry_) {
      if (entry.serial == serial && entry.creator == kCreators[kAnswers] &&
          (only == nullptr || id == only)) {
        ++entry.count;
        return held_.push_back({face, id});
      }
    }
    MODEL_CHECK_MSG(false, "answered by an instance that may not answer");
  }

  void QueryFactory() {
    const char* id = PickQueryId();
    const bool noOut = in_.Below(8) == 0;
    void* object = &held_;
    const int result = factory_->QueryInterface(id, noOut ? nullptr : &object);
    if (id == nullptr || noOut) {
      MODEL_CHECK(result == -1 && object == &held_);
    } else if (std::strcmp(id, framework::kComponentFactoryId) == 0) {
      MODEL_CHECK(result == 0 && object == static_cast<void*>(factory_));
      ++factoryRefs_;
    } else {
      // Only live instances are asked: the entry of the id first, then any for kExtra.
      auto found = registry_.find(id);
      const bool own = found != registry_.end() && found->second.serial != 0 &&
                       found->second.creator == kCreators[kAnswers];
      const bool extra = !own && std::strcmp(id, kExtra) == 0;
      bool anyAnswers = false;
      for (const auto& entry : registry_) {
        anyAnswers |= entry.second.serial != 0 && entry.second.creator == kCreators[kAnswers];
      }
      MODEL_CHECK_MSG(result == (own || (extra && anyAnswers) ? 0 : -1), id);
      if (result == 0) Take(object, extra, own ? id : nullptr);
      if (result != 0) MODEL_CHECK(object == &held_);
    }
  }

  void QueryHeld() {
    if (held_.empty()) return;
    const Held held = held_[in_.Below(held_.size())];
    const char* id = PickQueryId();
    if (id == nullptr) id = kExtra;  // a component is never asked for a null id
    void* object = &held_;
    const int result = held.face->QueryInterface(id, &object);
    const bool own = held.id == id, extra = !own && std::strcmp(id, kExtra) == 0;
    MODEL_CHECK(result == (own || extra ? 0 : -1));
    if (result == 0) Take(object, extra, held.id.c_str());
    if (result != 0) MODEL_CHECK(object == &held_);
  }

  void FactoryCount() {
    if (in_.Below(2) == 0) {
      MODEL_CHECK(factory_->AddRef() == ++factoryRefs_);
    } else if (factoryRefs_ > 1) {
      MODEL_CHECK(factory_->Release() == 0);
      --factoryRefs_;
    }
  }

  // A component made outside a creator, with or without the factory, described by SetInfo:
  // its last release says so when made with the factory, and forgets no live instance.
  void Stray() {
    ComponentInfo info;
    info.id = kIds[in_.Below(5)];
    const bool withFactory = in_.Below(2) == 0;
    auto* part = new Part(withFactory ? factory_ : nullptr, true);
    part->SetInfo(&info);
    const int refs = static_cast<int>(in_.Below(3)), serial = census.constructed;
    const int destroyed = census.destroyed;
    for (int i = 1; i <= refs; ++i) MODEL_CHECK(part->DelegatAddRef() == i);
    for (int i = 1; i < refs; ++i) MODEL_CHECK(part->DelegatRelease() == 0);
    MODEL_CHECK(census.destroyed == destroyed);
    MODEL_CHECK(part->DelegatRelease() == 0 && census.lastDestroyed == serial);
    auto found = registry_.find(info.id);
    if (!withFactory) return;
    Expect(found == registry_.end() ? qt::Lines{qt::UnregisteredReleaseLine(info.id)}
                                    : qt::ReleasedLines(found->second.name, info.id));
  }

  void NullArguments() {
    void* object = &held_;
    switch (in_.Below(3)) {
      case 0:
        MODEL_CHECK(framework::RefComponentInterface(nullptr, &object) == -1 && !object);
        return Expect({qt::NullRefLine()});
      case 1:
        MODEL_CHECK(framework::CreateComponentFactory(nullptr) == -1);
        return Expect({qt::NoFactoryLine()});
      default:
        if (!held_.empty()) {
          MODEL_CHECK(framework::RefComponentInterface(held_[0].face, nullptr) == -1);
        }
    }
  }

  void End(bool releaseAll) {
    while (releaseAll && !held_.empty()) Release(held_.size() - 1);
    for (; factoryRefs_ > 1; --factoryRefs_) MODEL_CHECK(factory_->Release() == 0);
    MODEL_CHECK(census.infosDeleted == ownDeletes_);
    qt::Lines expected;
    for (const auto& [id, entry] : registry_) {
      if (entry.serial != 0) expected.push_back(qt::WaitingLine(id, entry.name));
    }
    const std::size_t live = expected.size();
    const int destroyed = census.destroyed;
    Expect({});
    MODEL_CHECK(factory_->Release() == 0);
    // The live instances are reported in the registry's own order.
    qt::Lines actual = log_.Texts();
    log_.Clear();
    MODEL_CHECK(actual.size() == live + 2);
    std::sort(actual.begin() + 1, actual.end() - 1);
    std::sort(expected.begin(), expected.end());
    expected.insert(expected.begin(), qt::FactoryEndLine());
    expected.push_back(qt::WaitCountLine(live));
    MODEL_CHECK(actual == expected);
    MODEL_CHECK(census.destroyed == destroyed + static_cast<int>(live));
    MODEL_CHECK(census.constructed == census.destroyed);
    MODEL_CHECK(census.infosDeleted == ownDeletes_ + handRegistered_);
  }

  qt::Bytes& in_;
  qt::LogCapture log_;
  CTComponentFactory* factory_ = nullptr;
  int factoryRefs_ = 1;
  std::map<std::string, Entry> registry_;
  std::vector<Held> held_;
  int handRegistered_ = 0;
  int ownDeletes_ = 0;
};

void RunFactoryModel(qt::Bytes& input) {
  census = {};
  Model(input).Run();
}

}  // namespace

QUENDEL_PROPERTY_TEST(FactoryModel, RunFactoryModel);
