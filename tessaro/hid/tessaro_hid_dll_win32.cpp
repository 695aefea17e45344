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

#define KV_SHIM_IMPL kv::hid
#define KV_SHIM_READY ensureFactory
#include "tessaro/export_shims.inc"
