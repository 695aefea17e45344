// The simulated keyboard's trace kept in memory for read-out: the latest
// lines in a ring of bytes that is allocated, and touched, whole when the
// keyboard starts. A program that runs with the simulated keyboard for weeks
// then holds the same memory on its first day as on its last; a ring of
// separately allocated lines grew by every line up to its limit (about
// 5 KB per lighting read, 4 MB in all).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv::sim {

class TraceRing {
 public:
  // A report line ("OUT " or "IN " and 128 hex digits) with its line end.
  static constexpr size_t kReportLineBytes = 133;

  // Room for about `lines` report lines.
  explicit TraceRing(size_t lines);

  // Adds a line (without its line end). The oldest lines go to make room; a
  // line longer than the whole ring is not kept.
  void append(std::string_view line);
  // The lines kept, oldest first.
  std::vector<std::string> lines() const;
  void clear();

  size_t capacityBytes() const { return bytes_.size(); }

 private:
  std::vector<char> bytes_;
  size_t head_ = 0;           // where the next byte goes
  size_t used_ = 0;           // bytes held, up to the capacity
  bool overwritten_ = false;  // the oldest line held may be cut at its start
};

}  // namespace kv::sim
