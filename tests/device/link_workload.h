// The benchmarks' workload: every region of the keyboard read and written
// once, with the pauses before EndConfig counted.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "device/protocol.h"

namespace kvtest {

struct Pass {
  int failures = 0;
  int pauses = 0;  // EndConfig waits
};

inline void check(Pass& p, int result) {
  if (result != kv::kResultSuccess) ++p.failures;
}

inline Pass everyRegion(int macroBytes) {
  Pass p;
  std::array<uint8_t, 48> info{};
  std::array<uint8_t, 56> piece{};
  std::array<uint8_t, 324> table{};
  std::vector<uint8_t> macro(static_cast<size_t>(macroBytes));

  check(p, kv::ReadInfoBlock(info));
  check(p, kv::WriteInfoBlock(info));

  check(p, kv::BeginConfig());
  for (int a : {0, 42, 84}) check(p, kv::ReadSettings(piece, 56, a));
  for (int profile = 0; profile < 3; ++profile)
    for (int off : {0, 54, 108, 162, 216}) check(p, kv::ReadColours(piece, 54, off, profile));
  check(p, kv::EndConfig());
  ++p.pauses;

  check(p, kv::BeginConfig());
  for (int a : {0, 42, 84}) check(p, kv::WriteSettings(piece, 42, a));
  for (int profile = 0; profile < 3; ++profile) {
    kv::SetSelectedProfile(profile);
    for (int off : {0, 52, 104, 156}) check(p, kv::WriteColours(piece, 52, off));
    check(p, kv::WriteColours(piece, 48, 208));
  }
  check(p, kv::EndConfig());
  ++p.pauses;

  for (int profile = 0; profile < 3; ++profile) check(p, kv::ReadKeyTable(table, profile));
  check(p, kv::ReadDefaultKeyTable(table));

  check(p, kv::BeginConfig());
  for (int profile = 0; profile < 3; ++profile) check(p, kv::WriteKeyTable(table, profile));
  check(p, kv::WriteMacroMemory(macro, macroBytes));
  check(p, kv::EndConfig());
  ++p.pauses;

  check(p, kv::ReadMacroMemory(macro, macroBytes));
  return p;
}

}  // namespace kvtest
