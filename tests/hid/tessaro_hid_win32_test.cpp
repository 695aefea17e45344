// The HID Tessaro.dll under Wine, where no keyboard is attached: it loads
// with all twelve entry points, starts, counts no device on any of the
// three collections, refuses to send, and ends its threads on End.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>

#include "device/transport.h"
#include "device/transport_win32.h"
#include "tessaro/hid/hid_win32.h"
#include "widgets/application_win32.h"

namespace {

int events = 0;
int KV_TRANSPORT_CALL Count(const kv::TransportEvent*) {
  ++events;
  return 1;
}

TEST(TessaroHidDll, WithoutAKeyboardCountsNothingAndSendsNothing) {
  kv::TransportApi api;
  std::wstring cause;
  ASSERT_EQ(kv::BindTransportLibrary(kv::ExecutableFolder() + L"hid\\Tessaro.dll", &api, &cause), 0)
      << std::string(cause.begin(), cause.end());
  ASSERT_TRUE(api.complete());
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);

  int count = -1;
  ASSERT_EQ(kv::StartTransport(api, Count, &count), 0);
  EXPECT_EQ(count, 0);
  for (const kv::DeviceMatch* m : {&kv::kCommandChannel, &kv::kConsumerChannel, &kv::kLedChannel})
    EXPECT_EQ(api.RequestGetDeviceCount(m, nullptr, 0, 0, nullptr), 0);
  std::array<uint8_t, 64> report{};
  report[0] = 0x04;
  EXPECT_EQ(kv::SendCommandReport(report), 0);
  kv::SendBankReport();
  kv::RequestSlots slots = kv::CurrentRequestSlots();
  EXPECT_NE(slots.command, 0u);
  EXPECT_NE(slots.consumer, 0u);
  EXPECT_NE(slots.bank, 0u);
  EXPECT_EQ(api.DeleteRequestFromUnitId(slots.consumer), 1);
  EXPECT_EQ(api.DeleteRequestFromUnitId(slots.consumer), 0);
  EXPECT_EQ(events, 0);
  // The optional entry point the program asks when a keyboard will not open.
  auto openStatus = reinterpret_cast<int(KV_TRANSPORT_CALL*)(const kv::DeviceMatch*)>(
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(api.module), "RequestOpenStatus")));
  ASSERT_NE(openStatus, nullptr);
  EXPECT_EQ(openStatus(&kv::kCommandChannel), 0) << "nothing attached: nothing held";

  // Nothing was opened for reading or writing: what it holds now is its
  // notification thread and window, and End gives those back.
  EXPECT_EQ(api.End(), 1);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_LE(handlesAfter, handlesBefore + 2) << handlesBefore << " before, " << handlesAfter << " after";
  kv::ResetDeviceLink();
}

// A stall is the device refusing one report: the write fails, the
// keyboard is not looked for again.
TEST(TessaroHidErrors, EachWin32ErrorMeansWhatTheHidClassDriverMeansByIt) {
  using kv::hid::IoStatus;
  const std::pair<DWORD, IoStatus> table[] = {
      {ERROR_ACCESS_DENIED, IoStatus::AccessDenied},  {ERROR_SHARING_VIOLATION, IoStatus::Busy},
      {ERROR_DEVICE_NOT_CONNECTED, IoStatus::Gone},   {ERROR_FILE_NOT_FOUND, IoStatus::Gone},
      {ERROR_DEV_NOT_EXIST, IoStatus::Gone},          {ERROR_DEVICE_REMOVED, IoStatus::Gone},
      {ERROR_GEN_FAILURE, IoStatus::Rejected},        {ERROR_BAD_COMMAND, IoStatus::Rejected},
      {ERROR_SEM_TIMEOUT, IoStatus::TimedOut},        {ERROR_INVALID_PARAMETER, IoStatus::Failed},
  };
  for (auto [error, status] : table) EXPECT_EQ(kv::hid::StatusOfError(error), status) << error;
}

}  // namespace
