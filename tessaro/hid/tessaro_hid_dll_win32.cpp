// Tessaro.dll over real HID devices: the twelve entry points of the HID
// transport with the Windows backend, made on the first call (never in
// DllMain). Diagnostics go to the debugger output.
#include <windows.h>

#include "tessaro/hid/hid_transport.h"
#include "tessaro/hid/hid_win32.h"

namespace {

std::unique_ptr<kv::hid::HidTransport> makeTransport() {
  kv::hid::HidTransportOptions options;
  options.log = kv::hid::DebugLine;
  return std::make_unique<kv::hid::HidTransport>(kv::hid::MakeWindowsHidBackend(), options);
}

void ensureFactory() {
  static const bool set = (kv::hid::SetTransportFactory(makeTransport), true);
  (void)set;
}

}  // namespace

extern "C" {

int Debug(int level) {
  ensureFactory();
  return kv::hid::Debug(level);
}
int Init(int flags) {
  ensureFactory();
  return kv::hid::Init(flags);
}
int End() {
  ensureFactory();
  return kv::hid::End();
}
int RequestGetDeviceCount(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag,
                          uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestGetDeviceCount(match, callback, tag, unitId, slot);
}
int DeleteRequestFromUnitId(uint32_t id) {
  ensureFactory();
  return kv::hid::DeleteRequestFromUnitId(id);
}
int DeleteRequestFromHandle(void* handle) {
  ensureFactory();
  return kv::hid::DeleteRequestFromHandle(handle);
}
int RequestWrite(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag, const uint8_t* data,
                 uint32_t length, uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestWrite(match, callback, tag, data, length, unitId, slot);
}
int RequestWriteOne(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag,
                    const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestWriteOne(match, callback, tag, data, length, unitId, slot);
}
int RequestStatusWrite(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag,
                       const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestStatusWrite(match, callback, tag, data, length, unitId, slot);
}
int RequestStatusGet(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag, uint8_t* data,
                     uint32_t length, uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestStatusGet(match, callback, tag, data, length, unitId, slot);
}
int RequestAsyncRead(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag, uint32_t unitId,
                     uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestAsyncRead(match, callback, tag, unitId, slot);
}
int RequestStatusSetFeature(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag,
                            const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  ensureFactory();
  return kv::hid::RequestStatusSetFeature(match, callback, tag, data, length, unitId, slot);
}

int RequestOpenStatus(const kv::DeviceMatch* match) {
  ensureFactory();
  return kv::hid::RequestOpenStatus(match);
}

}  // extern "C"
