// Two threads issuing transactions at once: their reports never interleave
// and each gets its own answers. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tessaro/sim/sim_factory.h"
#include "tests/device/link_fixture.h"

namespace {

using kvtest::LinkTest;

TEST_F(LinkTest, ConcurrentTransactionsNeverInterleave) {
  kv::sim::SimConfig config = kvtest::ZeroRoundTrip();
  config.roundTrip = std::chrono::microseconds(200);  // long enough for the other thread to try
  Start(config, kv::TransactionTiming{});
  constexpr int kRounds = 15;
  std::atomic<int> failures{0};

  std::thread reader([&] {
    for (int i = 0; i < kRounds; ++i) {
      std::array<uint8_t, 324> table{};
      if (kv::ReadKeyTable(table, i % 3) != 1 || table != kv::sim::kKeySlotTemplate) ++failures;
    }
  });
  std::thread writer([&] {
    std::vector<uint8_t> image(200);
    for (int i = 0; i < kRounds; ++i) {
      for (size_t k = 0; k < image.size(); ++k) image[k] = static_cast<uint8_t>(i + k);
      std::vector<uint8_t> back(image.size());
      if (kv::BeginConfig() != 1 || kv::WriteMacroMemory(image, 200) != 1 || kv::EndConfig() != 1 ||
          kv::ReadMacroMemory(back, 200) != 1 || back != image)
        ++failures;
    }
  });
  reader.join();
  writer.join();
  EXPECT_EQ(failures.load(), 0);

  // Every OUT is answered before the next OUT, with the same command.
  Keyboard()->drain();
  std::string pending;
  size_t outs = 0;
  for (const std::string& line : Keyboard()->trace()) {
    if (line.rfind("OUT ", 0) == 0) {
      EXPECT_TRUE(pending.empty()) << "two reports in flight: " << pending << " / " << line;
      pending = line.substr(4);
      ++outs;
    } else if (line.rfind("IN ", 0) == 0) {
      ASSERT_FALSE(pending.empty()) << "an answer with no report";
      EXPECT_EQ(line.substr(3 + 6, 2), pending.substr(6, 2));
      pending.clear();
    }
  }
  EXPECT_EQ(outs, kRounds * 6u + kRounds * (1 + 4 + 1 + 4));
}

TEST_F(LinkTest, EventsArriveFromTheLibrarysOwnThreadWhileTransactionsRun) {
  // Consumer events and device changes race with a transfer; the default
  // callback must hand off only command answers.
  std::atomic<bool> done{false};
  std::thread events([&] {
    while (!done) {
      Keyboard()->sendConsumerEvent(0x02FF);
#ifdef KV_LINK_OVER_HID
      // Over HID every event also passes the fake device and a reader
      // thread; unthrottled, the events would pile up ahead of the answers
      // without end. 10,000 a second is still ten times what a USB
      // keyboard's interrupt endpoint can send.
      std::this_thread::sleep_for(std::chrono::microseconds(100));
#else
      std::this_thread::yield();
#endif
    }
  });
  for (int i = 0; i < 10; ++i) {
    std::array<uint8_t, 324> table{};
    EXPECT_EQ(kv::ReadDefaultKeyTable(table), 1);
    EXPECT_EQ(table, kv::sim::kKeySlotTemplate);
  }
  done = true;
  events.join();
}

// Two threads' configuration brackets (the start-up read on a worker, a
// lighting read or write on the window's thread) never interleave: the
// keyboard sees Begin and End strictly in turn and every bracket succeeds.
TEST_F(LinkTest, ConfigurationBracketsOfTwoThreadsTakeTurns) {
  kv::sim::SimConfig config = kvtest::ZeroRoundTrip();
  config.roundTrip = std::chrono::microseconds(200);  // long enough for the other thread to try
  Start(config, kv::TransactionTiming{});
  constexpr int kRounds = 12;
  std::atomic<int> failures{0};
  std::thread reader([&] {
    for (int i = 0; i < kRounds; ++i) {
      std::array<uint8_t, 324> table{};
      if (kv::ReadInConfigBracket([&] { return kv::ReadKeyTable(table, i % 3); }) != 1) ++failures;
    }
  });
  std::thread writer([&] {
    for (int i = 0; i < kRounds; ++i) {
      const std::array<uint8_t, 1> level{static_cast<uint8_t>(i % 5)};
      if (kv::InConfigBracket([&] { return kv::WriteSettings(level, 1, 1); }) != 1) ++failures;
    }
  });
  reader.join();
  writer.join();
  EXPECT_EQ(failures.load(), 0);

  Keyboard()->drain();
  int open = 0, brackets = 0;
  for (const std::string& line : Keyboard()->trace()) {
    if (line.rfind("OUT ", 0) != 0) continue;
    std::string command = line.substr(4 + 6, 2);
    if (command == "01") {
      EXPECT_EQ(open, 0) << "a bracket opened inside another";
      ++open;
      ++brackets;
    } else if (command == "02") {
      EXPECT_EQ(open, 1) << "a bracket closed that was not open";
      open = 0;
    }
  }
  EXPECT_EQ(brackets, 2 * kRounds);
}

}  // namespace
