#include "model/key_codes.h"
#include "resources/control_ids.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kv {
namespace {

TEST(KeySlots, MapExtendedCodesIntoTheUpperHalf) {
  struct Case {
    KeyCode code;
    uint16_t slot;
  } cases[] = {{0x137, 0xB7}, {0x100, 0x80}, {0x17F, 0xFF}, {0x11D, 0x9D}, {0x01E, 0x1E}, {0x07F, 0x7F}};
  for (const auto& c : cases) {
    EXPECT_EQ(slotOfKey(c.code), c.slot) << std::hex << c.code;
    EXPECT_EQ(keyOfSlot(c.slot), c.code) << std::hex << c.slot;
  }
  for (KeyCode c = 0; c < 0x80; ++c) EXPECT_EQ(slotOfKey(c), c);
  for (uint16_t s = 0; s < 256; ++s) EXPECT_EQ(slotOfKey(keyOfSlot(s)), s);
}

TEST(KeySlots, OnlyCodesThatComeBackFromTheirSlotAreKeys) {
  EXPECT_TRUE(isKeyCode(0x01E));
  EXPECT_TRUE(isKeyCode(0x137));
  EXPECT_FALSE(isKeyCode(0));
  EXPECT_FALSE(isKeyCode(0x0B7));  // would alias PrintScreen's slot
  EXPECT_FALSE(isKeyCode(0x1B7));
}

TEST(Modifiers, LowestSetBitWins) {
  struct Case {
    uint8_t bits;
    KeyCode key;
  } cases[] = {{0x00, 0},     {0x01, 0x01D}, {0x02, 0x02A}, {0x06, 0x02A}, {0x04, 0x038},
               {0x08, 0x15B}, {0x10, 0x11D}, {0x20, 0x036}, {0x40, 0x138}, {0x80, 0x15C}};
  for (const auto& c : cases) EXPECT_EQ(ModifierBitsToKey(c.bits), c.key) << int(c.bits);
  for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(modifierBitOfKey(kModifierKeys[bit]), 1 << bit);
  EXPECT_EQ(modifierBitOfKey(0x136), 0);  // the second right Shift code is no modifier
  EXPECT_EQ(modifierBitOfKey(0x01E), 0);
}

// Key codes by LED position (column, row); 0x000 = no key. Right Ctrl and
// right Win share c7 r5; Fn (c5 r5) has no key code.
constexpr KeyCode kLedLayout[6][18] = {
    {0x001, 0x03B, 0x03C, 0x03D, 0x03E, 0x03F, 0x040, 0x041, 0x042, 0x043, 0x044, 0x057, 0x058, 0x137, 0x046, 0x045, 0, 0},
    {0x029, 0x002, 0x003, 0x004, 0x005, 0x006, 0x007, 0x008, 0x009, 0x00A, 0x00B, 0x00C, 0x00D, 0x00E, 0x152, 0x147, 0x149, 0x135},
    {0x00F, 0x010, 0x011, 0x012, 0x013, 0x014, 0x015, 0x016, 0x017, 0x018, 0x019, 0x01A, 0x01B, 0, 0x153, 0x14F, 0x151, 0x145},
    {0x03A, 0x01E, 0x01F, 0x020, 0x021, 0x022, 0x023, 0x024, 0x025, 0x026, 0x027, 0x028, 0x02B, 0x01C, 0x047, 0x048, 0x049, 0x037},
    {0x02A, 0, 0x02C, 0x02D, 0x02E, 0x02F, 0x030, 0x031, 0x032, 0x033, 0x034, 0x035, 0x036, 0x148, 0x04B, 0x04C, 0x04D, 0x04A},
    {0x01D, 0x15B, 0x038, 0x039, 0x138, 0, 0x15D, 0x11D, 0x14B, 0x150, 0x14D, 0x052, 0x053, 0x04F, 0x050, 0x051, 0x11C, 0x04E},
};

TEST(KeyButtonTable, LedIndexesMatchTheLedLayout) {
  std::map<uint8_t, int> uses;
  for (const auto& b : KeyButtonTable) {
    ASSERT_LT(b.ledIndex, kLedCount);
    int col = ledColumn(b.ledIndex), row = ledRow(b.ledIndex);
    ASSERT_LT(row, 6) << b.controlId;
    KeyCode expected = kLedLayout[row][col];
    if (b.keyCode == 0x15C) expected = 0x15C;  // shares right Ctrl's LED
    EXPECT_EQ(b.keyCode, expected) << "control " << b.controlId << " LED " << int(b.ledIndex);
    ++uses[b.ledIndex];
  }
  for (const auto& [led, n] : uses) EXPECT_EQ(n, led == 61 ? 2 : 1) << int(led);
  EXPECT_EQ(ledIndex(5, 5), kFnLedIndex);
}

TEST(KeyButtonTable, ControlsAndKeysAreDistinct) {
  std::set<uint16_t> controls, keys;
  for (const auto& b : KeyButtonTable) {
    EXPECT_TRUE(controls.insert(b.controlId).second) << b.controlId;
    EXPECT_TRUE(keys.insert(b.keyCode).second) << b.keyCode;
    EXPECT_TRUE(isKeyCode(b.keyCode)) << b.keyCode;
  }
  for (uint16_t id : kGKeyControlIds) EXPECT_FALSE(controls.count(id));
  for (uint16_t id : kKeylessControlIds) EXPECT_FALSE(controls.count(id));
  EXPECT_FALSE(controls.count(kFnControlId));
}

TEST(KeyButtonTable, EveryKeyFindsItsOwnButton) {
  for (const KeyButton& b : KeyButtonTable) {
    const KeyButton* found = keyButtonOfKey(b.keyCode);
    ASSERT_NE(found, nullptr) << std::hex << b.keyCode;
    EXPECT_EQ(found->controlId, b.controlId) << std::hex << b.keyCode;
  }
  // A (0x1E), right Ctrl and keypad Enter (E0 keys), and codes of no button.
  EXPECT_EQ(keyButtonOfKey(0x01E)->controlId, 1058);
  EXPECT_NE(keyButtonOfKey(0x11D), keyButtonOfKey(0x01D));
  EXPECT_NE(keyButtonOfKey(0x11C), keyButtonOfKey(0x01C));
  for (KeyCode none : {KeyCode{0}, KeyCode{0x0FF}, KeyCode{0x100}, KeyCode{0x17E}})
    EXPECT_EQ(keyButtonOfKey(none), nullptr) << std::hex << none;
}

TEST(LedIndexOfButton, KeysFnGKeysAndOthers) {
  struct Case {
    uint16_t control;
    uint8_t led;
  } cases[] = {{IDC_MAIN_KEY_01E, 11},  // A
               {IDC_MAIN_KEY_001, 0},   // Esc
               {IDC_MAIN_KEY_04E, 141}, // keypad +
               {IDC_MAIN_KEY_09D, 61},  // right Ctrl
               {IDC_MAIN_KEY_0DC, 61},  // right Win
               {IDC_MAIN_KEY_FN, 45},   {IDC_MAIN_FUNC_G1, 0},  {IDC_MAIN_FUNC_G9, 0},
               {IDC_MAIN_KEY_D1, 0},    {IDC_MAIN_KEY_SPARE, 0}, {9999, 0}};
  for (const auto& c : cases) EXPECT_EQ(LedIndexOfButton(c.control), c.led) << c.control;
  EXPECT_EQ(gKeyOfControl(IDC_MAIN_FUNC_G1), 0);
  EXPECT_EQ(gKeyOfControl(IDC_MAIN_FUNC_G6), 5);
  EXPECT_EQ(gKeyOfControl(IDC_MAIN_FUNC_G9), 8);
  EXPECT_EQ(gKeyOfControl(IDC_MAIN_KEY_01E), -1);
}

TEST(LedMask, OneBytePerColumnOneBitPerRow) {
  LedMask m{};
  setLed(m, 45, true);   // c5 r5
  setLed(m, 141, true);  // c17 r5
  setLed(m, 0, true);
  EXPECT_EQ(m[5], 0x20);
  EXPECT_EQ(m[17], 0x20);
  EXPECT_EQ(m[0], 0x01);
  EXPECT_TRUE(ledIsSet(m, 45));
  EXPECT_FALSE(ledIsSet(m, 44));
  setLed(m, 45, false);
  EXPECT_EQ(m[5], 0);
  setLed(m, 200, true);  // outside the matrix: ignored
  EXPECT_FALSE(ledIsSet(m, 200));
}

TEST(SkinKeys, NamedBySlotInUpperCaseHex) {
  EXPECT_EQ(keyButtonSkinKey(0x01E), "KEY_01E");
  EXPECT_EQ(keyButtonSkinKey(0x137), "KEY_0B7");
  EXPECT_EQ(keyButtonSkinKey(0x15C), "KEY_0DC");
  EXPECT_EQ(gKeySkinKey(0), "FUNC_G1");
  EXPECT_EQ(gKeySkinKey(8), "FUNC_G9");
  EXPECT_EQ(gKeyAsKeyCode(3), 0x103);
}

}  // namespace
}  // namespace kv
