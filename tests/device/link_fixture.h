// A fresh device link bound to a fresh in-process simulated keyboard. Built
// with KV_LINK_OVER_HID, the link reaches that keyboard through the HID
// transport and a fake HID device that answers with it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/protocol.h"
#include "device/transport.h"
#include "tessaro/sim/sim_transport.h"
#ifdef KV_LINK_OVER_HID
#include "tessaro/hid/fake_backend.h"
#include "tessaro/hid/hid_transport.h"
#endif

namespace kvtest {

// Short waits so retry paths take milliseconds, not seconds.
inline kv::TransactionTiming FastTiming() {
  kv::TransactionTiming t;
  t.responseTimeout = std::chrono::milliseconds(100);
  t.retryPause = std::chrono::milliseconds(1);
  t.staleFlagPause = std::chrono::milliseconds(5);
  t.endConfigPause = std::chrono::milliseconds(1);
  return t;
}

inline kv::sim::SimConfig ZeroRoundTrip() {
  kv::sim::SimConfig c;
  c.roundTrip = std::chrono::microseconds(0);
  return c;
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(ZeroRoundTrip(), FastTiming()); }
  void TearDown() override {
    Keyboard()->drain();
#ifdef KV_LINK_OVER_HID
    kv::hid::InstallTransport(nullptr);
#endif
    kv::sim::ResetKeyboard(ZeroRoundTrip());
    kv::ResetDeviceLink();
  }

  void Start(const kv::sim::SimConfig& config, const kv::TransactionTiming& timing) {
    kv::ResetDeviceLink();
    kv::sim::ResetKeyboard(config);
    kv::DeviceLinkState().timing = timing;
    kv::TransportApi api;
#ifdef KV_LINK_OVER_HID
    auto fake = std::make_unique<kv::hid::FakeHidBackend>();
    fake->addKeyboard("keyboard-1", Keyboard());
    hid_ = fake.get();
    kv::hid::InstallTransport(std::make_unique<kv::hid::HidTransport>(std::move(fake)));
    kv::hid::BindHidTransport(api);
#else
    kv::sim::BindSimulator(api);
#endif
    int count = -1;
    ASSERT_EQ(kv::StartTransport(api, kv::DefaultTransportCallback, &count), 0);
    ASSERT_EQ(count, config.attached ? 1 : 0);
    Keyboard()->clearTrace();
  }

  std::shared_ptr<kv::sim::SimKeyboard> Keyboard() { return kv::sim::CurrentKeyboard(); }

  void Fault(const kv::sim::SimFaults& f) { Keyboard()->setFaults(f); }

  // The trace lines of one kind ("OUT", "IN", "LED", "EVENT"), without the word.
  std::vector<std::string> Lines(const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& l : Keyboard()->trace())
      if (l.rfind(kind + " ", 0) == 0) out.push_back(l.substr(kind.size() + 1));
    return out;
  }
  std::vector<std::string> Out() { return Lines("OUT"); }

#ifdef KV_LINK_OVER_HID
  kv::hid::FakeHidBackend* hid_ = nullptr;  // owned by the installed transport
#endif

  static uint8_t ByteOf(const std::string& hex, size_t i) {
    return static_cast<uint8_t>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
  }
};

}  // namespace kvtest
