#include "tessaro/sim/sim_transport.h"

#include <mutex>
#include <string>

namespace kv::sim {

namespace {

SimConfig defaultConfig() { return SimConfig{}; }

std::mutex& instanceMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
// Never destroyed with the process: the keyboard's thread may still run
// while the process ends.
std::shared_ptr<SimKeyboard>* instance = nullptr;
SimConfig (*configProvider)() = defaultConfig;

}  // namespace

std::shared_ptr<SimKeyboard> CurrentKeyboard() {
  std::lock_guard lock(instanceMutex());
  if (!instance) instance = new std::shared_ptr<SimKeyboard>(std::make_shared<SimKeyboard>(configProvider()));
  return *instance;
}

void ResetKeyboard(const SimConfig& config) {
  std::shared_ptr<SimKeyboard> old;
  {
    std::lock_guard lock(instanceMutex());
    if (!instance) instance = new std::shared_ptr<SimKeyboard>;
    old = std::move(*instance);
    *instance = std::make_shared<SimKeyboard>(config);
  }
  // The old keyboard's thread ends here, outside the lock, since its
  // callbacks may call the entry points.
  old.reset();
}

void SetConfigProvider(SimConfig (*provider)()) {
  std::lock_guard lock(instanceMutex());
  configProvider = provider ? provider : defaultConfig;
}

int KV_TRANSPORT_CALL Debug(int level) {
  CurrentKeyboard()->note("Debug " + std::to_string(level));
  return 1;
}

int KV_TRANSPORT_CALL Init(int) {
  CurrentKeyboard()->note("Init");
  return 1;
}

int KV_TRANSPORT_CALL End() {
  CurrentKeyboard()->note("End");
  return 1;
}

int KV_TRANSPORT_CALL RequestGetDeviceCount(const DeviceMatch* match, TransportCallback, uint32_t, uint32_t,
                                            uint32_t*) {
  return CurrentKeyboard()->deviceCount(match);
}

int KV_TRANSPORT_CALL DeleteRequestFromUnitId(uint32_t id) { return CurrentKeyboard()->deleteRequest(id); }

int KV_TRANSPORT_CALL DeleteRequestFromHandle(void*) { return 0; }

int KV_TRANSPORT_CALL RequestWrite(const DeviceMatch* match, TransportCallback, uint32_t, const uint8_t* data,
                                   uint32_t length, uint32_t, uint32_t*) {
  return CurrentKeyboard()->writeOne(match, data, length);
}

int KV_TRANSPORT_CALL RequestWriteOne(const DeviceMatch* match, TransportCallback, uint32_t, const uint8_t* data,
                                      uint32_t length, uint32_t, uint32_t*) {
  return CurrentKeyboard()->writeOne(match, data, length);
}

int KV_TRANSPORT_CALL RequestStatusWrite(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                         const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  return CurrentKeyboard()->statusWrite(match, callback, tag, data, length, unitId, slot);
}

int KV_TRANSPORT_CALL RequestStatusGet(const DeviceMatch*, TransportCallback, uint32_t, uint8_t*, uint32_t,
                                       uint32_t, uint32_t*) {
  return 0;
}

int KV_TRANSPORT_CALL RequestAsyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                       uint32_t unitId, uint32_t* slot) {
  return CurrentKeyboard()->asyncRead(match, callback, tag, unitId, slot);
}

int KV_TRANSPORT_CALL RequestStatusSetFeature(const DeviceMatch*, TransportCallback, uint32_t, const uint8_t*,
                                              uint32_t, uint32_t, uint32_t*) {
  return 0;
}

}  // namespace kv::sim
