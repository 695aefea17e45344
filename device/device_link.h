// Process-wide state of the device link, in one place: the loaded library,
// the request slots, the bank report, the command channel's response
// hand-off and transaction lock, the profile caches and the time-outs.
// The event callback and the device workers reach it through DeviceLinkState().
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "device/transport.h"

namespace kv {

// Waits of the command transaction. Tests shorten them; the program keeps
// the defaults.
struct TransactionTiming {
  std::chrono::milliseconds responseTimeout{1000};
  std::chrono::milliseconds retryPause{10};
  std::chrono::milliseconds staleFlagPause{1001};
  std::chrono::milliseconds endConfigPause{10};
};

// The command channel's response hand-off: waiting flag, response buffer and
// capacity, received length and the auto-reset response event, all under
// one mutex so the callback thread and the transaction never race.
class CommandHandOff {
 public:
  enum class WaitResult { Answered, TimedOut, DeviceGone };

  // Resets the event, stores the buffer and sets the waiting flag.
  void arm(uint8_t* buffer, size_t capacity);
  // Clears the waiting flag; later reports are dropped.
  void disarm();
  bool waiting() const;
  // Waits for a report; an answered wait clears the flag so that no second
  // report can overwrite the buffer while the transaction reads it.
  WaitResult wait(std::chrono::milliseconds timeout, size_t* received);

  // Callback side.
  void deliver(const uint8_t* report, size_t length);
  void deviceGone();

  void reset();

 private:
  mutable std::mutex mutex_;
  std::condition_variable signal_;
  bool waiting_ = false;
  bool signalled_ = false;
  bool gone_ = false;
  uint8_t* buffer_ = nullptr;
  size_t capacity_ = 0;
  size_t received_ = 0;
};

struct DeviceLink {
  TransportApi api;
  TransportCallback callback = nullptr;

  std::mutex requestMutex;  // the slots and the bank report
  uint32_t consumerSlot = 0;
  uint32_t commandSlot = 0;
  uint32_t bankSlot = 0;
  std::array<uint8_t, 2> bankReport{0x05, 0x02};

  CommandHandOff handOff;
  std::mutex transactionMutex;  // one whole transaction at a time
  TransactionTiming timing;     // set before traffic starts

  std::atomic<int> activeProfile{-1};    // cache; -1 = read it again
  std::atomic<int> selectedProfile{0};   // lighting model's profile, for WriteColours
};

DeviceLink& DeviceLinkState();

}  // namespace kv
