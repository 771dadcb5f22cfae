#include "logging/log_message.h"

#include <algorithm>

namespace base {

LogMessage::~LogMessage() {
  if (severity_ < Severity::kInfo) return;
  WriteTimeStamp(ReadSystemTicks(), data_);
  data_[size_] = '\0';
  WriteLine(data_, size_);
}

void LogMessage::Grow(std::size_t more) {
  const std::size_t capacity = std::max(capacity_ * 2, size_ + more + kSpare);
  auto grown = std::make_unique<char[]>(capacity);
  std::memcpy(grown.get(), data_, size_);
  heap_ = std::move(grown);
  data_ = heap_.get();
  capacity_ = capacity;
}

}  // namespace base
