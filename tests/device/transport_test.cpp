// The system's side of the library: start-up order, request slots, unit
// identifiers passed, bank report. A recording fake library stands in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"

namespace {

struct Call {
  std::string name;
  uint32_t arg = 0;     // id for deletes, tag for requests
  uint32_t unitId = 0;
  uint16_t usagePage = 0;
  std::vector<uint8_t> data;
};

std::vector<Call> calls;
int initResult = 1;
int deviceCount = 1;
uint32_t nextSlotValue = 0x100;

int KV_TRANSPORT_CALL fakeDebug(int) { return 1; }
int KV_TRANSPORT_CALL fakeInit(int flags) {
  calls.push_back({"Init", static_cast<uint32_t>(flags), 0, 0, {}});
  return initResult;
}
int KV_TRANSPORT_CALL fakeEnd() { return 1; }
int KV_TRANSPORT_CALL fakeCount(const kv::DeviceMatch* m, kv::TransportCallback cb, uint32_t tag, uint32_t unitId,
                                uint32_t* slot) {
  EXPECT_EQ(cb, nullptr);
  EXPECT_EQ(tag, 0u);
  EXPECT_EQ(slot, nullptr);
  calls.push_back({"Count", tag, unitId, m->usagePage, {}});
  return deviceCount;
}
int KV_TRANSPORT_CALL fakeDelete(uint32_t id) {
  calls.push_back({"Delete", id, 0, 0, {}});
  return 1;
}
int KV_TRANSPORT_CALL fakeDeleteHandle(void*) { return 0; }
int KV_TRANSPORT_CALL fakeWrite(const kv::DeviceMatch* m, kv::TransportCallback, uint32_t tag, const uint8_t* d,
                                uint32_t n, uint32_t unitId, uint32_t* slot) {
  calls.push_back({"WriteOne", tag, unitId, m->usagePage, std::vector<uint8_t>(d, d + n)});
  EXPECT_EQ(slot, nullptr);
  return 1;
}
int KV_TRANSPORT_CALL fakeStatusWrite(const kv::DeviceMatch* m, kv::TransportCallback, uint32_t tag,
                                      const uint8_t* d, uint32_t n, uint32_t unitId, uint32_t* slot) {
  calls.push_back({"StatusWrite", tag, unitId, m->usagePage, std::vector<uint8_t>(d, d + n)});
  *slot = nextSlotValue++;
  return 1;
}
int KV_TRANSPORT_CALL fakeStatusGet(const kv::DeviceMatch*, kv::TransportCallback, uint32_t, uint8_t*, uint32_t,
                                    uint32_t, uint32_t*) {
  return 0;
}
int KV_TRANSPORT_CALL fakeAsyncRead(const kv::DeviceMatch* m, kv::TransportCallback cb, uint32_t tag,
                                    uint32_t unitId, uint32_t* slot) {
  EXPECT_EQ(cb, kv::DefaultTransportCallback);
  calls.push_back({"AsyncRead", tag, unitId, m->usagePage, {}});
  *slot = nextSlotValue++;
  return 1;
}

kv::TransportApi fakeApi() {
  kv::TransportApi api;
  api.Debug = fakeDebug;
  api.Init = fakeInit;
  api.End = fakeEnd;
  api.RequestGetDeviceCount = fakeCount;
  api.DeleteRequestFromUnitId = fakeDelete;
  api.DeleteRequestFromHandle = fakeDeleteHandle;
  api.RequestWrite = fakeWrite;
  api.RequestWriteOne = fakeWrite;
  api.RequestStatusWrite = fakeStatusWrite;
  api.RequestStatusGet = fakeStatusGet;
  api.RequestAsyncRead = fakeAsyncRead;
  api.RequestStatusSetFeature = fakeWrite;
  return api;
}

class TransportStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::ResetDeviceLink();
    calls.clear();
    initResult = 1;
    deviceCount = 1;
    nextSlotValue = 0x100;
  }
  void TearDown() override { kv::ResetDeviceLink(); }
};

uint32_t readId(const kv::DeviceMatch& m, uint32_t tag) {
  return kv::MakeUnitId({kv::PieceOf(m), kv::CallbackPiece(kv::DefaultTransportCallback), kv::Le32(tag)});
}

TEST_F(TransportStartTest, StartUpOrderSlotsAndUnitIds) {
  int count = -1;
  ASSERT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), 0);
  EXPECT_EQ(count, 1);
  const std::vector<std::string> order = {"Init", "Delete", "AsyncRead", "Delete", "AsyncRead", "Count"};
  ASSERT_EQ(calls.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(calls[i].name, order[i]) << i;
  EXPECT_EQ(calls[0].arg, 0u);  // Init(0)
  // The first delete of each slot is of 0.
  EXPECT_EQ(calls[1].arg, 0u);
  EXPECT_EQ(calls[3].arg, 0u);
  EXPECT_EQ(calls[2].arg, kv::kTagCons);
  EXPECT_EQ(calls[2].usagePage, 0x000C);
  EXPECT_EQ(calls[2].unitId, readId(kv::kConsumerChannel, kv::kTagCons));
  EXPECT_EQ(calls[4].arg, kv::kTagCtrl);
  EXPECT_EQ(calls[4].usagePage, 0xFF1C);
  EXPECT_EQ(calls[4].unitId, readId(kv::kCommandChannel, kv::kTagCtrl));
  const uint8_t zero4[4] = {};
  EXPECT_EQ(calls[5].unitId, kv::MakeUnitId({kv::PieceOf(kv::kCommandChannel), zero4, zero4}));
  EXPECT_EQ(kv::CurrentRequestSlots().consumer, 0x100u);
  EXPECT_EQ(kv::CurrentRequestSlots().command, 0x101u);
  EXPECT_EQ(kv::CurrentBankReport(), (std::array<uint8_t, 2>{0x05, 0x02}));
}

TEST_F(TransportStartTest, ReRegisteringDeletesThePreviousRequest) {
  int count = 0;
  ASSERT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), 0);
  calls.clear();
  kv::RegisterCommandRead();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "Delete");
  EXPECT_EQ(calls[0].arg, 0x101u);
  EXPECT_EQ(kv::CurrentRequestSlots().command, 0x102u);
}

TEST_F(TransportStartTest, BankReportTogglesAndDeletesItsPreviousRequest) {
  int count = 0;
  ASSERT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), 0);
  calls.clear();
  EXPECT_EQ(kv::ToggleGBank(), 1);
  kv::SendBankReport();
  EXPECT_EQ(kv::ToggleGBank(), 0);
  kv::SendBankReport();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].name, "Delete");
  EXPECT_EQ(calls[0].arg, 0u);  // first bank request
  EXPECT_EQ(calls[1].name, "StatusWrite");
  EXPECT_EQ(calls[1].data, (std::vector<uint8_t>{0x05, 0x03}));
  EXPECT_EQ(calls[1].arg, kv::kTagLed);
  EXPECT_EQ(calls[1].usagePage, 0x0008);
  const uint8_t bank[2] = {0x05, 0x03};
  EXPECT_EQ(calls[1].unitId, kv::MakeUnitId({kv::PieceOf(kv::kLedChannel),
                                             kv::CallbackPiece(kv::DefaultTransportCallback),
                                             kv::Le32(kv::kTagLed), bank}));
  EXPECT_EQ(calls[2].arg, 0x102u);  // the slot the library filled
  EXPECT_EQ(calls[3].data, (std::vector<uint8_t>{0x05, 0x02}));
}

TEST_F(TransportStartTest, InitNotAboveZeroFailsWithItsOwnCode) {
  for (int result : {0, -1}) {
    calls.clear();
    initResult = result;
    int count = 7;
    EXPECT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), kv::kExitTransportInitFailed);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(calls.size(), 1u);  // nothing after Init
  }
  EXPECT_NE(kv::kExitTransportLibraryMissing, kv::kExitTransportEntryPointMissing);
  EXPECT_NE(kv::kExitTransportEntryPointMissing, kv::kExitTransportInitFailed);
  EXPECT_NE(kv::kExitTransportLibraryMissing, 0);
}

TEST_F(TransportStartTest, CommandReportCarriesItsOwnUnitId) {
  int count = 0;
  ASSERT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), 0);
  calls.clear();
  kv::CommandReport r = kv::BuildCommandReport(0x03, 0x30, 0);
  EXPECT_EQ(kv::SendCommandReport(r), 1);
  ASSERT_EQ(calls.size(), 1u);
  const uint8_t zero4[4] = {};
  EXPECT_EQ(calls[0].unitId, kv::MakeUnitId({kv::PieceOf(kv::kCommandChannel), zero4, zero4, r}));
  EXPECT_EQ(calls[0].data.size(), 64u);
  EXPECT_EQ(calls[0].arg, 0u);
}

TEST_F(TransportStartTest, NegativeDeviceCountCountsAsNone) {
  int count = 0;
  ASSERT_EQ(kv::StartTransport(fakeApi(), kv::DefaultTransportCallback, &count), 0);
  deviceCount = -5;
  EXPECT_EQ(kv::CountDevices(), 0);
  std::array<uint8_t, 48> info{};
  calls.clear();
  EXPECT_EQ(kv::ReadInfoBlock(info), kv::kResultNoDevice);
  EXPECT_EQ(calls.size(), 1u);  // the count only, no report
}

TEST(HandOff, ReportsAreDroppedUnlessATransactionWaits) {
  kv::ResetDeviceLink();
  kv::CommandHandOff& h = kv::DeviceLinkState().handOff;
  std::array<uint8_t, 64> buffer{};
  uint8_t report[80];
  for (int i = 0; i < 80; ++i) report[i] = static_cast<uint8_t>(i);
  kv::HandOffCommandResponse(report, 64);  // nobody waits: dropped
  h.arm(buffer.data(), 16);
  size_t got = 0;
  kv::HandOffCommandResponse(report, 80);  // longer than the capacity: cut
  EXPECT_EQ(h.wait(std::chrono::milliseconds(0), &got), kv::CommandHandOff::WaitResult::Answered);
  EXPECT_EQ(got, 16u);
  EXPECT_EQ(buffer[15], 15);
  EXPECT_EQ(buffer[16], 0);
  EXPECT_FALSE(h.waiting());
  // After the answer nothing more is written into the buffer.
  report[0] = 0xAA;
  kv::HandOffCommandResponse(report, 64);
  EXPECT_EQ(buffer[0], 0);
  kv::ResetDeviceLink();
}

}  // namespace
