#include "device/transport.h"

#include <algorithm>
#include <cstring>

#include "device/device_link.h"

namespace kv {

namespace {

constexpr bool isPermutation(const std::array<uint8_t, 256>& table) {
  std::array<bool, 256> seen{};
  for (uint8_t v : table) {
    if (seen[v]) return false;
    seen[v] = true;
  }
  return true;
}
static_assert(isPermutation(UnitIdTable));

constexpr std::array<uint8_t, 4> kZero4{};

}  // namespace

bool TransportApi::complete() const {
  return Debug && Init && End && RequestGetDeviceCount && DeleteRequestFromUnitId && DeleteRequestFromHandle &&
         RequestWrite && RequestWriteOne && RequestStatusWrite && RequestStatusGet && RequestAsyncRead &&
         RequestStatusSetFeature;
}

uint32_t MakeUnitId(std::initializer_list<UnitIdPiece> pieces) {
  uint32_t sum = 0;
  for (UnitIdPiece piece : pieces)
    for (uint8_t b : piece) sum += UnitIdTable[b];
  return sum;
}

std::array<uint8_t, 4> Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

std::array<uint8_t, 4> CallbackPiece(TransportCallback callback) {
  return Le32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(callback)));
}

// ---- Hand-off ----------------------------------------------------------------

void CommandHandOff::arm(uint8_t* buffer, size_t capacity) {
  std::lock_guard lock(mutex_);
  signalled_ = false;
  gone_ = false;
  buffer_ = buffer;
  capacity_ = capacity;
  received_ = 0;
  waiting_ = true;
}

void CommandHandOff::disarm() {
  std::lock_guard lock(mutex_);
  waiting_ = false;
  buffer_ = nullptr;
  capacity_ = 0;
}

bool CommandHandOff::waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

CommandHandOff::WaitResult CommandHandOff::wait(std::chrono::milliseconds timeout, size_t* received) {
  std::unique_lock lock(mutex_);
  bool woke = signal_.wait_for(lock, timeout, [this] { return signalled_ || gone_; });
  *received = received_;
  if (!woke) return WaitResult::TimedOut;
  bool gone = gone_ && !signalled_;
  signalled_ = false;
  gone_ = false;
  waiting_ = false;
  buffer_ = nullptr;
  capacity_ = 0;
  return gone ? WaitResult::DeviceGone : WaitResult::Answered;
}

void CommandHandOff::deliver(const uint8_t* report, size_t length) {
  {
    std::lock_guard lock(mutex_);
    if (!waiting_ || !buffer_ || !report) return;
    size_t keep = std::min(length, capacity_);
    std::memcpy(buffer_, report, keep);
    received_ = keep;
    signalled_ = true;
  }
  signal_.notify_all();
}

void CommandHandOff::deviceGone() {
  {
    std::lock_guard lock(mutex_);
    if (!waiting_) return;
    gone_ = true;
  }
  signal_.notify_all();
}

void CommandHandOff::reset() {
  std::lock_guard lock(mutex_);
  waiting_ = signalled_ = gone_ = false;
  buffer_ = nullptr;
  capacity_ = received_ = 0;
}

// ---- Link state --------------------------------------------------------------

DeviceLink& DeviceLinkState() {
  // Never destroyed: the library's threads may call back while the process ends.
  static DeviceLink* link = new DeviceLink;
  return *link;
}

const TransportApi& Transport() { return DeviceLinkState().api; }

void ResetDeviceLink() {
  DeviceLink& link = DeviceLinkState();
  {
    std::lock_guard lock(link.requestMutex);
    link.api = TransportApi{};
    link.callback = nullptr;
    link.consumerSlot = link.commandSlot = link.bankSlot = 0;
    link.bankReport = {0x05, 0x02};
  }
  link.handOff.reset();
  link.timing = TransactionTiming{};
  link.activeProfile = -1;
  link.selectedProfile = 0;
}

int StartTransport(const TransportApi& api, TransportCallback callback, int* deviceCount) {
  DeviceLink& link = DeviceLinkState();
  *deviceCount = 0;
  {
    std::lock_guard lock(link.requestMutex);
    link.api = api;
    link.callback = callback;
  }
  if (!api.Init || api.Init(0) <= 0) return kExitTransportInitFailed;
  {
    std::lock_guard lock(link.requestMutex);
    link.bankReport = {0x05, 0x02};
    link.bankSlot = 0;
  }
  RegisterConsumerRead();
  link.handOff.reset();
  RegisterCommandRead();
  *deviceCount = CountDevices();
  return 0;
}

int CountDevices() {
  const TransportApi& api = Transport();
  if (!api.RequestGetDeviceCount) return 0;
  uint32_t id = MakeUnitId({PieceOf(kCommandChannel), kZero4, kZero4});
  int count = api.RequestGetDeviceCount(&kCommandChannel, nullptr, 0, id, nullptr);
  return count > 0 ? count : 0;
}

int SendCommandReport(std::span<const uint8_t, 64> report) {
  const TransportApi& api = Transport();
  if (!api.RequestWriteOne) return 0;
  uint32_t id = MakeUnitId({PieceOf(kCommandChannel), kZero4, kZero4, report});
  return api.RequestWriteOne(&kCommandChannel, nullptr, 0, report.data(), 64, id, nullptr);
}

namespace {

void registerRead(const DeviceMatch& match, uint32_t tag, uint32_t DeviceLink::*slot) {
  DeviceLink& link = DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  if (!link.api.DeleteRequestFromUnitId || !link.api.RequestAsyncRead) return;
  link.api.DeleteRequestFromUnitId(link.*slot);
  auto cb = CallbackPiece(link.callback);
  auto tagBytes = Le32(tag);
  uint32_t id = MakeUnitId({PieceOf(match), cb, tagBytes});
  link.api.RequestAsyncRead(&match, link.callback, tag, id, &(link.*slot));
}

}  // namespace

void RegisterConsumerRead() { registerRead(kConsumerChannel, kTagCons, &DeviceLink::consumerSlot); }
void RegisterCommandRead() { registerRead(kCommandChannel, kTagCtrl, &DeviceLink::commandSlot); }

void SendBankReport() {
  DeviceLink& link = DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  if (!link.api.DeleteRequestFromUnitId || !link.api.RequestStatusWrite) return;
  link.api.DeleteRequestFromUnitId(link.bankSlot);
  auto cb = CallbackPiece(link.callback);
  auto tagBytes = Le32(kTagLed);
  uint32_t id = MakeUnitId({PieceOf(kLedChannel), cb, tagBytes, link.bankReport});
  link.api.RequestStatusWrite(&kLedChannel, link.callback, kTagLed, link.bankReport.data(), 2, id, &link.bankSlot);
}

std::array<uint8_t, 2> CurrentBankReport() {
  DeviceLink& link = DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  return link.bankReport;
}

int ToggleGBank() {
  DeviceLink& link = DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  link.bankReport[1] ^= 0x01;
  return link.bankReport[1] & 0x01;
}

RequestSlots CurrentRequestSlots() {
  DeviceLink& link = DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  return {link.consumerSlot, link.commandSlot, link.bankSlot};
}

void HandOffCommandResponse(const uint8_t* report, size_t length) {
  DeviceLinkState().handOff.deliver(report, length);
}

void HandOffDeviceChange(int deviceCount) {
  if (deviceCount <= 0) DeviceLinkState().handOff.deviceGone();
}

int KV_TRANSPORT_CALL DefaultTransportCallback(const TransportEvent* event) {
  if (!event || !event->request) return 1;
  const TransportRequest& request = *event->request;
  if (request.tag != kTagCtrl) return 1;
  if (event->kind == kEventReport)
    HandOffCommandResponse(request.report, request.report ? request.length : 0);
  else if (event->kind == kEventDevicesChanged)
    HandOffDeviceChange(static_cast<int>(request.length));
  return 1;
}

}  // namespace kv
