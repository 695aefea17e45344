// A HID backend for tests and benchmarks whose keyboards answer with the
// simulated keyboard's engine: its memory, answers, events, timing and
// faults. Each keyboard presents the collections of
// ExpectedKeyboardDescriptor(), one path per collection as on Windows.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tessaro/hid/hid_backend.h"
#include "tessaro/sim/sim_keyboard.h"

namespace kv::hid {

struct FakeKeyboardOptions {
  bool withLed = true;  // false: the right ids, but no LED collection
};

// When the reader of the command collection is running as an answer arrives.
enum class FakeAnswerTiming {
  // Asleep in its read until the engine's thread queues the answer: a
  // thread wake per answer, as on a real keyboard.
  ReaderWoken,
  // The fake device keeps the time instead of the engine (give the engine
  // a zero round trip): an answer becomes readable the round trip after its
  // report was written, and the reader is running at that moment, since it
  // sleeps to just before and spins the rest, as the engine's own thread
  // does before it calls a callback directly. That is the timing model of
  // the simulated keyboard bound without the HID core, so a comparison of
  // the two measures the core.
  ReaderReady,
};

class FakeHidBackend : public HidBackend {
 public:
  FakeHidBackend();
  ~FakeHidBackend() override;
  FakeHidBackend(const FakeHidBackend&) = delete;
  FakeHidBackend& operator=(const FakeHidBackend&) = delete;

  // A keyboard named `key` whose engine answers; it is attached while the
  // engine is (SimKeyboard::plug / unplug).
  void addKeyboard(std::string key, std::shared_ptr<sim::SimKeyboard> engine, FakeKeyboardOptions options = {});
  // true: command writes never complete; they end at their time-out, or at
  // once when the keyboard is unplugged.
  void stallWrites(bool stall);
  // ReaderWoken unless set; roundTrip counts for ReaderReady only.
  void setAnswerTiming(FakeAnswerTiming timing, std::chrono::microseconds roundTrip = {});
  // Calls of open() so far.
  int opens() const;

  std::vector<HidCollection> enumerate() override;
  std::unique_ptr<HidChannel> open(const HidCollection& collection, IoStatus* status, std::string* message) override;
  bool watch(std::function<void()> changed) override;
  void unwatch() override;

  struct State;  // one open channel's queue

 private:
  struct Keyboard {
    std::string key;
    std::shared_ptr<sim::SimKeyboard> engine;
    FakeKeyboardOptions options;
    uint32_t commandId = 0;
    uint32_t consumerId = 0;
  };
  friend int FakeEngineEvent(const TransportEvent* event);
  void engineEvent(int keyboard, int interfaceIndex, const TransportEvent& event);

  mutable std::mutex mutex_;
  std::condition_variable stallWake_;
  std::vector<Keyboard> keyboards_;
  std::vector<std::weak_ptr<State>> states_;
  bool stall_ = false;
  std::chrono::microseconds readyRoundTrip_{0};  // 0: FakeAnswerTiming::ReaderWoken
  int opens_ = 0;
  std::function<void()> changed_;  // under the registry's lock
  uint32_t registryBase_;
};

}  // namespace kv::hid
