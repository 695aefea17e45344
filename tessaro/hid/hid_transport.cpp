#include "tessaro/hid/hid_transport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

namespace kv::hid {

namespace {

constexpr uint16_t kConsumerPage = 0x000C;

std::string channelKey(const HidCollection& c) {
  char usage[16];
  std::snprintf(usage, sizeof usage, "#%04X:%04X", c.usagePage, c.usage);
  return c.path + usage;
}

bool isKeyboard(const HidCollection& c) {
  return c.vendorId == kKeyboardVendorId && c.productId == kKeyboardProductId;
}

// The output report for `length` bytes of the caller's: as they are when
// the device numbers its reports (the caller's first byte is the id), after
// a 0 id byte when it does not; zeros up to the collection's report length.
bool buildFrame(const HidCollection& c, const uint8_t* data, size_t length, std::vector<uint8_t>& frame) {
  size_t need = c.numbered ? length : length + 1;
  if (c.outputFrameBytes == 0 || need > c.outputFrameBytes) return false;
  frame.assign(c.outputFrameBytes, 0);
  std::copy(data, data + length, frame.begin() + (c.numbered ? 0 : 1));
  return true;
}

}  // namespace

bool ReadArrayUsage(const ArrayField& field, bool numbered, std::span<const uint8_t> frame, uint16_t* usage) {
  if (field.bitSize == 0 || frame.empty()) return false;
  if (numbered && frame[0] != field.reportId) return false;
  const uint64_t first = 8 + static_cast<uint64_t>(field.bitOffset);  // after the id byte
  if (first + field.bitSize > 8 * static_cast<uint64_t>(frame.size())) return false;
  uint32_t value = 0;
  for (uint32_t b = 0; b < field.bitSize; ++b) {
    uint64_t at = first + b;
    value |= static_cast<uint32_t>(frame[at / 8] >> (at % 8) & 1) << b;
  }
  // Below the logical minimum: the array is empty (nothing pressed).
  int64_t index = static_cast<int64_t>(value) - field.logicalMinimum;
  int64_t u = index < 0 ? 0 : index + field.usageMinimum;
  *usage = static_cast<uint16_t>(u > 0xFFFF ? 0 : u);
  return true;
}

uint16_t HidChannel::consumerUsage(const HidCollection& collection, std::span<const uint8_t> frame) {
  uint16_t usage = 0;
  return ReadArrayUsage(collection.consumerField, collection.numbered, frame, &usage) ? usage : 0;
}

IoStatus CancelledWriteStatus(bool completed, size_t sent, size_t wanted) {
  if (!completed) return IoStatus::TimedOut;
  return sent == wanted ? IoStatus::Ok : IoStatus::Failed;
}

const char* IoStatusName(IoStatus status) {
  switch (status) {
    case IoStatus::Ok: return "ok";
    case IoStatus::TimedOut: return "timed out";
    case IoStatus::Cancelled: return "cancelled";
    case IoStatus::Gone: return "device removed";
    case IoStatus::Rejected: return "refused by the device";
    case IoStatus::AccessDenied: return "access denied";
    case IoStatus::Busy: return "in use by another program";
    case IoStatus::Failed: return "failed";
  }
  return "?";
}

bool Matches(const DeviceMatch& match, const HidCollection& c) {
  uint32_t s = match.selector;
  return (!(s & 1) || match.vendorId == c.vendorId) && (!(s & 2) || match.productId == c.productId) &&
         (!(s & 4) || match.usagePage == c.usagePage) && (!(s & 8) || match.usage == c.usage) && (s & 0xF);
}

HidTransport::HidTransport(std::unique_ptr<HidBackend> backend, HidTransportOptions options)
    : backend_(std::move(backend)), options_(std::move(options)) {}

HidTransport::~HidTransport() { end(); }

void HidTransport::log(const std::string& line) {
  if (options_.log) options_.log(line);
}

int HidTransport::init() {
  {
    std::lock_guard lock(mutex_);
    if (started_) return 1;
    started_ = true;
    stop_ = false;
  }
  // A notice is handled on the backend's thread before it returns, so a
  // transaction waiting on a keyboard that went ends at once.
  if (!backend_->watch([this] { deviceChanged(); }))
    log("no device notifications: arrivals are seen only when a read ends");
  refresh();
  thread_ = std::thread([this] { deviceThread(); });
  return 1;
}

void HidTransport::end() {
  {
    std::lock_guard lock(mutex_);
    if (!started_) return;
    stop_ = true;
  }
  wake_.notify_all();
  backend_->unwatch();
  if (thread_.joinable()) thread_.join();
  std::map<std::string, std::shared_ptr<Channel>> closing;
  {
    std::lock_guard lock(mutex_);
    closing.swap(channels_);
    routes_.clear();
    requests_.clear();
    started_ = false;
  }
  for (auto& [key, ch] : closing) {
    if (ch->io) ch->io->cancelRead();
    if (ch->reader.joinable()) ch->reader.join();
  }
}

void HidTransport::requestRefresh() {
  {
    std::lock_guard lock(mutex_);
    refreshPending_ = true;
  }
  wake_.notify_all();
}

void HidTransport::scheduleRefreshLocked(std::chrono::milliseconds delay) {
  auto at = std::chrono::steady_clock::now() + delay;
  if (!refreshAt_ || at < *refreshAt_) refreshAt_ = at;
  wake_.notify_all();
}

void HidTransport::deviceChanged() {
  {
    std::lock_guard lock(mutex_);
    readFailures_.clear();  // a device change is a reason to try again
  }
  refresh();
}

void HidTransport::deviceThread() {
  std::unique_lock lock(mutex_);
  for (;;) {
    auto due = [this] {
      return refreshPending_ || stop_ || (refreshAt_ && std::chrono::steady_clock::now() >= *refreshAt_);
    };
    if (auto deadline = refreshAt_)
      wake_.wait_until(lock, *deadline, [&] { return due() || refreshAt_ != deadline; });
    else
      wake_.wait(lock, [&] { return due() || refreshAt_.has_value(); });
    if (stop_) return;
    if (!due()) continue;
    if (refreshAt_ && std::chrono::steady_clock::now() >= *refreshAt_) refreshAt_.reset();
    refreshPending_ = false;
    lock.unlock();
    refresh();
    lock.lock();
  }
}

void HidTransport::refreshNow() { refresh(); }

void HidTransport::refresh() {
  std::lock_guard serial(refreshMutex_);
  std::vector<HidCollection> found = backend_->enumerate();

  std::vector<std::shared_ptr<Channel>> closing;
  {
    std::lock_guard lock(mutex_);
    collections_ = std::move(found);
    routes_.clear();
    std::set<std::string> keys;
    for (const HidCollection& c : collections_)
      if (isKeyboard(c)) keys.insert(c.deviceKey);
    if (!keys.count(selectedKey_)) {
      if (!selectedKey_.empty()) log("keyboard " + selectedKey_ + " removed");
      selectedKey_ = keys.empty() ? std::string() : *keys.begin();
      if (!selectedKey_.empty())
        log("using keyboard " + selectedKey_ + " (" + std::to_string(keys.size()) + " attached)");
    } else if (keys.size() > 1) {
      log(std::to_string(keys.size()) + " keyboards attached; still using " + selectedKey_);
    }
    for (auto it = channels_.begin(); it != channels_.end();) {
      const HidCollection& c = it->second->collection;
      bool present = c.deviceKey == selectedKey_ &&
                     std::any_of(collections_.begin(), collections_.end(), [&](const HidCollection& n) {
                       return n.path == c.path && n.usagePage == c.usagePage && n.usage == c.usage;
                     });
      if (!present || it->second->readerEnded) {
        closing.push_back(it->second);
        it = channels_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Readers end outside the lock: a reader may be delivering an event whose
  // callback calls back into us.
  for (auto& ch : closing) {
    ch->io->cancelRead();
    if (ch->reader.joinable()) ch->reader.join();
  }
  closing.clear();

  struct Change {
    TransportCallback callback;
    uint32_t tag;
    int count;
  };
  std::vector<Change> changes;
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    ensureReadersLocked();
    for (Request& r : requests_) {
      int count = countLocked(r.match);
      if (count == r.lastCount) continue;
      r.lastCount = count;
      if (r.callback) changes.push_back({r.callback, r.tag, count});
    }
  }
  for (const Change& c : changes) CallWithDeviceCount(c.callback, c.tag, static_cast<uint32_t>(c.count));
}

int HidTransport::countLocked(const DeviceMatch& match) const {
  std::set<std::string> keys;
  for (const HidCollection& c : collections_)
    if (Matches(match, c)) keys.insert(c.deviceKey);
  return static_cast<int>(keys.size());
}

const HidCollection* HidTransport::findLocked(const DeviceMatch& match) const {
  if (selectedKey_.empty()) return nullptr;
  for (const HidCollection& c : collections_)
    if (c.deviceKey == selectedKey_ && Matches(match, c)) return &c;
  return nullptr;
}

std::shared_ptr<HidTransport::Channel> HidTransport::channelLocked(const HidCollection& collection) {
  std::string key = channelKey(collection);
  auto it = channels_.find(key);
  if (it != channels_.end()) return it->second;
  IoStatus status = IoStatus::Failed;
  std::string message;
  std::unique_ptr<HidChannel> io = backend_->open(collection, &status, &message);
  if (!io) {
    if (message.empty()) message = "cannot open " + collection.path + ": " + IoStatusName(status);
    if (message != lastError_) log(message);
    lastError_ = message;
    openFailures_[key] = status;
    return nullptr;
  }
  // Opened, perhaps on a later attempt (another program let go of it): the
  // failure said before no longer holds, unless another collection's does.
  openFailures_.erase(key);
  if (openFailures_.empty()) lastError_.clear();
  auto ch = std::make_shared<Channel>();
  ch->collection = collection;
  ch->io = std::move(io);
  channels_.emplace(key, ch);
  // Whoever opened it (a write, a standing read, a refresh), the standing
  // reads on it need its reader.
  startReaderLocked(ch);
  return ch;
}

void HidTransport::startReaderLocked(const std::shared_ptr<Channel>& ch) {
  const HidCollection& c = ch->collection;
  if (ch->reader.joinable() || c.inputFrameBytes == 0 || stop_ || !started_) return;
  if (auto f = readFailures_.find(channelKey(c)); f != readFailures_.end() && f->second > kReadRetries) return;
  bool wanted = std::any_of(requests_.begin(), requests_.end(),
                            [&](const Request& r) { return r.callback && Matches(r.match, c); });
  if (wanted) ch->reader = std::thread([this, ch] { readLoop(ch); });
}

void HidTransport::ensureReadersLocked() {
  for (const Request& r : requests_) {
    if (!r.callback) continue;
    const HidCollection* c = findLocked(r.match);
    if (!c || c->inputFrameBytes == 0) continue;
    if (auto f = readFailures_.find(channelKey(*c)); f != readFailures_.end() && f->second > kReadRetries) continue;
    if (std::shared_ptr<Channel> ch = channelLocked(*c)) startReaderLocked(ch);
  }
}

void HidTransport::readLoop(std::shared_ptr<Channel> channel) {
  std::vector<uint8_t> frame;
  frame.reserve(channel->collection.inputFrameBytes);
  IoStatus status;
  bool delivered = false;
  while ((status = channel->io->read(frame)) == IoStatus::Ok) {
    delivered = true;
    dispatch(*channel, frame, channel->writes.load(std::memory_order_acquire));
  }
  if (status == IoStatus::Cancelled) return;  // being closed
  // The collection is opened again at a fresh enumeration (a device that
  // went is not found there). One whose reads keep failing while it is
  // still attached must not spin: each reopening waits longer, and after
  // kReadRetries of them it waits for the next device change.
  std::lock_guard lock(mutex_);
  channel->readerEnded = true;
  int& failures = readFailures_[channelKey(channel->collection)];
  if (delivered) failures = 0;
  ++failures;
  if (failures <= kReadRetries) {
    scheduleRefreshLocked(kReadRetryDelay * (1 << (failures - 1)));
  } else if (failures == kReadRetries + 1) {
    log("reading " + channel->collection.path + " keeps failing (" + IoStatusName(status) +
        "); not opened again until the next device change");
  }
}

void HidTransport::dispatch(Channel& channel, const std::vector<uint8_t>& frame, uint64_t writesBeforeRead) {
  if (frame.empty()) return;
  const HidCollection& c = channel.collection;
  // The program gets the report as the device numbered it: with its id when
  // there is one (the command reports' byte 0), without the 0 otherwise.
  const uint8_t* bytes = c.numbered ? frame.data() : frame.data() + 1;
  size_t length = c.numbered ? frame.size() : frame.size() - 1;
  uint16_t usage = 0;
  TransportReportInfo info{};
  if (c.usagePage == kConsumerPage) {
    // Where the usage sits is the device's to say; a release (no usage) is no event.
    usage = channel.io->consumerUsage(c, frame);
    if (usage == 0) return;
    info.usage = &usage;
  }

  std::vector<Target>& targets = channel.targets;
  targets.clear();
  {
    std::lock_guard lock(mutex_);
    for (const Request& r : requests_)
      if (r.callback && Matches(r.match, c)) targets.push_back({r.callback, r.tag});
  }
  // On a collection that answers output reports, a report read before the
  // latest output report went out (the reader fell behind) would be taken
  // for that report's answer: it is dropped instead.
  const bool answers = c.outputFrameBytes != 0;
  for (const Target& t : targets) {
    if (answers && channel.writes.load(std::memory_order_acquire) != writesBeforeRead) return;
    CallWithReport(t.callback, t.tag, length ? bytes : nullptr, static_cast<uint32_t>(length), &info);
  }
}

int HidTransport::deviceCount(const DeviceMatch* match) {
  if (!match) return 0;
  std::lock_guard lock(mutex_);
  return countLocked(*match);
}

int HidTransport::asyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag, uint32_t unitId,
                            uint32_t* slot) {
  if (!match || !callback) return 0;
  std::lock_guard lock(mutex_);
  requests_.push_back({unitId, *match, callback, tag, countLocked(*match)});
  if (slot) *slot = unitId;
  if (started_) ensureReadersLocked();
  return 1;
}

int HidTransport::deleteRequest(uint32_t id) {
  if (id == 0) return 0;
  std::lock_guard lock(mutex_);
  auto end = std::remove_if(requests_.begin(), requests_.end(), [id](const Request& r) { return r.id == id; });
  bool any = end != requests_.end();
  requests_.erase(end, requests_.end());
  return any ? 1 : 0;
}

int HidTransport::writeOne(const DeviceMatch* match, const uint8_t* data, uint32_t length) {
  if (!match || !data || length == 0) return 0;
  std::shared_ptr<Channel> ch;
  {
    std::lock_guard lock(mutex_);
    for (const Route& r : routes_)
      if (std::memcmp(&r.match, match, sizeof *match) == 0) {
        ch = r.channel;
        break;
      }
    if (!ch) {
      const HidCollection* c = findLocked(*match);
      if (!c) return 0;
      ch = channelLocked(*c);
      if (ch) routes_.push_back({*match, ch});
    }
  }
  if (!ch) return 0;
  thread_local std::vector<uint8_t> frame;
  if (!buildFrame(ch->collection, data, length, frame)) {
    log("a report of " + std::to_string(length) + " bytes does not fit " + ch->collection.path + "'s " +
        std::to_string(ch->collection.outputFrameBytes) + "-byte output report");
    return 0;
  }
  IoStatus status;
  {
    std::lock_guard serial(ch->writeMutex);
    if (ch->collection.inputFrameBytes != 0) {
      // Whatever the collection sent before this report is no answer to it.
      ch->writes.fetch_add(1, std::memory_order_acq_rel);
      ch->io->discardInput();
    }
    status = ch->io->write(frame, options_.writeTimeout);
  }
  if (status == IoStatus::Ok) return static_cast<int>(length);
  log(std::string("write to ") + ch->collection.path + ": " + IoStatusName(status));
  if (status == IoStatus::Gone) requestRefresh();
  return 0;
}

int HidTransport::statusWrite(const DeviceMatch* match, const uint8_t* data, uint32_t length, uint32_t unitId,
                              uint32_t* slot) {
  if (slot) *slot = unitId;
  return writeOne(match, data, length) > 0 ? 1 : 0;
}

std::vector<KeyboardInfo> HidTransport::keyboards() {
  std::lock_guard lock(mutex_);
  std::map<std::string, KeyboardInfo> byKey;
  for (const HidCollection& c : collections_) {
    if (!isKeyboard(c)) continue;
    KeyboardInfo& k = byKey[c.deviceKey];
    k.deviceKey = c.deviceKey;
    k.selected = c.deviceKey == selectedKey_;
    k.collections.push_back(c);
  }
  std::vector<KeyboardInfo> out;
  for (auto& [key, k] : byKey) out.push_back(std::move(k));
  return out;
}

int HidTransport::openProblem(const DeviceMatch* match) {
  if (!match) return 0;
  std::lock_guard lock(mutex_);
  const HidCollection* c = findLocked(*match);
  if (!c) return 0;
  auto it = openFailures_.find(channelKey(*c));
  if (it == openFailures_.end()) return 0;
  return it->second == IoStatus::Busy ? 1 : it->second == IoStatus::AccessDenied ? 2 : 0;
}

std::string HidTransport::lastError() {
  std::lock_guard lock(mutex_);
  return lastError_;
}

// ---- the process-wide instance ------------------------------------------------

namespace {

std::mutex& instanceMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
// Never destroyed with the process: its threads may still call back while
// the process ends.
std::shared_ptr<HidTransport>* instance = nullptr;
std::unique_ptr<HidTransport> (*factory)() = nullptr;

}  // namespace

void InstallTransport(std::unique_ptr<HidTransport> transport) {
  std::shared_ptr<HidTransport> old;
  {
    std::lock_guard lock(instanceMutex());
    if (!instance) instance = new std::shared_ptr<HidTransport>;
    old = std::move(*instance);
    *instance = std::move(transport);
  }
  if (old) old->end();
}

std::shared_ptr<HidTransport> CurrentTransport() {
  std::lock_guard lock(instanceMutex());
  if (!instance) instance = new std::shared_ptr<HidTransport>;
  if (!*instance && factory) *instance = factory();
  return *instance;
}

void SetTransportFactory(std::unique_ptr<HidTransport> (*make)()) {
  std::lock_guard lock(instanceMutex());
  factory = make;
}

int KV_TRANSPORT_CALL Debug(int) { return 1; }

int KV_TRANSPORT_CALL Init(int) {
  auto t = CurrentTransport();
  return t ? t->init() : 0;
}

int KV_TRANSPORT_CALL End() {
  auto t = CurrentTransport();
  if (t) t->end();
  return 1;
}

int KV_TRANSPORT_CALL RequestGetDeviceCount(const DeviceMatch* match, TransportCallback, uint32_t, uint32_t,
                                            uint32_t*) {
  auto t = CurrentTransport();
  return t ? t->deviceCount(match) : 0;
}

int KV_TRANSPORT_CALL DeleteRequestFromUnitId(uint32_t id) {
  auto t = CurrentTransport();
  return t ? t->deleteRequest(id) : 0;
}

int KV_TRANSPORT_CALL DeleteRequestFromHandle(void*) { return 0; }

int KV_TRANSPORT_CALL RequestWrite(const DeviceMatch* match, TransportCallback, uint32_t, const uint8_t* data,
                                   uint32_t length, uint32_t, uint32_t*) {
  auto t = CurrentTransport();
  return t ? t->writeOne(match, data, length) : 0;
}

int KV_TRANSPORT_CALL RequestWriteOne(const DeviceMatch* match, TransportCallback, uint32_t, const uint8_t* data,
                                      uint32_t length, uint32_t, uint32_t*) {
  auto t = CurrentTransport();
  return t ? t->writeOne(match, data, length) : 0;
}

int KV_TRANSPORT_CALL RequestStatusWrite(const DeviceMatch* match, TransportCallback, uint32_t, const uint8_t* data,
                                         uint32_t length, uint32_t unitId, uint32_t* slot) {
  auto t = CurrentTransport();
  return t ? t->statusWrite(match, data, length, unitId, slot) : 0;
}

int KV_TRANSPORT_CALL RequestStatusGet(const DeviceMatch*, TransportCallback, uint32_t, uint8_t*, uint32_t, uint32_t,
                                       uint32_t*) {
  return 0;
}

int KV_TRANSPORT_CALL RequestAsyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag,
                                       uint32_t unitId, uint32_t* slot) {
  auto t = CurrentTransport();
  return t ? t->asyncRead(match, callback, tag, unitId, slot) : 0;
}

int KV_TRANSPORT_CALL RequestOpenStatus(const DeviceMatch* match) {
  auto t = CurrentTransport();
  return t ? t->openProblem(match) : 0;
}

int KV_TRANSPORT_CALL RequestStatusSetFeature(const DeviceMatch*, TransportCallback, uint32_t, const uint8_t*,
                                              uint32_t, uint32_t, uint32_t*) {
  return 0;
}

}  // namespace kv::hid
