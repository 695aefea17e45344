#include "tessaro/hid/fake_backend.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "tessaro/hid/report_descriptor.h"

namespace kv::hid {

namespace {

constexpr int kIfaceCommand = 0;
constexpr int kIfaceConsumer = 1;
constexpr uint8_t kConsumerReportId = 0x03;

// Engines deliver to a plain function; the registry finds the backend and
// keyboard from the request's tag. Its lock is held while an event is
// handled, so a backend that unregisters knows no event still runs in it.
struct Registry {
  std::mutex mutex;
  std::map<uint32_t, std::pair<FakeHidBackend*, int>> byTag;  // tag base -> backend, keyboard
};
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}
std::atomic<uint32_t> nextBase{0x10000};

// A consumer report as the collection's descriptor lays it out.
std::vector<uint8_t> consumerFrame(const HidCollection& c, uint16_t usage) {
  const ArrayField& f = c.consumerField;
  if (f.bitSize == 0) return {kConsumerReportId, static_cast<uint8_t>(usage), static_cast<uint8_t>(usage >> 8)};
  std::vector<uint8_t> frame(std::max<size_t>(c.inputFrameBytes, 1 + (f.bitOffset + f.bitSize + 7) / 8), 0);
  frame[0] = c.numbered ? f.reportId : 0;
  int64_t value = usage == 0 ? 0 : static_cast<int64_t>(usage) - f.usageMinimum + f.logicalMinimum;
  for (uint32_t b = 0; b < f.bitSize; ++b)
    if (value >> b & 1) frame[1 + (f.bitOffset + b) / 8] |= static_cast<uint8_t>(1u << ((f.bitOffset + b) % 8));
  return frame;
}

int collectionIndexOf(const HidCollection& c) {
  if (c.usagePage == kConsumerChannel.usagePage && c.usage == kConsumerChannel.usage) return kIfaceConsumer;
  if (c.usagePage == kCommandChannel.usagePage && c.usage == kCommandChannel.usage) return kIfaceCommand;
  if (c.usagePage == kLedChannel.usagePage && c.usage == kLedChannel.usage) return 2;
  return -1;
}

}  // namespace

struct FakeHidBackend::State {
  std::string key;
  int collection;
  HidCollection layout;
  std::mutex m;
  std::condition_variable cv;
  struct Frame {
    std::chrono::steady_clock::time_point readable;  // FakeAnswerTiming::ReaderReady
    std::vector<uint8_t> bytes;
  };
  std::deque<Frame> frames;
  std::chrono::steady_clock::time_point lastWrite;  // of a command report
  bool cancelled = false;
  bool gone = false;
};

namespace {

class FakeChannel : public HidChannel {
 public:
  FakeChannel(std::shared_ptr<FakeHidBackend::State> state, std::shared_ptr<sim::SimKeyboard> engine,
              std::function<IoStatus(std::span<const uint8_t>, std::chrono::milliseconds)> write,
              std::function<bool(IoStatus*)> failRead)
      : state_(std::move(state)), engine_(std::move(engine)), write_(std::move(write)), failRead_(std::move(failRead)) {}

  IoStatus read(std::vector<uint8_t>& frame) override {
    // The engine sleeps to this much before a due time and spins the rest.
    constexpr auto kSpin = std::chrono::microseconds(300);
    if (IoStatus failed; failRead_(&failed)) return failed;
    std::unique_lock lock(state_->m);
    for (;;) {
      if (state_->cancelled) {
        state_->cancelled = false;
        return IoStatus::Cancelled;
      }
      if (state_->gone) return IoStatus::Gone;
      if (state_->frames.empty()) {
        state_->cv.wait(lock);
        continue;
      }
      auto readable = state_->frames.front().readable;
      auto now = std::chrono::steady_clock::now();
      if (now >= readable) break;
      if (readable - now > kSpin) {
        state_->cv.wait_until(lock, readable - kSpin);
      } else {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
      }
    }
    frame.swap(state_->frames.front().bytes);
    state_->frames.pop_front();
    return IoStatus::Ok;
  }
  IoStatus write(std::span<const uint8_t> frame, std::chrono::milliseconds timeout) override {
    {
      std::lock_guard lock(state_->m);
      if (state_->gone) return IoStatus::Gone;
    }
    return write_(frame, timeout);
  }
  void discardInput() override {
    std::lock_guard lock(state_->m);
    state_->frames.clear();
  }
  void cancelRead() override {
    {
      std::lock_guard lock(state_->m);
      state_->cancelled = true;
    }
    state_->cv.notify_all();
  }

 private:
  std::shared_ptr<FakeHidBackend::State> state_;
  std::shared_ptr<sim::SimKeyboard> engine_;
  std::function<IoStatus(std::span<const uint8_t>, std::chrono::milliseconds)> write_;
  std::function<bool(IoStatus*)> failRead_;
};

}  // namespace

int FakeEngineEvent(const TransportEvent* event) {
  if (!event || !event->request) return 1;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  uint32_t tag = event->request->tag;
  auto it = r.byTag.find(tag & ~1u);
  if (it != r.byTag.end()) it->second.first->engineEvent(it->second.second, static_cast<int>(tag & 1u), *event);
  return 1;
}

FakeHidBackend::FakeHidBackend() : registryBase_(nextBase.fetch_add(0x100)) {}

FakeHidBackend::~FakeHidBackend() {
  std::vector<Keyboard> keyboards;
  {
    std::lock_guard lock(mutex_);
    keyboards = keyboards_;
  }
  for (const Keyboard& k : keyboards) {
    (void)k.engine->deleteRequest(k.commandId);
    (void)k.engine->deleteRequest(k.consumerId);
  }
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (auto it = r.byTag.begin(); it != r.byTag.end();)
    it = it->second.first == this ? r.byTag.erase(it) : std::next(it);
}

void FakeHidBackend::addKeyboard(std::string key, std::shared_ptr<sim::SimKeyboard> engine,
                                 FakeKeyboardOptions options) {
  // Its collections, one node per interface, as the platform would present them.
  std::vector<HidCollection> collections;
  std::vector<std::vector<uint8_t>> interfaces = options.interfaces;
  if (interfaces.empty()) {
    auto expected = ExpectedKeyboardDescriptor();
    interfaces.emplace_back(expected.begin(), expected.end());
  }
  int n = 0;
  for (const std::vector<uint8_t>& descriptor : interfaces) {
    ReportDescriptor layout;
    std::string error;
    if (!ParseReportDescriptor(descriptor, &layout, &error)) continue;  // the platform would not list it
    for (const TopLevelCollection& t : layout.collections) {
      ++n;
      HidCollection c;
      c.path = "fake/" + key + "/col" + std::to_string(n);
      c.deviceKey = key;
      c.vendorId = kKeyboardVendorId;
      c.productId = kKeyboardProductId;
      c.usagePage = t.usagePage;
      c.usage = t.usage;
      c.numbered = layout.numbered;
      c.inputFrameBytes = static_cast<uint16_t>(t.inputBytes ? t.inputBytes + 1 : 0);
      c.outputFrameBytes = static_cast<uint16_t>(t.outputBytes ? t.outputBytes + 1 : 0);
      c.consumerField = t.consumer;
      if (collectionIndexOf(c) == 2 && !options.withLed) continue;
      collections.push_back(c);
    }
  }
  int index;
  uint32_t tag;
  {
    std::lock_guard lock(mutex_);
    index = static_cast<int>(keyboards_.size());
    tag = registryBase_ + 2 * static_cast<uint32_t>(index);
    keyboards_.push_back({std::move(key), engine, options, tag + 0xA0000000u, tag + 0xB0000000u, collections});
  }
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.byTag[tag] = {this, index};
  }
  Keyboard k;
  {
    std::lock_guard lock(mutex_);
    k = keyboards_.back();
  }
  uint32_t slot = 0;
  (void)engine->asyncRead(&kCommandChannel, FakeEngineEvent, tag | kIfaceCommand, k.commandId, &slot);
  (void)engine->asyncRead(&kConsumerChannel, FakeEngineEvent, tag | kIfaceConsumer, k.consumerId, &slot);
}

void FakeHidBackend::engineEvent(int keyboard, int interfaceIndex, const TransportEvent& event) {
  const TransportRequest& request = *event.request;
  if (event.kind == kEventDevicesChanged) {
    std::string key;
    std::shared_ptr<sim::SimKeyboard> engine;
    {
      std::lock_guard lock(mutex_);
      key = keyboards_[static_cast<size_t>(keyboard)].key;
      engine = keyboards_[static_cast<size_t>(keyboard)].engine;
    }
    // Only the command interface's notice counts: one per change. A removal
    // notice that arrives after the keyboard is back (replugged at once)
    // must not end the channels opened since.
    if (interfaceIndex != kIfaceCommand) return;
    if (request.length == 0 && !engine->status().attached) {
      std::vector<std::shared_ptr<State>> states;
      {
        std::lock_guard lock(mutex_);
        for (auto& w : states_)
          if (auto s = w.lock(); s && s->key == key) states.push_back(s);
      }
      for (auto& s : states) {
        {
          std::lock_guard lock(s->m);
          s->gone = true;
        }
        s->cv.notify_all();
      }
      // A stalled write waits under mutex_; taking it orders the notice after its check.
      { std::lock_guard lock(mutex_); }
      stallWake_.notify_all();
    }
    if (changed_) changed_();
    return;
  }
  // Every open channel of the collection gets the report, as every open
  // handle does; queued under mutex_ so that no list is built per report.
  std::lock_guard lock(mutex_);
  const Keyboard& kb = keyboards_[static_cast<size_t>(keyboard)];
  auto layout = std::find_if(kb.collections.begin(), kb.collections.end(),
                             [&](const HidCollection& c) { return collectionIndexOf(c) == interfaceIndex; });
  if (layout == kb.collections.end()) return;
  std::vector<uint8_t> frame;
  if (interfaceIndex == kIfaceCommand) {
    // The engine's answer starts with 0x04, the command collection's report
    // id; an unnumbered collection's frame has a 0 before it.
    // Sized first and filled by index: GCC 12 warns falsely about an insert
    // after a push_back here.
    const size_t lead = layout->numbered ? 0 : 1;
    frame.assign(lead + request.length, 0);
    for (uint32_t i = 0; i < request.length; ++i) frame[lead + i] = request.report[i];
  } else {
    uint16_t usage = request.info && request.info->usage ? *request.info->usage : 0;
    frame = consumerFrame(*layout, usage);
  }
  const bool timed = interfaceIndex == kIfaceCommand && readyRoundTrip_.count() > 0;
  const auto now = std::chrono::steady_clock::now();
  const std::string& key = keyboards_[static_cast<size_t>(keyboard)].key;
  for (auto& w : states_) {
    auto s = w.lock();
    if (!s || s->key != key || s->collection != interfaceIndex) continue;
    {
      std::lock_guard queued(s->m);
      // The round trip counts from the report's write, not from when the
      // engine's thread got to it; a late answer is readable when it comes.
      auto readable = timed ? std::max(now, s->lastWrite + readyRoundTrip_) : std::chrono::steady_clock::time_point{};
      s->frames.push_back({readable, frame});
    }
    s->cv.notify_all();
  }
}

void FakeHidBackend::setAnswerTiming(FakeAnswerTiming timing, std::chrono::microseconds roundTrip) {
  std::lock_guard lock(mutex_);
  readyRoundTrip_ = timing == FakeAnswerTiming::ReaderReady ? roundTrip : std::chrono::microseconds(0);
}

void FakeHidBackend::stallWrites(bool stall) {
  {
    std::lock_guard lock(mutex_);
    stall_ = stall;
  }
  stallWake_.notify_all();
}

int FakeHidBackend::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

std::vector<HidCollection> FakeHidBackend::enumerate() {
  std::vector<Keyboard> keyboards;
  {
    std::lock_guard lock(mutex_);
    ++enumerations_;
    keyboards = keyboards_;
  }
  std::vector<HidCollection> out;
  for (const Keyboard& k : keyboards)
    if (k.engine->status().attached) out.insert(out.end(), k.collections.begin(), k.collections.end());
  return out;
}

int FakeHidBackend::enumerations() const {
  std::lock_guard lock(mutex_);
  return enumerations_;
}

void FakeHidBackend::refuseOpens(uint16_t usagePage, int count, IoStatus status, std::string message) {
  std::lock_guard lock(mutex_);
  refusals_.push_back({usagePage, count, status, std::move(message)});
}

void FakeHidBackend::failReads(uint16_t usagePage, int count, IoStatus status) {
  std::lock_guard lock(mutex_);
  failingReadsPage_ = usagePage;
  failingReads_ = count;
  failingReadStatus_ = status;
}

bool FakeHidBackend::takeReadFailure(uint16_t usagePage, IoStatus* status) {
  std::lock_guard lock(mutex_);
  if (failingReads_ == 0 || usagePage != failingReadsPage_) return false;
  if (failingReads_ > 0) --failingReads_;
  *status = failingReadStatus_;
  return true;
}

void FakeHidBackend::rejectWrites(int count) {
  std::lock_guard lock(mutex_);
  rejectedWrites_ = count;
}

std::unique_ptr<HidChannel> FakeHidBackend::open(const HidCollection& collection, IoStatus* status,
                                                 std::string* message) {
  std::lock_guard lock(mutex_);
  ++opens_;
  auto k = std::find_if(keyboards_.begin(), keyboards_.end(),
                        [&](const Keyboard& kb) { return kb.key == collection.deviceKey; });
  int index = collectionIndexOf(collection);
  if (k == keyboards_.end() || index < 0 || !k->engine->status().attached) {
    *status = IoStatus::Gone;
    *message = "no such collection: " + collection.path;
    return nullptr;
  }
  for (Refusal& r : refusals_) {
    if (r.usagePage != collection.usagePage || r.count == 0) continue;
    --r.count;
    *status = r.status;
    *message = r.message;
    return nullptr;
  }
  auto state = std::make_shared<State>();
  state->key = k->key;
  state->collection = index;
  state->layout = collection;
  std::erase_if(states_, [](const std::weak_ptr<State>& w) { return w.expired(); });
  states_.push_back(state);
  std::shared_ptr<sim::SimKeyboard> engine = k->engine;
  auto write = [this, engine, index, state](std::span<const uint8_t> frame,
                                            std::chrono::milliseconds timeout) -> IoStatus {
    if (index == kIfaceConsumer) return IoStatus::Failed;
    if (index == kIfaceCommand) {
      std::unique_lock held(mutex_);
      if (stall_) {
        bool woke = stallWake_.wait_for(held, timeout, [&] {
          std::lock_guard s(state->m);
          return state->gone || !stall_;
        });
        if (!woke) return IoStatus::TimedOut;
        if (stall_) return IoStatus::Gone;
      }
      if (rejectedWrites_ > 0) {
        --rejectedWrites_;
        return IoStatus::Rejected;
      }
      held.unlock();
      // The command report is 64 bytes with its id; an unnumbered
      // collection's frame has a 0 before them.
      if (!state->layout.numbered) {
        if (frame.empty() || frame[0] != 0) return IoStatus::Failed;
        frame = frame.subspan(1);
      }
      if (frame.size() < 64) return IoStatus::Failed;
      {
        std::lock_guard written(state->m);
        state->lastWrite = std::chrono::steady_clock::now();
      }
      return engine->writeOne(&kCommandChannel, frame.data(), 64) > 0 ? IoStatus::Ok : IoStatus::Gone;
    }
    if (!state->layout.numbered && !frame.empty()) frame = frame.subspan(1);
    static std::atomic<uint32_t> ids{0x7E000000};
    uint32_t id = ids++;
    int sent = engine->statusWrite(&kLedChannel, nullptr, 0, frame.data(), static_cast<uint32_t>(frame.size()), id,
                                   nullptr);
    (void)engine->deleteRequest(id);
    return sent > 0 ? IoStatus::Ok : IoStatus::Gone;
  };
  uint16_t page = collection.usagePage;
  auto failRead = [this, page](IoStatus* failed) { return takeReadFailure(page, failed); };
  return std::make_unique<FakeChannel>(state, engine, write, failRead);
}

bool FakeHidBackend::watch(std::function<void()> changed) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  changed_ = std::move(changed);
  return true;
}

void FakeHidBackend::unwatch() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  changed_ = nullptr;
}

}  // namespace kv::hid
