#include "tessaro/sim/trace_ring.h"

#include <algorithm>

namespace kv::sim {

// Value-initialised: every page is written now, not as the trace fills.
TraceRing::TraceRing(size_t lines) : bytes_(std::max<size_t>(lines, 1) * kReportLineBytes) {}

void TraceRing::append(std::string_view line) {
  const size_t capacity = bytes_.size();
  auto put = [&](char c) {
    bytes_[head_] = c;
    head_ = (head_ + 1) % capacity;
  };
  for (char c : line) put(c);
  put('\n');
  const size_t added = line.size() + 1;
  if (used_ + added > capacity) overwritten_ = true;
  used_ = std::min(capacity, used_ + added);
}

std::vector<std::string> TraceRing::lines() const {
  const size_t capacity = bytes_.size();
  std::string text;
  text.reserve(used_);
  for (size_t i = 0, at = (head_ + capacity - used_) % capacity; i < used_; ++i, at = (at + 1) % capacity)
    text += bytes_[at];
  size_t from = 0;
  if (overwritten_) {
    // The oldest line may have lost its start: it is dropped whole.
    size_t end = text.find('\n');
    from = end == std::string::npos ? text.size() : end + 1;
  }
  std::vector<std::string> out;
  for (size_t end; from < text.size() && (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    out.emplace_back(text, from, end - from);
  return out;
}

void TraceRing::clear() {
  head_ = 0;
  used_ = 0;
  overwritten_ = false;
}

}  // namespace kv::sim
