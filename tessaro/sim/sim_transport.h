// The twelve entry points of the transport library over one process-wide
// simulated keyboard. Tessaro.dll exports them by their plain names; native
// programs bind them directly with BindSimulator.
#pragma once

#include <memory>

#include "device/transport.h"
#include "tessaro/sim/sim_keyboard.h"

namespace kv::sim {

// The keyboard the entry points talk to; created with a default
// configuration on first use.
std::shared_ptr<SimKeyboard> CurrentKeyboard();
// Replaces it with a new keyboard; the old one's thread is stopped first.
void ResetKeyboard(const SimConfig& config);
// Where the first CurrentKeyboard() takes its configuration from (the DLL
// reads the environment); the default makes SimConfig{}.
void SetConfigProvider(SimConfig (*provider)());

// Fills api with the in-process entry points.
void BindSimulator(TransportApi& api);

int KV_TRANSPORT_CALL Debug(int level);
int KV_TRANSPORT_CALL Init(int flags);
int KV_TRANSPORT_CALL End();
int KV_TRANSPORT_CALL RequestGetDeviceCount(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                            uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL DeleteRequestFromUnitId(uint32_t id);
int KV_TRANSPORT_CALL DeleteRequestFromHandle(void* handle);
int KV_TRANSPORT_CALL RequestWrite(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                   const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL RequestWriteOne(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                      const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL RequestStatusWrite(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                         const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL RequestStatusGet(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                       uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL RequestAsyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                       uint32_t unitId, uint32_t* slot);
int KV_TRANSPORT_CALL RequestStatusSetFeature(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                              const uint8_t* data, uint32_t length, uint32_t unitId,
                                              uint32_t* slot);

}  // namespace kv::sim
