#include "tools/skingen/layout.h"

#include <cstddef>  // key_codes.h uses size_t
#include <cstdio>
#include <map>
#include <stdexcept>

#include "model/key_codes.h"
#include "model/settings.h"

namespace kv::skingen {

const Control* DialogLayout::find(const std::string& key) const {
  for (const Control& c : controls)
    if (c.key == key) return &c;
  return nullptr;
}

namespace {

// Legends of the key caps: the key's name as the program shows it, shortened
// to fit, with the numeric pad's second function below.
struct Legend {
  const char* main;
  const char* sub;
};

const std::map<KeyCode, Legend>& legends() {
  static const std::map<KeyCode, Legend> table = {
      {0x001, {"Esc", ""}},       {0x03B, {"F1", ""}},        {0x03C, {"F2", ""}},       {0x03D, {"F3", ""}},
      {0x03E, {"F4", ""}},        {0x03F, {"F5", ""}},        {0x040, {"F6", ""}},       {0x041, {"F7", ""}},
      {0x042, {"F8", ""}},        {0x043, {"F9", ""}},        {0x044, {"F10", ""}},      {0x057, {"F11", ""}},
      {0x058, {"F12", ""}},       {0x137, {"PrtSc", ""}},     {0x046, {"ScrLk", ""}},    {0x045, {"Pause", ""}},
      {0x029, {"^", ""}},         {0x002, {"1", ""}},         {0x003, {"2", ""}},        {0x004, {"3", ""}},
      {0x005, {"4", ""}},         {0x006, {"5", ""}},         {0x007, {"6", ""}},        {0x008, {"7", ""}},
      {0x009, {"8", ""}},         {0x00A, {"9", ""}},         {0x00B, {"0", ""}},        {0x00C, {"-", ""}},
      {0x00D, {"=", ""}},         {0x00E, {"Backspace", ""}}, {0x00F, {"Tab", ""}},      {0x010, {"Q", ""}},
      {0x011, {"W", ""}},         {0x012, {"E", ""}},         {0x013, {"R", ""}},        {0x014, {"T", ""}},
      {0x015, {"Z", ""}},         {0x016, {"U", ""}},         {0x017, {"I", ""}},        {0x018, {"O", ""}},
      {0x019, {"P", ""}},         {0x01A, {"[", ""}},         {0x01B, {"]", ""}},        {0x02B, {"\\", ""}},
      {0x03A, {"Caps Lock", ""}}, {0x01E, {"A", ""}},         {0x01F, {"S", ""}},        {0x020, {"D", ""}},
      {0x021, {"F", ""}},         {0x022, {"G", ""}},         {0x023, {"H", ""}},        {0x024, {"J", ""}},
      {0x025, {"K", ""}},         {0x026, {"L", ""}},         {0x027, {":", ""}},        {0x028, {"'", ""}},
      {0x01C, {"Enter", ""}},     {0x02A, {"Shift", ""}},     {0x02C, {"Y", ""}},        {0x02D, {"X", ""}},
      {0x02E, {"C", ""}},         {0x02F, {"V", ""}},         {0x030, {"B", ""}},        {0x031, {"N", ""}},
      {0x032, {"M", ""}},         {0x033, {",", ""}},         {0x034, {".", ""}},        {0x035, {"?", ""}},
      {0x036, {"Shift", ""}},     {0x01D, {"Ctrl", ""}},      {0x15B, {"Win", ""}},      {0x038, {"Alt", ""}},
      {0x039, {"", ""}},          {0x138, {"Alt", ""}},       {0x15C, {"Win", ""}},      {0x15D, {"Menu", ""}},
      {0x11D, {"Ctrl", ""}},      {0x152, {"Insert", ""}},    {0x147, {"Home", ""}},     {0x149, {"PgUp", ""}},
      {0x153, {"Delete", ""}},    {0x14F, {"End", ""}},       {0x151, {"PgDn", ""}},     {0x148, {"\u2191", ""}},
      {0x14B, {"\u2190", ""}},    {0x150, {"\u2193", ""}},    {0x14D, {"\u2192", ""}},   {0x145, {"Num", "Lock"}},
      {0x135, {"/", ""}},         {0x037, {"*", ""}},         {0x04A, {"-", ""}},        {0x047, {"7", "Home"}},
      {0x048, {"8", "\u2191"}},   {0x049, {"9", "PgUp"}},     {0x04E, {"+", ""}},        {0x04B, {"4", "\u2190"}},
      {0x04C, {"5", ""}},         {0x04D, {"6", "\u2192"}},   {0x04F, {"1", "End"}},     {0x050, {"2", "\u2193"}},
      {0x051, {"3", "PgDn"}},     {0x11C, {"Enter", ""}},     {0x052, {"0", "Ins"}},     {0x053, {".", "Del"}},
  };
  return table;
}

const KeyButton* buttonOfKey(KeyCode code) {
  for (const KeyButton& b : KeyButtonTable)
    if (b.keyCode == code) return &b;
  return nullptr;
}

std::string keyName(KeyCode code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "KEY_%03X", static_cast<unsigned>(slotOfKey(code)));
  return buf;
}

// One key cap in key units (q = quarter units) from a block's origin.
struct Cap {
  KeyCode code;
  int col4, row4;   // position in quarter units (row4 in quarter rows)
  int w4 = 4, h4 = 4;
};

class KeyboardBuilder {
 public:
  explicit KeyboardBuilder(DialogLayout& d) : d_(d) {}
  void key(KeyCode code, int x, int y, int w, int h) {
    const KeyButton* b = buttonOfKey(code);
    if (!b) throw std::logic_error("key missing from the key button table");
    auto it = legends().find(code);
    if (it == legends().end()) throw std::logic_error("key without a legend");
    d_.controls.push_back({keyName(code), b->controlId, x, y, w, h, "key", it->second.main, it->second.sub});
  }
  // A row of keys of the given quarter-unit widths starting at (x, y).
  void row(int x, int y, std::initializer_list<std::pair<KeyCode, int>> keys) {
    int col4 = 0;
    for (auto [code, w4] : keys) {
      if (code != 0) key(code, x + col4 * kKeyPitch / 4, y, w4 * kKeyPitch / 4 - kKeyGap, kKeyPitch - kKeyGap);
      col4 += w4;
    }
  }

 private:
  DialogLayout& d_;
};

void add(DialogLayout& d, const char* key, int id, int x, int y, int w, int h, const char* kind,
         const char* legend = "", const char* sub = "") {
  d.controls.push_back({key, id, x, y, w, h, kind, legend, sub});
}

}  // namespace

DialogLayout mainLayout() {
  DialogLayout d;
  d.name = "main";
  d.templateId = 102;
  d.width = 1180;
  d.height = 640;
  constexpr int U = kKeyPitch;

  // Title bar: help, minimise, menu, close.
  add(d, "CONTROL_HELP", 1122, 1012, 14, 32, 28, "tool", "help");
  add(d, "CONTROL_MINIMIZE", 1123, 1048, 14, 32, 28, "tool", "minimize");
  add(d, "CONTROL_MENU", 1139, 1084, 14, 32, 28, "tool", "menu");
  add(d, "CONTROL_CLOSE", 1124, 1120, 14, 32, 28, "tool", "close");
  add(d, "FUNC_SWITCH", 1144, 760, 16, 100, 26, "hidden");

  // Profiles, macro editor, defaults, report rate.
  add(d, "FUNC_PROFILE1", 1135, 24, 66, 104, 34, "tab");
  add(d, "FUNC_PROFILE2", 1136, 132, 66, 104, 34, "tab");
  add(d, "FUNC_PROFILE3", 1137, 240, 66, 104, 34, "tab");
  add(d, "FUNC_PROFILES", 1005, 356, 66, 220, 34, "field");
  add(d, "FUNC_MACRO", 1007, 588, 66, 110, 34, "button");
  add(d, "FUNC_DEFAULT", 1138, 704, 66, 110, 34, "button");
  add(d, "CONTROL_UsbStatic", 1204, 830, 73, 90, 20, "label");
  add(d, "FUNC_REPORT1", kReportRateButtonIds[0], 924, 66, 56, 34, "report", "125", "Hz");
  add(d, "FUNC_REPORT2", kReportRateButtonIds[1], 982, 66, 56, 34, "report", "250", "Hz");
  add(d, "FUNC_REPORT3", kReportRateButtonIds[2], 1040, 66, 56, 34, "report", "500", "Hz");
  add(d, "FUNC_REPORT4", kReportRateButtonIds[3], 1098, 66, 56, 34, "report", "1000", "Hz");

  // The keyboard: G-key column, main block, navigation block, numeric pad.
  const int top = 132;             // function row
  const int rowY = top + U * 3 / 2;  // first row of the main block
  const int gx = 44, mx = 116, nx = mx + 15 * U + U / 2, px = nx + 3 * U + U / 2;
  const int gHeight = (6 * U + U / 2 - kKeyGap - 8 * 6) / 9;
  for (int g = 0; g < 9; ++g) {
    char key[16], legend[8];
    std::snprintf(key, sizeof key, "FUNC_G%d", g + 1);
    std::snprintf(legend, sizeof legend, "G%d", g + 1);
    add(d, key, kGKeyControlIds[static_cast<size_t>(g)], gx, top + g * (gHeight + 6), 52, gHeight, "gkey", legend);
  }
  KeyboardBuilder kb(d);
  kb.row(mx, top, {{0x001, 4}, {0, 4}, {0x03B, 4}, {0x03C, 4}, {0x03D, 4}, {0x03E, 4}, {0, 2}, {0x03F, 4},
                   {0x040, 4}, {0x041, 4}, {0x042, 4}, {0, 2}, {0x043, 4}, {0x044, 4}, {0x057, 4}, {0x058, 4}});
  kb.row(nx, top, {{0x137, 4}, {0x046, 4}, {0x045, 4}});
  kb.row(mx, rowY, {{0x029, 4}, {0x002, 4}, {0x003, 4}, {0x004, 4}, {0x005, 4}, {0x006, 4}, {0x007, 4},
                    {0x008, 4}, {0x009, 4}, {0x00A, 4}, {0x00B, 4}, {0x00C, 4}, {0x00D, 4}, {0x00E, 8}});
  kb.row(mx, rowY + U, {{0x00F, 6}, {0x010, 4}, {0x011, 4}, {0x012, 4}, {0x013, 4}, {0x014, 4}, {0x015, 4},
                        {0x016, 4}, {0x017, 4}, {0x018, 4}, {0x019, 4}, {0x01A, 4}, {0x01B, 4}, {0x02B, 6}});
  kb.row(mx, rowY + 2 * U, {{0x03A, 7}, {0x01E, 4}, {0x01F, 4}, {0x020, 4}, {0x021, 4}, {0x022, 4}, {0x023, 4},
                            {0x024, 4}, {0x025, 4}, {0x026, 4}, {0x027, 4}, {0x028, 4}, {0x01C, 9}});
  kb.row(mx, rowY + 3 * U, {{0x02A, 9}, {0x02C, 4}, {0x02D, 4}, {0x02E, 4}, {0x02F, 4}, {0x030, 4}, {0x031, 4},
                            {0x032, 4}, {0x033, 4}, {0x034, 4}, {0x035, 4}, {0x036, 11}});
  // Bottom row: Fn sits between the right Win key and the menu key.
  kb.row(mx, rowY + 4 * U, {{0x01D, 5}, {0x15B, 5}, {0x038, 5}, {0x039, 23}, {0x138, 5}, {0x15C, 4}, {0, 4},
                            {0x15D, 4}, {0x11D, 5}});
  add(d, "KEY_FN", kFnControlId, mx + 47 * U / 4, rowY + 4 * U, U - kKeyGap, U - kKeyGap, "fn", "Fn");
  kb.row(nx, rowY, {{0x152, 4}, {0x147, 4}, {0x149, 4}});
  kb.row(nx, rowY + U, {{0x153, 4}, {0x14F, 4}, {0x151, 4}});
  kb.row(nx, rowY + 3 * U, {{0, 4}, {0x148, 4}});
  kb.row(nx, rowY + 4 * U, {{0x14B, 4}, {0x150, 4}, {0x14D, 4}});
  kb.row(px, rowY, {{0x145, 4}, {0x135, 4}, {0x037, 4}, {0x04A, 4}});
  kb.row(px, rowY + U, {{0x047, 4}, {0x048, 4}, {0x049, 4}});
  kb.row(px, rowY + 2 * U, {{0x04B, 4}, {0x04C, 4}, {0x04D, 4}});
  kb.row(px, rowY + 3 * U, {{0x04F, 4}, {0x050, 4}, {0x051, 4}});
  kb.row(px, rowY + 4 * U, {{0x052, 8}, {0x053, 4}});
  kb.key(0x04E, px + 3 * U, rowY + U, U - kKeyGap, 2 * U - kKeyGap);
  kb.key(0x11C, px + 3 * U, rowY + 3 * U, U - kKeyGap, 2 * U - kKeyGap);
  // Lock and bank indicators above the numeric pad.
  add(d, "LOCK_CAPS", 1125, px, top + 4, 40, 32, "indicator", "Caps");
  add(d, "LOCK_NUM", 1126, px + U, top + 4, 40, 32, "indicator", "Num");
  add(d, "LOCK_SCROLL", 1127, px + 2 * U, top + 4, 40, 32, "indicator", "Scroll");
  add(d, "LOCK_AB", 1128, px + 3 * U, top + 4, 40, 32, "bank", "A", "B");

  // Lighting panel.
  add(d, "CONTROL_DengStaPic", 1167, 46, 466, 48, 48, "picture", "dengup.bmp");
  add(d, "CONTROL_DengStatic", 1171, 30, 518, 80, 20, "label");
  add(d, "CONTROL_XGcombox", 1146, 124, 470, 196, 320, "combo");
  add(d, "CONTROL_LightStatic", 1172, 124, 512, 70, 20, "label");
  add(d, "CONTROL_LightSlider", 1178, 198, 511, 122, 22, "picture", "0.bmp");
  add(d, "CONTROL_SpeedStatic", 1166, 124, 544, 70, 20, "label");
  add(d, "CONTROL_SpeedSlider", 1179, 198, 543, 122, 22, "picture", "5.bmp");
  add(d, "CONTROL_umCombo", 1198, 344, 470, 150, 300, "combo");
  add(d, "CONTROL_USERgjStatic", 1163, 344, 512, 56, 20, "label");
  add(d, "CONTROL_USERgjStaPic1", 1164, 404, 508, 40, 28, "picture", "user1down.bmp");
  add(d, "CONTROL_USERgjStaPic2", 1165, 450, 508, 40, 28, "picture", "user2up.bmp");
  add(d, "CONTROL_FYSJSStaPic", 1175, 344, 542, 28, 24, "picture", "sjsup.bmp");
  add(d, "CONTROL_FYSJSStatic", 1176, 376, 544, 60, 20, "label");
  add(d, "CONTROL_HXsjsStaPic", 1156, 440, 542, 28, 24, "picture", "sjsup.bmp");
  add(d, "CONTROL_HXsjsStatic", 1173, 472, 544, 60, 20, "label");
  add(d, "CONTROL_JDTStatic", 1177, 850, 532, 150, 14, "picture", "jdt1.bmp");
  // Where the per-key controls are: says, while another effect is chosen,
  // that clicking keys paints only with the per-key effect.
  add(d, "CONTROL_PaintHint", 1211, 344, 470, 190, 60, "label");
  // The controls of the fields an effect uses (colours, random colour,
  // preset colour, trigger, direction): created hidden, shown by the panel
  // for the effects that use them. No effect uses two groups that share a
  // place: a colour on the first row, its random choice on the second, the
  // reaction's preset colours and trigger below.
  struct Hidden {
    const char* key;
    int id, x, y, w, h;
  };
  const Hidden hidden[] = {
      {"CONTROL_BLFXStatic", 1148, 560, 472, 70, 20},   {"CONTROL_BLFXLStaPic", 1149, 634, 470, 28, 24},
      {"CONTROL_BLFXRStaPic", 1150, 666, 470, 28, 24},  {"CONTROL_BLFXStatic2", 1148, 560, 472, 70, 20},
      {"CONTROL_BLFXLStaPic2", 1149, 634, 470, 28, 24}, {"CONTROL_BLFXRStaPic2", 1150, 666, 470, 28, 24},
      {"CONTROL_BLFXStatic3", 1148, 560, 498, 70, 20},  {"CONTROL_BLFXLStaPic3", 1149, 634, 496, 28, 24},
      {"CONTROL_BLFXRStaPic3", 1150, 666, 496, 28, 24}, {"CONTROL_FYYSStatic", 1151, 560, 472, 70, 20},
      {"CONTROL_FYYSButton", 1152, 634, 470, 44, 22},   {"CONTROL_HXysStatic", 1154, 560, 472, 70, 20},
      {"CONTROL_HXysButton", 1155, 634, 470, 44, 22},   {"CONTROL_JTysStatic", 1157, 560, 472, 70, 20},
      {"CONTROL_JTysButton", 1158, 634, 470, 44, 22},   {"CONTROL_USERysStatic", 1159, 560, 472, 70, 20},
      {"CONTROL_USERysButton", 1160, 634, 470, 44, 22}, {"CONTROL_USERjsStatic", 1161, 560, 498, 70, 20},
      {"CONTROL_USERjsButton", 1162, 634, 496, 44, 22}, {"CONTROL_TSysStatic", 1186, 560, 472, 70, 20},
      {"CONTROL_TSysButton", 1187, 634, 470, 44, 22},   {"CONTROL_CDysStatic", 1190, 560, 472, 70, 20},
      {"CONTROL_CDysButton", 1191, 634, 470, 44, 22},   {"CONTROL_HONGPIC", 1194, 634, 522, 24, 24},
      {"CONTROL_HUANGPIC", 1195, 662, 522, 24, 24},     {"CONTROL_LVPIC", 1196, 690, 522, 24, 24},
      {"CONTROL_LANPIC", 1197, 718, 522, 24, 24},       {"CONTROL_FYCFStatic", 1182, 560, 552, 70, 20},
      {"CONTROL_FYdjcfStatic", 1181, 664, 552, 60, 20}, {"CONTROL_FYggcfStatc", 1180, 758, 552, 60, 20},
      {"CONTROL_FYdjcfStaPic", 1183, 634, 550, 28, 24}, {"CONTROL_FYggcfStaPic", 1184, 728, 550, 28, 24},
      {"CONTROL_TSsjsStatic", 1188, 560, 498, 70, 20},  {"CONTROL_TSsjsStaPic", 1189, 634, 496, 28, 24},
      {"CONTROL_CDsjsStatic", 1192, 560, 498, 70, 20},  {"CONTROL_CDsjsStaPic", 1193, 634, 496, 28, 24},
      // The main colour's random choice (static and breathing) and the
      // reaction's own, with the preset colours' label.
      {"CONTROL_ZSrandStatic", 1240, 560, 498, 70, 20},  {"CONTROL_ZSrandStaPic", 1241, 634, 496, 28, 24},
      {"CONTROL_FYrandStatic", 1242, 560, 498, 70, 20},  {"CONTROL_FYrandStaPic", 1243, 634, 496, 28, 24},
      {"CONTROL_YSStatic", 1244, 560, 524, 70, 20},
  };
  for (const Hidden& h : hidden) add(d, h.key, h.id, h.x, h.y, h.w, h.h, "hidden");

  // Flip: F1-F4 or D1-D6 take the keys.
  add(d, "FLIP_0", 1129, 850, 466, 150, 44, "panel", "F1-F4", "D1-D6");
  add(d, "FLIP_1", 1130, 856, 472, 36, 32, "flip", "F");
  add(d, "FLIP_2", 1131, 958, 472, 36, 32, "flip", "D");
  add(d, "LEFT_ARROW", 1132, 898, 478, 16, 20, "arrow");
  add(d, "RIGHT_ARROW", 1133, 936, 478, 16, 20, "arrow");
  d.origins = {{"UP_ARROW_LEFT1", 3, 3, 16, 20},
               {"DOWN_ARROW_LEFT1", 23, 3, 16, 20},
               {"UP_ARROW_RIGHT1", 43, 3, 16, 20},
               {"DOWN_ARROW_RIGHT1", 63, 3, 16, 20}};

  // Apply, OK, Cancel; link and version.
  add(d, "CONTROL2_APPLY", 1006, 850, 572, 96, 34, "button");
  add(d, "CONTROL_OK", 1, 954, 572, 96, 34, "button");
  add(d, "CONTROL_CANCEL", 2, 1058, 572, 96, 34, "button");
  add(d, "VELTRA_LINK", 1121, 124, 588, 220, 20, "link");
  add(d, "VELTRA_VER", 1134, 350, 588, 120, 20, "link");
  // The status line beside the version: confirmations and failures that
  // need no answer, shown for a while.
  add(d, "STATUS_LINE", 1210, 476, 588, 366, 30, "label");

  // In the template, not in the skin: D1-D6 (enabled by Flip), the spare key
  // 1057 (no key, no LED), the Test and Dynamic Menu buttons (created hidden).
  for (size_t i = 0; i < 6; ++i)
    d.unplaced.push_back({"KEY_D" + std::to_string(i + 1), kKeylessControlIds[i], "button", true});
  d.unplaced.push_back({"KEY_SPARE", kKeylessControlIds[6], "button", true});
  d.unplaced.push_back({"FUNC_TEST", 1008, "button", false});
  d.unplaced.push_back({"FUNC_DYNAMIC_MENU", 1009, "button", false});
  return d;
}

DialogLayout compositeLayout() {
  DialogLayout d;
  d.name = "composite";
  d.templateId = 134;
  d.width = 560;
  d.height = 448;
  add(d, "CONTROL_TITLE", 1131, 16, 12, 300, 30, "title");
  add(d, "CONTROL_OSK", 1132, 500, 12, 44, 30, "tool", "keyboard");
  add(d, "CONTROL_KEY", 1028, 16, 54, 108, 32, "tab");
  add(d, "CONTROL_MACRO", 1029, 128, 54, 108, 32, "tab");
  add(d, "CONTROL_MEDIA", 1030, 240, 54, 108, 32, "tab");
  add(d, "CONTROL_FUNCTION", 1031, 352, 54, 108, 32, "tab");
  add(d, "CONTROL_CLEAR", 1032, 464, 54, 80, 32, "button");
  add(d, "KEY_SETTING", 1199, 20, 94, 520, 22, "label");
  add(d, "CONTROL_MASK", 1033, 16, 120, 528, 262, "page");
  add(d, "TISHI_SINGLE_STATIC", 1201, 36, 140, 488, 44, "label");
  add(d, "FUNC_KEY_INPUT", 1127, 130, 210, 300, 48, "edit");
  add(d, "MARCO_NAME_SETTING", 1200, 32, 132, 200, 20, "label");
  add(d, "FUNC_MACRO_LIST", 1126, 32, 154, 200, 220, "combo");
  // Add and delete macro have no text of their own: their pictures carry a sign.
  add(d, "FUNC_MACRO_ADD", 1017, 240, 152, 64, 26, "macro", "+");
  add(d, "FUNC_MACRO_DELETE", 1018, 310, 152, 64, 26, "macro", "\u2212");
  add(d, "FUNC_MACRO_LIST2", 1019, 32, 188, 250, 182, "list");
  add(d, "FUNC_MACRO_RECORD", 1020, 296, 188, 110, 30, "macro");
  add(d, "FUNC_MACRO_DELETE2", 1021, 296, 224, 110, 28, "macro");
  add(d, "FUNC_MACRO_CLEAR", 1022, 296, 258, 110, 28, "macro");
  add(d, "FUNC_MACRO_UP_TOP", 1023, 416, 188, 56, 28, "macro");
  add(d, "FUNC_MACRO_UP", 1024, 476, 188, 56, 28, "macro");
  add(d, "FUNC_MACRO_DOWN", 1025, 416, 224, 56, 28, "macro");
  add(d, "FUNC_MACRO_DOWN_BOTTOM", 1026, 476, 224, 56, 28, "macro");
  add(d, "FUNC_MACRO_RECORD_DELAY", 1027, 296, 302, 16, 16, "check");
  add(d, "FUNC_MACRO_RECORD_DELAY2", 1133, 318, 300, 120, 20, "label");
  add(d, "FUNC_MACRO_CYCLES_PROMPT", 1130, 296, 334, 80, 20, "label");
  add(d, "FUNC_MACRO_CYCLES", 1125, 380, 332, 60, 22, "edit");
  // The macro memory gauge: bytes the keyboard's macro image needs against its memory.
  add(d, "FUNC_MACRO_GAUGE", 1134, 296, 358, 236, 18, "gauge");
  add(d, "MEDIA_SETTING_TISHI", 1202, 36, 132, 488, 22, "label");
  add(d, "FUNC_MEDIA_SELECT", 1128, 36, 160, 488, 210, "list");
  add(d, "FUNCTION_KEY_SETTING_TISHI", 1203, 36, 132, 488, 22, "label");
  add(d, "FUNC_FUNCTION_SELECT", 1129, 36, 160, 488, 210, "list");
  add(d, "CONTROL2_APPLY", 1015, 244, 398, 96, 34, "button");
  add(d, "CONTROL_OK", 1, 344, 398, 96, 34, "button");
  add(d, "CONTROL_CANCEL", 2, 444, 398, 96, 34, "button");
  // In the template, not in the skin: the in-place editors of the action
  // list's cells, moved over the cell being edited (a number field for
  // delays, a drop-down list for actions and keys).
  d.unplaced.push_back({"MACRO_CELL_EDIT", 1135, "celledit", false});
  d.unplaced.push_back({"MACRO_CELL_LIST", 1136, "celllist", false});
  return d;
}

DialogLayout profileLayout() {
  DialogLayout d;
  d.name = "profile";
  d.templateId = 131;
  d.width = 540;
  d.height = 404;
  add(d, "PROGRAM_LIST", 1007, 20, 56, 500, 250, "list");
  add(d, "FUNC_LOAD", 1008, 20, 320, 100, 32, "labelled", "Load", "\u8f7d\u5165");
  add(d, "FUNC_ADD", 1010, 126, 320, 100, 32, "labelled", "New", "\u65b0\u5efa");
  add(d, "FUNC_DELETE", 1011, 232, 320, 100, 32, "labelled", "Delete", "\u5220\u9664");
  add(d, "CONTROL2_APPLY", 1012, 214, 360, 100, 32, "labelled", "Apply", "\u5e94\u7528");
  add(d, "CONTROL_OK", 1, 320, 360, 100, 32, "labelled", "OK", "\u786e\u5b9a");
  add(d, "CONTROL_CANCEL", 2, 426, 360, 100, 32, "labelled", "Cancel", "\u53d6\u6d88");
  d.unplaced.push_back({"FUNC_TEST", 1013, "button", false});  // hidden, does nothing
  return d;
}

std::vector<DialogLayout> allLayouts() { return {mainLayout(), compositeLayout(), profileLayout()}; }

const std::vector<ResourceId>& resourceIds() {
  static const std::vector<ResourceId> ids = {
      {"IDM_SYSTEM_ABOUT", 16, "the About item of the system menu"},
      {"IDD_ABOUT", 100, "About box"},
      {"IDS_ABOUT_ITEM", 101, "string: the system menu's About item"},
      {"IDI_NO_KEYBOARD", 128, "icon: the application; the tray while no keyboard is attached"},
      {"IDR_TRAY_MENU", 140, "menu: the tray icon's"},
      {"ID_TRAY_ICON", 140, "the tray icon's id"},
      {"IDI_KEYBOARD", 141, "icon: a keyboard is attached"},
      {"IDI_BUSY", 142, "icon: the keyboard signals it is busy"},
      {"IDC_ABOUT_LINK", 1124, "About box: web link"},
      {"IDC_ABOUT_COPYRIGHT", 1205, "About box: copyright text"},
      {"IDC_ABOUT_INTRO", 1206, "About box: introduction text"},
      {"IDC_ABOUT_VERSION", 1207, "About box: version text"},
      {"IDM_OPEN", 32771, "tray menu: Open"},
      {"IDM_ABOUT", 32773, "tray and button menus: About"},
      {"IDM_EXIT", 32774, "tray menu: Exit"},
      {"IDM_IMPORT", 32776, "button menu: Import"},
      {"IDM_EXPORT", 32777, "button menu: Export"},
      {"IDM_CLOSE", 32779, "button menu: Close"},
      {"IDM_UNDO", 32780, "button menu: Undo"},
      {"IDM_REDO", 32781, "button menu: Redo"},
  };
  return ids;
}

std::string idMacro(const DialogLayout& layout, const std::string& name) {
  std::string dialog;
  for (char c : layout.name) dialog += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return "IDC_" + dialog + "_" + name;
}

std::string controlIdsHeader(const std::vector<DialogLayout>& layouts) {
  std::string out =
      "// Generated by tools/skingen/generate from the skin layout (tools/skingen/layout.cpp): do not edit.\n"
      "// Every control id and skin key, named once: the resource scripts use the\n"
      "// macros, the code the named skin controls.\n"
      "#pragma once\n\n";
  char line[200];
  out += "// Resources other than skinned controls.\n";
  for (const ResourceId& r : resourceIds()) {
    std::snprintf(line, sizeof line, "#define %-40s %-6d // %s\n", r.name, r.id, r.what);
    out += line;
  }
  for (const DialogLayout& d : layouts) {
    std::string upper = idMacro(d, "").substr(4);  // "MAIN_"
    upper.pop_back();
    std::snprintf(line, sizeof line, "\n// %s window: its template and its controls by skin key.\n#define %-40s %d\n",
                  d.name.c_str(), ("IDD_" + upper).c_str(), d.templateId);
    out += line;
    for (const Control& c : d.controls) {
      std::snprintf(line, sizeof line, "#define %-40s %d\n", idMacro(d, c.key).c_str(), c.id);
      out += line;
    }
    if (!d.unplaced.empty()) out += "// In the template, not placed by the skin.\n";
    for (const UnplacedControl& u : d.unplaced) {
      std::snprintf(line, sizeof line, "#define %-40s %d\n", idMacro(d, u.name).c_str(), u.id);
      out += line;
    }
  }
  out +=
      "\n#ifndef RC_INVOKED\n"
      "namespace kv::ids {\n\n"
      "// A skinned control: its id and its key in section BUTTONINFO of the skin file.\n"
      "struct SkinControl {\n"
      "  int id;\n"
      "  const char* name;\n"
      "  const wchar_t* key;\n"
      "};\n"
      "\n// A point of a skin picture faces are cut from: its key in section BUTTONINFO2.\n"
      "struct SkinOrigin {\n"
      "  const char* name;\n"
      "  const wchar_t* key;\n"
      "};\n";
  for (const DialogLayout& d : layouts) {
    out += "\nnamespace " + d.name + "_dlg {\n";
    for (const Control& c : d.controls)
      out += "inline constexpr SkinControl " + c.key + "{" + idMacro(d, c.key) + ", \"" + c.key + "\", L\"" + c.key +
             "\"};\n";
    for (const UnplacedControl& u : d.unplaced)
      out += "inline constexpr int " + u.name + " = " + idMacro(d, u.name) + ";\n";
    for (const Origin& o : d.origins)
      out += "inline constexpr SkinOrigin " + o.key + "{\"" + o.key + "\", L\"" + o.key + "\"};\n";
    out += "}  // namespace " + d.name + "_dlg\n";
  }
  out += "\n}  // namespace kv::ids\n#endif\n";
  return out;
}

std::string placementIni(const DialogLayout& layout) {
  std::string out = "[BUTTONINFO]\r\n";
  char line[160];
  for (const Control& c : layout.controls) {
    std::snprintf(line, sizeof line, "%s=%d,%d,%d,%d\r\n", c.key.c_str(), c.x, c.y, c.w, c.h);
    out += line;
  }
  if (!layout.origins.empty()) {
    out += "[BUTTONINFO2]\r\n";
    for (const Origin& o : layout.origins) {
      std::snprintf(line, sizeof line, "%s=%d,%d,%d,%d\r\n", o.key.c_str(), o.x, o.y, o.w, o.h);
      out += line;
    }
  }
  return out;
}

namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string layoutJson(const std::vector<DialogLayout>& layouts) {
  std::string out = "{\n";
  for (size_t i = 0; i < layouts.size(); ++i) {
    const DialogLayout& d = layouts[i];
    out += "  " + quoted(d.name) + ": {\n    \"template\": " + std::to_string(d.templateId) +
           ",\n    \"width\": " + std::to_string(d.width) +
           ",\n    \"height\": " + std::to_string(d.height) + ",\n    \"controls\": [\n";
    for (size_t j = 0; j < d.controls.size(); ++j) {
      const Control& c = d.controls[j];
      out += "      {\"key\": " + quoted(c.key) + ", \"id\": " + std::to_string(c.id) +
             ", \"x\": " + std::to_string(c.x) + ", \"y\": " + std::to_string(c.y) +
             ", \"w\": " + std::to_string(c.w) + ", \"h\": " + std::to_string(c.h) +
             ", \"kind\": " + quoted(c.kind) + ", \"legend\": " + quoted(c.legend) + ", \"sub\": " + quoted(c.sub) +
             "}" + (j + 1 < d.controls.size() ? ",\n" : "\n");
    }
    out += "    ],\n    \"origins\": [\n";
    for (size_t j = 0; j < d.origins.size(); ++j) {
      const Origin& o = d.origins[j];
      out += "      {\"key\": " + quoted(o.key) + ", \"x\": " + std::to_string(o.x) +
             ", \"y\": " + std::to_string(o.y) + ", \"w\": " + std::to_string(o.w) +
             ", \"h\": " + std::to_string(o.h) + "}" + (j + 1 < d.origins.size() ? ",\n" : "\n");
    }
    out += "    ],\n    \"unplaced\": [\n";
    for (size_t j = 0; j < d.unplaced.size(); ++j) {
      const UnplacedControl& u = d.unplaced[j];
      out += "      {\"name\": " + quoted(u.name) + ", \"id\": " + std::to_string(u.id) +
             ", \"kind\": " + quoted(u.kind) + ", \"visible\": " + (u.visible ? "true" : "false") + "}" +
             (j + 1 < d.unplaced.size() ? ",\n" : "\n");
    }
    out += "    ]\n  }" + std::string(i + 1 < layouts.size() ? ",\n" : "\n");
  }
  return out + "}\n";
}

}  // namespace kv::skingen
