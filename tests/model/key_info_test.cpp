#include "model/key_info.h"

#include <gtest/gtest.h>

#include <map>

namespace kv {
namespace {

// Texts are process-wide: every test starts and ends with the built-in ones.
class KeyInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { resetTextTable(); }
  void TearDown() override { resetTextTable(); }
};

TEST_F(KeyInfoTest, ListPositionsCoverTheKeyListOnce) {
  std::map<uint16_t, int> count;
  for (const auto& e : KeyInfoTable)
    if (!e.empty()) ++count[e.listPosition];
  for (uint16_t p = 0; p < kKeyListSize; ++p) EXPECT_EQ(count[p], p == 103 ? 2 : 1) << p;
  for (uint16_t p = 0x8001; p <= 0x8030; ++p) EXPECT_EQ(count[p], 1) << std::hex << p;
  size_t listed = 0;
  for (const auto& [p, n] : count) listed += n;
  EXPECT_EQ(listed, 107u + 48u);
}

TEST_F(KeyInfoTest, ListPositionLookups) {
  struct Case {
    uint16_t pos;
    KeyCode code;
    const char16_t* name;
  } cases[] = {
      {0, 0x01E, u"A"},          {1, 0x030, u"B"},           {23, 0x02D, u"X"},
      {24, 0x015, u"Z"},         {25, 0x02C, u"Y"},  // the keyboard's own labels
      {26, 0x002, u"1"},         {35, 0x00B, u"0"},          {45, 0x02B, u"\\"},
      {64, 0x137, u"PrintScreen"}, {65, 0x045, u"Pause"},    {66, 0x146, u"Pause/Break"},
      {73, 0x148, u"\u2191"},    {84, 0x11C, u"Enter"},      {103, 0x036, u"RShift"},
      {105, 0x15C, u"Right Win"}, {0x8001, 0x15E, u"Power"}, {0x8030, 0x064, u"F13"},
      {106, 0, u""},             {0x8031, 0, u""},           {0xFFFF, 0, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeyCodeAtListPosition(c.pos), c.code) << c.pos;
    EXPECT_EQ(KeyNameAtListPosition(c.pos), c.name) << c.pos;
  }
  EXPECT_EQ(ListPositionOfKey(0x136), 103);
  EXPECT_EQ(ListPositionOfKey(0x036), 103);
  EXPECT_EQ(ListPositionOfKey(0x015), 24);
  EXPECT_EQ(ListPositionOfKey(0x0FF), kNoListPosition);
  EXPECT_EQ(ListPositionOfKey(0x0B7), kNoListPosition);  // not a key code, not PrintScreen
}

TEST_F(KeyInfoTest, NumericPadKeepsTheNavigationVk) {
  EXPECT_EQ(keyInfoOf(0x04F).vk, 0x61);
  EXPECT_EQ(keyInfoOf(0x04F).vkNoNumLock, 0x23);
  EXPECT_EQ(keyInfoOf(0x04C).vkNoNumLock, 0x0C);
  EXPECT_EQ(keyInfoOf(0x01E).vkNoNumLock, keyInfoOf(0x01E).vk);
}

TEST_F(KeyInfoTest, KeyNameFallsBackToUnknownKeyText) {
  EXPECT_EQ(KeyName(0x01E), u"A");
  EXPECT_EQ(KeyName(0x0FF), u"Unknown Key: 0ff");
  EXPECT_EQ(KeyName(0x0B7), u"Unknown Key: 0b7");
  setText(TextId::UNKNOWN_KEY, u"?%X");
  EXPECT_EQ(KeyName(0x0FF), u"?FF");
  setText(TextId::UNKNOWN_KEY, u"");
  EXPECT_EQ(KeyName(0x0FF), u"");
}

TEST_F(KeyInfoTest, MediaNamesFollowTheTextTable) {
  setText(TextId::MEDIA_V_ADD_7, u"Volume up");
  EXPECT_EQ(KeyName(0x130), u"Volume up");
  EXPECT_EQ(KeyNameAtListPosition(0x8026), u"Volume up");
  EXPECT_EQ(mediaFunctionName(6), u"Volume up");
  EXPECT_EQ(mediaFunctionName(18), u"");
  setText(TextId::MEDIA_V_ADD_7, u"");
  EXPECT_EQ(KeyName(0x130), u"Unknown Key: 130");
  EXPECT_EQ(KeyNameAtListPosition(0x8026), u"");
}

TEST_F(KeyInfoTest, KeyNameIntoABufferIsCutToFit) {
  char16_t buf[8];
  std::fill(std::begin(buf), std::end(buf), u'#');
  EXPECT_EQ(KeyName(0x01C, buf, 3), 2u);
  EXPECT_EQ(std::u16string(buf), u"En");
  EXPECT_EQ(KeyName(0x01C, buf, 8), 5u);
  EXPECT_EQ(std::u16string(buf), u"Enter");
  EXPECT_EQ(KeyName(0x01C, buf, 1), 0u);
  EXPECT_EQ(buf[0], u'\0');
  buf[0] = u'#';
  EXPECT_EQ(KeyName(0x01C, buf, 0), 0u);
  EXPECT_EQ(buf[0], u'#');
}

TEST_F(KeyInfoTest, KeyToUsage) {
  struct Case {
    KeyCode code;
    Usage usage;
  } cases[] = {
      {0x130, {12, 0x00E9}}, {0x15E, {1, 0x81}}, {0x171, {0, 0}},  {0x01E, {7, 0x04}}, {0x01D, {7, 0xE0}},
      {0x15C, {7, 0xE7}},    {0x146, {7, 0x48}}, {0x07D, {7, 0x89}}, {0x000, {0, 0}},  {0x0FF, {0, 0}},
      {0x174, {12, 0}},  // device code 0xD2 has no consumer usage
  };
  for (const auto& c : cases) EXPECT_EQ(KeyToUsage(c.code), c.usage) << std::hex << c.code;
}

TEST_F(KeyInfoTest, UsageToKeyTakesTheFirstSlot) {
  struct Case {
    uint16_t page, usage;
    KeyCode key;
  } cases[] = {
      {7, 0x48, 0x045},  // Pause comes before Pause/Break
      {7, 0xE5, 0x036},  {7, 0x04, 0x01E},  {12, 0x00E9, 0x130}, {12, 0x0192, 0x121},
      {1, 0x82, 0x15F},  {12, 0x1234, 0},   {3, 0x04, 0},        {1, 0x84, 0},
      {7, 0x104, 0},     // no 8-bit device code holds it
      {7, 0x83, 0},      // device code of Wake, a generic-desktop function
      {7, 0xC0, 0},      // device code of volume up, a consumer function
      {7, 0xDF, 0},      {7, 0xE0, 0x01D}, {7, 0x80, 0},
      {7, 0, 0},         {12, 0, 0},        {1, 0, 0},           // usage 0 is no key
  };
  for (const auto& c : cases) EXPECT_EQ(UsageToKey(c.page, c.usage), c.key) << c.page << ":" << std::hex << c.usage;
}

TEST_F(KeyInfoTest, UsageRoundTripsToAKeyWithTheSameUsage) {
  for (uint16_t s = 0; s < 256; ++s) {
    KeyCode k = keyOfSlot(s);
    Usage u = KeyToUsage(k);
    if (u.page == 0 || u.usage == 0) continue;
    KeyCode back = UsageToKey(u.page, u.usage);
    ASSERT_NE(back, 0) << std::hex << k;
    EXPECT_EQ(KeyToUsage(back), u) << std::hex << k;
    if (k != 0x146 && k != 0x136) {
      EXPECT_EQ(back, k) << std::hex << k;
    }
  }
}

TEST_F(KeyInfoTest, DeviceEntryToKey) {
  struct Case {
    uint8_t b0, b1, b2;
    KeyCode key;
  } cases[] = {
      {2, 1, 0x20, 0x036}, {2, 2, 0x29, 0x001}, {3, 0xE9, 0x00, 0x130}, {2, 1, 0x06, 0x02A},
      {2, 3, 0x01, 0x01D}, {4, 0x83, 0, 0x163}, {3, 0x23, 0x02, 0x132}, {1, 2, 0x04, 0},
      {5, 1, 0, 0},        {0, 0, 0, 0},        {2, 2, 0x00, 0},       {0xFF, 0xFF, 0xFF, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DeviceEntryToKey(c.b0, c.b1, c.b2), c.key) << int(c.b0) << " " << int(c.b1) << " " << int(c.b2);
}

TEST_F(KeyInfoTest, MediaFunctionsAgreeWithTheKeyTable) {
  ASSERT_EQ(MediaFunctionList.size(), 18u);
  for (size_t i = 0; i < MediaFunctionList.size(); ++i) {
    const auto& f = MediaFunctionList[i];
    EXPECT_EQ(KeyToUsage(f.keyCode), (Usage{12, f.consumerUsage})) << i;
    EXPECT_EQ(keyInfoOf(f.keyCode).nameText, f.name) << i;
    EXPECT_EQ(mediaIndexOfUsage(f.consumerUsage), static_cast<int>(i));
  }
  EXPECT_EQ(mediaIndexOfUsage(0), -1);
  EXPECT_EQ(mediaIndexOfUsage(0x1234), -1);
  for (size_t i = 18; i < 32; ++i) EXPECT_EQ(ConsumerUsageTable[i], 0) << i;
}

TEST_F(KeyInfoTest, VirtualKeyTableFixedChoices) {
  struct Case {
    uint8_t vk;
    KeyCode key;
  } cases[] = {
      {0x10, 0x02A}, {0x11, 0x01D}, {0x12, 0x038}, {0x0D, 0x01C}, {0x2C, 0x137}, {0xA1, 0x036},
      {0xFF, 0},     {0x01, 0},     {0x02, 0},     {0x04, 0},     {0x8A, 0},     {0x8C, 0},
      {0x97, 0},     {0x9F, 0},     {0x41, 0x01E}, {0x61, 0x04F}, {0x5C, 0x15C}, {0x13, 0x045},
      {0x03, 0x146}, {0x5F, 0x15F}, {0xB3, 0x122}, {0x7C, 0x064}, {0x00, 0},     {0x23, 0x14F},
  };
  for (const auto& c : cases) {
    uint8_t s = VirtualKeyTable[c.vk];
    EXPECT_EQ(s == 0 ? KeyCode{0} : keyOfSlot(s), c.key) << std::hex << int(c.vk);
  }
  // Every other entry names a key whose VK it is.
  for (int vk = 0; vk < 256; ++vk) {
    uint8_t s = VirtualKeyTable[vk];
    if (s == 0 || vk == 0x10 || vk == 0x11 || vk == 0x12) continue;
    EXPECT_EQ(KeyInfoTable[s].vk, vk) << std::hex << vk;
  }
}

}  // namespace
}  // namespace kv
