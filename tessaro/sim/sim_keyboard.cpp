#include "tessaro/sim/sim_keyboard.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "tessaro/sim/sim_factory.h"

namespace kv::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReport = 64;
constexpr size_t kPayload = 56;
constexpr uint8_t kOk = 0x00;
constexpr uint8_t kBad = 0xFF;
constexpr uint8_t kNotConfiguring = 0xFE;

// Interfaces the keyboard presents, by usage page and usage.
constexpr int kIfaceCommand = 0;
constexpr int kIfaceConsumer = 1;
constexpr int kIfaceLed = 2;

int interfaceOf(const DeviceMatch& m) {
  if (m.vendorId != kKeyboardVendorId || m.productId != kKeyboardProductId) return -1;
  if (m.usagePage == kCommandChannel.usagePage && m.usage == kCommandChannel.usage) return kIfaceCommand;
  if (m.usagePage == kConsumerChannel.usagePage && m.usage == kConsumerChannel.usage) return kIfaceConsumer;
  if (m.usagePage == kLedChannel.usagePage && m.usage == kLedChannel.usage) return kIfaceLed;
  return -1;
}

uint16_t checksumOf(std::span<const uint8_t> r) {
  uint16_t sum = 0;
  for (size_t i = 3; i < kReport; ++i) sum = static_cast<uint16_t>(sum + r[i]);
  return sum;
}

void seal(std::array<uint8_t, 64>& r) {
  r[1] = r[2] = 0;
  uint16_t sum = checksumOf(r);
  r[1] = static_cast<uint8_t>(sum);
  r[2] = static_cast<uint8_t>(sum >> 8);
}

constexpr char kStateMagic[8] = {'K', 'V', 'S', 'I', 'M', 'S', 'T', '1'};
constexpr uint16_t kStateVersion = 1;
constexpr size_t kStateHeader = 12;

size_t stateSize(size_t macroBytes) { return kStateHeader + 48 + 126 + 768 + 972 + macroBytes; }

}  // namespace

bool IsWriteCommand(uint8_t command) {
  return command == 0x04 || command == 0x06 || command == 0x08 || command == 0x0A || command == 0x11;
}

std::optional<Region> RegionByName(std::string_view name) {
  if (name == "info") return Region::Info;
  if (name == "settings") return Region::Settings;
  if (name == "colours") return Region::Colours;
  if (name == "keys") return Region::KeyTables;
  if (name == "default") return Region::DefaultKeyTable;
  if (name == "macro") return Region::Macro;
  return std::nullopt;
}

std::span<uint8_t> SimMemory::region(Region r) {
  switch (r) {
    case Region::Info: return info;
    case Region::Settings: return settings;
    case Region::Colours: return colours;
    case Region::KeyTables: return keyTables;
    case Region::DefaultKeyTable: return defaultKeyTable;
    case Region::Macro: return macro;
  }
  return {};
}

SimMemory FactoryMemory(int macroUnits, int activeProfile) {
  SimMemory m;
  macroUnits = std::clamp(macroUnits, 1, 255);
  m.info[0] = 0x01;  // firmware 1.0
  m.info[10] = static_cast<uint8_t>(std::clamp(activeProfile, 0, 2));
  m.info[11] = static_cast<uint8_t>(macroUnits);
  std::copy(kFactoryEffects.begin(), kFactoryEffects.end(), m.info.begin() + 16);
  for (int p = 0; p < 3; ++p) {
    std::copy(kFactorySettings[p].begin(), kFactorySettings[p].end(), m.settings.begin() + p * 42);
    std::copy(kFactoryPatterns.begin(), kFactoryPatterns.end(), m.colours.begin() + p * 256);
    std::copy(kKeySlotTemplate.begin(), kKeySlotTemplate.end(), m.keyTables.begin() + p * 324);
  }
  m.defaultKeyTable = kKeySlotTemplate;
  m.macro.assign(static_cast<size_t>(macroUnits) * 128, 0);
  return m;
}

CommandOutcome ProcessCommand(SimMemory& memory, bool& inBracket, std::span<const uint8_t> report) {
  CommandOutcome out;
  auto& r = out.response;
  r[0] = 0x04;
  std::memcpy(r.data() + 3, report.data() + 3, std::min<size_t>(report.size() > 3 ? report.size() - 3 : 0, 4));
  auto status = [&](uint8_t s) {
    r[7] = s;
    seal(r);
    return out;
  };
  if (report.size() < kReport || report[0] != 0x04) return status(kBad);
  if ((report[1] | report[2] << 8) != checksumOf(report)) return status(kBad);

  const uint8_t command = report[3];
  const size_t length = report[4];
  const size_t address = report[5] | static_cast<size_t>(report[6]) << 8;
  const uint8_t* payload = report.data() + 8;

  // Reads of settings and colours answer 56 bytes from the address, zeros
  // past the region's end; chunked reads answer the length asked for.
  auto readAligned = [&](std::span<const uint8_t> region) {
    if (length > kPayload || address >= region.size()) return status(kBad);
    size_t n = std::min(kPayload, region.size() - address);
    std::memcpy(r.data() + 8, region.data() + address, n);
    return status(kOk);
  };
  auto readExact = [&](std::span<const uint8_t> region) {
    if (length == 0 || length > kPayload || address + length > region.size()) return status(kBad);
    std::memcpy(r.data() + 8, region.data() + address, length);
    return status(kOk);
  };
  auto writeBracketed = [&](std::span<uint8_t> region) {
    if (length > kPayload || address + length > region.size()) return status(kBad);
    if (!inBracket) return status(kNotConfiguring);
    if (length) std::memcpy(region.data() + address, payload, length);
    out.changedMemory = length > 0;
    return status(kOk);
  };

  switch (command) {
    case 0x01:
      inBracket = true;
      return status(kOk);
    case 0x02:
      inBracket = false;
      out.changedMemory = true;
      return status(kOk);
    case 0x03:
      if (length != 48 || address != 0) return status(kBad);
      std::memcpy(r.data() + 8, memory.info.data(), 48);
      return status(kOk);
    case 0x04: {
      if (length != 48 || address != 0 || payload[10] > 2) return status(kBad);
      // The memory size and the effect list are the firmware's; writes keep them.
      uint8_t units = memory.info[11];
      std::array<uint8_t, 32> effects;
      std::memcpy(effects.data(), memory.info.data() + 16, 32);
      std::memcpy(memory.info.data(), payload, 48);
      memory.info[11] = units;
      std::memcpy(memory.info.data() + 16, effects.data(), 32);
      out.changedMemory = true;
      return status(kOk);
    }
    case 0x05: return readAligned(memory.settings);
    case 0x06: return writeBracketed(memory.settings);
    case 0x07: return readExact(memory.keyTables);
    case 0x08: return writeBracketed(memory.keyTables);
    case 0x09: return readExact(memory.macro);
    case 0x0A: return writeBracketed(memory.macro);
    case 0x0F: return readExact(memory.defaultKeyTable);
    case 0x10: return readAligned(memory.colours);
    case 0x11: return writeBracketed(memory.colours);
    default: return status(kBad);
  }
}

std::vector<uint8_t> SerializeState(const SimMemory& m) {
  std::vector<uint8_t> out(stateSize(m.macro.size()));
  std::memcpy(out.data(), kStateMagic, 8);
  uint16_t units = static_cast<uint16_t>(m.macro.size() / 128);
  out[8] = static_cast<uint8_t>(kStateVersion);
  out[9] = static_cast<uint8_t>(kStateVersion >> 8);
  out[10] = static_cast<uint8_t>(units);
  out[11] = static_cast<uint8_t>(units >> 8);
  size_t at = kStateHeader;
  auto add = [&](std::span<const uint8_t> s) {
    if (!s.empty()) std::memcpy(out.data() + at, s.data(), s.size());
    at += s.size();
  };
  add(m.info);
  add(m.settings);
  add(m.colours);
  add(m.keyTables);
  add(m.macro);
  return out;
}

bool ParseState(std::span<const uint8_t> image, SimMemory* memory, std::string* error) {
  if (image.size() < kStateHeader || std::memcmp(image.data(), kStateMagic, 8) != 0) {
    *error = "not a simulated keyboard state file";
    return false;
  }
  unsigned version = image[8] | image[9] << 8;
  if (version != kStateVersion) {
    *error = "unknown state file version " + std::to_string(version);
    return false;
  }
  unsigned units = image[10] | image[11] << 8;
  if (units < 1 || units > 255) {
    *error = "macro memory size out of range";
    return false;
  }
  if (image.size() != stateSize(units * 128u)) {
    *error = "state file has " + std::to_string(image.size()) + " bytes, expected " +
             std::to_string(stateSize(units * 128u));
    return false;
  }
  SimMemory m = FactoryMemory(static_cast<int>(units), 0);
  size_t at = kStateHeader;
  auto take = [&](std::span<uint8_t> s) {
    std::memcpy(s.data(), image.data() + at, s.size());
    at += s.size();
  };
  take(m.info);
  take(m.settings);
  take(m.colours);
  take(m.keyTables);
  take(m.macro);
  if (m.info[11] != units) {
    *error = "information block disagrees with the macro memory size";
    return false;
  }
  if (m.info[10] > 2) {
    *error = "active profile out of range";
    return false;
  }
  *memory = std::move(m);
  return true;
}

std::string Hex(std::span<const uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return out;
}

// ---- SimKeyboard -----------------------------------------------------------

SimKeyboard::SimKeyboard(SimConfig config)
    : config_(std::move(config)), attached_(config_.attached), trace_(config_.traceLines) {
  if (!config_.tracePath.empty()) traceFile_.open(config_.tracePath, std::ios::app | std::ios::binary);
  loadState();
  thread_ = std::thread([this] { run(); });
}

SimKeyboard::~SimKeyboard() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  idle_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SimKeyboard::loadState() {
  int units = config_.macroUnits > 0 ? config_.macroUnits : kDefaultMacroUnits;
  int profile = config_.activeProfile >= 0 ? config_.activeProfile : 0;
  memory_ = FactoryMemory(units, profile);
  if (config_.statePath.empty()) return;
  std::error_code ec;
  if (!std::filesystem::exists(config_.statePath, ec)) {
    traceLocked("# no state file; factory contents");
    return;
  }
  std::vector<uint8_t> image;
  bool readError = false;
  {
    // Closed before anything else happens to the file: Windows cannot
    // rename a file that is still open.
    std::ifstream in(config_.statePath, std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    readError = in.bad();
  }
  SimMemory loaded;
  std::string error;
  if (!readError && ParseState(image, &loaded, &error)) {
    memory_ = std::move(loaded);
    if (config_.macroUnits > 0 && static_cast<int>(memory_.macro.size() / 128) != config_.macroUnits) {
      memory_.macro.resize(static_cast<size_t>(std::clamp(config_.macroUnits, 1, 255)) * 128, 0);
      memory_.info[11] = static_cast<uint8_t>(memory_.macro.size() / 128);
    }
    if (config_.activeProfile >= 0 && config_.activeProfile <= 2)
      memory_.info[10] = static_cast<uint8_t>(config_.activeProfile);
    traceLocked("# state loaded");
    return;
  }
  // Keep the unreadable file for inspection; start as a new keyboard.
  std::filesystem::path bad = config_.statePath;
  bad += ".bad";
  std::filesystem::rename(config_.statePath, bad, ec);
  // Not set aside, the file would be overwritten by the next save.
  if (ec) traceLocked("# state file not set aside: " + ec.message());
  traceLocked("# state file unreadable (" + (error.empty() ? std::string("read error") : error) +
              "); factory contents" + (ec ? std::string() : "; kept as " + bad.filename().string()));
}

bool SimKeyboard::saveLocked() {
  if (config_.statePath.empty()) return true;
  bool saved = writeStateLocked();
  if (!saved && !saveFailureTold_) {
    saveFailureTold_ = true;
    if (config_.saveFailed) config_.saveFailed(config_.statePath);
  }
  return saved;
}

bool SimKeyboard::writeStateLocked() {
  std::vector<uint8_t> image = SerializeState(memory_);
  std::filesystem::path tmp = config_.statePath;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.good()) {
      traceLocked("# state file not written");
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, config_.statePath, ec);
  if (ec) {
    traceLocked("# state file not replaced: " + ec.message());
    return false;
  }
  return true;
}

void SimKeyboard::traceLocked(std::string line) {
  if (traceFile_.is_open()) {
    traceFile_ << line << '\n';
    traceFile_.flush();
  }
  trace_.append(line);
}

void SimKeyboard::note(std::string_view text) {
  std::lock_guard lock(mutex_);
  traceLocked("# " + std::string(text));
}

int SimKeyboard::matchingDevices(const DeviceMatch& match) const {
  return attached_ && interfaceOf(match) >= 0 ? 1 : 0;
}

int SimKeyboard::deviceCount(const DeviceMatch* match) {
  if (!match) return 0;
  std::lock_guard lock(mutex_);
  return matchingDevices(*match);
}

int SimKeyboard::asyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag, uint32_t unitId,
                           uint32_t* slot) {
  if (!match || !callback) return 0;
  std::lock_guard lock(mutex_);
  requests_.push_back({unitId, *match, callback, tag});
  if (slot) *slot = unitId;
  return 1;
}

int SimKeyboard::deleteRequest(uint32_t id) {
  if (id == 0) return 0;
  std::lock_guard lock(mutex_);
  auto end = std::remove_if(requests_.begin(), requests_.end(), [id](const Request& r) { return r.id == id; });
  bool any = end != requests_.end();
  requests_.erase(end, requests_.end());
  return any ? 1 : 0;
}

int SimKeyboard::writeOne(const DeviceMatch* match, const uint8_t* data, uint32_t length) {
  std::lock_guard lock(mutex_);
  if (!attached_ || !match || interfaceOf(*match) != kIfaceCommand) return 0;
  if (!data || length != kReport) {
    traceLocked("# refused a report of " + std::to_string(length) + " bytes");
    return 0;
  }
  std::span<const uint8_t> report(data, kReport);
  ++reportsReceived_;
  traceLocked("OUT " + Hex(report));

  if (faults_.after > 0) {
    --faults_.after;
    CommandOutcome plain = ProcessCommand(memory_, inBracket_, report);
    if (plain.changedMemory) (void)saveLocked();  // memory stays right; the next change saves again
    scheduleAnswer(plain.response, config_.roundTrip, 64);
    return static_cast<int>(kReport);
  }
  if (faults_.unplugAfter > 0 && --faults_.unplugAfter == 0) {
    attached_ = false;
    traceLocked("# unplugged with this report unanswered");
    scheduleDeviceChange();
    return static_cast<int>(kReport);
  }
  CommandOutcome outcome;
  if (faults_.dropResponses > 0) {
    --faults_.dropResponses;
    outcome = ProcessCommand(memory_, inBracket_, report);
    if (outcome.changedMemory) (void)saveLocked();  // memory stays right; the next change saves again
    traceLocked("# answer lost");
    return static_cast<int>(kReport);
  }
  if (faults_.errorStatus > 0) {
    --faults_.errorStatus;
    outcome.response[0] = 0x04;
    std::memcpy(outcome.response.data() + 3, data + 3, 4);
    outcome.response[7] = faults_.statusByte;
    seal(outcome.response);
  } else if (faults_.lyingWrites > 0 && IsWriteCommand(report[3])) {
    // A keyboard that says it stored what it did not: only reading back
    // tells.
    --faults_.lyingWrites;
    outcome.response[0] = 0x04;
    std::memcpy(outcome.response.data() + 3, data + 3, 4);
    outcome.response[7] = kOk;
    seal(outcome.response);
    traceLocked("# write acknowledged, not stored");
  } else {
    outcome = ProcessCommand(memory_, inBracket_, report);
    if (outcome.changedMemory) (void)saveLocked();  // memory stays right; the next change saves again
  }
  if (faults_.wrongEcho > 0) {
    --faults_.wrongEcho;
    outcome.response[3] ^= 0x80;
    seal(outcome.response);
  }
  std::chrono::nanoseconds delay = config_.roundTrip;
  if (faults_.lateResponses > 0) {
    --faults_.lateResponses;
    delay = faults_.lateDelay;
  }
  size_t size = kReport;
  if (faults_.shortResponses > 0) {
    --faults_.shortResponses;
    size = std::min(faults_.shortLength, kReport);
  }
  scheduleAnswer(outcome.response, delay, size);
  return static_cast<int>(kReport);
}

void SimKeyboard::scheduleAnswer(const std::array<uint8_t, 64>& response, std::chrono::nanoseconds delay,
                                 size_t size) {
  Delivery d;
  d.due = Clock::now() + std::chrono::duration_cast<Clock::duration>(delay);
  d.kind = kEventReport;
  d.interfaceIndex = kIfaceCommand;
  d.bytes.assign(response.begin(), response.begin() + static_cast<long>(size));
  d.traceLine = "IN " + Hex(d.bytes);
  schedule(std::move(d));
}

int SimKeyboard::statusWrite(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                             const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  std::lock_guard lock(mutex_);
  if (!attached_ || !match || interfaceOf(*match) != kIfaceLed || !data || length != 2) return 0;
  bankReport_ = {data[0], data[1]};
  traceLocked("LED " + Hex(bankReport_));
  requests_.push_back({unitId, *match, callback, tag});
  if (slot) *slot = unitId;
  return 1;
}

void SimKeyboard::schedule(Delivery d) {
  auto due = d.due;
  queue_.emplace(due, std::move(d));
  wake_.notify_all();
}

void SimKeyboard::scheduleDeviceChange() {
  Delivery d;
  d.due = Clock::now();
  d.kind = kEventDevicesChanged;
  d.interfaceIndex = -1;
  d.traceLine = "EVENT DEVICES " + std::to_string(attached_ ? 1 : 0);
  schedule(std::move(d));
}

void SimKeyboard::run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (queue_.empty()) {
      idle_.notify_all();
      wake_.wait(lock);
      continue;
    }
    auto due = queue_.begin()->first;
    auto now = Clock::now();
    if (due > now) {
      // Wait on the condition most of the way, then sleep the last stretch
      // finely: a millisecond timer's slack (over a millisecond per
      // answer under Wine) would otherwise be charged to the link. A round
      // trip's answer is slept finely all the way; a delivery scheduled
      // meanwhile waits for it, a few milliseconds at most.
      constexpr auto fine = std::chrono::microseconds(5000);
      if (due - now > fine) {
        wake_.wait_until(lock, due - fine);
      } else {
        auto rest = std::chrono::duration_cast<std::chrono::nanoseconds>(due - now);
        auto sleep = config_.preciseSleep;
        lock.unlock();
        if (sleep)
          sleep(rest);
        else
          std::this_thread::sleep_for(rest);
        while (Clock::now() < due) std::this_thread::yield();  // a sleeper that woke early
        lock.lock();
      }
      continue;
    }
    Delivery d = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());

    struct Target {
      TransportCallback callback;
      uint32_t tag;
      uint32_t count;
    };
    std::vector<Target> targets;
    for (const Request& r : requests_) {
      if (!r.callback) continue;
      if (d.kind == kEventDevicesChanged) {
        targets.push_back({r.callback, r.tag, static_cast<uint32_t>(matchingDevices(r.match))});
      } else if (interfaceOf(r.match) == d.interfaceIndex && attached_) {
        targets.push_back({r.callback, r.tag, 0});
      }
    }
    traceLocked(d.traceLine);
    if (targets.empty() && d.kind == kEventReport) traceLocked(attached_ ? "# not delivered: no reader" : "# not delivered: unplugged");
    delivering_ = true;
    lock.unlock();
    uint16_t usage = d.usage;
    TransportReportInfo info{};
    info.usage = &usage;
    for (const Target& t : targets) {
      if (d.kind == kEventReport)
        CallWithReport(t.callback, t.tag, d.bytes.data(), static_cast<uint32_t>(d.bytes.size()), &info);
      else
        CallWithDeviceCount(t.callback, t.tag, t.count, &info);
    }
    lock.lock();
    delivering_ = false;
  }
}

void SimKeyboard::drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return (queue_.empty() && !delivering_) || stop_; });
}

void SimKeyboard::plug() {
  std::lock_guard lock(mutex_);
  if (attached_) return;
  attached_ = true;
  inBracket_ = false;
  scheduleDeviceChange();
}

void SimKeyboard::unplug() {
  std::lock_guard lock(mutex_);
  if (!attached_) return;
  attached_ = false;
  scheduleDeviceChange();
}

void SimKeyboard::sendConsumerEvent(uint16_t code, int newProfile) {
  std::lock_guard lock(mutex_);
  if (!attached_) {
    traceLocked("# event not sent: no keyboard");
    return;
  }
  if (code == 0x0402) {
    memory_.info[10] = static_cast<uint8_t>(newProfile >= 0 && newProfile <= 2 ? newProfile
                                                                                : (memory_.info[10] + 1) % 3);
    (void)saveLocked();  // memory stays right; the next change saves again
  }
  Delivery d;
  d.due = Clock::now();
  d.kind = kEventReport;
  d.interfaceIndex = kIfaceConsumer;
  d.bytes = {static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
  d.usage = code;
  d.traceLine = "EVENT CONS " + Hex(std::array<uint8_t, 2>{static_cast<uint8_t>(code >> 8),
                                                            static_cast<uint8_t>(code)});
  schedule(std::move(d));
}

void SimKeyboard::setFaults(const SimFaults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
}

SimFaults SimKeyboard::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void SimKeyboard::setRoundTrip(std::chrono::microseconds roundTrip) {
  std::lock_guard lock(mutex_);
  config_.roundTrip = roundTrip;
}

SimStatus SimKeyboard::status() const {
  std::lock_guard lock(mutex_);
  return {attached_,        memory_.info[10], static_cast<int>(memory_.macro.size()), inBracket_,
          config_.roundTrip, bankReport_,     requests_.size(),                        reportsReceived_};
}

std::vector<uint8_t> SimKeyboard::read(Region region, size_t offset, size_t length) const {
  std::lock_guard lock(mutex_);
  auto r = const_cast<SimMemory&>(memory_).region(region);
  if (offset > r.size()) return {};
  length = std::min(length, r.size() - offset);
  return std::vector<uint8_t>(r.begin() + static_cast<long>(offset), r.begin() + static_cast<long>(offset + length));
}

bool SimKeyboard::write(Region region, size_t offset, std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (region == Region::DefaultKeyTable) return false;  // read-only on the keyboard too
  auto r = memory_.region(region);
  if (offset > r.size() || bytes.size() > r.size() - offset) return false;
  if (region == Region::Info) {
    // The memory size is the hardware's. Any other byte may be set, even
    // to values a keyboard should not hold, to test the program against them.
    std::array<uint8_t, 48> next = memory_.info;
    std::copy(bytes.begin(), bytes.end(), next.begin() + static_cast<long>(offset));
    if (next[11] != memory_.info[11]) return false;
  }
  std::copy(bytes.begin(), bytes.end(), r.begin() + static_cast<long>(offset));
  (void)saveLocked();  // memory stays right; the next change saves again
  return true;
}

void SimKeyboard::restoreFactory() {
  std::lock_guard lock(mutex_);
  memory_ = FactoryMemory(static_cast<int>(memory_.macro.size() / 128), 0);
  inBracket_ = false;
  (void)saveLocked();  // memory stays right; the next change saves again
}

bool SimKeyboard::save() {
  std::lock_guard lock(mutex_);
  return saveLocked();
}

std::vector<std::string> SimKeyboard::trace() const {
  std::lock_guard lock(mutex_);
  return trace_.lines();
}

void SimKeyboard::clearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

}  // namespace kv::sim
