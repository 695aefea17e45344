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
  // The report descriptor of each of the keyboard's interfaces (a node of
  // its own each); none: one interface with ExpectedKeyboardDescriptor().
  // Reports follow them: unnumbered ones with a 0 id byte, consumer usages
  // where the descriptor puts them.
  std::vector<std::vector<uint8_t>> interfaces;
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
  // Calls of enumerate() so far.
  int enumerations() const;
  // The next `count` opens of collections of that usage page fail with
  // status and message (another program holding it: AccessDenied).
  void refuseOpens(uint16_t usagePage, int count, IoStatus status, std::string message);
  // The next `count` reads on collections of that usage page (count < 0:
  // every one) end at once with status, the keyboard staying attached.
  void failReads(uint16_t usagePage, int count, IoStatus status);
  // The next `count` command reports are refused by the keyboard (a stall).
  void rejectWrites(int count);

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
    std::vector<HidCollection> collections;  // from its descriptors
  };
  friend int FakeEngineEvent(const TransportEvent* event);
  [[nodiscard]] bool takeReadFailure(uint16_t usagePage, IoStatus* status);
  void engineEvent(int keyboard, int interfaceIndex, const TransportEvent& event);

  mutable std::mutex mutex_;
  std::condition_variable stallWake_;
  std::vector<Keyboard> keyboards_;
  std::vector<std::weak_ptr<State>> states_;
  bool stall_ = false;
  std::chrono::microseconds readyRoundTrip_{0};  // 0: FakeAnswerTiming::ReaderWoken
  int opens_ = 0;
  int enumerations_ = 0;
  struct Refusal {
    uint16_t usagePage;
    int count;
    IoStatus status;
    std::string message;
  };
  std::vector<Refusal> refusals_;
  uint16_t failingReadsPage_ = 0;
  int failingReads_ = 0;
  IoStatus failingReadStatus_ = IoStatus::Failed;
  int rejectedWrites_ = 0;
  std::function<void()> changed_;  // under the registry's lock
  uint32_t registryBase_;
};

}  // namespace kv::hid
