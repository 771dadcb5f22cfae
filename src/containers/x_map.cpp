#include "quendel/x_map.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "logging/log_message.h"
#include "visibility.h"

namespace framework {

// The map behind XMap. Node-based storage is what keeps stored values at a fixed address.
class QUENDEL_HIDDEN XMap::Impl {
 public:
  void SetValue(const char* key, const XValue& value);
  void SetValue(const char* key, XValue&& value);
  XValue* Find(const char* key);
  void Erase(const char* key);

 private:
  // A new entry with an empty value, or null when the key is present or null.
  XValue* AddEmpty(const char* key);

  std::unordered_map<std::string, XValue> map_;
};

namespace {

// Refusals name the same function from both forms but keep their own line numbers.
constexpr char kSetValueFunction[] = "framework::XMap::Impl::SetValue";
constexpr int kCopyRefusalLine = 30;
constexpr int kMoveRefusalLine = 22;

// A null key is refused and logged like a present one, with nothing after the text.
const char* KeyText(const char* key) { return key != nullptr ? key : ""; }

}  // namespace

XValue* XMap::Impl::AddEmpty(const char* key) {
  if (key == nullptr) return nullptr;
  // One hash and one lookup; the node is only made when the key is absent.
  auto [entry, inserted] = map_.try_emplace(std::string(key));
  return inserted ? &entry->second : nullptr;
}

void XMap::Impl::SetValue(const char* key, const XValue& value) {
  XValue* stored = AddEmpty(key);
  if (stored == nullptr) {
    QLOG_PLAIN_ERROR(kSetValueFunction, kCopyRefusalLine)
        << "XMap SetValue failed. found key:" << KeyText(key);
    return;
  }
  // Cloned after the insertion: a throwing Clone leaves the new key with its empty value.
  *stored = value;
}

void XMap::Impl::SetValue(const char* key, XValue&& value) {
  XValue* stored = AddEmpty(key);
  if (stored == nullptr) {
    QLOG_PLAIN_ERROR(kSetValueFunction, kMoveRefusalLine)
        << "XMap SetValue failed. found key:" << KeyText(key);
    return;
  }
  *stored = std::move(value);
}

XValue* XMap::Impl::Find(const char* key) {
  if (key == nullptr) return nullptr;
  auto entry = map_.find(std::string(key));
  return entry != map_.end() ? &entry->second : nullptr;
}

void XMap::Impl::Erase(const char* key) {
  if (key != nullptr) map_.erase(std::string(key));
}

XMap::XMap() : impl(new Impl) {}

XMap::~XMap() { delete impl; }

void XMap::SetValue(const char* key, const XValue& value) { impl->SetValue(key, value); }

void XMap::SetValue(const char* key, XValue&& value) { impl->SetValue(key, std::move(value)); }

XValue* XMap::GetValue(const char* key) { return impl->Find(key); }

XValue* XMap::GetValue(const char* key) const { return impl->Find(key); }

bool XMap::GetValue(const char* key, XValue& value) {
  const XValue* stored = impl->Find(key);
  if (stored == nullptr) return false;
  value = *stored;
  return true;
}

void XMap::RemoveAt(const char* key) { impl->Erase(key); }

}  // namespace framework
