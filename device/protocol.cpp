#include "device/protocol.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "device/device_link.h"
#include "device/transport.h"

namespace kv {

namespace {

constexpr int kAttempts = 3;

bool isErrorStatus(uint8_t status) { return status == kStatusError || status == kStatusNotConfiguring; }

// Builds, exchanges and checks one command; copies up to out.size() bytes
// of the response payload.
int runCommand(uint8_t command, uint8_t length, uint16_t address, std::span<const uint8_t> payload,
               std::span<uint8_t> out = {}) {
  CommandReport report = BuildCommandReport(command, length, address, payload);
  std::array<uint8_t, kReportSize> response{};
  size_t received = 0;
  int result = CommandTransaction(report, response, &received);
  if (result != kResultSuccess) return result;
  if (response[7] == kStatusError) return kResultStatusError;
  if (response[7] == kStatusNotConfiguring) return kResultStatusNotConfiguring;
  size_t n = std::min(out.size(), kPayloadSize);
  if (n) std::memcpy(out.data(), response.data() + kPayloadOffset, n);
  return kResultSuccess;
}

// Chunked transfer: 56-byte chunks, the remainder last; the first failing
// chunk ends it.
template <class Chunk>
int chunked(int total, Chunk&& chunk) {
  for (int offset = 0; offset < total; offset += static_cast<int>(kPayloadSize)) {
    int n = std::min(static_cast<int>(kPayloadSize), total - offset);
    int result = chunk(offset, n);
    if (result != kResultSuccess) return result;
  }
  return kResultSuccess;
}


int readChunked(uint8_t command, std::span<uint8_t> destination, int total, int base) {
  return chunked(total, [&](int offset, int n) {
    return runCommand(command, static_cast<uint8_t>(n), static_cast<uint16_t>(base + offset), {},
                      destination.subspan(offset, n));
  });
}

int writeChunked(uint8_t command, std::span<const uint8_t> source, int total, int base) {
  return chunked(total, [&](int offset, int n) {
    return runCommand(command, static_cast<uint8_t>(n), static_cast<uint16_t>(base + offset),
                      source.subspan(offset, n));
  });
}

}  // namespace

uint16_t ReportChecksum(std::span<const uint8_t, kReportSize> report) {
  uint16_t sum = 0;
  for (size_t i = 3; i < kReportSize; ++i) sum = static_cast<uint16_t>(sum + report[i]);
  return sum;
}

CommandReport BuildCommandReport(uint8_t command, uint8_t length, uint16_t address,
                                 std::span<const uint8_t> payload) {
  CommandReport r{};
  r[0] = kReportId;
  r[3] = command;
  r[4] = length;
  r[5] = static_cast<uint8_t>(address & 0xFF);
  r[6] = static_cast<uint8_t>(address >> 8);
  r[7] = 0;
  size_t n = std::min(payload.size(), kPayloadSize);
  if (n) std::memcpy(r.data() + kPayloadOffset, payload.data(), n);
  uint16_t sum = ReportChecksum(r);
  r[1] = static_cast<uint8_t>(sum & 0xFF);
  r[2] = static_cast<uint8_t>(sum >> 8);
  return r;
}

int CommandTransaction(std::span<const uint8_t> request, std::span<uint8_t> response, size_t* received) {
  *received = 0;
  // The command and status bytes must fit, or no answer could be checked.
  if (response.size() < kPayloadOffset) return kResultBadArgument;
  DeviceLink& link = DeviceLinkState();
  // Whole transactions one at a time: reports of two threads never
  // interleave, and an answer always belongs to the report just sent.
  std::lock_guard transaction(link.transactionMutex);
  if (CountDevices() == 0) return kResultNoDevice;

  CommandReport report{};
  if (!request.empty()) std::memcpy(report.data(), request.data(), std::min(request.size(), kReportSize));
  // A shorter report than the keyboard sends is a cut one, not an answer.
  const size_t complete = std::min(response.size(), kReportSize);
  const TransactionTiming timing = link.timing;

  int attempts = 0;
  for (;;) {
    if (link.handOff.waiting()) {
      std::this_thread::sleep_for(timing.staleFlagPause);
      link.handOff.disarm();
    }
    link.handOff.arm(response.data(), response.size());
    if (SendCommandReport(report) <= 0) {
      link.handOff.disarm();
      return kResultSendRefused;
    }
    size_t got = 0;
    CommandHandOff::WaitResult w = link.handOff.wait(timing.responseTimeout, &got);
    link.handOff.disarm();
    if (w == CommandHandOff::WaitResult::DeviceGone) return kResultNoDevice;
    bool answered = w == CommandHandOff::WaitResult::Answered && got >= complete && response[3] == report[3];
    if (answered && !isErrorStatus(response[7])) {
      *received = got;
      return kResultSuccess;
    }
    if (++attempts >= kAttempts) {
      if (!answered) return kResultNoResponse;
      *received = got;  // the operation reports the error status
      return kResultSuccess;
    }
    std::this_thread::sleep_for(timing.retryPause);
  }
}

std::recursive_mutex& ConfigBracketLock() {
  static std::recursive_mutex lock;
  return lock;
}

int BeginConfig() { return runCommand(kCmdBeginConfig, 0, 0, {}); }

int EndConfig() {
  std::this_thread::sleep_for(DeviceLinkState().timing.endConfigPause);
  return runCommand(kCmdEndConfig, 0, 0, {});
}

int ReadInfoBlock(std::span<uint8_t, kInfoBlockSize> destination) {
  return runCommand(kCmdReadInfoBlock, kInfoBlockSize, 0, {}, destination);
}

int WriteInfoBlock(std::span<const uint8_t, kInfoBlockSize> source) {
  return runCommand(kCmdWriteInfoBlock, kInfoBlockSize, 0, source);
}

int ReadSettings(std::span<uint8_t> destination, int length, int address) {
  if (length < 0 || length > static_cast<int>(kPayloadSize) || address < 0 || address > 0xFFFF)
    return kResultBadArgument;
  return runCommand(kCmdReadSettings, static_cast<uint8_t>(length), static_cast<uint16_t>(address), {},
                    destination);
}

int WriteSettings(std::span<const uint8_t> source, int length, int address) {
  if (length < 0 || length > static_cast<int>(kPayloadSize) || static_cast<size_t>(length) > source.size() ||
      address < 0 || address > 0xFFFF)
    return kResultBadArgument;
  return runCommand(kCmdWriteSettings, static_cast<uint8_t>(length), static_cast<uint16_t>(address),
                    source.first(static_cast<size_t>(length)));
}

int ReadKeyTable(std::span<uint8_t, kKeyTableSize> destination, int profile) {
  if (!IsKeyboardProfile(profile)) return kResultBadProfile;
  return readChunked(kCmdReadKeyTable, destination, kKeyTableSize, profile * static_cast<int>(kKeyTableSize));
}

int WriteKeyTable(std::span<const uint8_t, kKeyTableSize> source, int profile) {
  if (!IsKeyboardProfile(profile)) return kResultBadProfile;
  return writeChunked(kCmdWriteKeyTable, source, kKeyTableSize, profile * static_cast<int>(kKeyTableSize));
}

// Offsets are 16-bit, so the last chunk must start at or below 0xFFFF.
constexpr int kMaxMacroCount = 0x10000;

int ReadMacroMemory(std::span<uint8_t> destination, int count) {
  if (count == 0) return kResultSuccess;
  if (count < 0 || count > kMaxMacroCount || static_cast<size_t>(count) > destination.size())
    return kResultBadArgument;
  return readChunked(kCmdReadMacroMemory, destination, count, 0);
}

int WriteMacroMemory(std::span<const uint8_t> source, int count) {
  if (count == 0) return kResultSuccess;
  if (count < 0 || count > kMaxMacroCount || static_cast<size_t>(count) > source.size())
    return kResultBadArgument;
  return writeChunked(kCmdWriteMacroMemory, source, count, 0);
}

int ReadDefaultKeyTable(std::span<uint8_t, kKeyTableSize> destination) {
  return readChunked(kCmdReadDefaultKeyTable, destination, kKeyTableSize, 0);
}

int ReadColours(std::span<uint8_t> destination, int length, int lowAddress, int highAddress) {
  if (length < 0 || length > static_cast<int>(kPayloadSize) || lowAddress < 0 || lowAddress > 0xFF ||
      highAddress < 0 || highAddress > 0xFF)
    return kResultBadArgument;
  return runCommand(kCmdReadColours, static_cast<uint8_t>(length),
                    static_cast<uint16_t>(highAddress * 256 + lowAddress), {}, destination);
}

int WriteColours(std::span<const uint8_t> source, int length, int offset) {
  int selected = SelectedProfile();
  if (!IsKeyboardProfile(selected)) return kResultBadProfile;
  int address = selected * static_cast<int>(kColourRegionSize) + offset;
  if (length < 0 || length > static_cast<int>(kPayloadSize) || static_cast<size_t>(length) > source.size() ||
      offset < 0 || address > 0xFFFF)
    return kResultBadArgument;
  return runCommand(kCmdWriteColours, static_cast<uint8_t>(length), static_cast<uint16_t>(address),
                    source.first(static_cast<size_t>(length)));
}

void SetSelectedProfile(int profile) { DeviceLinkState().selectedProfile = profile; }
int SelectedProfile() { return DeviceLinkState().selectedProfile; }

int GetActiveProfile() {
  DeviceLink& link = DeviceLinkState();
  int cached = link.activeProfile;
  if (cached != -1) return cached;
  std::array<uint8_t, kInfoBlockSize> info{};
  if (ReadInfoBlock(info) != kResultSuccess) return -1;
  // Every editor indexes by this value: a keyboard's out-of-range byte is no answer.
  int profile = info[kInfoActiveProfile];
  if (!IsKeyboardProfile(profile)) return -1;
  link.activeProfile = profile;
  return profile;
}

int SetActiveProfile(int profile) {
  if (!IsKeyboardProfile(profile)) return kResultBadProfile;
  DeviceLink& link = DeviceLinkState();
  std::array<uint8_t, kInfoBlockSize> info{};
  int result = ReadInfoBlock(info);
  if (result != kResultSuccess) return result;
  info[kInfoActiveProfile] = static_cast<uint8_t>(profile);
  result = WriteInfoBlock(info);
  link.activeProfile = result == kResultSuccess ? profile : -1;
  return result;
}

void ResetActiveProfileCache() { DeviceLinkState().activeProfile = -1; }

}  // namespace kv
