// The transport library's twelve entry points over HID top-level
// collections: a DeviceMatch picks a collection, command and bank reports
// become output reports, and standing reads turn input reports and device
// changes into the callback's events. Portable; the platform is a HidBackend.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/transport.h"
#include "tessaro/hid/hid_backend.h"

namespace kv::hid {

struct HidTransportOptions {
  // A write that cannot complete is cancelled after this, well inside the
  // command transaction's 1000 ms wait for the answer.
  std::chrono::milliseconds writeTimeout{500};
  // Diagnostics: which keyboard is used, what could not be opened.
  std::function<void(const std::string&)> log;
};

// One attached keyboard (all collections that share a device key).
struct KeyboardInfo {
  std::string deviceKey;
  std::vector<HidCollection> collections;
  bool selected = false;
};

// True when the collection is what match selects. The selector's four low
// bits say which fields count: vendor, product, usage page, usage.
bool Matches(const DeviceMatch& match, const HidCollection& collection);

class HidTransport {
 public:
  explicit HidTransport(std::unique_ptr<HidBackend> backend, HidTransportOptions options = {});
  ~HidTransport();
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  // Enumerates, picks the keyboard, starts watching; > 0 when ready.
  int init();
  // Stops every thread and closes every collection.
  void end();

  int deviceCount(const DeviceMatch* match);
  int asyncRead(const DeviceMatch* match, TransportCallback callback, uint32_t tag, uint32_t unitId, uint32_t* slot);
  int writeOne(const DeviceMatch* match, const uint8_t* data, uint32_t length);
  int statusWrite(const DeviceMatch* match, const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot);
  int deleteRequest(uint32_t id);

  // What is attached now, the keyboard in use marked.
  std::vector<KeyboardInfo> keyboards();
  // The last open failure's message for the user ("" when none).
  std::string lastError();
  // Why the collection match selects is not open: 0 it is (or was never
  // tried), 1 another program holds it, 2 the system refuses it.
  int openProblem(const DeviceMatch* match);
  // Enumerates again and delivers the changes before returning (tests; the
  // watcher does the same from the transport's own thread).
  void refreshNow();

 private:
  struct Target {
    TransportCallback callback;
    uint32_t tag;
  };
  struct Channel {
    HidCollection collection;
    std::unique_ptr<HidChannel> io;
    std::mutex writeMutex;
    // Output reports started on the collection: a report read before the
    // latest one went out is no answer to it.
    std::atomic<uint64_t> writes{0};
    std::thread reader;
    std::vector<Target> targets;  // the reader's, reused for every report
    bool readerEnded = false;     // under mutex_
  };
  // A match the program writes to and the channel it found: every command
  // report would otherwise look the collection up again.
  struct Route {
    DeviceMatch match;
    std::shared_ptr<Channel> channel;
  };
  struct Request {
    uint32_t id;
    DeviceMatch match;
    TransportCallback callback;
    uint32_t tag;
    int lastCount;
  };

  // A read that keeps failing is opened again this many times, after
  // kReadRetryDelay, twice that, and so on.
  static constexpr int kReadRetries = 5;
  static constexpr std::chrono::milliseconds kReadRetryDelay{25};

  void requestRefresh();
  void scheduleRefreshLocked(std::chrono::milliseconds delay);
  void deviceChanged();
  void deviceThread();
  void refresh();
  void readLoop(std::shared_ptr<Channel> channel);
  void dispatch(Channel& channel, const std::vector<uint8_t>& frame, uint64_t writesBeforeRead);
  int countLocked(const DeviceMatch& match) const;
  const HidCollection* findLocked(const DeviceMatch& match) const;  // in the selected keyboard
  std::shared_ptr<Channel> channelLocked(const HidCollection& collection);
  void ensureReadersLocked();
  void startReaderLocked(const std::shared_ptr<Channel>& channel);
  void log(const std::string& line);

  std::unique_ptr<HidBackend> backend_;
  HidTransportOptions options_;

  std::mutex refreshMutex_;  // one enumeration at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  bool started_ = false;
  bool stop_ = false;
  bool refreshPending_ = false;
  std::optional<std::chrono::steady_clock::time_point> refreshAt_;  // a reopening after a failed read
  std::thread thread_;
  std::vector<HidCollection> collections_;
  std::string selectedKey_;
  std::map<std::string, std::shared_ptr<Channel>> channels_;  // by path and usage
  std::vector<Route> routes_;  // emptied whenever the collections or channels change
  std::vector<Request> requests_;
  std::string lastError_;
  std::map<std::string, int> readFailures_;
  std::map<std::string, IoStatus> openFailures_;  // by channel key: the last open's failure  // by channel key: reads ended in failure in a row
};

// ---- the process-wide instance behind the entry points -------------------

// Replaces the instance (the old one is ended first); null removes it.
void InstallTransport(std::unique_ptr<HidTransport> transport);
// The installed instance; with none, a factory set by the DLL makes one.
std::shared_ptr<HidTransport> CurrentTransport();
void SetTransportFactory(std::unique_ptr<HidTransport> (*factory)());

#include "tessaro/entry_points.inc"

// Beyond the twelve, looked up by name and optional: openProblem() of the
// installed instance, so the program can say a keyboard is in use.
int KV_TRANSPORT_CALL RequestOpenStatus(const DeviceMatch* match);

// Fills api with the entry points over the installed instance.
inline void BindHidTransport(TransportApi& api) { BindEntryPoints(api); }

}  // namespace kv::hid
