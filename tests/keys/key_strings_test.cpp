#include "keys/key_strings.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "keys/working_config.h"

namespace kv {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t at, std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    b[at + 2 * i] = static_cast<uint8_t>(s[i]);
    b[at + 2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
  }
}

TEST(KeyStringStore, RunningTotalFollowsAttachAndRelease) {
  KeyStringStore store;
  EXPECT_TRUE(attachString(store, 5, u"abcd"));
  EXPECT_EQ(store.slots[5].byteLength, 10u);
  EXPECT_TRUE(attachString(store, 2047, u""));
  EXPECT_EQ(store.total, 12u);
  EXPECT_TRUE(attachString(store, 5, u"xy"));  // replaces, does not leak
  EXPECT_EQ(store.total, 8u);
  EXPECT_EQ(store.text(5), u"xy");
  EXPECT_TRUE(attachString(store, 6, std::u16string_view(u"ab\0cd", 5)));
  EXPECT_EQ(store.text(6), u"ab");
  EXPECT_EQ(store.total, 14u);
  releaseString(store, 5);
  EXPECT_EQ(store.total, 8u);
  EXPECT_FALSE(attachString(store, 2048, u"x"));
  EXPECT_FALSE(attachString(store, -1, u"x"));
  releaseAllStrings(store);
  EXPECT_EQ(store.total, 0u);
  EXPECT_TRUE(store.text(6).empty());
}

TEST(PackStrings, TenAndSixBytesGiveOffsetsZeroAndTen) {
  auto t = newKeyActionTable();
  KeyStringStore store;
  t->entries[3].type = ActionType::LaunchProgram;
  t->entries[900].type = ActionType::TextBlock;
  ASSERT_TRUE(attachString(store, 3, u"abcd"));  // 10 bytes
  ASSERT_TRUE(attachString(store, 900, u"xy"));  // 6 bytes
  StringPool pool;
  ASSERT_TRUE(packStrings(*t, store, pool));
  EXPECT_EQ(pool.size(), 16u);
  EXPECT_EQ(t->entries[3].value, 0u);
  EXPECT_EQ(t->entries[900].value, 10u);
  Bytes expected(16, 0);
  put16(expected, 0, u"abcd");
  put16(expected, 10, u"xy");
  EXPECT_EQ(pool, expected);
}

TEST(PackStrings, AStringOfAnEntryNoLongerUsingOneStaysOut) {
  auto t = newKeyActionTable();
  KeyStringStore store;
  t->entries[1].type = ActionType::SingleKey;  // was a program once
  t->entries[1].value = 0x1E;
  t->entries[2].type = ActionType::TextBlock;
  ASSERT_TRUE(attachString(store, 1, u"old path"));  // 18 bytes
  ASSERT_TRUE(attachString(store, 2, u"hi"));        // 6 bytes
  StringPool pool;
  ASSERT_TRUE(packStrings(*t, store, pool));
  ASSERT_EQ(pool.size(), 24u);
  EXPECT_EQ(t->entries[1].value, 0x1Eu);
  EXPECT_EQ(t->entries[2].value, 0u);
  EXPECT_EQ(Bytes(pool.begin() + 6, pool.end()), Bytes(18, 0)) << "the unused end carries no string";

  KeyStringStore back;
  ASSERT_TRUE(unpackStrings(*t, back, pool));
  EXPECT_EQ(back.text(2), u"hi");
  EXPECT_TRUE(back.text(1).empty());
  EXPECT_EQ(back.total, 6u);
}

TEST(PackStrings, AnEntryWithoutAStringDoesNotReadBackAnother) {
  auto t = newKeyActionTable();
  KeyStringStore store;
  t->entries[7] = {ActionType::LaunchProgram, 0, 0, 0, 0};  // no path attached, stale offset 0
  t->entries[8].type = ActionType::LaunchProgram;
  ASSERT_TRUE(attachString(store, 8, u"C:\\game.exe"));
  StringPool pool;
  ASSERT_TRUE(packStrings(*t, store, pool));
  EXPECT_EQ(t->entries[8].value, 0u);
  EXPECT_EQ(t->entries[7].value, pool.size());
  KeyStringStore back;
  ASSERT_TRUE(unpackStrings(*t, back, pool));
  EXPECT_EQ(back.text(8), u"C:\\game.exe");
  EXPECT_TRUE(back.text(7).empty());
}

TEST(UnpackStrings, NeverReadsPastThePool) {
  Bytes pool(20, 0);
  put16(pool, 0, u"abc");    // "abc\0" at 0
  put16(pool, 8, u"defgh");  // at 8, terminated by the pool's last two bytes
  Bytes unterminated = pool;
  put16(unterminated, 18, u"z");
  struct Case {
    const char* what;
    const Bytes* pool;
    uint32_t value;
    std::u16string text;
  } cases[] = {
      {"at 0", &pool, 0, u"abc"},
      {"bit 0 cleared", &pool, 1, u"abc"},
      {"ends at the pool's end", &pool, 8, u"defgh"},
      {"inside a string", &pool, 12, u"fgh"},
      {"at the terminator", &pool, 6, u""},
      {"offset at the end", &pool, 20, u""},
      {"offset far past", &pool, 0xFFFFFFFF, u""},
      {"no terminator inside", &unterminated, 8, u""},
  };
  for (const auto& c : cases) {
    auto t = newKeyActionTable();
    t->entries[42] = {ActionType::TextBlock, 0, c.value, 0, 0};
    KeyStringStore store;
    (void)attachString(store, 42, u"left over");  // a bad offset must not keep it
    ASSERT_TRUE(unpackStrings(*t, store, *c.pool)) << c.what;
    EXPECT_EQ(store.text(42), c.text) << c.what;
    bool attached = c.value == 6 || !c.text.empty();
    EXPECT_EQ(store.total, attached ? 2 * c.text.size() + 2 : 0u) << c.what;
  }
  // A pool of odd length: the last byte cannot start a unit.
  Bytes odd = {'a', 0, 0};
  auto t = newKeyActionTable();
  t->entries[0] = {ActionType::LaunchProgram, 0, 2, 0, 0};
  KeyStringStore store;
  ASSERT_TRUE(unpackStrings(*t, store, odd));
  EXPECT_TRUE(store.text(0).empty());
  EXPECT_EQ(store.total, 0u);
}

// Strings the program packs never share bytes; a table whose entries point
// into each other's strings beyond the pool's size is refused whole.
TEST(UnpackStrings, StringsAddingUpToMoreThanThePoolAreRefused) {
  Bytes pool(12, 0);
  put16(pool, 0, u"ab");  // 6 bytes at 0
  put16(pool, 6, u"cd");  // 6 bytes at 6
  struct Case {
    const char* what;
    std::vector<uint32_t> offsets;  // one TextBlock entry each
    std::optional<size_t> total;
  } cases[] = {
      {"two strings filling the pool", {0, 6}, 12},
      {"two entries sharing one string, still within the pool", {0, 0}, 12},
      {"three entries sharing one string", {0, 0, 0}, std::nullopt},
      {"one pointing into the other's", {0, 6, 2}, std::nullopt},
      {"a bad offset does not count", {0, 6, 400}, 12},
  };
  for (const auto& c : cases) {
    auto t = newKeyActionTable();
    for (size_t k = 0; k < c.offsets.size(); ++k)
      t->entries[10 + k] = {ActionType::TextBlock, 0, c.offsets[k], 0, 0};
    EXPECT_EQ(unpackedStringTotal(*t, pool), c.total) << c.what;
    KeyStringStore store;
    ASSERT_TRUE(attachString(store, 500, u"kept"));
    EXPECT_EQ(unpackStrings(*t, store, pool), c.total.has_value()) << c.what;
    EXPECT_EQ(store.total, 10 + c.total.value_or(0)) << c.what;
    if (!c.total) {
      EXPECT_TRUE(store.text(10).empty()) << c.what << ": nothing attached";
    }
  }
}

TEST(UnpackStrings, EveryEntryOnOneLongStringIsRefusedWithoutCopying) {
  // 2048 launch entries on one 256 KB string would be 512 MB of copies.
  Bytes pool(256 * 1024, 'a');
  pool[pool.size() - 2] = pool[pool.size() - 1] = 0;
  auto t = newKeyActionTable();
  for (auto& e : t->entries) e = {ActionType::LaunchProgram, 0, 0, 0, 0};
  EXPECT_EQ(unpackedStringTotal(*t, pool), std::nullopt);
  KeyStringStore store;
  EXPECT_FALSE(unpackStrings(*t, store, pool));
  EXPECT_EQ(store.total, 0u);
  // One of them alone is the whole pool and fits.
  auto one = newKeyActionTable();
  one->entries[0] = {ActionType::LaunchProgram, 0, 0, 0, 0};
  ASSERT_TRUE(unpackStrings(*one, store, pool));
  EXPECT_EQ(store.total, pool.size());
}

TEST(PackStrings, RandomTablesRoundTrip) {
  std::mt19937 rng(99);
  for (int round = 0; round < 10; ++round) {
    auto t = newKeyActionTable();
    KeyStringStore store;
    for (int k = 0; k < 200; ++k) {
      int i = static_cast<int>(rng() % kEntryCount);
      t->entries[i].type = static_cast<ActionType>(rng() % kActionTypeCount);
      std::u16string s(rng() % 40, u'a');
      for (auto& ch : s) ch = static_cast<char16_t>(1 + rng() % 0xFFFE);
      if (rng() % 4) (void)attachString(store, i, s);
    }
    StringPool pool;
    ASSERT_TRUE(packStrings(*t, store, pool));
    ASSERT_EQ(pool.size(), store.total);
    KeyStringStore back;
    ASSERT_TRUE(unpackStrings(*t, back, pool));
    for (int i = 0; i < kEntryCount; ++i) {
      std::u16string_view expected = usesString(t->entries[i].type) ? store.text(i) : std::u16string_view();
      ASSERT_EQ(back.text(i), expected) << i;
    }
  }
}

}  // namespace
}  // namespace kv
