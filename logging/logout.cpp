#include <iostream>
#include <utility>

#include "logging/log_message.h"
#include "quendel/log.h"

namespace base {

LogOutput& GetLogoutCallback() {
  // A function-local static holds the default from the first use on, without start-up code.
  static LogOutput output(DefaultLogout);
  return output;
}

void DefaultLogout(const std::string& line) {
  // One insertion for the line and its newline, so lines from two threads never interleave.
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line).push_back('\n');
  std::cout << whole << std::flush;
}

}  // namespace base

namespace framework {

void SetLogoutCallback(LogoutCallback callback, void* user) {
  if (callback == nullptr) {
    base::GetLogoutCallback() = base::DefaultLogout;
    return;
  }
  // Two pointers: small enough for the function wrapper to hold without a heap block.
  base::GetLogoutCallback() = [callback, user](const std::string& line) {
    callback(line.c_str(), user);
  };
}

}  // namespace framework
