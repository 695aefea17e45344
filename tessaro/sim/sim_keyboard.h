// The simulated keyboard behind our Tessaro.dll: the keyboard's memory map
// and command answers, its events, a timing model, fault injection, a
// traffic trace and a state file. Portable; runs its own event thread.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "device/transport.h"
#include "tessaro/sim/trace_ring.h"

namespace kv::sim {

inline constexpr int kDefaultMacroUnits = 64;  // 8 KiB of macro memory

struct SimConfig {
  int macroUnits = 0;        // information-block byte 11; 0 = from the state file, else the default
  int activeProfile = -1;    // -1 = from the state file, else 0
  bool attached = true;
  std::chrono::microseconds roundTrip{2000};
  std::filesystem::path statePath;  // empty: memory only
  std::filesystem::path tracePath;  // empty: in-memory trace only
  size_t traceLines = 20000;        // report lines kept in memory for read-out (room made at the start)
  // Sleeps the last stretch before an answer is due. The default is the
  // standard library's; a host whose standard sleep is as coarse as its
  // millisecond timer supplies a finer one.
  void (*preciseSleep)(std::chrono::nanoseconds) = nullptr;
  // Told of the first state file that could not be written (the memory then
  // lasts only as long as the process): once, not at every change.
  void (*saveFailed)(const std::filesystem::path& statePath) = nullptr;
};

enum class Region { Info, Settings, Colours, KeyTables, DefaultKeyTable, Macro };
std::optional<Region> RegionByName(std::string_view name);

struct SimMemory {
  std::array<uint8_t, 48> info{};
  std::array<uint8_t, 3 * 42> settings{};
  std::array<uint8_t, 3 * 256> colours{};
  std::array<uint8_t, 3 * 324> keyTables{};
  std::array<uint8_t, 324> defaultKeyTable{};
  std::vector<uint8_t> macro;

  std::span<uint8_t> region(Region r);
};

// What a new keyboard holds.
SimMemory FactoryMemory(int macroUnits, int activeProfile);

// The keyboard's answer to one command report: echo of bytes 3-6, a status,
// and the payload. inBracket follows BeginConfig / EndConfig.
struct CommandOutcome {
  std::array<uint8_t, 64> response{};
  bool changedMemory = false;  // worth saving
};
CommandOutcome ProcessCommand(SimMemory& memory, bool& inBracket, std::span<const uint8_t> report);

// State file: the keyboard's memory between runs.
std::vector<uint8_t> SerializeState(const SimMemory& memory);
// Fills memory from a state image; on failure memory is untouched and
// *error says why.
[[nodiscard]] bool ParseState(std::span<const uint8_t> image, SimMemory* memory, std::string* error);

// Each fault counts the reports it applies to; `after` lets that many
// reports pass untouched first.
struct SimFaults {
  int after = 0;
  int dropResponses = 0;      // the next N reports get no answer
  int errorStatus = 0;        // the next N reports are answered with statusByte
  uint8_t statusByte = 0xFF;
  int wrongEcho = 0;          // the next N answers echo another command
  int lateResponses = 0;      // the next N answers come after lateDelay
  std::chrono::milliseconds lateDelay{0};
  int unplugAfter = 0;        // the N-th report from now is lost as the keyboard goes away
  int shortResponses = 0;     // the next N answers are cut to shortLength bytes
  size_t shortLength = 8;
  int lyingWrites = 0;        // the next N writes are answered with status 0 but not stored
};

// Commands that change the keyboard's memory (information block, settings,
// key tables, macro memory, per-key regions).
bool IsWriteCommand(uint8_t command);

struct SimStatus {
  bool attached;
  int activeProfile;
  int macroBytes;
  bool inBracket;
  std::chrono::microseconds roundTrip;
  std::array<uint8_t, 2> bankReport;
  size_t standingRequests;
  uint64_t reportsReceived;
};

class SimKeyboard {
 public:
  explicit SimKeyboard(SimConfig config);
  ~SimKeyboard();
  SimKeyboard(const SimKeyboard&) = delete;
  SimKeyboard& operator=(const SimKeyboard&) = delete;

  // ---- the library's entry points ----
  [[nodiscard]] int deviceCount(const DeviceMatch* match);
  [[nodiscard]] int asyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag, uint32_t unitId,
                uint32_t* slot);
  [[nodiscard]] int writeOne(const DeviceMatch* match, const uint8_t* data, uint32_t length);
  [[nodiscard]] int statusWrite(const DeviceMatch* match, TransportCallback callback, uint32_t tag, const uint8_t* data,
                  uint32_t length, uint32_t unitId, uint32_t* slot);
  [[nodiscard]] int deleteRequest(uint32_t id);
  void note(std::string_view text);  // a '#' line in the trace

  // ---- control ----
  void plug();
  void unplug();
  // Sends a consumer event code; 0x0402 also moves the active profile (to
  // newProfile when given, else the next one).
  void sendConsumerEvent(uint16_t code, int newProfile = -1);
  void setFaults(const SimFaults& faults);
  SimFaults faults() const;
  void setRoundTrip(std::chrono::microseconds roundTrip);
  SimStatus status() const;
  std::vector<uint8_t> read(Region region, size_t offset, size_t length) const;
  [[nodiscard]] bool write(Region region, size_t offset, std::span<const uint8_t> bytes);
  void restoreFactory();
  [[nodiscard]] bool save();
  std::vector<std::string> trace() const;
  void clearTrace();

  // Waits until every scheduled answer and event has been delivered.
  void drain();

 private:
  struct Request {
    uint32_t id;
    DeviceMatch match;
    TransportCallback callback;
    uint32_t tag;
  };
  struct Delivery {
    std::chrono::steady_clock::time_point due;
    int32_t kind;
    int interfaceIndex;            // kind 1: 0 command, 1 consumer
    std::vector<uint8_t> bytes;    // kind 1: the report
    uint16_t usage = 0;            // consumer reports
    std::string traceLine;         // written when delivered
  };

  void run();
  void schedule(Delivery d);                     // mutex_ held
  void scheduleAnswer(const std::array<uint8_t, 64>& response, std::chrono::nanoseconds delay,
                      size_t size);              // mutex_ held
  void scheduleDeviceChange();                   // mutex_ held
  void traceLocked(std::string line);            // mutex_ held
  [[nodiscard]] bool saveLocked();                             // mutex_ held
  [[nodiscard]] bool writeStateLocked();                       // mutex_ held
  void loadState();
  int matchingDevices(const DeviceMatch& match) const;  // mutex_ held

  SimConfig config_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  SimMemory memory_;
  bool inBracket_ = false;
  bool saveFailureTold_ = false;
  bool attached_;
  SimFaults faults_;
  std::array<uint8_t, 2> bankReport_{};
  std::vector<Request> requests_;
  std::multimap<std::chrono::steady_clock::time_point, Delivery> queue_;
  bool delivering_ = false;
  uint64_t reportsReceived_ = 0;
  TraceRing trace_;
  std::ofstream traceFile_;
  bool stop_ = false;
  std::thread thread_;
};

std::string Hex(std::span<const uint8_t> bytes);
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

}  // namespace kv::sim
