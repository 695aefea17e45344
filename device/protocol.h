// The command protocol on the command channel: 64-byte reports with a
// checksum, the request/response transaction, and one operation per command.
// Portable: waits with standard primitives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

namespace kv {

inline constexpr size_t kReportSize = 64;
inline constexpr size_t kPayloadSize = 56;
inline constexpr size_t kPayloadOffset = 8;
inline constexpr uint8_t kReportId = 0x04;

inline constexpr size_t kInfoBlockSize = 48;
inline constexpr size_t kInfoActiveProfile = 10;
inline constexpr size_t kInfoMacroUnits = 11;
inline constexpr size_t kInfoEffectList = 16;
inline constexpr size_t kMacroUnitBytes = 128;
inline constexpr int kProfileCount = 3;
inline constexpr size_t kSettingsRecordSize = 42;
inline constexpr size_t kColourRegionSize = 256;
inline constexpr size_t kKeyTableSize = 324;  // 108 records of 3 bytes

// Command codes (byte 3; the response echoes it).
inline constexpr uint8_t kCmdBeginConfig = 0x01;
inline constexpr uint8_t kCmdEndConfig = 0x02;
inline constexpr uint8_t kCmdReadInfoBlock = 0x03;
inline constexpr uint8_t kCmdWriteInfoBlock = 0x04;
inline constexpr uint8_t kCmdReadSettings = 0x05;
inline constexpr uint8_t kCmdWriteSettings = 0x06;
inline constexpr uint8_t kCmdReadKeyTable = 0x07;
inline constexpr uint8_t kCmdWriteKeyTable = 0x08;
inline constexpr uint8_t kCmdReadMacroMemory = 0x09;
inline constexpr uint8_t kCmdWriteMacroMemory = 0x0A;
inline constexpr uint8_t kCmdReadDefaultKeyTable = 0x0F;
inline constexpr uint8_t kCmdReadColours = 0x10;
inline constexpr uint8_t kCmdWriteColours = 0x11;

// Response status (byte 7): these two are errors, anything else success.
inline constexpr uint8_t kStatusError = 0xFF;
inline constexpr uint8_t kStatusNotConfiguring = 0xFE;

// Results of every command operation.
inline constexpr int kResultSuccess = 1;
inline constexpr int kResultNoDevice = 0;       // no keyboard, or the wait failed
inline constexpr int kResultSendRefused = -1;   // the library refused the report
inline constexpr int kResultNoResponse = -2;    // no matching response after three attempts
inline constexpr int kResultStatusError = -102;         // status 0xFF
inline constexpr int kResultStatusNotConfiguring = -103;  // status 0xFE
inline constexpr int kResultBadProfile = -201;  // profile outside 0-2; nothing sent
inline constexpr int kResultBadArgument = -202; // length, count or buffer out of range; nothing sent

using CommandReport = std::array<uint8_t, kReportSize>;

// Sum of bytes 3-63, little-endian in bytes 1-2.
uint16_t ReportChecksum(std::span<const uint8_t, kReportSize> report);
// A zero-filled report with the fields and checksum; payload beyond 56
// bytes is not taken.
CommandReport BuildCommandReport(uint8_t command, uint8_t length, uint16_t address,
                                 std::span<const uint8_t> payload = {});

// One request/response exchange: up to three attempts, 10 ms apart, each
// waiting up to the response time-out. Returns 1 with *received set, or a
// result code; the caller maps the status byte.
[[nodiscard]] int CommandTransaction(std::span<const uint8_t> request, std::span<uint8_t> response, size_t* received);

[[nodiscard]] int BeginConfig();
[[nodiscard]] int EndConfig();  // waits 10 ms before sending
[[nodiscard]] int ReadInfoBlock(std::span<uint8_t, kInfoBlockSize> destination);
[[nodiscard]] int WriteInfoBlock(std::span<const uint8_t, kInfoBlockSize> source);
// Copies up to 56 response bytes, no more than the destination holds.
[[nodiscard]] int ReadSettings(std::span<uint8_t> destination, int length, int address);
[[nodiscard]] int WriteSettings(std::span<const uint8_t> source, int length, int address);
[[nodiscard]] int ReadKeyTable(std::span<uint8_t, kKeyTableSize> destination, int profile);
[[nodiscard]] int WriteKeyTable(std::span<const uint8_t, kKeyTableSize> source, int profile);
[[nodiscard]] int ReadMacroMemory(std::span<uint8_t> destination, int count);
[[nodiscard]] int WriteMacroMemory(std::span<const uint8_t> source, int count);
[[nodiscard]] int ReadDefaultKeyTable(std::span<uint8_t, kKeyTableSize> destination);
// Copies up to 56 response bytes, no more than the destination holds.
[[nodiscard]] int ReadColours(std::span<uint8_t> destination, int length, int lowAddress, int highAddress);
// Address = selected profile x 256 + offset.
[[nodiscard]] int WriteColours(std::span<const uint8_t> source, int length, int offset);

// Held for the whole of a configuration bracket. The keyboard keeps one
// bracket open at a time: a second thread's BeginConfig inside another's
// bracket (a lighting read while the start-up read runs) is refused, and its
// EndConfig would close the other's. Recursive: a bracket's work may itself
// be a bracket. Never held while waiting for the window's thread.
std::recursive_mutex& ConfigBracketLock();

// A configuration bracket: BeginConfig, the work, EndConfig, one thread's
// at a time. Nothing runs when the bracket cannot be opened; once open it is
// always closed. The result is the first failure, the closing included,
// else 1.
template <class Work>
[[nodiscard]] int InConfigBracket(Work&& work) {
  std::lock_guard bracket(ConfigBracketLock());
  int result = BeginConfig();
  if (result != kResultSuccess) return result;
  result = work();
  int closed = EndConfig();
  return result != kResultSuccess ? result : closed;
}
// The same around reads of the settings and colour regions for a caller to
// whom what was read is good even when the bracket does not close: only the
// opening and the reads decide the result.
template <class Reads>
[[nodiscard]] int ReadInConfigBracket(Reads&& reads) {
  std::lock_guard bracket(ConfigBracketLock());
  int result = BeginConfig();
  if (result != kResultSuccess) return result;
  result = reads();
  (void)EndConfig();  // nothing was changed inside; the reads stand either way
  return result;
}

// An on-board profile number, 0-2.
[[nodiscard]] constexpr bool IsKeyboardProfile(int profile) { return profile >= 0 && profile < kProfileCount; }

// The keyboard's macro memory in bytes: information block byte 11 x 128.
[[nodiscard]] constexpr int MacroMemoryBytes(std::span<const uint8_t, kInfoBlockSize> info) {
  return static_cast<int>(info[kInfoMacroUnits]) * static_cast<int>(kMacroUnitBytes);
}

// The lighting model's selected profile (0-2), used by WriteColours.
void SetSelectedProfile(int profile);
int SelectedProfile();

// Cached active profile; -1 when no keyboard answers.
[[nodiscard]] int GetActiveProfile();
// Returns 1, a result code, or kResultBadProfile for a profile outside 0-2.
[[nodiscard]] int SetActiveProfile(int profile);
void ResetActiveProfileCache();

}  // namespace kv
