#ifndef QUENDEL_X_MAP_H
#define QUENDEL_X_MAP_H

/// \file
/// The string-keyed map of values that modules hand each other.
#include "quendel/export.h"
#include "quendel/x_value.h"

namespace framework {

/// Text keys to XValues, for handing values between modules. Setting inserts only: a key that
/// is already present is refused with a log line and nothing changes. Keys are the bytes up
/// to the NUL, compared exactly (the empty key is a key, case matters) and copied on insert.
/// A stored value never moves: a pointer from GetValue stays valid until its key is removed
/// or the map is destroyed. The map is one pointer wide and takes no locks.
class QUENDEL_API XMap {
 public:
  class Impl;

  /// Empty.
  XMap();
  /// Destroys every stored value.
  ~XMap();
  XMap(const XMap&) = delete;
  XMap(XMap&&) = delete;
  XMap& operator=(const XMap&) = delete;
  XMap& operator=(XMap&&) = delete;

  /// Inserts a clone of `value` when `key` is absent. If Clone throws, the key stays with an
  /// empty value.
  void SetValue(const char* key, const XValue& value);
  /// Inserts by taking over `value`'s holder when `key` is absent; on refusal `value` keeps it.
  void SetValue(const char* key, XValue&& value);

  /// The stored value, changeable in place (also through a const map), or null when absent.
  XValue* GetValue(const char* key);
  /// The stored value, changeable in place (also through a const map), or null when absent.
  XValue* GetValue(const char* key) const;
  /// Copy-assigns the stored value to `value` and returns true; false leaves `value` alone.
  bool GetValue(const char* key, XValue& value);

  /// Removes the key and destroys its value; an absent key is no error.
  void RemoveAt(const char* key);

 private:
  Impl* impl;
};

}  // namespace framework

#endif  // QUENDEL_X_MAP_H
