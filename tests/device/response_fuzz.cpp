// Whatever the keyboard answers, the operations end with a result code and
// never write outside their buffers. Input: answers as [length][bytes]...,
// handed to the transaction in order, one per report sent.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"

namespace {

const uint8_t* cursor = nullptr;
const uint8_t* end = nullptr;

int KV_TRANSPORT_CALL one(int) { return 1; }
int KV_TRANSPORT_CALL none() { return 1; }
int KV_TRANSPORT_CALL count(const kv::DeviceMatch*, kv::TransportCallback, uint32_t, uint32_t, uint32_t*) {
  return cursor < end ? 1 : 0;
}
int KV_TRANSPORT_CALL del(uint32_t) { return 1; }
int KV_TRANSPORT_CALL delHandle(void*) { return 1; }
int KV_TRANSPORT_CALL write(const kv::DeviceMatch*, kv::TransportCallback, uint32_t, const uint8_t*, uint32_t,
                            uint32_t, uint32_t*) {
  if (cursor >= end) return 0;
  size_t n = *cursor++;
  if (n > static_cast<size_t>(end - cursor)) n = static_cast<size_t>(end - cursor);
  // Answers longer than a report come from a misbehaving library too.
  std::vector<uint8_t> answer(cursor, cursor + n);
  cursor += n;
  if (!answer.empty() && answer[0] == 0xEE) {
    kv::HandOffDeviceChange(0);
  } else {
    kv::HandOffCommandResponse(answer.data(), answer.size());
  }
  return 1;
}
int KV_TRANSPORT_CALL get(const kv::DeviceMatch*, kv::TransportCallback, uint32_t, uint8_t*, uint32_t, uint32_t,
                          uint32_t*) {
  return 0;
}
int KV_TRANSPORT_CALL read(const kv::DeviceMatch*, kv::TransportCallback, uint32_t, uint32_t, uint32_t* slot) {
  if (slot) *slot = 1;
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    kv::TransportApi api;
    api.Debug = one;
    api.Init = one;
    api.End = none;
    api.RequestGetDeviceCount = count;
    api.DeleteRequestFromUnitId = del;
    api.DeleteRequestFromHandle = delHandle;
    api.RequestWrite = write;
    api.RequestWriteOne = write;
    api.RequestStatusWrite = write;
    api.RequestStatusGet = get;
    api.RequestAsyncRead = read;
    api.RequestStatusSetFeature = write;
    std::vector<uint8_t> primer = {0};
    cursor = primer.data();
    end = cursor + primer.size();
    int n = 0;
    (void)kv::StartTransport(api, kv::DefaultTransportCallback, &n);
    kv::TransactionTiming t;
    t.responseTimeout = t.retryPause = t.staleFlagPause = t.endConfigPause = std::chrono::milliseconds(0);
    kv::DeviceLinkState().timing = t;
    return true;
  }();
  (void)started;
  cursor = data;
  end = data + size;
  kv::ResetActiveProfileCache();

  std::array<uint8_t, 48> info{};
  std::array<uint8_t, 324> table{};
  std::vector<uint8_t> macro(130);
  std::vector<uint8_t> record(42);
  std::vector<uint8_t> colours(54);
  const uint8_t byte[1] = {3};
  (void)kv::ReadInfoBlock(info);
  (void)kv::GetActiveProfile();
  (void)kv::SetActiveProfile(1);
  (void)kv::ReadKeyTable(table, 1);
  (void)kv::ReadDefaultKeyTable(table);
  (void)kv::ReadMacroMemory(macro, 130);
  (void)kv::ReadSettings(record, 56, 84);
  (void)kv::ReadColours(colours, 54, 216, 2);
  (void)kv::BeginConfig();
  (void)kv::WriteSettings(byte, 1, 57);
  (void)kv::WriteColours(byte, 1, 0);
  (void)kv::WriteKeyTable(table, 2);
  (void)kv::WriteMacroMemory(macro, 57);
  (void)kv::EndConfig();
  int p = kv::GetActiveProfile();
  if (p < -1 || p > 2) __builtin_trap();
  return 0;
}
