// Drives one factory through random registrations and create/query/release sequences and
// checks every result, every reference count and every log line against a model of the
// registry and its live instances.
#include <fuzzer/FuzzedDataProvider.h>
#include <quendel/framework.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

using framework::ComponentInfo;
using framework::CTComponentFactory;
using framework::CTComponentUnknown;
using framework::CTUnknown;
using framework::TWrap;
using quendel::fuzz::Joined;
using quendel::fuzz::PlainLine;
using quendel::fuzz::TaggedLine;
using Lines = std::vector<std::string>;

namespace {

const std::string& kRC = quendel::test::kRegistryFunction;
const std::string& kCC = quendel::test::kCreateFunction;
const std::string& kRM = quendel::test::kRemoveFunction;
const std::string& kPN = quendel::test::kReportFunction;
const std::string& kFD = quendel::test::kFactoryDestructor;
const std::string kRef = "framework::RefComponentInterface";

// Ids that collide in interesting ways: case variants, the empty id, the factory's own id.
const char* const kIds[] = {"fuzz.alpha", "fuzz.beta",  "Fuzz.alpha",
                            "",           "fuzz.gamma", framework::kComponentFactoryId};
// Answered by every live instance that answers at all; no component is registered under it.
constexpr char kExtraId[] = "fuzz.extra";
constexpr char kUnknownId[] = "fuzz.unknown";
const char* const kTexts[] = {"alpha", "", "name with spaces", "\xA1\xAA"};

std::string EmDashes() {
  std::string dashes;
  for (int i = 0; i < 19; ++i) dashes += "\xA1\xAA";
  return dashes;
}

struct Counters {
  int constructed = 0;
  int destroyed = 0;
  int creatorCalls = 0;
  std::multiset<const ComponentInfo*> infosDeleted;
};
Counters counters;

struct IFuzz : CTUnknown {
  virtual const void* Identity() = 0;
};
struct IExtra : CTUnknown {
  virtual const void* Identity() = 0;
};

class FuzzComponent : public IFuzz, public IExtra, public CTComponentUnknown {
 public:
  FuzzComponent(CTComponentFactory* factory, bool answers)
      : CTComponentUnknown(nullptr, factory), answers_(answers) {
    ++counters.constructed;
  }
  ~FuzzComponent() override { ++counters.destroyed; }

  int QueryInterface(const char* id, void** object) override {
    return Owner()->QueryInterface(id, object);
  }
  int AddRef() override { return Owner()->AddRef(); }
  int Release() override { return Owner()->Release(); }

  int DelegatQueryInterface(const char* id, void** object) override {
    if (!answers_ || info == nullptr) return -1;
    if (std::strcmp(id, info->id) == 0) {
      return framework::RefComponentInterface(static_cast<IFuzz*>(this), object);
    }
    if (std::strcmp(id, kExtraId) == 0) {
      return framework::RefComponentInterface(static_cast<IExtra*>(this), object);
    }
    return -1;
  }
  const void* Identity() override { return this; }
  const char* Id() const { return info->id; }

 private:
  bool answers_;
};

FuzzComponent* lastCreated = nullptr;

CTComponentUnknown* CreateAnswering(CTComponentFactory* factory) {
  ++counters.creatorCalls;
  return lastCreated = new FuzzComponent(factory, true);
}
// Its instances answer no id, so they stay live with a count of 0 until the factory goes.
CTComponentUnknown* CreateSilent(CTComponentFactory* factory) {
  ++counters.creatorCalls;
  return lastCreated = new FuzzComponent(factory, false);
}
CTComponentUnknown* CreateNothing(CTComponentFactory*) {
  ++counters.creatorCalls;
  return nullptr;
}

enum class Behaviour { kAnswers, kSilent, kReturnsNull, kNoCreator };

struct FuzzInfo : ComponentInfo {
  ~FuzzInfo() override { counters.infosDeleted.insert(this); }
};

// What the registry function hands out on its next call. A fixed array, so that an empty
// list still comes with a non-null array pointer.
TWrap<ComponentInfo> offered[8];
std::size_t offeredCount = 0;
bool offerNullArray = false;
void OfferEntries(TWrap<ComponentInfo>** entries, std::size_t* count) {
  *count = offeredCount;  // without an array, the count must not be read
  if (!offerNullArray) *entries = offered;
}

struct Registered {
  const ComponentInfo* info = nullptr;
  Behaviour behaviour = Behaviour::kAnswers;
  FuzzComponent* instance = nullptr;
  int count = 0;  // references on the live instance
};

struct HostRef {
  CTUnknown* unknown;
  FuzzComponent* component;
};

std::string TextOf(const char* text) { return text != nullptr ? text : ""; }

class FactoryModel {
 public:
  explicit FactoryModel(FuzzedDataProvider& input) : input_(input) {}

  void Run() {
    CTComponentFactory* factory = nullptr;
    FUZZ_CHECK(framework::CreateComponentFactory(&factory) == 0);
    FUZZ_CHECK(factory != nullptr);
    factory_ = factory;
    factoryRefs_ = 1;
    Expect({});

    for (int step = 0; step < 256 && input_.remaining_bytes() > 0; ++step) {
      switch (input_.ConsumeIntegralInRange(0, 7)) {
        case 0:
          Register();
          break;
        case 1:
          Create();
          break;
        case 2:
          ReleaseRef();
          break;
        case 3:
          AddRefRef();
          break;
        case 4:
          QueryFactory();
          break;
        case 5:
          QueryComponent();
          break;
        case 6:
          FactoryRefs();
          break;
        case 7:
          NullInterface();
          break;
      }
    }
    if (input_.ConsumeBool()) {
      while (!refs_.empty()) Release(refs_.size() - 1);
    }
    DestroyFactory();
    for (ComponentInfo* info : rejected_) delete info;
  }

 private:
  const char* PickId() {
    std::size_t index = input_.ConsumeIntegralInRange<std::size_t>(0, std::size(kIds));
    return index < std::size(kIds) ? kIds[index] : nullptr;
  }
  const char* PickText() {
    std::size_t index = input_.ConsumeIntegralInRange<std::size_t>(0, std::size(kTexts));
    return index < std::size(kTexts) ? kTexts[index] : nullptr;
  }
  const char* PickQueryId() {
    switch (input_.ConsumeIntegralInRange(0, 3)) {
      case 0:
        return kExtraId;
      case 1:
        return kUnknownId;
      default:
        return PickId();
    }
  }

  void Expect(const Lines& expected) {
    const Lines actual = log_.Take();
    FUZZ_CHECK_MSG(actual == expected,
                   "\nexpected:" + Joined(expected) + "\nactual:" + Joined(actual));
  }

  void Register() {
    offeredCount = 0;
    offerNullArray = input_.ConsumeIntegralInRange(0, 15) == 0;
    std::vector<std::unique_ptr<FuzzInfo>> made;
    const int count = input_.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < count; ++i) {
      if (input_.ConsumeIntegralInRange(0, 7) == 0) {
        offered[offeredCount++] = {nullptr};
        continue;
      }
      auto info = std::make_unique<FuzzInfo>();
      info->id = PickId();
      info->name = PickText();
      info->version = PickText();
      info->description = PickText();
      info->type = input_.ConsumeIntegral<std::int32_t>();
      switch (input_.ConsumeIntegralInRange(0, 5)) {
        case 0:
          info->creator = &CreateSilent;
          break;
        case 1:
          info->creator = &CreateNothing;
          break;
        case 2:
          info->creator = nullptr;
          break;
        default:
          info->creator = &CreateAnswering;
          break;
      }
      offered[offeredCount++] = {info.get()};
      made.push_back(std::move(info));
    }

    Lines expected;
    if (offerNullArray) {
      expected.push_back(TaggedLine(kRC, 126, "Get Component Inifo failed."));
    } else {
      for (std::size_t i = 0; i < offeredCount; ++i) {
        const ComponentInfo* info = offered[i].ptr;
        if (info == nullptr || info->id == nullptr) {
          expected.push_back(PlainLine(kRC, 130, "component info is null or id is null."));
          continue;
        }
        expected.push_back(PlainLine(kRC, 132, std::string(39, '+')));
        if (registry_.count(info->id) != 0) {
          expected.push_back(PlainLine(
              kRC, 135, std::string("Already registry the component!!!!   id:") + info->id));
          continue;
        }
        expected.push_back(PlainLine(kRC, 142, "register new component. "));
        expected.push_back(PlainLine(kRC, 143, "name:" + TextOf(info->name)));
        expected.push_back(PlainLine(kRC, 144, std::string("id:") + info->id));
        expected.push_back(PlainLine(kRC, 145, "version:" + TextOf(info->version)));
        expected.push_back(PlainLine(kRC, 146, "type:" + std::to_string(info->type)));
        expected.push_back(PlainLine(kRC, 147, "description:" + TextOf(info->description)));
        Registered& entryModel = registry_[info->id];
        entryModel.info = info;
        entryModel.behaviour = info->creator == &CreateAnswering ? Behaviour::kAnswers
                               : info->creator == &CreateSilent  ? Behaviour::kSilent
                               : info->creator == &CreateNothing ? Behaviour::kReturnsNull
                                                                 : Behaviour::kNoCreator;
        owned_.insert(info);
      }
    }

    FUZZ_CHECK(factory_->RegistryComponent(&OfferEntries) == 0);
    Expect(expected);
    // The factory owns what it registered; everything else stays ours.
    for (auto& info : made) {
      if (owned_.count(info.get()) != 0) {
        info.release();
      } else {
        rejected_.push_back(info.release());
      }
    }
    FUZZ_CHECK(counters.infosDeleted.empty());
  }

  void Create() {
    const char* id = PickId();
    void* sentinel = &refs_;
    void* object = sentinel;
    const int callsBefore = counters.creatorCalls;
    lastCreated = nullptr;
    const int result = factory_->CreateComponent(id, &object);

    Lines expected;
    int expectedResult = -1;
    bool expectCall = false;
    if (id == nullptr) {
      // A null id is refused without a line.
    } else if (registry_.count(id) == 0) {
      expected.push_back(PlainLine(kCC, 118, std::string("not found component. id:") + id));
    } else {
      Registered& entry = registry_[id];
      if (entry.instance == nullptr) {
        expectCall = entry.behaviour != Behaviour::kNoCreator;
        if (entry.behaviour == Behaviour::kReturnsNull ||
            entry.behaviour == Behaviour::kNoCreator) {
          expected.push_back(TaggedLine(kCC, 111, "CreateComponent failed!!!"));
        } else {
          FUZZ_CHECK(lastCreated != nullptr);
          entry.instance = lastCreated;
          entry.count = 0;
        }
      }
      if (entry.instance != nullptr && entry.behaviour == Behaviour::kAnswers) {
        expectedResult = 0;
        ++entry.count;
      }
    }
    FUZZ_CHECK(counters.creatorCalls == callsBefore + (expectCall ? 1 : 0));
    FUZZ_CHECK(result == expectedResult);
    if (result == 0) {
      auto* face = static_cast<IFuzz*>(object);
      FUZZ_CHECK(face->Identity() == registry_[id].instance);
      refs_.push_back({face, registry_[id].instance});
    } else {
      FUZZ_CHECK(object == sentinel);
    }
    Expect(expected);
  }

  Registered* EntryOf(const FuzzComponent* component) {
    for (auto& [id, entry] : registry_) {
      if (entry.instance == component) return &entry;
    }
    return nullptr;
  }

  void Release(std::size_t index) {
    HostRef ref = refs_[index];
    refs_.erase(refs_.begin() + static_cast<std::ptrdiff_t>(index));
    Registered* entry = EntryOf(ref.component);
    FUZZ_CHECK(entry != nullptr && entry->count > 0);
    const int destroyedBefore = counters.destroyed;
    FUZZ_CHECK(ref.unknown->Release() == 0);
    Lines expected;
    if (--entry->count == 0) {
      expected = {PlainLine(kRM, 160, EmDashes()), PlainLine(kRM, 163, "release component. "),
                  PlainLine(kRM, 164, "name:" + TextOf(entry->info->name)),
                  PlainLine(kRM, 165, std::string("id:") + entry->info->id)};
      entry->instance = nullptr;
      FUZZ_CHECK(counters.destroyed == destroyedBefore + 1);
    } else {
      FUZZ_CHECK(counters.destroyed == destroyedBefore);
    }
    Expect(expected);
  }

  void ReleaseRef() {
    if (refs_.empty()) return;
    Release(input_.ConsumeIntegralInRange<std::size_t>(0, refs_.size() - 1));
  }

  void AddRefRef() {
    if (refs_.empty()) return;
    HostRef ref = refs_[input_.ConsumeIntegralInRange<std::size_t>(0, refs_.size() - 1)];
    Registered* entry = EntryOf(ref.component);
    FUZZ_CHECK(entry != nullptr);
    FUZZ_CHECK(ref.unknown->AddRef() == ++entry->count);
    refs_.push_back(ref);
    Expect({});
  }

  // Records a successful answer from a live instance: one more reference on it.
  void Answered(void* object, bool extra) {
    CTUnknown* face;
    const void* identity;
    if (extra) {
      auto* answer = static_cast<IExtra*>(object);
      face = answer;
      identity = answer->Identity();
    } else {
      auto* answer = static_cast<IFuzz*>(object);
      face = answer;
      identity = answer->Identity();
    }
    auto* component = static_cast<FuzzComponent*>(const_cast<void*>(identity));
    Registered* entry = EntryOf(component);
    FUZZ_CHECK(entry != nullptr && entry->behaviour == Behaviour::kAnswers);
    ++entry->count;
    refs_.push_back({face, component});
  }

  void QueryFactory() {
    const char* id = PickQueryId();
    void* sentinel = &refs_;
    void* object = sentinel;
    const int result = factory_->QueryInterface(id, &object);
    if (id != nullptr && std::strcmp(id, framework::kComponentFactoryId) == 0) {
      FUZZ_CHECK(result == 0);
      FUZZ_CHECK(object == static_cast<void*>(factory_));
      ++factoryRefs_;
    } else if (id == nullptr) {
      FUZZ_CHECK(result == -1 && object == sentinel);
    } else {
      auto found = registry_.find(id);
      bool anyAnswers = false;
      for (const auto& [key, entry] : registry_) {
        anyAnswers |= entry.instance != nullptr && entry.behaviour == Behaviour::kAnswers;
      }
      bool expectAnswer;
      if (found != registry_.end() && found->second.instance != nullptr) {
        expectAnswer = found->second.behaviour == Behaviour::kAnswers;
      } else {
        // Only live instances are asked; they answer the extra id, and their own id only.
        expectAnswer = std::strcmp(id, kExtraId) == 0 && anyAnswers;
      }
      FUZZ_CHECK_MSG(result == (expectAnswer ? 0 : -1), id);
      if (result == 0) {
        Answered(object, std::strcmp(id, kExtraId) == 0);
      } else {
        FUZZ_CHECK(object == sentinel);
      }
    }
    Expect({});
  }

  void QueryComponent() {
    if (refs_.empty()) return;
    HostRef ref = refs_[input_.ConsumeIntegralInRange<std::size_t>(0, refs_.size() - 1)];
    const char* id = PickQueryId();
    if (id == nullptr) return;  // ids given to components must not be null
    void* sentinel = &refs_;
    void* object = sentinel;
    const int result = ref.unknown->QueryInterface(id, &object);
    const bool own = std::strcmp(id, ref.component->Id()) == 0;
    const bool expectAnswer = own || std::strcmp(id, kExtraId) == 0;
    FUZZ_CHECK_MSG(result == (expectAnswer ? 0 : -1), id);
    if (result == 0) {
      Answered(object, !own);
    } else {
      FUZZ_CHECK(object == sentinel);
    }
    Expect({});
  }

  void FactoryRefs() {
    if (input_.ConsumeBool()) {
      FUZZ_CHECK(factory_->AddRef() == ++factoryRefs_);
    } else if (factoryRefs_ > 1) {
      FUZZ_CHECK(factory_->Release() == 0);
      --factoryRefs_;
    }
    Expect({});
  }

  void NullInterface() {
    void* object = &refs_;
    FUZZ_CHECK(framework::RefComponentInterface(nullptr, &object) != 0);
    FUZZ_CHECK(object == nullptr);
    Expect({TaggedLine(kRef, 216, "RefComponentInterface ref is null!!!!")});
  }

  void DestroyFactory() {
    while (factoryRefs_ > 1) {
      FUZZ_CHECK(factory_->Release() == 0);
      --factoryRefs_;
    }
    Expect({});
    const int destroyedBefore = counters.destroyed;
    Lines waiting;
    int live = 0;
    for (const auto& [id, entry] : registry_) {
      if (entry.instance == nullptr) continue;
      ++live;
      waiting.push_back(TaggedLine(
          kPN, 177, "wait release component id:" + id + ". name:" + TextOf(entry.info->name)));
    }
    FUZZ_CHECK(factory_->Release() == 0);

    Lines actual = log_.Take();
    FUZZ_CHECK_MSG(actual.size() == waiting.size() + 2, Joined(actual));
    FUZZ_CHECK(actual.front() == PlainLine(kFD, 190, "release component factory"));
    FUZZ_CHECK_MSG(actual.back() ==
                       PlainLine(kPN, 180, "wait release component. count:" + std::to_string(live)),
                   actual.back());
    // The live instances are reported in the registry's own order.
    Lines reported(actual.begin() + 1, actual.end() - 1);
    std::sort(reported.begin(), reported.end());
    std::sort(waiting.begin(), waiting.end());
    FUZZ_CHECK_MSG(reported == waiting, Joined(reported));

    FUZZ_CHECK(counters.destroyed == destroyedBefore + live);
    FUZZ_CHECK(counters.constructed == counters.destroyed);
    std::multiset<const ComponentInfo*> expectedDeleted(owned_.begin(), owned_.end());
    FUZZ_CHECK(counters.infosDeleted == expectedDeleted);
  }

  FuzzedDataProvider& input_;
  quendel::fuzz::LogRecorder& log_ = Recorder();
  CTComponentFactory* factory_ = nullptr;
  int factoryRefs_ = 0;
  std::map<std::string, Registered> registry_;
  std::set<const ComponentInfo*> owned_;
  std::vector<ComponentInfo*> rejected_;
  std::vector<HostRef> refs_;

  static quendel::fuzz::LogRecorder& Recorder() {
    static quendel::fuzz::LogRecorder recorder;
    return recorder;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  counters = {};
  FuzzedDataProvider input(data, size);
  FactoryModel(input).Run();
  return 0;
}
