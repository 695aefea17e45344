// The lighting model against the simulated keyboard: what a load reads,
// what every change writes (addresses, lengths, chunking, brackets) and what
// the panel is asked to show.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/text_table.h"
#include "tests/lighting/lighting_fixture.h"

namespace {

using kv::kCmdBeginConfig;
using kv::kCmdEndConfig;
using kv::kCmdReadColours;
using kv::kCmdReadInfoBlock;
using kv::kCmdReadSettings;
using kv::kCmdWriteColours;
using kv::kCmdWriteSettings;
using kvtest::LightingTest;
using kvtest::Sent;

// The commands of a trace, in order.
std::vector<uint8_t> CommandsOf(const std::vector<Sent>& sent) {
  std::vector<uint8_t> out;
  for (const Sent& s : sent) out.push_back(s.command);
  return out;
}

// One write bracket holding a single write.
void ExpectOneWrite(const std::vector<Sent>& sent, uint8_t command, uint16_t address,
                    const std::vector<uint8_t>& payload) {
  ASSERT_EQ(CommandsOf(sent), (std::vector<uint8_t>{kCmdBeginConfig, command, kCmdEndConfig}));
  EXPECT_EQ(sent[1].address, address);
  EXPECT_EQ(sent[1].length, payload.size());
  EXPECT_EQ(sent[1].payload, payload);
}

// ---- Pure parts ------------------------------------------------------------------

TEST(DefaultPatterns, LightTheKeysListedForEachPattern) {
  const std::vector<kv::KeyCode> arrows = {0x14B, 0x150, 0x14D, 0x148};
  auto with = [](std::vector<kv::KeyCode> a, const std::vector<kv::KeyCode>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::vector<std::vector<kv::KeyCode>> lit = {
      with({0x1E, 0x11, 0x1F, 0x20}, arrows),
      {0x01, 0x0F, 0x2A, 0x1D, 0x02, 0x10, 0x1E, 0x03, 0x11, 0x1F, 0x04, 0x12, 0x20, 0x39, 0x05, 0x13, 0x21, 0x06,
       0x22},
      {0x01, 0x29, 0x0F, 0x1D, 0x02, 0x10, 0x1E, 0x03, 0x11, 0x1F, 0x04, 0x12, 0x20, 0x39, 0x05, 0x21, 0x22, 0x2F,
       0x30, 0x19},
      {0x01, 0x0F, 0x1D, 0x02, 0x1E, 0x03, 0x11, 0x1F, 0x2C, 0x04, 0x20, 0x2D, 0x39, 0x05, 0x21, 0x2E, 0x06, 0x2F,
       0x07, 0x26},
      with({0x01, 0x3A, 0x2A, 0x10, 0x1E, 0x11, 0x1F, 0x2C, 0x12, 0x20, 0x2E}, arrows),
      {0x07},
      {0x08},
      {0x09},
      {0x0A},
      {0x0B},
  };
  for (int m = 0; m < kv::kUserModeCount; ++m) {
    std::set<kv::KeyCode> got;
    int bits = 0;
    for (uint8_t b : kv::kDefaultUserPatterns[m]) bits += std::popcount(b);
    for (const kv::KeyButton& k : kv::KeyButtonTable)
      if (kv::ledIsSet(kv::kDefaultUserPatterns[m], k.ledIndex)) got.insert(k.keyCode);
    EXPECT_EQ(got, std::set<kv::KeyCode>(lit[m].begin(), lit[m].end())) << "pattern " << m;
    EXPECT_EQ(bits, static_cast<int>(lit[m].size())) << "pattern " << m << " lights an LED of no key";
  }
  kv::PerKeyRegion region = kv::defaultPerKeyRegion();
  EXPECT_TRUE(std::all_of(region.begin() + 180, region.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(kv::userPatternOf(region, 4), kv::kDefaultUserPatterns[4]);
}

TEST(Effects, ComboTableSkipsEmptyEntriesAndFindsTheFirstMatch) {
  kv::EffectList list{};
  const uint8_t codes[] = {0, 5, 0, 254, 5, 12};
  std::copy(std::begin(codes), std::end(codes), list.begin());
  auto combo = kv::buildEffectCombo(list);
  EXPECT_EQ(combo, (std::vector<kv::EffectComboEntry>{{0, 5}, {1, 254}, {2, 5}, {3, 12}}));
  EXPECT_TRUE(kv::effectListHasPerKey(list));
  list[3] = 0;
  EXPECT_FALSE(kv::effectListHasPerKey(list));
}

TEST(Effects, SetsAndVisibility) {
  struct Case {
    int code;
    bool recognised, brightness, speed;
    bool listOnRefresh, listOnChoice, perKey;
  };
  const Case cases[] = {
      // An effect picked from the list keeps the list, whatever it is: Lights
      // Off (8), 16 and 23-28 included.
      {0, false, false, false, false, true, false},   {1, true, true, true, true, true, false},
      {5, true, true, false, true, true, false},      {6, true, true, true, true, true, false},
      {7, true, true, false, true, true, false},      {8, true, false, false, true, true, false},
      {16, true, false, false, true, true, false},    {18, true, true, true, true, true, false},
      {22, true, true, true, true, true, false},      {23, true, false, false, true, true, false},
      {28, true, false, false, true, true, false},    {29, false, false, false, false, true, false},
      {254, true, true, false, true, true, true},     {255, false, false, false, false, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kv::isRecognisedEffect(c.code), c.recognised) << c.code;
    EXPECT_EQ(kv::effectHasBrightness(c.code), c.brightness) << c.code;
    EXPECT_EQ(kv::effectHasSpeed(c.code), c.speed) << c.code;
    auto refresh = kv::lightingVisibility(c.code, kv::VisibilityContext::Refresh);
    auto choice = kv::lightingVisibility(c.code, kv::VisibilityContext::Choice);
    EXPECT_EQ(refresh.effectList, c.listOnRefresh) << c.code;
    EXPECT_EQ(choice.effectList, c.listOnChoice) << c.code;
    EXPECT_EQ(choice.brightness, c.brightness) << c.code;
    EXPECT_EQ(choice.speed, c.speed) << c.code;
    EXPECT_EQ(choice.perKey, c.perKey) << c.code;
    EXPECT_EQ(refresh.perKey, c.perKey) << c.code;
  }
}

TEST(Colours, ModelValueIsBgrAndKeyboardBytesAreRgb) {
  EXPECT_EQ(kv::colourOfRgb({0x12, 0x34, 0x56}), 0x00563412u);
  EXPECT_EQ(kv::rgbOfColour(0x00563412u), (kv::DeviceRgb{0x12, 0x34, 0x56}));
  EXPECT_EQ(kv::rgbOfColour(kv::kColourRed), (kv::DeviceRgb{0xFF, 0, 0}));
}

TEST(DecodeSettings, FieldsWithRulesOfTheirOwn) {
  struct Case {
    const char* what;
    std::vector<std::pair<size_t, uint8_t>> bytes;  // field, value
    kv::LightingState before;
    void (*check)(const kv::LightingState&);
  };
  kv::LightingState randomSet;
  randomSet.reactionRandom = true;
  randomSet.triggerType = 1;
  const Case cases[] = {
      {"paint tool above 1 reads as 0", {{16, 7}}, {}, [](const kv::LightingState& s) { EXPECT_EQ(s.paintTool, 0); }},
      {"erase tool", {{16, 1}}, {}, [](const kv::LightingState& s) { EXPECT_EQ(s.paintTool, 1); }},
      {"report rate above 3 reads as 3", {{15, 7}}, {}, [](const kv::LightingState& s) { EXPECT_EQ(s.reportRate, 3); }},
      {"report rate 2", {{15, 2}}, {}, [](const kv::LightingState& s) { EXPECT_EQ(s.reportRate, 2); }},
      {"byte 18 loads for effect 7", {{0, 7}, {18, 1}}, {},
       [](const kv::LightingState& s) { EXPECT_TRUE(s.reactionRandom); }},
      {"byte 18 is ignored for effect 5", {{0, 5}, {18, 1}}, {},
       [](const kv::LightingState& s) { EXPECT_FALSE(s.reactionRandom); }},
      {"byte 18 = 0 is ignored for effect 5 too", {{0, 5}, {18, 0}}, randomSet,
       [](const kv::LightingState& s) { EXPECT_TRUE(s.reactionRandom); }},
      {"byte 18 above 1 is ignored", {{0, 7}, {18, 2}}, randomSet,
       [](const kv::LightingState& s) { EXPECT_TRUE(s.reactionRandom); }},
      {"trigger type above 1 is ignored", {{19, 2}}, randomSet,
       [](const kv::LightingState& s) { EXPECT_EQ(s.triggerType, 1); }},
      {"trigger type 0 loads", {{19, 0}}, randomSet, [](const kv::LightingState& s) { EXPECT_EQ(s.triggerType, 0); }},
      {"user mode and direction share byte 3", {{3, 6}}, {},
       [](const kv::LightingState& s) {
         EXPECT_EQ(s.userMode, 6);
         EXPECT_EQ(s.direction, 6);
       }},
      {"a user mode past the ten patterns reads as 0", {{3, 200}}, {},
       [](const kv::LightingState& s) {
         EXPECT_EQ(s.userMode, 0);
         EXPECT_EQ(s.direction, 200);
       }},
      {"one colour for static, breathing and reaction", {{5, 0x11}, {6, 0x22}, {7, 0x33}}, {},
       [](const kv::LightingState& s) {
         EXPECT_EQ(s.staticColour, 0x332211u);
         EXPECT_EQ(s.breathingColour, 0x332211u);
         EXPECT_EQ(s.reactionColour, 0x332211u);
       }},
      {"colours and random flags", {{9, 1}, {12, 2}, {25, 3}, {28, 9}, {30, 4}, {33, 0}, {4, 5}}, randomSet,
       [](const kv::LightingState& s) {
         EXPECT_EQ(s.userBaseColour, 1u);
         EXPECT_EQ(s.userColour, 2u);
         EXPECT_EQ(s.stoneColour, 3u);
         EXPECT_TRUE(s.stoneRandom);
         EXPECT_EQ(s.ribbonColour, 4u);
         EXPECT_FALSE(s.ribbonRandom);
         EXPECT_TRUE(s.mainColourRandom);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::array<uint8_t, 42> bytes{};
    for (auto [field, value] : c.bytes) bytes[field] = value;
    kv::LightingState s = c.before;
    kv::decodeSettingsRecord(kv::settingsRecordFromBytes(bytes), s);
    c.check(s);
  }
}

TEST(SettingsFile, CustomColoursRoundTripAndBadSlotsAreWhite) {
  kv::CustomColours colours;
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<uint32_t>(i * 0x00010203u);
  colours[0] = 0x00563412;  // bytes 12 34 56 as R G B
  EXPECT_EQ(kv::formatCustomColours(colours).substr(0, 14), u"123456,030201,");
  EXPECT_EQ(kv::parseCustomColours(kv::formatCustomColours(colours)), colours);

  struct Case {
    const char16_t* text;
    uint32_t first, second, last;
  };
  const Case cases[] = {
      {u"", 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},                 // nothing kept yet
      {u"ff0000,00ff00", 0x0000FF, 0x00FF00, 0xFFFFFF},     // short list, lower case
      {u"FF00,00ff00,", 0xFFFFFF, 0x00FF00, 0xFFFFFF},      // too short a slot
      {u"GG0000,0000FF", 0xFFFFFF, 0xFF0000, 0xFFFFFF},     // not hex
      {u" 0000FF,1234567", 0xFFFFFF, 0xFFFFFF, 0xFFFFFF},   // spaces and a long slot
      {u"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,000001,ABCDEF", 0xFFFFFF, 0xFFFFFF, 0x010000},  // 17th ignored
  };
  for (const Case& c : cases) {
    kv::CustomColours got = kv::parseCustomColours(c.text);
    EXPECT_EQ(got[0], c.first) << testing::PrintToString(std::u16string(c.text).size());
    EXPECT_EQ(got[1], c.second);
    EXPECT_EQ(got[15], c.last);
  }
  kv::MemorySettingsFile file;
  kv::writeCustomColours(file, colours);
  EXPECT_EQ(kv::readCustomColours(file), colours);
}

TEST(ReportRate, ButtonsStandForIndexesInOrder) {
  EXPECT_EQ(kv::reportRateOfButton(1147), 0);
  EXPECT_EQ(kv::reportRateOfButton(1168), 1);
  EXPECT_EQ(kv::reportRateOfButton(1169), 2);
  EXPECT_EQ(kv::reportRateOfButton(1170), 3);
  EXPECT_EQ(kv::reportRateOfButton(1204), -1);
}

TEST(SettingsFile, PanelOpenOnlyForOne) {
  kv::MemorySettingsFile f;
  EXPECT_FALSE(kv::readLightingPanelOpen(f));
  const std::pair<const char16_t*, bool> cases[] = {
      {u"1", true}, {u"0", false}, {u"true", false}, {u"", false}, {u"11", false}, {u" 1", false}};
  for (auto [value, open] : cases) {
    f.WriteString(u"KEYCOLOR", u"DengCheck", value);
    EXPECT_EQ(kv::readLightingPanelOpen(f), open) << kv::toUtf8(value);
  }
  kv::writeLightingPanelOpen(f, true);
  EXPECT_EQ(f.ReadString(u"KEYCOLOR", u"DengCheck", u"x"), u"1");
}

// ---- Loading ---------------------------------------------------------------------

TEST_F(LightingTest, LoadReadsRegionInPiecesOfFiftyFourAndThreeRecordsInOneBracket) {
  ASSERT_TRUE(model.SelectProfile(2));
  ASSERT_EQ(model.LoadLighting(), kv::kLightingLoaded);
  Keyboard()->drain();
  auto sent = Sends();
  ASSERT_EQ(CommandsOf(sent),
            (std::vector<uint8_t>{kCmdReadInfoBlock, kCmdBeginConfig, kCmdReadColours, kCmdReadColours,
                                  kCmdReadColours, kCmdReadColours, kCmdReadColours, kCmdReadSettings,
                                  kCmdReadSettings, kCmdReadSettings, kCmdEndConfig}));
  const uint16_t offsets[] = {0, 54, 108, 162, 216};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sent[2 + i].length, 54);
    EXPECT_EQ(sent[2 + i].address, 2 * 256 + offsets[i]);
  }
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(sent[7 + p].length, 56);
    EXPECT_EQ(sent[7 + p].address, p * 42);
  }
  auto colours = Colours(2);
  EXPECT_TRUE(std::equal(colours.begin(), colours.end(), model.perKeyRegion(2).begin()));
  for (int p = 0; p < 3; ++p) {
    auto bytes = kv::settingsRecordBytes(model.record(p));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), Settings(p)) << p;
  }
  EXPECT_EQ(model.state().effect, 7);  // a new keyboard's profile 3
  EXPECT_EQ(model.ComboIndexOfEffect(254), 28);
  EXPECT_EQ(model.EffectOfComboIndex(28), 254);
  EXPECT_EQ(model.EffectOfComboIndex(29), 0);
  EXPECT_EQ(model.ComboIndexOfEffect(100), -1);
}

TEST_F(LightingTest, LoadFillsTheModelFromTheSelectedProfileOnly) {
  SetSettingsByte(1, 0, 254);
  SetSettingsByte(1, 1, 3);
  SetSettingsByte(1, 2, 1);
  SetSettingsByte(1, 3, 4);
  SetSettingsByte(1, 15, 7);
  SetSettingsByte(1, 16, 7);
  SetSettingsByte(0, 1, 0);
  settings.WriteString(u"KEYCOLOR", u"DengCheck", u"1");
  Load(1);
  const kv::LightingState& s = model.state();
  EXPECT_EQ(s.effect, 254);
  EXPECT_EQ(s.brightness, 3);
  EXPECT_EQ(s.speed, 1);
  EXPECT_EQ(kv::speedPositionOf(s.speed), 3);
  EXPECT_EQ(s.userMode, 4);
  EXPECT_EQ(s.reportRate, 3);  // shown as report4
  EXPECT_EQ(s.paintTool, 0);
  EXPECT_TRUE(s.panelOpen);
  EXPECT_EQ(model.record(0).brightness, 0);  // kept, uninterpreted
}

TEST_F(LightingTest, EffectListWithoutPerKeyEffectSkipsTheRegionOnLoadAndReset) {
  SetEffectList({1, 2, 3, 7});
  ASSERT_TRUE(model.SelectProfile(0));
  ASSERT_EQ(model.LoadLighting(), kv::kLightingLoaded);
  ASSERT_EQ(model.ResetLighting(), kv::kResultSuccess);
  Keyboard()->drain();
  for (const Sent& s : Sends()) {
    EXPECT_NE(s.command, kCmdReadColours);
    EXPECT_NE(s.command, kCmdWriteColours);
  }
  EXPECT_FALSE(model.hasPerKeyEffect());
}

TEST_F(LightingTest, FailedInfoReadEmptiesTheEffectListAndKeepsTheRest) {
  SetSettingsByte(0, 1, 2);
  Load(0);
  kv::sim::SimFaults f;
  f.dropResponses = 3;
  Fault(f);
  EXPECT_EQ(model.LoadLighting(), kv::kLightingNoInfoBlock);
  EXPECT_TRUE(model.effectCombo().empty());
  EXPECT_TRUE(std::all_of(model.effectList().begin(), model.effectList().end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(model.state().brightness, 2);
  EXPECT_EQ(model.EffectOfComboIndex(0), 0);
}

TEST_F(LightingTest, FailedSettingsReadLeavesRecordsAndModelAsTheyWere) {
  Load(0);
  SetSettingsByte(0, 1, 1);
  kv::sim::SimFaults f;
  f.after = 7;  // info, BeginConfig, five region pieces, then the first record read fails
  f.errorStatus = 3;
  Fault(f);
  EXPECT_EQ(model.LoadLighting(), kv::kLightingReadFailed);
  EXPECT_EQ(model.state().brightness, 4);
  EXPECT_EQ(model.record(0).brightness, 4);
  Keyboard()->drain();
  auto sent = Sends();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().command, kCmdEndConfig);  // the bracket is closed all the same
  EXPECT_FALSE(model.effectCombo().empty());
}

// ---- Single-field writes --------------------------------------------------------

TEST_F(LightingTest, SpeedIsFourMinusThePositionAndAnUnchangedValueWritesNothing) {
  SetSettingsByte(0, 2, 3);
  Load(0);
  EXPECT_EQ(model.SetSpeed(1), kv::kResultSuccess);
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
  EXPECT_EQ(model.SetSpeed(3), kv::kResultSuccess);
  Keyboard()->drain();
  ExpectOneWrite(Sends(), kCmdWriteSettings, 2, {1});
  EXPECT_EQ(model.state().speed, 1);
  EXPECT_EQ(Settings(0)[2], 1);
}

TEST_F(LightingTest, SingleFieldWritesGoToTheSelectedProfilesRecord) {
  struct Case {
    const char* what;
    int (*change)(kv::LightingModel&);
    uint16_t field;
    uint8_t value;
  };
  const Case cases[] = {
      {"effect", [](kv::LightingModel& m) { return m.SetEffect(8); }, 0, 8},
      {"brightness", [](kv::LightingModel& m) { return m.SetBrightness(1); }, 1, 1},
      {"speed", [](kv::LightingModel& m) { return m.SetSpeed(0); }, 2, 4},
      {"user mode", [](kv::LightingModel& m) { return m.SetUserMode(2); }, 3, 2},
      {"report rate", [](kv::LightingModel& m) { return m.SetReportRate(2); }, 15, 2},
      {"erase tool", [](kv::LightingModel& m) { return m.SetPaintTool(1); }, 16, 1},
  };
  settings.WriteString(u"KEYCOLOR", u"DengCheck", u"1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Load(1);
    EXPECT_EQ(c.change(model), kv::kResultSuccess);
    Keyboard()->drain();
    ExpectOneWrite(Sends(), kCmdWriteSettings, static_cast<uint16_t>(42 + c.field), {c.value});
    EXPECT_EQ(Settings(1)[c.field], c.value);
    EXPECT_EQ(kv::settingsRecordBytes(model.record(1))[c.field], c.value);
  }
}

// Every field an effect shows writes exactly its bytes of the selected
// profile's record, in one bracket; the rest of the record stays.
TEST_F(LightingTest, EachFieldWritesOnlyItsBytesInTheSelectedProfile) {
  using F = kv::LightingField;
  struct Case {
    int profile;
    uint8_t effect;
    F field;
    uint32_t value;
    uint16_t address;  // profile x 42 + field offset
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {0, 1, F::Direction, 1, 3, {0x01}},
      {1, 12, F::Direction, 0, 42 + 3, {0x00}},
      {2, 18, F::Direction, 1, 84 + 3, {0x01}},
      {0, 4, F::MainColour, 0x00563412, 5, {0x12, 0x34, 0x56}},
      {1, 5, F::MainColour, 0x000080FF, 42 + 5, {0xFF, 0x80, 0x00}},
      {2, 5, F::MainRandom, 1, 84 + 4, {0x01}},
      {0, 4, F::MainRandom, 0, 4, {0x00}},
      {0, 7, F::MainColour, 0x00FF0000, 5, {0x00, 0x00, 0xFF}},
      {1, 7, F::PresetColour, 2, 42 + 17, {0x02}},
      {0, 7, F::ReactionRandom, 1, 18, {0x01}},
      {2, 7, F::TriggerType, 1, 84 + 19, {0x01}},
      {0, 17, F::StoneColour, 0x00ABCDEF, 25, {0xEF, 0xCD, 0xAB}},
      {1, 17, F::StoneRandom, 0, 42 + 28, {0x00}},
      {0, 19, F::RibbonColour, 0x00010203, 30, {0x03, 0x02, 0x01}},
      {2, 19, F::RibbonRandom, 1, 84 + 33, {0x01}},
      {0, 254, F::UserBaseColour, 0x00112233, 9, {0x33, 0x22, 0x11}},
      {1, 254, F::UserColour, 0x00FFFFFF, 42 + 12, {0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "effect " << int(c.effect) << " field " << int(c.field));
    SetSettingsByte(c.profile, 0, c.effect);
    // A record whose every byte differs from the value written.
    for (size_t f = 1; f < 42; ++f) SetSettingsByte(c.profile, f, static_cast<uint8_t>(0x40 + f));
    Load(c.profile);
    const std::vector<std::vector<uint8_t>> before = {Settings(0), Settings(1), Settings(2)};
    EXPECT_EQ(model.SetField(c.field, c.value), kv::kResultSuccess);
    Keyboard()->drain();
    ExpectOneWrite(Sends(), kCmdWriteSettings, c.address, c.bytes);
    for (int p = 0; p < 3; ++p) {
      std::vector<uint8_t> expected = before[p];
      if (p == c.profile) std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + (c.address - p * 42));
      EXPECT_EQ(Settings(p), expected) << "profile " << p;
    }
    EXPECT_EQ(kv::fieldValue(model.state(), c.field), c.value);
    // What was written loads back as the same value.
    Load(c.profile);
    EXPECT_EQ(kv::fieldValue(model.state(), c.field), c.value);
  }
}

TEST_F(LightingTest, FieldsTheEffectDoesNotUseAndValuesOutOfRangeWriteNothing) {
  using F = kv::LightingField;
  struct Case {
    uint8_t effect;
    F field;
    uint32_t value;
  };
  const Case cases[] = {
      {254, F::Direction, 1},        // byte 3 is the user mode there
      {5, F::ReactionRandom, 1},     // byte 18 belongs to the reaction
      {8, F::MainColour, 0x0000FF},  // Lights Off uses no colour
      {23, F::PresetColour, 1},
      {17, F::RibbonColour, 0x00FFFFFF},
      {7, F::PresetColour, 4},       // red, yellow, green, blue only
      {7, F::TriggerType, 2},
      {5, F::MainRandom, 2},
      {5, F::MainColour, 0x01000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "effect " << int(c.effect) << " field " << int(c.field));
    SetSettingsByte(0, 0, c.effect);
    Load(0);
    const std::vector<uint8_t> before = Settings(0);
    const uint32_t held = kv::fieldValue(model.state(), c.field);
    EXPECT_EQ(model.SetField(c.field, c.value), kv::kResultBadArgument);
    Keyboard()->drain();
    EXPECT_TRUE(Sends().empty());
    EXPECT_EQ(Settings(0), before);
    EXPECT_EQ(kv::fieldValue(model.state(), c.field), held);
  }
}

// The keyboard picture before the keyboard: tinted in the static colour,
// the pattern for the per-key effect, nothing otherwise.
TEST_F(LightingTest, EffectPreviewTintsEveryButtonOnlyForAStillMainColour) {
  struct Case {
    uint8_t effect;
    uint8_t random;
    size_t tints, overlays;
  };
  const size_t buttons = kv::KeyButtonTable.size() + kv::kGKeyControlIds.size() + 1;  // with Fn
  const Case cases[] = {
      {5, 0, buttons, 0},  // static, its own colour
      {5, 1, 0, 0},        // static in random colours: no single colour to show
      {4, 0, 0, 0},        // breathing moves
      {8, 0, 0, 0},
      {254, 0, 0, buttons},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "effect " << int(c.effect) << " random " << int(c.random));
    SetSettingsByte(0, 0, c.effect);
    SetSettingsByte(0, 4, c.random);
    const uint8_t rgb[] = {0x10, 0x80, 0xF0};
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Settings, 5, rgb));
    Load(0);
    view.overlays[1] = {0x123456, 70};  // an overlay of before
    model.ShowEffectPreview(c.effect);
    EXPECT_EQ(view.tints.size(), c.tints);
    EXPECT_EQ(view.overlays.size(), c.overlays);
    for (auto [id, tint] : view.tints) {
      EXPECT_EQ(tint.colour, 0x00F08010u) << id;
      EXPECT_EQ(tint.opacity, kv::kPreviewOpacity) << id;
    }
    Keyboard()->drain();
    EXPECT_TRUE(Sends().empty()) << "a preview writes nothing";
  }
}

TEST_F(LightingTest, ReportRateOnProfileTwoWritesOneByteAtNinetyNine) {
  Load(2);
  EXPECT_EQ(model.SetReportRate(2), kv::kResultSuccess);
  Keyboard()->drain();
  ExpectOneWrite(Sends(), kCmdWriteSettings, 99, {2});
  EXPECT_EQ(view.reportRates, std::vector<int>{2});
  EXPECT_EQ(model.state().reportRate, 2);
}

TEST_F(LightingTest, UnchangedBrightnessWritesNothing) {
  Load(0);
  ASSERT_EQ(model.state().brightness, 4);
  EXPECT_EQ(model.SetBrightness(4), kv::kResultSuccess);
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
}

TEST_F(LightingTest, UserModeIsWrittenOnlyWhileThePanelIsOpen) {
  Load(0);
  ASSERT_FALSE(model.lightingPanelOpen());
  EXPECT_EQ(model.SetUserMode(5), kv::kResultSuccess);
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
  EXPECT_EQ(model.state().userMode, 5);

  model.SetLightingPanelOpen(true);
  EXPECT_EQ(settings.ReadString(u"KEYCOLOR", u"DengCheck", u""), u"1");
  EXPECT_EQ(model.SetUserMode(2), kv::kResultSuccess);
  Keyboard()->drain();
  ExpectOneWrite(Sends(), kCmdWriteSettings, 3, {2});
}

TEST_F(LightingTest, ValuesOutOfRangeAreRefusedWithNothingWritten) {
  Load(0);
  kv::LightingState before = model.state();
  EXPECT_EQ(model.SetEffect(0), kv::kResultBadArgument);
  EXPECT_EQ(model.SetEffect(29), kv::kResultBadArgument);
  EXPECT_EQ(model.SetBrightness(5), kv::kResultBadArgument);
  EXPECT_EQ(model.SetSpeed(-1), kv::kResultBadArgument);
  EXPECT_EQ(model.SetUserMode(10), kv::kResultBadArgument);
  EXPECT_EQ(model.SetPaintTool(2), kv::kResultBadArgument);
  EXPECT_EQ(model.SetReportRate(4), kv::kResultBadArgument);
  EXPECT_EQ(model.WriteSettingsField(40, std::vector<uint8_t>(3, 0)), kv::kResultBadArgument);
  EXPECT_FALSE(model.SelectProfile(3));
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
  EXPECT_EQ(model.state().effect, before.effect);
  EXPECT_EQ(model.state().userMode, before.userMode);
  EXPECT_TRUE(view.reportRates.empty());
}

TEST_F(LightingTest, WriteIsNotAttemptedWhenTheBracketCannotOpen) {
  Load(0);
  kv::sim::SimFaults f;
  f.errorStatus = 3;  // BeginConfig answered 0xFF three times
  Fault(f);
  EXPECT_EQ(model.SetBrightness(2), kv::kResultStatusError);
  Keyboard()->drain();
  for (const Sent& s : Sends()) EXPECT_EQ(s.command, kCmdBeginConfig);
  EXPECT_EQ(model.state().brightness, 2);  // not rolled back
  EXPECT_EQ(Settings(0)[1], 4);
}

TEST_F(LightingTest, NoKeyboardSendsNothingAndKeepsTheChange) {
  Load(0);
  Keyboard()->unplug();
  Keyboard()->drain();
  EXPECT_EQ(model.SetEffect(3), kv::kResultNoDevice);
  EXPECT_EQ(model.state().effect, 3);
  EXPECT_EQ(model.LoadLighting(), kv::kLightingNoInfoBlock);
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
}

// ---- User patterns ---------------------------------------------------------------

TEST_F(LightingTest, PaintingFnInUserModeTwoWritesOneByteWithBitFive) {
  model.SetLightingPanelOpen(true);
  Load(1);
  ASSERT_EQ(model.SetUserMode(2), kv::kResultSuccess);
  Keyboard()->clearTrace();
  const uint8_t before = Colours(1)[2 * 18 + 5];
  ASSERT_EQ(before & 0x20, 0);
  EXPECT_EQ(model.PaintKey(kv::kFnControlId), kv::kResultSuccess);
  Keyboard()->drain();
  ExpectOneWrite(Sends(), kCmdWriteColours, 256 + 2 * 18 + 5, {static_cast<uint8_t>(before | 0x20)});
  EXPECT_EQ(Colours(1)[2 * 18 + 5], before | 0x20);
  EXPECT_EQ(model.userPattern(2)[5], before | 0x20);
  ASSERT_EQ(view.overlays.count(kv::kFnControlId), 1u);
  EXPECT_EQ(view.overlays[kv::kFnControlId].colour, kv::kPreviewLit);
  EXPECT_EQ(view.overlays[kv::kFnControlId].opacity, 70);
}

TEST_F(LightingTest, PaintAndEraseByTool) {
  struct Case {
    const char* what;
    uint16_t control;
    int tool;
    uint8_t start;  // byte b of pattern 0 before
    size_t byte;
    uint8_t expect;
    kv::Colour preview;
  };
  const Case cases[] = {
      {"D1 paints bit 0 of byte 0, the LED of Esc", 1016, 0, 0x00, 0, 0x01, kv::kPreviewLit},
      {"a G key uses LED 0 too", 1140, 0, 0x40, 0, 0x41, kv::kPreviewLit},
      {"A (LED 11) keeps the other bits of byte 1", 1058, 0, 0x81, 1, 0x89, kv::kPreviewLit},
      {"erasing A clears only its bit", 1058, 1, 0xFF, 1, 0xF7, kv::kPreviewUnlit},
      {"erasing an unlit key writes the byte unchanged", 1022, 1, 0x00, 0, 0x00, kv::kPreviewUnlit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint8_t start[] = {c.start};
    ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Colours, c.byte, start));
    Load(0);
    ASSERT_EQ(model.state().userMode, 0);
    if (model.state().paintTool != c.tool) {
      ASSERT_EQ(model.SetPaintTool(c.tool), kv::kResultSuccess);
    }
    Keyboard()->drain();
    Keyboard()->clearTrace();
    EXPECT_EQ(model.PaintKey(c.control), kv::kResultSuccess);
    Keyboard()->drain();
    ExpectOneWrite(Sends(), kCmdWriteColours, static_cast<uint16_t>(c.byte), {c.expect});
    EXPECT_EQ(Colours(0)[c.byte], c.expect);
    EXPECT_EQ(view.overlays[c.control].colour, c.preview);
  }
}

// A painted key's byte carries seven other LEDs: over a region the keyboard
// never gave (its read failed, the model holds zeros), the region is read
// first and the byte written is the keyboard's with the one bit changed;
// while the read fails, nothing is painted or written.
TEST_F(LightingTest, PaintingOverAnUnreadRegionReadsItFirst) {
  const uint8_t start[] = {0x81};  // byte 1 of pattern 0: two LEDs lit besides A's
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Colours, 1, start));
  ASSERT_TRUE(model.SelectProfile(0));
  kv::sim::SimFaults f;
  f.after = 2;  // the information block and BeginConfig answer, the region read does not
  f.dropResponses = 100;
  Fault(f);
  EXPECT_EQ(model.LoadLighting(), kv::kLightingReadFailed);
  Keyboard()->drain();
  Keyboard()->clearTrace();

  EXPECT_NE(model.PaintKey(1058), kv::kResultSuccess) << "painted over a region that could not be read";
  Keyboard()->drain();
  for (const Sent& s : Sends()) EXPECT_NE(s.command, kCmdWriteColours) << "a byte went back unread";
  EXPECT_EQ(view.overlays.count(1058), 0u);
  EXPECT_EQ(Colours(0)[1], 0x81);

  Fault(kv::sim::SimFaults{});
  Keyboard()->clearTrace();
  EXPECT_EQ(model.PaintKey(1058), kv::kResultSuccess);
  Keyboard()->drain();
  auto sent = Sends();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front().command, kCmdBeginConfig) << "the region was not read first";
  EXPECT_EQ(Colours(0)[1], 0x89) << "the byte's other LEDs were not the keyboard's";
  EXPECT_EQ(model.userPattern(0)[1], 0x89);
}

TEST_F(LightingTest, FillAndClearWriteEighteenBytesAndOverlayEveryButton) {
  model.SetLightingPanelOpen(true);
  Load(2);
  ASSERT_EQ(model.SetUserMode(7), kv::kResultSuccess);
  for (bool fill : {true, false}) {
    SCOPED_TRACE(fill ? "fill" : "clear");
    Keyboard()->drain();
    Keyboard()->clearTrace();
    view.overlays.clear();
    EXPECT_EQ(fill ? model.FillPattern() : model.ClearPattern(), kv::kResultSuccess);
    Keyboard()->drain();
    const uint8_t value = fill ? 0xFF : 0x00;
    ExpectOneWrite(Sends(), kCmdWriteColours, 2 * 256 + 7 * 18, std::vector<uint8_t>(18, value));
    auto colours = Colours(2);
    EXPECT_TRUE(std::all_of(colours.begin() + 126, colours.begin() + 144, [&](uint8_t b) { return b == value; }));
    EXPECT_EQ(colours[125], kv::kDefaultUserPatterns[6][17]);
    EXPECT_EQ(colours[144], kv::kDefaultUserPatterns[8][0]);
    EXPECT_EQ(view.overlays.size(), kv::kKeyButtonCount + 9 + 1);
    for (const auto& [id, o] : view.overlays) {
      EXPECT_EQ(o.colour, fill ? kv::kPreviewLit : kv::kPreviewUnlit) << id;
      EXPECT_EQ(o.opacity, 70);
    }
  }
}

TEST_F(LightingTest, SelectingUserModeThreeWritesTwoAndShowsPatternTwo) {
  model.SetLightingPanelOpen(true);
  Load(0);
  ASSERT_EQ(model.SetUserMode(2), kv::kResultSuccess);
  Keyboard()->drain();
  ExpectOneWrite(Sends(), kCmdWriteSettings, 3, {2});
  model.ShowUserPattern();
  const kv::LedMask& pattern = kv::kDefaultUserPatterns[2];
  for (const kv::KeyButton& k : kv::KeyButtonTable) {
    ASSERT_EQ(view.overlays.count(k.controlId), 1u);
    EXPECT_EQ(view.overlays[k.controlId].colour, kv::ledIsSet(pattern, k.ledIndex) ? kv::kPreviewLit : kv::kPreviewUnlit)
        << k.controlId;
  }
  EXPECT_EQ(view.overlays[1058].colour, kv::kPreviewLit);    // A
  EXPECT_EQ(view.overlays[1051].colour, kv::kPreviewUnlit);  // I
  // G keys follow LED 0 (Esc's bit is set in pattern 2); Fn follows LED 45 (clear).
  for (uint16_t g : kv::kGKeyControlIds) EXPECT_EQ(view.overlays[g].colour, kv::kPreviewLit);
  EXPECT_EQ(view.overlays[kv::kFnControlId].colour, kv::kPreviewUnlit);
}

// ---- Reset ------------------------------------------------------------------------

TEST_F(LightingTest, ResetWritesEffectDefaultPatternsAndThirtyFiveSettingsBytes) {
  // A keyboard whose profile 1 differs everywhere from the defaults.
  std::vector<uint8_t> noise(256, 0xA5);
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Colours, 256, noise));
  ASSERT_TRUE(Keyboard()->write(kv::sim::Region::Settings, 42, std::vector<uint8_t>(42, 0x03)));
  Load(1);
  view.overlays[1058] = {kv::kPreviewLit, 70};
  EXPECT_EQ(model.ResetLighting(), kv::kResultSuccess);
  Keyboard()->drain();
  auto sent = Sends();
  ASSERT_EQ(CommandsOf(sent),
            (std::vector<uint8_t>{kCmdBeginConfig, kCmdWriteSettings, kCmdEndConfig, kCmdBeginConfig,
                                  kCmdWriteColours, kCmdWriteColours, kCmdWriteColours, kCmdWriteColours,
                                  kCmdWriteColours, kCmdEndConfig, kCmdBeginConfig, kCmdWriteSettings,
                                  kCmdEndConfig}));
  EXPECT_EQ(sent[1].address, 42);
  EXPECT_EQ(sent[1].payload, std::vector<uint8_t>{1});
  const uint16_t offsets[] = {0, 52, 104, 156, 208};
  const uint8_t lengths[] = {52, 52, 52, 52, 48};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(sent[4 + i].address, 256 + offsets[i]);
    EXPECT_EQ(sent[4 + i].length, lengths[i]);
  }
  EXPECT_EQ(sent[11].address, 42);
  std::vector<uint8_t> defaults(35, 0);
  defaults[0] = 1;
  defaults[1] = 4;
  defaults[2] = 2;
  EXPECT_EQ(sent[11].payload, defaults);

  kv::PerKeyRegion expected = kv::defaultPerKeyRegion();
  EXPECT_EQ(Colours(1), std::vector<uint8_t>(expected.begin(), expected.end()));
  auto record = Settings(1);
  EXPECT_TRUE(std::equal(defaults.begin(), defaults.end(), record.begin()));
  EXPECT_TRUE(std::all_of(record.begin() + 35, record.end(), [](uint8_t b) { return b == 3; }));
  EXPECT_EQ(Colours(0), Colours(2));  // other profiles untouched

  const kv::LightingState& s = model.state();
  EXPECT_EQ(s.effect, 1);
  EXPECT_EQ(s.brightness, 4);
  EXPECT_EQ(kv::speedPositionOf(s.speed), 2);
  EXPECT_EQ(s.staticColour, kv::kColourRed);
  EXPECT_EQ(s.breathingColour, kv::kColourRed);
  EXPECT_EQ(s.reactionColour, kv::kColourRed);
  EXPECT_EQ(s.stoneColour, kv::kColourWhite);
  EXPECT_EQ(s.ribbonColour, kv::kColourWhite);
  EXPECT_TRUE(s.mainColourRandom && s.reactionRandom && s.stoneRandom && s.ribbonRandom);
  EXPECT_EQ(s.userMode, 0);
  EXPECT_TRUE(s.panelOpen);
  EXPECT_EQ(settings.ReadString(u"KEYCOLOR", u"DengCheck", u""), u"1");
  // The report rate and paint tool the keyboard now holds are what the panel shows.
  EXPECT_EQ(s.reportRate, 0);
  EXPECT_EQ(s.paintTool, 0);
  EXPECT_EQ(view.reportRates, std::vector<int>{0});
  EXPECT_EQ(view.resets, 1);
  EXPECT_TRUE(view.overlays.empty());
  EXPECT_GE(view.removals, 1);
  EXPECT_EQ(model.userPattern(3), kv::kDefaultUserPatterns[3]);
}

TEST_F(LightingTest, WritesAreObservedAndWrittenBackInOneBracket) {
  model.SetLightingPanelOpen(true);
  Load(1);
  std::vector<kv::LightingWrite> seen;
  model.SetWriteObserver([&](kv::LightingWrite w) { seen.push_back(std::move(w)); });
  const std::vector<uint8_t> coloursBefore = Colours(1), settingsBefore = Settings(1);
  // A stroke over three keys, a fill, then a report rate and an effect.
  for (size_t i = 0; i < 3; ++i)
    ASSERT_EQ(model.PaintKey(kv::KeyButtonTable[i * 7].controlId), kv::kResultSuccess);
  ASSERT_EQ(model.FillPattern(), kv::kResultSuccess);
  ASSERT_EQ(model.SetReportRate(2), kv::kResultSuccess);
  ASSERT_EQ(model.SetEffect(8), kv::kResultSuccess);
  Keyboard()->drain();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[3].after, std::vector<uint8_t>(18, 0xFF));
  EXPECT_EQ(seen[4].area, kv::LightingArea::kSettings);
  EXPECT_EQ(seen[4].offset, kv::kFieldReportRate);
  const std::vector<uint8_t> coloursAfter = Colours(1), settingsAfter = Settings(1);
  ASSERT_NE(coloursAfter, coloursBefore);
  ASSERT_NE(settingsAfter[15], settingsBefore[15]);

  for (bool undo : {true, false}) {
    SCOPED_TRACE(undo ? "undo" : "redo");
    Keyboard()->clearTrace();
    const size_t observed = seen.size();
    EXPECT_EQ(model.WriteBack(seen, undo), kv::kResultSuccess);
    Keyboard()->drain();
    EXPECT_EQ(seen.size(), observed);  // writing back is no new change
    std::vector<Sent> sent = Sends();
    std::vector<uint8_t> expected = {kCmdBeginConfig};
    for (size_t i = 0; i < observed; ++i) {
      const kv::LightingWrite& w = seen[undo ? observed - 1 - i : i];
      expected.push_back(w.area == kv::LightingArea::kSettings ? kCmdWriteSettings : kCmdWriteColours);
    }
    expected.push_back(kCmdEndConfig);
    EXPECT_EQ(CommandsOf(sent), expected);
    EXPECT_EQ(Colours(1), undo ? coloursBefore : coloursAfter);
    EXPECT_EQ(Settings(1), undo ? settingsBefore : settingsAfter);
    EXPECT_EQ(model.state().reportRate, undo ? kv::reportRateIndexOf(settingsBefore[15]) : 2);
    EXPECT_EQ(kv::settingsRecordBytes(model.record(1))[0], undo ? settingsBefore[0] : 8);
  }
  // Damaged writes send nothing.
  Keyboard()->clearTrace();
  std::vector<kv::LightingWrite> bad = {{kv::LightingArea::kPattern, 250, {1, 2, 3, 4, 5, 6, 7}, {1, 2, 3, 4, 5, 6, 7}}};
  EXPECT_EQ(model.WriteBack(bad, true), kv::kResultBadArgument);
  Keyboard()->drain();
  EXPECT_TRUE(Sends().empty());
}

}  // namespace
