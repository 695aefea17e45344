#include "model/key_info.h"

#include <algorithm>

namespace kv {
namespace {

// One listed key: code, list position, name (or a text-table key), VK,
// VK without NumLock (0 = the same), device code.
struct Row {
  KeyCode code;
  uint16_t listPosition;
  std::u16string_view name;
  TextId nameText;
  uint8_t vk;
  uint8_t vkNoNumLock;
  uint8_t deviceCode;
};

constexpr Row K(KeyCode code, uint16_t pos, std::u16string_view name, uint8_t vk, uint8_t dev) {
  return {code, pos, name, TextId::Count, vk, 0, dev};
}
constexpr Row N(KeyCode code, uint16_t pos, std::u16string_view name, uint8_t vk, uint8_t vkNoNum, uint8_t dev) {
  return {code, pos, name, TextId::Count, vk, vkNoNum, dev};
}
constexpr Row M(KeyCode code, uint16_t pos, TextId text, uint8_t vk, uint8_t dev) {
  return {code, pos, {}, text, vk, 0, dev};
}

constexpr Row kRows[] = {
    // Letters in list order. The keys with codes 0x15 and 0x2C carry each
    // other's names: that is how the keyboard's own layout labels them.
    K(0x01E, 0, u"A", 0x41, 0x04), K(0x030, 1, u"B", 0x42, 0x05), K(0x02E, 2, u"C", 0x43, 0x06),
    K(0x020, 3, u"D", 0x44, 0x07), K(0x012, 4, u"E", 0x45, 0x08), K(0x021, 5, u"F", 0x46, 0x09),
    K(0x022, 6, u"G", 0x47, 0x0A), K(0x023, 7, u"H", 0x48, 0x0B), K(0x017, 8, u"I", 0x49, 0x0C),
    K(0x024, 9, u"J", 0x4A, 0x0D), K(0x025, 10, u"K", 0x4B, 0x0E), K(0x026, 11, u"L", 0x4C, 0x0F),
    K(0x032, 12, u"M", 0x4D, 0x10), K(0x031, 13, u"N", 0x4E, 0x11), K(0x018, 14, u"O", 0x4F, 0x12),
    K(0x019, 15, u"P", 0x50, 0x13), K(0x010, 16, u"Q", 0x51, 0x14), K(0x013, 17, u"R", 0x52, 0x15),
    K(0x01F, 18, u"S", 0x53, 0x16), K(0x014, 19, u"T", 0x54, 0x17), K(0x016, 20, u"U", 0x55, 0x18),
    K(0x02F, 21, u"V", 0x56, 0x19), K(0x011, 22, u"W", 0x57, 0x1A), K(0x02D, 23, u"X", 0x58, 0x1B),
    K(0x015, 24, u"Z", 0x59, 0x1C), K(0x02C, 25, u"Y", 0x5A, 0x1D),
    // Digits 1-9, 0.
    K(0x002, 26, u"1", 0x31, 0x1E), K(0x003, 27, u"2", 0x32, 0x1F), K(0x004, 28, u"3", 0x33, 0x20),
    K(0x005, 29, u"4", 0x34, 0x21), K(0x006, 30, u"5", 0x35, 0x22), K(0x007, 31, u"6", 0x36, 0x23),
    K(0x008, 32, u"7", 0x37, 0x24), K(0x009, 33, u"8", 0x38, 0x25), K(0x00A, 34, u"9", 0x39, 0x26),
    K(0x00B, 35, u"0", 0x30, 0x27),
    K(0x01C, 36, u"Enter", 0x0D, 0x28),
    K(0x001, 37, u"Esc", 0x1B, 0x29),
    K(0x00E, 38, u"BackSpace", 0x08, 0x2A),
    K(0x00F, 39, u"Tab", 0x09, 0x2B),
    K(0x039, 40, u"Space", 0x20, 0x2C),
    K(0x00C, 41, u"-", 0xBD, 0x2D),
    K(0x00D, 42, u"=", 0xBB, 0x2E),
    K(0x01A, 43, u"[", 0xDB, 0x2F),
    K(0x01B, 44, u"]", 0xDD, 0x30),
    K(0x02B, 45, u"\\", 0xDC, 0x31),
    K(0x027, 46, u":", 0xBA, 0x33),
    K(0x028, 47, u"'", 0xDE, 0x34),
    K(0x029, 48, u"^", 0xC0, 0x35),
    K(0x033, 49, u",", 0xBC, 0x36),
    K(0x034, 50, u".", 0xBE, 0x37),
    K(0x035, 51, u"?", 0xBF, 0x38),
    K(0x03B, 52, u"F1", 0x70, 0x3A),
    K(0x03C, 53, u"F2", 0x71, 0x3B),
    K(0x03D, 54, u"F3", 0x72, 0x3C),
    K(0x03E, 55, u"F4", 0x73, 0x3D),
    K(0x03F, 56, u"F5", 0x74, 0x3E),
    K(0x040, 57, u"F6", 0x75, 0x3F),
    K(0x041, 58, u"F7", 0x76, 0x40),
    K(0x042, 59, u"F8", 0x77, 0x41),
    K(0x043, 60, u"F9", 0x78, 0x42),
    K(0x044, 61, u"F10", 0x79, 0x43),
    K(0x057, 62, u"F11", 0x7A, 0x44),
    K(0x058, 63, u"F12", 0x7B, 0x45),
    K(0x137, 64, u"PrintScreen", 0x2C, 0x46),
    K(0x045, 65, u"Pause", 0x13, 0x48),
    K(0x146, 66, u"Pause/Break", 0x03, 0x48),
    K(0x152, 67, u"INSERT", 0x2D, 0x49),
    K(0x153, 68, u"DELETE", 0x2E, 0x4C),
    K(0x147, 69, u"HOME", 0x24, 0x4A),
    K(0x14F, 70, u"END", 0x23, 0x4D),
    K(0x149, 71, u"PAGE UP", 0x21, 0x4B),
    K(0x151, 72, u"PAGE DOWN", 0x22, 0x4E),
    K(0x148, 73, u"\u2191", 0x26, 0x52),
    K(0x150, 74, u"\u2193", 0x28, 0x51),
    K(0x14B, 75, u"\u2190", 0x25, 0x50),
    K(0x14D, 76, u"\u2192", 0x27, 0x4F),
    K(0x046, 77, u"ScrollLock", 0x91, 0x47),
    K(0x03A, 78, u"Caps", 0x14, 0x39),
    K(0x145, 79, u"NumLock", 0x90, 0x53),
    K(0x135, 80, u"(/)", 0x6F, 0x54),
    K(0x037, 81, u"(*)", 0x6A, 0x55),
    K(0x04A, 82, u"(-)", 0x6D, 0x56),
    K(0x04E, 83, u"(+)", 0x6B, 0x57),
    K(0x11C, 84, u"Enter", 0x0D, 0x58),
    N(0x04F, 85, u"(1)", 0x61, 0x23, 0x59),
    N(0x050, 86, u"(2)", 0x62, 0x28, 0x5A),
    N(0x051, 87, u"(3)", 0x63, 0x22, 0x5B),
    N(0x04B, 88, u"(4)", 0x64, 0x25, 0x5C),
    N(0x04C, 89, u"(5)", 0x65, 0x0C, 0x5D),
    N(0x04D, 90, u"(6)", 0x66, 0x27, 0x5E),
    N(0x047, 91, u"(7)", 0x67, 0x24, 0x5F),
    N(0x048, 92, u"(8)", 0x68, 0x26, 0x60),
    N(0x049, 93, u"(9)", 0x69, 0x21, 0x61),
    N(0x052, 94, u"(0)", 0x60, 0x2D, 0x62),
    N(0x053, 95, u"(.)", 0x6E, 0x2E, 0x63),
    K(0x056, 96, u"K45", 0xE2, 0x64),
    K(0x15D, 97, u"App", 0x5D, 0x65),
    K(0x01D, 98, u"LCTRL", 0xA2, 0xE0),
    K(0x02A, 99, u"LShift", 0xA0, 0xE1),
    K(0x038, 100, u"Alt", 0xA4, 0xE2),
    K(0x15B, 101, u"Win", 0x5B, 0xE3),
    K(0x11D, 102, u"RCTRL", 0xA3, 0xE4),
    K(0x036, 103, u"RShift", 0xA1, 0xE5),
    K(0x136, 103, u"RShift", 0xA1, 0xE5),
    K(0x138, 104, u"Right Alt", 0xA5, 0xE6),
    K(0x15C, 105, u"Right Win", 0x5C, 0xE7),
    // Functions outside the key list.
    K(0x15E, 0x8001, u"Power", 0xFF, 0x81),
    K(0x15F, 0x8002, u"Sleep", 0x5F, 0x82),
    K(0x163, 0x8003, u"Wake", 0xFF, 0x83),
    K(0x171, 0x8004, u"Left Button", 0x01, 0x00),
    K(0x172, 0x8005, u"Right Button", 0x02, 0x00),
    K(0x173, 0x8006, u"Middle Button", 0x04, 0x00),
    K(0x170, 0x8007, u"Double Click", 0x8A, 0x00),
    K(0x16E, 0x8008, u"Pan Left", 0x88, 0x00),
    K(0x16F, 0x8009, u"Pan Right", 0x89, 0x00),
    K(0x174, 0x800A, u"Zoom-", 0x8B, 0xD2),
    K(0x175, 0x800B, u"Zoom+", 0x8C, 0xD3),
    K(0x176, 0x800C, u"Copy", 0x97, 0x00),
    K(0x177, 0x800D, u"Cut", 0x98, 0x00),
    K(0x178, 0x800E, u"Paste", 0x99, 0x00),
    K(0x179, 0x800F, u"Minimize", 0x9A, 0x00),
    K(0x17A, 0x8010, u"Maximize", 0x9B, 0x00),
    K(0x17B, 0x8011, u"Word", 0x9C, 0xD4),
    K(0x17C, 0x8012, u"Excel", 0x9D, 0xD5),
    K(0x17D, 0x8013, u"PowerPoint", 0x9E, 0x00),
    K(0x17E, 0x8014, u"Calendar", 0x9F, 0x00),
    K(0x054, 0x8015, u"Sys Req", 0x2C, 0x00),
    K(0x07D, 0x8016, u"K14", 0xFF, 0x89),
    K(0x073, 0x8017, u"K56", 0xC1, 0x87),
    K(0x07E, 0x8018, u"K107", 0xC2, 0x85),
    K(0x07B, 0x8019, u"N-CHG (131)", 0xEB, 0x8B),
    K(0x079, 0x801A, u"CHG (132)", 0xFF, 0x8A),
    K(0x070, 0x801B, u"ROMA (133)", 0xFF, 0x88),
    K(0x071, 0x801C, u"KL", 0xE9, 0x91),
    K(0x072, 0x801D, u"KR", 0xFF, 0x90),
    M(0x16B, 0x801E, TextId::MEDIA_MY_PC_16, 0xB6, 0xC5),
    M(0x121, 0x801F, TextId::MEDIA_CALC_17, 0xB7, 0xC4),
    M(0x16C, 0x8020, TextId::MEDIA_MAIL_18, 0xB4, 0xC3),
    M(0x16D, 0x8021, TextId::MEDIA_PALYER_1, 0xB5, 0xC2),
    M(0x122, 0x8022, TextId::MEDIA_PALY_PAUSE_2, 0xB3, 0xCE),
    M(0x124, 0x8023, TextId::MEDIA_STOP_PALY_3, 0xB2, 0xCF),
    M(0x110, 0x8024, TextId::MEDIA_PREV_TRACK_4, 0xB1, 0xD0),
    M(0x119, 0x8025, TextId::MEDIA_Next_TRACK_5, 0xB0, 0xD1),
    M(0x130, 0x8026, TextId::MEDIA_V_ADD_7, 0xAF, 0xC0),
    M(0x12E, 0x8027, TextId::MEDIA_V_LOW_6, 0xAE, 0xC1),
    M(0x120, 0x8028, TextId::MEDIA_MUTE_8, 0xAD, 0xCD),
    M(0x132, 0x8029, TextId::MEDIA_WWW_HOME_9, 0xAC, 0xC7),
    M(0x167, 0x802A, TextId::MEDIA_WWW_REFRESH_10, 0xA8, 0xCB),
    M(0x168, 0x802B, TextId::MEDIA_WWW_STOP_11, 0xA9, 0xCA),
    M(0x16A, 0x802C, TextId::MEDIA_WWW_BACK_12, 0xA6, 0xC8),
    M(0x169, 0x802D, TextId::MEDIA_WWW_FORWARD_13, 0xA7, 0xC9),
    M(0x166, 0x802E, TextId::MEDIA_WWW_FAVORITE_14, 0xAB, 0xCC),
    M(0x165, 0x802F, TextId::MEDIA_WWW_SEARCH_15, 0xAA, 0xC6),
    K(0x064, 0x8030, u"F13", 0x7C, 0x00),
};

constexpr KeyInfo kEmptyKey{0, 0, kNoListPosition, {}, TextId::Count, 0};

consteval std::array<KeyInfo, 256> buildKeyInfoTable() {
  std::array<KeyInfo, 256> t{};
  t.fill(kEmptyKey);
  for (const Row& r : kRows) {
    if (!isKeyCode(r.code)) throw "not a key code";
    KeyInfo& e = t[slotOfKey(r.code)];
    if (!e.empty()) throw "two keys share a slot";
    e = KeyInfo{r.vk, r.vkNoNumLock ? r.vkNoNumLock : r.vk, r.listPosition, r.name, r.nameText, r.deviceCode};
  }
  return t;
}

// The VK column decides, except for these.
struct VkChoice {
  uint8_t vk;
  KeyCode code;  // 0 = no key
};
constexpr VkChoice kVkChoices[] = {
    {0x10, 0x02A}, {0x11, 0x01D}, {0x12, 0x038}, {0x0D, 0x01C}, {0x2C, 0x137}, {0xA1, 0x036}, {0xFF, 0},
    // Mouse buttons and the private VKs of the pseudo keys.
    {0x01, 0}, {0x02, 0}, {0x04, 0},
    {0x88, 0}, {0x89, 0}, {0x8A, 0}, {0x8B, 0}, {0x8C, 0},
    {0x97, 0}, {0x98, 0}, {0x99, 0}, {0x9A, 0}, {0x9B, 0}, {0x9C, 0}, {0x9D, 0}, {0x9E, 0}, {0x9F, 0},
};

consteval std::array<uint8_t, 256> buildVirtualKeyTable() {
  std::array<uint8_t, 256> t{};
  std::array<bool, 256> fixed{};
  for (const VkChoice& c : kVkChoices) {
    fixed[c.vk] = true;
    t[c.vk] = static_cast<uint8_t>(slotOfKey(c.code));
  }
  for (const Row& r : kRows) {
    if (fixed[r.vk]) continue;
    if (t[r.vk] != 0) throw "a VK names two keys and no fixed choice settles it";
    t[r.vk] = static_cast<uint8_t>(slotOfKey(r.code));
  }
  return t;
}

}  // namespace

constinit const std::array<KeyInfo, 256> KeyInfoTable = buildKeyInfoTable();
constinit const std::array<uint8_t, 256> VirtualKeyTable = buildVirtualKeyTable();

constinit const std::array<uint16_t, 32> ConsumerUsageTable = {
    0x00E9, 0x00EA, 0x0183, 0x018A, 0x0192, 0x0194, 0x0221, 0x0223, 0x0224,
    0x0225, 0x0226, 0x0227, 0x022A, 0x00E2, 0x00CD, 0x00B7, 0x00B6, 0x00B5,
};

constinit const std::array<MediaFunction, kMediaFunctionCount> MediaFunctionList = {{
    {0x16D, 0x0183, TextId::MEDIA_PALYER_1},
    {0x122, 0x00CD, TextId::MEDIA_PALY_PAUSE_2},
    {0x124, 0x00B7, TextId::MEDIA_STOP_PALY_3},
    {0x110, 0x00B6, TextId::MEDIA_PREV_TRACK_4},
    {0x119, 0x00B5, TextId::MEDIA_Next_TRACK_5},
    {0x12E, 0x00EA, TextId::MEDIA_V_LOW_6},
    {0x130, 0x00E9, TextId::MEDIA_V_ADD_7},
    {0x120, 0x00E2, TextId::MEDIA_MUTE_8},
    {0x132, 0x0223, TextId::MEDIA_WWW_HOME_9},
    {0x167, 0x0227, TextId::MEDIA_WWW_REFRESH_10},
    {0x168, 0x0226, TextId::MEDIA_WWW_STOP_11},
    {0x16A, 0x0224, TextId::MEDIA_WWW_BACK_12},
    {0x169, 0x0225, TextId::MEDIA_WWW_FORWARD_13},
    {0x166, 0x022A, TextId::MEDIA_WWW_FAVORITE_14},
    {0x165, 0x0221, TextId::MEDIA_WWW_SEARCH_15},
    {0x16B, 0x0194, TextId::MEDIA_MY_PC_16},
    {0x121, 0x0192, TextId::MEDIA_CALC_17},
    {0x16C, 0x018A, TextId::MEDIA_MAIL_18},
}};

const KeyInfo& keyInfoOf(KeyCode code) { return isKeyCode(code) ? KeyInfoTable[slotOfKey(code)] : kEmptyKey; }

std::u16string_view keyInfoName(const KeyInfo& info) {
  return info.nameText == TextId::Count ? info.name : std::u16string_view(text(info.nameText));
}

int mediaIndexOfUsage(uint16_t usage) {
  for (size_t i = 0; i < MediaFunctionList.size(); ++i)
    if (MediaFunctionList[i].consumerUsage == usage) return static_cast<int>(i);
  return -1;
}

std::u16string_view mediaFunctionName(size_t index) {
  return index < MediaFunctionList.size() ? std::u16string_view(text(MediaFunctionList[index].name))
                                          : std::u16string_view();
}

namespace {
int slotAtListPosition(uint16_t listPosition) {
  if (listPosition == kNoListPosition) return -1;
  for (size_t s = 0; s < KeyInfoTable.size(); ++s)
    if (KeyInfoTable[s].listPosition == listPosition) return static_cast<int>(s);
  return -1;
}
}  // namespace

std::u16string KeyNameAtListPosition(uint16_t listPosition) {
  int s = slotAtListPosition(listPosition);
  return s < 0 ? std::u16string() : std::u16string(keyInfoName(KeyInfoTable[s]));
}

KeyCode KeyCodeAtListPosition(uint16_t listPosition) {
  int s = slotAtListPosition(listPosition);
  return s < 0 ? 0 : keyOfSlot(static_cast<uint16_t>(s));
}

uint16_t ListPositionOfKey(KeyCode code) { return keyInfoOf(code).listPosition; }

std::u16string KeyName(KeyCode code) {
  std::u16string_view name = keyInfoName(keyInfoOf(code));
  if (!name.empty()) return std::u16string(name);
  return formatText(text(TextId::UNKNOWN_KEY), {static_cast<unsigned>(code)});
}

size_t KeyName(KeyCode code, char16_t* dest, size_t capacity) {
  if (dest == nullptr || capacity == 0) return 0;
  std::u16string name = KeyName(code);
  size_t n = std::min(name.size(), capacity - 1);
  std::copy_n(name.data(), n, dest);
  dest[n] = 0;
  return n;
}

Usage KeyToUsage(KeyCode code) {
  uint8_t d = keyInfoOf(code).deviceCode;
  if (d == 0x00 || d == 0xFF) return {kPageNone, 0};
  if (d >= 0x81 && d <= 0x83) return {kPageGenericDesktop, d};
  if (d >= 0xC0 && d <= 0xDF) return {kPageConsumer, ConsumerUsageTable[d - 0xC0]};
  return {kPageKeyboard, d};
}

KeyCode UsageToKey(uint16_t page, uint16_t usage) {
  // Usage 0 is "no usage" on every page; it names no key.
  if (usage == 0) return 0;
  unsigned device = 0;
  switch (page) {
    case kPageKeyboard:
      // Device codes 0x81-0x83 and 0xC0-0xDF stand for other pages: a
      // keyboard usage with such a value names no key.
      if (usage > 0xFF || (usage >= 0x81 && usage <= 0x83) || (usage >= 0xC0 && usage <= 0xDF)) return 0;
      device = usage;
      break;
    case kPageGenericDesktop:
      if (usage < 0x81 || usage > 0x83) return 0;
      device = usage;
      break;
    case kPageConsumer: {
      auto it = std::find(ConsumerUsageTable.begin(), ConsumerUsageTable.end(), usage);
      if (it == ConsumerUsageTable.end()) return 0;
      device = 0xC0 + static_cast<unsigned>(it - ConsumerUsageTable.begin());
      break;
    }
    default:
      return 0;
  }
  for (size_t s = 0; s < KeyInfoTable.size(); ++s)
    if (!KeyInfoTable[s].empty() && KeyInfoTable[s].deviceCode == device) return keyOfSlot(static_cast<uint16_t>(s));
  return 0;
}

KeyCode DeviceEntryToKey(uint8_t b0, uint8_t b1, uint8_t b2) {
  auto word = static_cast<uint16_t>(b1 | (b2 << 8));
  switch (b0) {
    case 2: return b1 == 2 ? UsageToKey(kPageKeyboard, b2) : ModifierBitsToKey(b2);
    case 3: return UsageToKey(kPageConsumer, word);
    case 4: return UsageToKey(kPageGenericDesktop, word);
    default: return 0;
  }
}

}  // namespace kv
