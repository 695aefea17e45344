// Report building, checksums and unit identifiers: pure functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "device/protocol.h"
#include "device/transport.h"
#include "tessaro/sim/sim_keyboard.h"

namespace {

std::string hexOf(const kv::CommandReport& r) { return kv::sim::Hex(r); }

TEST(CommandReport, GoldenBytes) {
  struct Case {
    const char* what;
    kv::CommandReport report;
    std::string hex;
  };
  const uint8_t rate2[] = {2};
  const Case cases[] = {
      {"BeginConfig", kv::BuildCommandReport(0x01, 0, 0), "04010001" + std::string(120, '0')},
      {"EndConfig", kv::BuildCommandReport(0x02, 0, 0), "04020002" + std::string(120, '0')},
      {"report rate 2, profile 1", kv::BuildCommandReport(0x06, 1, 57, rate2),
       "044200060139000002" + std::string(110, '0')},
      {"ReadInfoBlock", kv::BuildCommandReport(0x03, 0x30, 0), "04330003300000" + std::string(114, '0')},
  };
  for (const Case& c : cases) EXPECT_EQ(hexOf(c.report), c.hex) << c.what;
}

TEST(CommandReport, ChecksumIsSixteenBitSumOfBytesThreeOn) {
  std::array<uint8_t, 56> payload;
  payload.fill(0xFF);
  kv::CommandReport r = kv::BuildCommandReport(0x0A, 56, 0x1234, payload);
  // 0x0A + 56 + 0x34 + 0x12 + 56 * 0xFF, wrapped to 16 bits
  uint16_t expected = static_cast<uint16_t>(0x0A + 56 + 0x34 + 0x12 + 56 * 0xFF);
  EXPECT_EQ(r[1] | r[2] << 8, expected);
  EXPECT_EQ(kv::ReportChecksum(r), expected);
  EXPECT_EQ(r[5], 0x34);
  EXPECT_EQ(r[6], 0x12);
}

TEST(CommandReport, PayloadBeyondFiftySixBytesIsNotTaken) {
  std::array<uint8_t, 80> payload;
  payload.fill(0x11);
  kv::CommandReport r = kv::BuildCommandReport(0x08, 56, 0, payload);
  EXPECT_TRUE(std::all_of(r.begin() + 8, r.end(), [](uint8_t b) { return b == 0x11; }));
}

TEST(UnitId, TableIsThePermutationWithTheGivenStart) {
  const uint8_t start[16] = {0xFD, 0x86, 0xD1, 0xCA, 0xDB, 0xD5, 0xCC, 0x5E,
                             0x02, 0x0E, 0xE0, 0xB6, 0xA9, 0xF7, 0x6D, 0xA8};
  EXPECT_TRUE(std::equal(std::begin(start), std::end(start), kv::UnitIdTable.begin()));
  std::array<int, 256> seen{};
  for (uint8_t v : kv::UnitIdTable) ++seen[v];
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
}

TEST(UnitId, SumsTableEntriesOverEveryPieceAndIgnoresOrder) {
  const uint8_t a[] = {0, 1, 2};
  const uint8_t b[] = {2, 2};
  EXPECT_EQ(kv::MakeUnitId({a, b}), 0xFDu + 0x86 + 0xD1 * 3);
  EXPECT_EQ(kv::MakeUnitId({b, a}), kv::MakeUnitId({a, b}));

  // Two command reports that are rearrangements of each other.
  const uint8_t p1[] = {1, 2, 3};
  kv::CommandReport r1 = kv::BuildCommandReport(0x0A, 3, 0x0300, p1);
  kv::CommandReport r2 = r1;
  std::swap(r2[5], r2[8]);
  std::swap(r2[3], r2[63]);
  EXPECT_NE(r1, r2);
  EXPECT_EQ(kv::MakeUnitId({r1}), kv::MakeUnitId({r2}));
  kv::CommandReport r3 = r1;
  r3[8] = 4;  // one byte value differs
  EXPECT_NE(kv::MakeUnitId({r1}), kv::MakeUnitId({r3}));
}

TEST(UnitId, WrapsAtThirtyTwoBits) {
  std::vector<uint8_t> many(20000000, 0);  // 20e6 * 0xFD > 2^32
  uint64_t exact = 20000000ull * 0xFD;
  EXPECT_EQ(kv::MakeUnitId({many}), static_cast<uint32_t>(exact));
}

TEST(DeviceMatch, RecordsOfTheThreeInterfaces) {
  const uint8_t* m = reinterpret_cast<const uint8_t*>(&kv::kCommandChannel);
  const uint8_t expected[16] = {0x0F, 0, 0, 0, 0x45, 0x0C, 0x18, 0x65, 0x1C, 0xFF, 0x92, 0x00, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(m, m + 16, expected));
  EXPECT_EQ(kv::kConsumerChannel.usagePage, 0x000C);
  EXPECT_EQ(kv::kConsumerChannel.usage, 0x0001);
  EXPECT_EQ(kv::kLedChannel.usagePage, 0x0008);
  EXPECT_EQ(kv::kLedChannel.usage, 0x0089);
  EXPECT_EQ(kv::kTagCtrl, 0x4354524Cu);
  EXPECT_EQ(kv::kTagCons, 0x434F4E53u);
  EXPECT_EQ(kv::kTagLed, 0x004C4544u);
}

}  // namespace
