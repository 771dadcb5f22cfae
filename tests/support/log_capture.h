#ifndef QUENDEL_TESTS_SUPPORT_LOG_CAPTURE_H
#define QUENDEL_TESTS_SUPPORT_LOG_CAPTURE_H

#include <mutex>
#include <string>
#include <vector>

namespace quendel::test {

// Collects the library's log lines while it lives; standard output again afterwards.
class LogCapture {
 public:
  LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  ~LogCapture();

  // Every line as received, time stamp included.
  std::vector<std::string> Lines() const;
  // Every line without its 13-byte time stamp (which is checked on the way).
  std::vector<std::string> Texts() const;
  // How many lines contain `fragment`.
  int Count(const std::string& fragment) const;
  void Clear();

 private:
  static void Receive(const char* line, void* user);

  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// True when `line` starts with a well-formed "HH:MM:SS.mmm " stamp.
bool HasTimeStamp(const std::string& line);

}  // namespace quendel::test

#endif  // QUENDEL_TESTS_SUPPORT_LOG_CAPTURE_H
