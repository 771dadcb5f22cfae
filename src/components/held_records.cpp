#include "components/held_records.h"

#include <mutex>
#include <unordered_set>

namespace framework {
namespace {

struct HeldRecords {
  std::mutex mutex;
  std::unordered_set<const ComponentInfo*> records;
};

// Never destroyed: factories may end during the process's own teardown.
HeldRecords& Held() {
  static HeldRecords* held = new HeldRecords;
  return *held;
}

}  // namespace

bool ClaimRecord(const ComponentInfo* info) {
  HeldRecords& held = Held();
  std::lock_guard<std::mutex> lock(held.mutex);
  return held.records.insert(info).second;
}

void ForgetRecord(const ComponentInfo* info) {
  HeldRecords& held = Held();
  std::lock_guard<std::mutex> lock(held.mutex);
  held.records.erase(info);
}

}  // namespace framework
