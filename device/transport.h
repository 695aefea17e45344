// The transport library's interface as the program sees it: the records it
// passes and receives, the twelve entry points, unit identifiers, and the
// system's own operations on the three interfaces of the keyboard.
// Portable: no OS header. Loading the library from disk is transport_win32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "base/exit_codes.h"  // kExitTransport*: the library cannot be used

namespace kv {

// The library's calling convention; only 32-bit Windows distinguishes one.
#if defined(_WIN32) && !defined(_WIN64)
#define KV_TRANSPORT_CALL __stdcall
#else
#define KV_TRANSPORT_CALL
#endif

// ---- Records ---------------------------------------------------------------

#pragma pack(push, 1)
// Selects one HID interface of the keyboard.
struct DeviceMatch {
  uint32_t selector;
  uint16_t vendorId;
  uint16_t productId;
  uint16_t usagePage;
  uint16_t usage;
  uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(DeviceMatch) == 16);
static_assert(offsetof(DeviceMatch, vendorId) == 4);
static_assert(offsetof(DeviceMatch, productId) == 6);
static_assert(offsetof(DeviceMatch, usagePage) == 8);
static_assert(offsetof(DeviceMatch, usage) == 10);
static_assert(offsetof(DeviceMatch, reserved) == 12);

inline constexpr uint32_t kMatchSelector = 0x0000000F;
inline constexpr uint16_t kKeyboardVendorId = 0x0C45;
inline constexpr uint16_t kKeyboardProductId = 0x6518;

inline constexpr DeviceMatch kCommandChannel{kMatchSelector, kKeyboardVendorId, kKeyboardProductId, 0xFF1C, 0x0092, 0};
inline constexpr DeviceMatch kConsumerChannel{kMatchSelector, kKeyboardVendorId, kKeyboardProductId, 0x000C, 0x0001, 0};
inline constexpr DeviceMatch kLedChannel{kMatchSelector, kKeyboardVendorId, kKeyboardProductId, 0x0008, 0x0089, 0};

// Request tags: the letters are the bytes from the most significant one.
inline constexpr uint32_t kTagCtrl = 0x4354524C;  // CTRL
inline constexpr uint32_t kTagCons = 0x434F4E53;  // CONS
inline constexpr uint32_t kTagLed = 0x004C4544;   // LED

// What the library hands the callback. The layouts are those of a 64-bit
// process; pointers are the library's and valid only during the call.
#pragma pack(push, 1)
struct TransportReportInfo {
  uint8_t reserved[28];
  const uint16_t* usage;  // the received usage value (consumer reports)
};
#pragma pack(pop)
static_assert(offsetof(TransportReportInfo, usage) == 28);

struct TransportRequest {
  uint32_t tag;
  uint32_t length;  // kind 1: report length in bytes; kind 0: matching devices attached
  const uint8_t* report;
  const TransportReportInfo* info;
};
static_assert(sizeof(void*) == 8, "the event layouts are those of a 64-bit process");
static_assert(offsetof(TransportRequest, tag) == 0);
static_assert(offsetof(TransportRequest, length) == 4);
static_assert(offsetof(TransportRequest, report) == 8);
static_assert(offsetof(TransportRequest, info) == 16);

inline constexpr int32_t kEventDevicesChanged = 0;
inline constexpr int32_t kEventReport = 1;

struct TransportEvent {
  int32_t kind;
  uint32_t reserved;
  const TransportRequest* request;
};
static_assert(offsetof(TransportEvent, kind) == 0);
static_assert(offsetof(TransportEvent, request) == 8);

// The one callback the program registers; returns 1 for every event.
using TransportCallback = int(KV_TRANSPORT_CALL*)(const TransportEvent* event);

// The library's side: one event handed to a callback, its records built
// on the stack for the call (our implementations of the library use these).
inline int CallWithReport(TransportCallback callback, uint32_t tag, const uint8_t* report, uint32_t length,
                          const TransportReportInfo* info) {
  TransportRequest request{tag, length, report, info};
  TransportEvent event{kEventReport, 0, &request};
  return callback(&event);
}
inline int CallWithDeviceCount(TransportCallback callback, uint32_t tag, uint32_t count,
                               const TransportReportInfo* info = nullptr) {
  TransportRequest request{tag, count, nullptr, info};
  TransportEvent event{kEventDevicesChanged, 0, &request};
  return callback(&event);
}

// ---- Entry points ------------------------------------------------------------

using TransportDebugFn = int(KV_TRANSPORT_CALL*)(int level);
using TransportInitFn = int(KV_TRANSPORT_CALL*)(int flags);
using TransportEndFn = int(KV_TRANSPORT_CALL*)();
using RequestGetDeviceCountFn = int(KV_TRANSPORT_CALL*)(const DeviceMatch* match, TransportCallback callback,
                                                        uint32_t tag, uint32_t unitId, uint32_t* slot);
using DeleteRequestFromUnitIdFn = int(KV_TRANSPORT_CALL*)(uint32_t id);
using DeleteRequestFromHandleFn = int(KV_TRANSPORT_CALL*)(void* handle);
using RequestWriteFn = int(KV_TRANSPORT_CALL*)(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                               const uint8_t* data, uint32_t length, uint32_t unitId,
                                               uint32_t* slot);
using RequestStatusGetFn = int(KV_TRANSPORT_CALL*)(const DeviceMatch* match, TransportCallback callback,
                                                   uint32_t tag, uint8_t* data, uint32_t length, uint32_t unitId,
                                                   uint32_t* slot);
using RequestAsyncReadFn = int(KV_TRANSPORT_CALL*)(const DeviceMatch* match, TransportCallback callback,
                                                   uint32_t tag, uint32_t unitId, uint32_t* slot);

// Resolved by name in this order.
inline constexpr std::array<const char*, 12> kTransportEntryPoints = {
    "Debug",           "Init",           "End",
    "RequestGetDeviceCount", "DeleteRequestFromUnitId", "DeleteRequestFromHandle",
    "RequestWrite",    "RequestWriteOne", "RequestStatusWrite",
    "RequestStatusGet", "RequestAsyncRead", "RequestStatusSetFeature"};

struct TransportApi {
  void* module = nullptr;  // the library's module handle, opaque here
  TransportDebugFn Debug = nullptr;
  TransportInitFn Init = nullptr;
  TransportEndFn End = nullptr;
  RequestGetDeviceCountFn RequestGetDeviceCount = nullptr;
  DeleteRequestFromUnitIdFn DeleteRequestFromUnitId = nullptr;
  DeleteRequestFromHandleFn DeleteRequestFromHandle = nullptr;
  RequestWriteFn RequestWrite = nullptr;
  RequestWriteFn RequestWriteOne = nullptr;
  RequestWriteFn RequestStatusWrite = nullptr;
  RequestStatusGetFn RequestStatusGet = nullptr;
  RequestAsyncReadFn RequestAsyncRead = nullptr;
  RequestWriteFn RequestStatusSetFeature = nullptr;

  bool complete() const;
};

// ---- Unit identifiers -------------------------------------------------------

// A fixed permutation of 0..255.
inline constexpr std::array<uint8_t, 256> UnitIdTable = {
    0xFD, 0x86, 0xD1, 0xCA, 0xDB, 0xD5, 0xCC, 0x5E, 0x02, 0x0E, 0xE0, 0xB6, 0xA9, 0xF7, 0x6D, 0xA8,
    0xB3, 0xE1, 0xF8, 0x0F, 0x26, 0x3D, 0x54, 0x6B, 0x82, 0x99, 0xB0, 0xC7, 0xDE, 0xF5, 0x0C, 0x23,
    0x3A, 0x51, 0x68, 0x7F, 0x96, 0xAD, 0xC4, 0xF2, 0x09, 0x20, 0x37, 0x4E, 0x65, 0x7C, 0x93, 0xAA,
    0xC1, 0xD8, 0xEF, 0x06, 0x1D, 0x34, 0x4B, 0x62, 0x79, 0x90, 0xA7, 0xBE, 0xEC, 0x03, 0x1A, 0x31,
    0x48, 0x5F, 0x76, 0x8D, 0xA4, 0xBB, 0xD2, 0xE9, 0x00, 0x17, 0x2E, 0x45, 0x5C, 0x73, 0x8A, 0xA1,
    0xB8, 0xCF, 0xE6, 0x14, 0x2B, 0x42, 0x59, 0x70, 0x87, 0x9E, 0xB5, 0xE3, 0xFA, 0x11, 0x28, 0x3F,
    0x56, 0x84, 0x9B, 0xB2, 0xC9, 0x25, 0x3C, 0x53, 0x6A, 0x81, 0x98, 0xAF, 0xC6, 0xDD, 0xF4, 0x0B,
    0x22, 0x39, 0x50, 0x67, 0x7E, 0x95, 0xAC, 0xC3, 0xDA, 0xF1, 0x08, 0x1F, 0x36, 0x4D, 0x64, 0x7B,
    0x92, 0xC0, 0xD7, 0xEE, 0x05, 0x1C, 0x33, 0x4A, 0x61, 0x78, 0x8F, 0xA6, 0xBD, 0xD4, 0xEB, 0x19,
    0x30, 0x47, 0x75, 0x8C, 0xA3, 0xBA, 0xE8, 0xFF, 0x16, 0x2D, 0x44, 0x5B, 0x72, 0x89, 0xA0, 0xB7,
    0xCE, 0xE5, 0xFC, 0x13, 0x2A, 0x41, 0x58, 0x6F, 0x9D, 0xB4, 0xCB, 0xE2, 0xF9, 0x10, 0x27, 0x3E,
    0x55, 0x6C, 0x83, 0x9A, 0xB1, 0xC8, 0xDF, 0xF6, 0x0D, 0x24, 0x3B, 0x52, 0x69, 0x80, 0x97, 0xAE,
    0xC5, 0xDC, 0xF3, 0x0A, 0x21, 0x38, 0x4F, 0x66, 0x7D, 0x94, 0xAB, 0xC2, 0xD9, 0xF0, 0x07, 0x1E,
    0x35, 0x4C, 0x63, 0x7A, 0x91, 0xBF, 0xD6, 0xED, 0x04, 0x1B, 0x32, 0x49, 0x60, 0x77, 0x8E, 0xA5,
    0xBC, 0xD3, 0xEA, 0x01, 0x18, 0x2F, 0x46, 0x5D, 0x74, 0x8B, 0xA2, 0xB9, 0xD0, 0xE7, 0xFE, 0x15,
    0x2C, 0x43, 0x5A, 0x71, 0x88, 0x9F, 0xCD, 0xE4, 0xFB, 0x12, 0x29, 0x40, 0x57, 0x6E, 0x85, 0x9C,
};

using UnitIdPiece = std::span<const uint8_t>;

// Wrapping sum of UnitIdTable[b] over every byte b of every piece.
uint32_t MakeUnitId(std::initializer_list<UnitIdPiece> pieces);

inline UnitIdPiece PieceOf(const DeviceMatch& match) {
  return {reinterpret_cast<const uint8_t*>(&match), sizeof match};
}
std::array<uint8_t, 4> Le32(uint32_t value);
// The low four bytes of the callback's address, as the identifier counts it.
std::array<uint8_t, 4> CallbackPiece(TransportCallback callback);

// ---- The system's operations ----------------------------------------------

// Steps 3-8 of the start-up after the entry points are resolved: Init, the
// bank report, the standing CONS and CTRL reads. Returns 0 and the device
// count, or kExitTransportInitFailed.
[[nodiscard]] int StartTransport(const TransportApi& api, TransportCallback callback, int* deviceCount);

// The loaded library; empty until StartTransport.
const TransportApi& Transport();

int CountDevices();
[[nodiscard]] int SendCommandReport(std::span<const uint8_t, 64> report);
void RegisterConsumerRead();
void RegisterCommandRead();
void SendBankReport();

// Bank report: 0x05, then 0x02 with bit 0 = the selected G-key bank.
std::array<uint8_t, 2> CurrentBankReport();
// Flips the bank bit and returns the new bank (0 = A, 1 = B); does not send.
int ToggleGBank();

// The current value of each standing request's slot (tests and diagnostics).
struct RequestSlots {
  uint32_t consumer;
  uint32_t command;
  uint32_t bank;
};
RequestSlots CurrentRequestSlots();

// The CTRL hand-off of the event callback: gives a received report to the
// transaction that waits for it; dropped when none waits.
void HandOffCommandResponse(const uint8_t* report, size_t length);
// A device change seen by the event callback: a waiting transaction ends at
// once when no keyboard is left instead of waiting out its time-out.
void HandOffDeviceChange(int deviceCount);

// A minimal callback: CTRL responses and CTRL device changes only. The
// program's full event handling replaces it.
int KV_TRANSPORT_CALL DefaultTransportCallback(const TransportEvent* event);

// Forgets the loaded library and every piece of link state (tests only).
void ResetDeviceLink();

}  // namespace kv
