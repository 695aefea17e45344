#include "macro/macro_image.h"

#include <gtest/gtest.h>

#include <random>

#include "base/text_table.h"
#include "tests/macro/macro_fixtures.h"

namespace kv {
namespace {

using test::makeMacro;
using test::press;
using test::release;
using Bytes = std::vector<uint8_t>;

class MacroImageTest : public ::testing::Test {
 protected:
  void SetUp() override { resetTextTable(); }
  void TearDown() override { resetTextTable(); }
};

Bytes build(const MacroList& macros, bool withNames) {
  MacroImageSizes s = macroImageSizes(macros);
  size_t size = withNames ? s.withNames : s.withoutNames;
  Bytes out(size, 0xEE);
  EXPECT_TRUE(buildMacroImage(macros, out, static_cast<uint16_t>(size), withNames));
  return out;
}

TEST_F(MacroImageTest, EmptyListIsAHeaderOnly) {
  FittedMacroImage img = fitMacroImage({}, 128);
  EXPECT_EQ(img.fit, MacroFit::WithNames);
  EXPECT_EQ(img.bytes, (Bytes{0xAA, 0x55, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
  MacroList parsed;
  ASSERT_TRUE(parseMacroImage(img.bytes, parsed));
  EXPECT_TRUE(parsed.empty());
}

TEST_F(MacroImageTest, OneNamedMacroByteForByte) {
  MacroList list = {makeMacro(u"Ab", 5, {press(0x01E, 0), release(0x01E, 120)})};
  EXPECT_EQ(macroImageSizes(list).withNames, 34u);
  EXPECT_EQ(macroImageSizes(list).withoutNames, 30u);
  Bytes expected = {
      0xAA, 0x55, 34, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
      18, 0,                                                  // offset of macro 0
      2, 0, 1, 2,                                             // 2 actions, 1 cycle, 2 name units
      0x00, 0xA0, 0x02, 0x04,                                 // press A, 0 ms
      0x0C, 0x20, 0x02, 0x04,                                 // release A, 120 ms
      'A', 0, 'b', 0,
  };
  EXPECT_EQ(build(list, true), expected);
}

TEST_F(MacroImageTest, ActionEncodings) {
  struct Case {
    MacroAction action;
    std::array<uint8_t, 4> bytes;
  } cases[] = {
      {press(0x036), {0x00, 0xA0, 0x01, 0x20}},        // right Shift: modifier bit, not a usage
      {release(0x036), {0x00, 0x20, 0x01, 0x20}},
      {press(0x136), {0x00, 0xA0, 0x02, 0xE5}},        // the second right Shift code is a plain key
      {press(0x01D, 10), {0x01, 0xA0, 0x01, 0x01}},
      {press(0x130), {0x00, 0xB0, 0xE9, 0x00}},        // consumer
      {release(0x132), {0x00, 0x30, 0x23, 0x02}},
      {press(0x15E), {0x00, 0xC0, 0x81, 0x00}},        // generic desktop
      {press(0x171), {0x00, 0x80, 0x00, 0x00}},        // mouse button: no usage
      {press(0x000), {0x00, 0x80, 0x00, 0x00}},
      {MacroAction{0, 0x01E, 7}, {0x00, 0xA0, 0x02, 0x04}},  // anything but 1 is a press
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encodeMacroAction(c.action), c.bytes) << std::hex << c.action.key << " " << c.action.state;
  }
}

TEST_F(MacroImageTest, DelaysAreTenMillisecondUnits) {
  struct Case {
    uint32_t delay;
    uint32_t readBack;
  } cases[] = {{0, 0},           {9, 0},           {10, 10},         {125, 120},
               {40000, 40000},   {40950, 40950},   {40960, 40950},   {0xFFFFFFFF, 40950}};
  for (const auto& c : cases) {
    auto bytes = encodeMacroAction(press(0x01E, c.delay));
    EXPECT_EQ(decodeMacroAction(bytes).delay, c.readBack) << c.delay;
    EXPECT_EQ(bytes[1] & 0x70, 0x20) << "kind bits kept for " << c.delay;
  }
}

TEST_F(MacroImageTest, ActionsDecodeToKeysAndStates) {
  struct Case {
    std::array<uint8_t, 4> bytes;
    MacroAction action;
  } cases[] = {
      {{0x00, 0xA0, 0x02, 0x04}, {0, 0x01E, kMacroPress}},
      {{0x0C, 0x20, 0x02, 0x04}, {120, 0x01E, kMacroRelease}},
      {{0x00, 0xA0, 0x01, 0x06}, {0, 0x02A, kMacroPress}},   // lowest modifier bit wins
      {{0x00, 0xA0, 0x07, 0x20}, {0, 0x036, kMacroPress}},   // any other data byte 0 is a modifier
      {{0x00, 0x30, 0xE9, 0x00}, {0, 0x130, kMacroRelease}},
      {{0x00, 0xC0, 0x82, 0x00}, {0, 0x15F, kMacroPress}},
      {{0xFF, 0xFF, 0x02, 0x04}, {40950, 0, kMacroPress}},   // kind 7: no key
      {{0x00, 0x90, 0x02, 0x04}, {0, 0, kMacroPress}},       // kind 1: no key
      {{0x00, 0xB0, 0x00, 0x00}, {0, 0, kMacroPress}},       // consumer usage 0: no key
  };
  for (const auto& c : cases) {
    MacroAction a = decodeMacroAction(c.bytes);
    EXPECT_EQ(a.delay, c.action.delay);
    EXPECT_EQ(a.key, c.action.key) << std::hex << int(c.bytes[2]) << " " << int(c.bytes[3]);
    EXPECT_EQ(a.state, c.action.state);
  }
}

TEST_F(MacroImageTest, ReadBackIdsArePositionsAndUnnamedMacrosGetDefaultNames) {
  MacroList list = {makeMacro(u"Seven", 7, {press(0x01E, 30)}, 3), makeMacro(u"Three", 3, {}, 9)};
  list[0].playMode = kPlayRepeat;
  list[0].isNew = 1;
  MacroList parsed;
  ASSERT_TRUE(parseMacroImage(build(list, true), parsed));
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0].id, 1);
  EXPECT_EQ(parsed[1].id, 2);
  EXPECT_EQ(macroName(parsed[0]), u"Seven");
  EXPECT_EQ(parsed[0].cycles, 3);
  EXPECT_EQ(parsed[1].cycles, 9);
  EXPECT_EQ(parsed[0].playMode, 0);
  EXPECT_EQ(parsed[0].isNew, 0);
  ASSERT_EQ(parsed[0].actionCount, 1);
  EXPECT_EQ(parsed[0].actions[0].delay, 30u);

  setText(TextId::MACRO_NEW_PREFIX, u"M");
  ASSERT_TRUE(parseMacroImage(build(list, false), parsed));
  EXPECT_EQ(macroName(parsed[0]), u"M1");
  EXPECT_EQ(macroName(parsed[1]), u"M2");
}

TEST_F(MacroImageTest, FittingDropsNamesBetweenTheTwoSizes) {
  MacroList list = {makeMacro(u"Ab", 1, {press(0x01E), release(0x01E)}),
                    makeMacro(u"Longer name", 2, {press(0x030)})};
  MacroImageSizes s = macroImageSizes(list);
  ASSERT_EQ(s.withoutNames, 16u + 4 + (4 + 8) + (4 + 4));
  ASSERT_EQ(s.withNames, s.withoutNames + 2 * (2 + 11));

  struct Case {
    size_t capacity;
    MacroFit fit;
  } cases[] = {{s.withNames + 100, MacroFit::WithNames}, {s.withNames, MacroFit::WithNames},
               {s.withNames - 1, MacroFit::WithoutNames}, {s.withoutNames, MacroFit::WithoutNames},
               {s.withoutNames - 1, MacroFit::TooLong},   {0, MacroFit::TooLong}};
  for (const auto& c : cases) {
    FittedMacroImage img = fitMacroImage(list, c.capacity);
    EXPECT_EQ(img.fit, c.fit) << c.capacity;
    if (c.fit == MacroFit::TooLong) {
      EXPECT_TRUE(img.bytes.empty());
      continue;
    }
    bool names = c.fit == MacroFit::WithNames;
    size_t size = names ? s.withNames : s.withoutNames;
    ASSERT_EQ(img.bytes.size(), size);
    EXPECT_EQ(img.bytes[2] | img.bytes[3] << 8, static_cast<int>(size));
    EXPECT_EQ(img.bytes[6], names ? 1 : 0);
    for (int i = 0; i < 2; ++i) {
      size_t at = img.bytes[16 + 2 * i] | img.bytes[17 + 2 * i] << 8;
      EXPECT_EQ(img.bytes[at + 3], names ? macroName(list[i]).size() : 0u);
    }
  }
}

TEST_F(MacroImageTest, BuildRefusesADestinationTooSmall) {
  MacroList list = {makeMacro(u"Ab", 1, {press(0x01E)})};
  Bytes dest(macroImageSizes(list).withNames - 1, 0xEE);
  EXPECT_FALSE(buildMacroImage(list, dest, 100, true));
  EXPECT_EQ(dest, Bytes(dest.size(), 0xEE));
  EXPECT_TRUE(buildMacroImage(list, dest, 100, false));
}

TEST_F(MacroImageTest, ImagesBeyondSixteenBitLengthsDoNotFit) {
  // 9 macros of 2000 actions: 72 KB, more than the image's offsets can address.
  MacroList list(9, makeMacro(u"x", 1, {}));
  for (auto& m : list) m.actionCount = 2000;
  EXPECT_GT(macroImageSizes(list).withoutNames, 0xFFFFu);
  EXPECT_EQ(fitMacroImage(list, SIZE_MAX).fit, MacroFit::TooLong);
  Bytes dest(macroImageSizes(list).withNames);
  EXPECT_FALSE(buildMacroImage(list, dest, 0, true));
}

TEST_F(MacroImageTest, RecordsFromFilesAreCappedWhenBuilt) {
  MacroRecord m = makeMacro(u"", 1, {});
  std::fill(std::begin(m.name), std::end(m.name), u'n');  // no terminator
  m.actionCount = 60000;
  MacroImageSizes s = macroImageSizes({&m, 1});
  EXPECT_EQ(s.withoutNames, 16u + 2 + 4 + 4 * 2000);
  EXPECT_EQ(s.withNames, s.withoutNames + 2 * 249);
  Bytes img(s.withNames);
  ASSERT_TRUE(buildMacroImage({&m, 1}, img, static_cast<uint16_t>(img.size()), true));
  MacroList parsed;
  ASSERT_TRUE(parseMacroImage(img, parsed));
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].actionCount, 2000);
  EXPECT_EQ(macroName(parsed[0]), std::u16string(249, u'n'));
}

// A raw image writer for damaged input.
struct RawImage {
  Bytes b;
  explicit RawImage(uint16_t count, size_t size) : b(size, 0) {
    put(0, kMacroImageMagic);
    put(2, static_cast<uint16_t>(size));
    put(4, count);
    put(6, 1);
  }
  void put(size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  // A macro at `at` with `actions` press-A actions and a name of `nameLen` 'q' units.
  void macro(size_t slot, size_t at, uint16_t actions, uint8_t nameLen, size_t nameUnitsWritten) {
    put(16 + 2 * slot, static_cast<uint16_t>(at));
    put(at, actions);
    b[at + 2] = 1;
    b[at + 3] = nameLen;
    for (size_t k = 0; k < actions && at + 4 + 4 * k + 3 < b.size(); ++k) {
      put(at + 4 + 4 * k, 0xA000);
      b[at + 6 + 4 * k] = 2;
      b[at + 7 + 4 * k] = 4;
    }
    size_t name = at + 4 + 4 * size_t{actions};
    for (size_t k = 0; k < nameUnitsWritten && name + 2 * k + 1 < b.size(); ++k) put(name + 2 * k, u'q');
  }
};

TEST_F(MacroImageTest, DamagedImagesYieldTheWholeMacros) {
  struct Case {
    const char* what;
    RawImage image;
    std::vector<std::pair<uint16_t, std::u16string>> expected;  // id, name
  };
  std::vector<Case> cases;
  {
    RawImage r(2, 64);
    r.put(0, 0x55AB);
    cases.push_back({"wrong magic", r, {}});
  }
  {
    RawImage r(2, 64);
    r.b.resize(15);
    cases.push_back({"shorter than a header", r, {}});
  }
  {
    RawImage r(3, 64);
    r.macro(0, 22, 1, 1, 1);
    r.put(18, 9000);  // second offset far past the end
    r.macro(2, 40, 1, 2, 2);
    cases.push_back({"offset past the image", r, {{1, u"q"}, {3, u"qq"}}});
  }
  {
    RawImage r(2, 60);
    r.macro(0, 20, 1, 1, 1);
    r.macro(1, 40, 500, 0, 0);  // 2000 bytes of actions in a 60-byte image
    cases.push_back({"actions past the image", r, {{1, u"q"}}});
  }
  {
    RawImage r(1, 30);
    r.macro(0, 18, 1, 200, 200);  // 200 units named, 4 bytes left
    cases.push_back({"name past the image", r, {{1, u"qq"}}});
  }
  {
    RawImage r(1, 27);
    r.macro(0, 18, 1, 5, 0);  // name length set but not one whole unit left
    cases.push_back({"no unit of the name inside", r, {{1, u"Macro1"}}});
  }
  {
    RawImage r(1, 18 + 8 + 2 * 255);
    r.macro(0, 18, 1, 255, 255);
    cases.push_back({"name longer than 249 units", r, {{1, std::u16string(249, u'q')}}});
  }
  {
    RawImage r(40, 20);  // 40 offset slots, room for two
    r.put(16, 18);
    r.put(18, 0);
    cases.push_back({"offset table past the image", r, {}});
  }
  for (auto& c : cases) {
    MacroList parsed;
    ASSERT_TRUE(parseMacroImage(c.image.b, parsed)) << c.what;
    ASSERT_EQ(parsed.size(), c.expected.size()) << c.what;
    for (size_t i = 0; i < parsed.size(); ++i) {
      EXPECT_EQ(parsed[i].id, c.expected[i].first) << c.what;
      EXPECT_EQ(macroName(parsed[i]), c.expected[i].second) << c.what;
    }
  }
}

TEST_F(MacroImageTest, CountsAndActionsAreCutToTheRecordLimits) {
  // 150 offset slots all pointing at one empty macro.
  RawImage r(150, 16 + 300 + 4);
  for (size_t i = 0; i < 150; ++i) r.put(16 + 2 * i, 316);
  EXPECT_EQ(macroImageCount(r.b), 100u);
  MacroList parsed;
  ASSERT_TRUE(parseMacroImage(r.b, parsed));
  EXPECT_EQ(parsed.size(), 100u);
  EXPECT_EQ(parsed.back().id, 100);

  RawImage big(1, 18 + 4 + 4 * 2500);
  big.macro(0, 18, 2500, 0, 0);
  ASSERT_TRUE(parseMacroImage(big.b, parsed));
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].actionCount, 2000);
  EXPECT_EQ(parsed[0].actions[1999].key, 0x01E);

  // A destination smaller than the count is never overrun.
  MacroRecord few[2];
  EXPECT_EQ(parseMacroImage(r.b, few), 2u);
}

TEST_F(MacroImageTest, RandomListsRoundTrip) {
  // Keys whose usage names them alone, so read-back gives the same code.
  const KeyCode keys[] = {0x01E, 0x030, 0x01D, 0x036, 0x15C, 0x138, 0x130, 0x16D, 0x15E, 0x163, 0x01C, 0x137};
  std::mt19937 rng(1234);
  for (int round = 0; round < 20; ++round) {
    MacroList list(rng() % 6);
    for (size_t i = 0; i < list.size(); ++i) {
      MacroRecord& m = list[i];
      m.id = static_cast<uint16_t>(rng() % 100 + 1);
      m.cycles = static_cast<uint8_t>(rng());
      std::u16string name(1 + rng() % 12, u'a');
      for (auto& ch : name) ch = static_cast<char16_t>(u'a' + rng() % 26);
      setMacroName(m, name);
      m.actionCount = static_cast<uint16_t>(rng() % 30);
      for (size_t k = 0; k < m.actionCount; ++k)
        m.actions[k] = {static_cast<uint32_t>(rng() % 4096) * 10, keys[rng() % std::size(keys)],
                        static_cast<uint16_t>(rng() % 2)};
    }
    bool names = rng() % 2;
    MacroList parsed;
    ASSERT_TRUE(parseMacroImage(build(list, names), parsed));
    ASSERT_EQ(parsed.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(parsed[i].id, i + 1);
      EXPECT_EQ(parsed[i].cycles, list[i].cycles);
      if (names) {
        EXPECT_EQ(macroName(parsed[i]), macroName(list[i]));
      } else {
        EXPECT_EQ(macroName(parsed[i]), defaultMacroName(static_cast<int>(i + 1)));
      }
      ASSERT_EQ(parsed[i].actionCount, list[i].actionCount);
      for (size_t k = 0; k < list[i].actionCount; ++k) {
        EXPECT_EQ(parsed[i].actions[k].delay, list[i].actions[k].delay);
        EXPECT_EQ(parsed[i].actions[k].key, list[i].actions[k].key);
        EXPECT_EQ(parsed[i].actions[k].state, list[i].actions[k].state);
      }
    }
    // And the image of what was read is the image that was written.
    EXPECT_EQ(build(parsed, names), build(list, names)) << round;
  }
}

// The keyboard's macro memory behind a fake ReadMacroMemory.
struct FakeMemory {
  explicit FakeMemory(Bytes m) : memory(std::move(m)) {}
  Bytes memory;
  int failOnCall = 0;  // 1-based call that fails with -2
  int calls = 0;
  std::vector<size_t> counts;
  int operator()(uint8_t* dest, size_t count) {
    ++calls;
    counts.push_back(count);
    if (calls == failOnCall) return -2;
    for (size_t i = 0; i < count; ++i) dest[i] = i < memory.size() ? memory[i] : 0xFF;
    return 1;
  }
};

TEST_F(MacroImageTest, ReadingTheKeyboardsMacros) {
  MacroList list = {makeMacro(u"Ab", 1, {press(0x01E)}), makeMacro(u"Cd", 2, {})};
  Bytes image = build(list, true);

  FakeMemory mem{image};
  mem.memory.resize(4096, 0xFF);  // the rest of the macro memory
  MacroList out;
  EXPECT_EQ(readKeyboardMacros(std::ref(mem), out), 1);
  EXPECT_EQ(mem.counts, (std::vector<size_t>{16, image.size()}));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(macroName(out[1]), u"Cd");

  FakeMemory blank{Bytes(4096, 0xFF)};
  EXPECT_EQ(readKeyboardMacros(std::ref(blank), out), 1);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(blank.calls, 1);

  for (int failing : {1, 2}) {
    FakeMemory broken{image};
    broken.failOnCall = failing;
    MacroList kept = list;
    EXPECT_EQ(readKeyboardMacros(std::ref(broken), kept), -2);
    EXPECT_EQ(kept.size(), 2u) << "a failed read leaves the list alone";
  }
}

}  // namespace
}  // namespace kv
