#include "ui/main/korvalin_dlg_win32.h"

#include <shellapi.h>

#include <cstdio>
#include <mutex>

#include "app/placement_win32.h"
#include "app/settings_win32.h"
#include "app/single_instance_win32.h"
#include "app/text_table.h"
#include "app/text_table_win32.h"
#include "app/wide_win32.h"
#include "device/protocol.h"
#include "device/transport_win32.h"
#include "keys/key_action.h"
#include "model/key_codes.h"
#include "skin/skin_exit_codes.h"

namespace kv {
namespace {

// Internal messages: what other threads ask of this window's thread.
constexpr UINT kMsgSetTimer = WM_APP + 1;    // wParam id, lParam period
constexpr UINT kMsgKillTimer = WM_APP + 2;   // wParam id
constexpr UINT kMsgTrayIcon = WM_APP + 3;    // wParam resource id
constexpr UINT kMsgBankLook = WM_APP + 4;    // wParam 1 = bank B
constexpr UINT kMsgProgress = WM_APP + 5;    // wParam 1 = shown

constexpr int kApplyId = 1006;
constexpr int kLinkId = 1121;
constexpr int kHelpId = 1122;
constexpr int kMinimizeId = 1123;
constexpr int kCloseId = 1124;
constexpr int kProgressId = 1177;
constexpr int kEffectListId = 1146;
constexpr int kUserModeListId = 1198;
constexpr int kLampId = 1167;
constexpr int kLampLabelId = 1171;
constexpr int kBankIndicatorId = 1128;
constexpr int kFlip0Id = 1129, kFlip1Id = 1130, kFlip2Id = 1131;
constexpr int kLeftArrowId = 1132, kRightArrowId = 1133;
constexpr int kVersionId = 1134;
constexpr int kProfilesButtonId = 1005;
constexpr int kMacroButtonId = 1007;
constexpr int kDefaultButtonId = 1138;
constexpr std::array<int, 3> kProfileButtonIds = {1135, 1136, 1137};
constexpr UINT kMenuOpen = 32771, kMenuAbout = 32773, kMenuExit = 32774;
constexpr wchar_t kDefaultWebLink[] = L"https://korvalin.example/";

// The skinned buttons of the window other than keys, by skin key.
struct SkinnedButton {
  const wchar_t* key;
  int id;
};
constexpr SkinnedButton kButtons[] = {
    {L"VELTRA_LINK", kLinkId},     {L"FUNC_PROFILES", kProfilesButtonId}, {L"FUNC_MACRO", kMacroButtonId},
    {L"CONTROL_OK", IDOK},         {L"CONTROL_CANCEL", IDCANCEL},          {L"CONTROL_HELP", kHelpId},
    {L"CONTROL_CLOSE", kCloseId},  {L"CONTROL_MINIMIZE", kMinimizeId},     {L"CONTROL_MENU", 1139},
    {L"CONTROL2_APPLY", kApplyId}, {L"FLIP_1", kFlip1Id},                  {L"FLIP_2", kFlip2Id},
    {L"VELTRA_VER", kVersionId},   {L"FUNC_PROFILE1", 1135},               {L"FUNC_PROFILE2", 1136},
    {L"FUNC_PROFILE3", 1137},      {L"FUNC_DEFAULT", kDefaultButtonId},    {L"FUNC_SWITCH", 1144},
    {L"FUNC_REPORT1", 1147},       {L"FUNC_REPORT2", 1168},                {L"FUNC_REPORT3", 1169},
    {L"FUNC_REPORT4", 1170}};
constexpr SkinnedButton kIndicators[] = {
    {L"LOCK_CAPS", 1125}, {L"LOCK_NUM", 1126}, {L"LOCK_SCROLL", 1127}, {L"LOCK_AB", kBankIndicatorId}};

// The lighting panel's controls and the hidden ones, by skin key.
constexpr SkinnedButton kPanelControls[] = {
    {L"CONTROL_UsbStatic", 1204},      {L"CONTROL_DengStatic", kLampLabelId}, {L"CONTROL_DengStaPic", kLampId},
    {L"CONTROL_XGcombox", kEffectListId}, {L"CONTROL_JDTStatic", kProgressId}, {L"CONTROL_LightStatic", 1172},
    {L"CONTROL_LightSlider", 1178},    {L"CONTROL_SpeedStatic", 1166},     {L"CONTROL_SpeedSlider", 1179},
    {L"CONTROL_USERgjStatic", 1163},   {L"CONTROL_USERgjStaPic1", 1164},   {L"CONTROL_USERgjStaPic2", 1165},
    {L"CONTROL_HXsjsStatic", 1173},    {L"CONTROL_HXsjsStaPic", 1156},     {L"CONTROL_FYSJSStaPic", 1175},
    {L"CONTROL_FYSJSStatic", 1176},    {L"CONTROL_umCombo", kUserModeListId}, {L"CONTROL_BLFXStatic", 1148},
    {L"CONTROL_BLFXLStaPic", 1149},    {L"CONTROL_BLFXRStaPic", 1150},     {L"CONTROL_FYYSStatic", 1151},
    {L"CONTROL_FYYSButton", 1152},     {L"CONTROL_HXysStatic", 1154},      {L"CONTROL_HXysButton", 1155},
    {L"CONTROL_JTysStatic", 1157},     {L"CONTROL_JTysButton", 1158},      {L"CONTROL_USERysStatic", 1159},
    {L"CONTROL_USERysButton", 1160},   {L"CONTROL_USERjsStatic", 1161},    {L"CONTROL_USERjsButton", 1162},
    {L"CONTROL_HONGPIC", 1194},        {L"CONTROL_HUANGPIC", 1195},        {L"CONTROL_LVPIC", 1196},
    {L"CONTROL_LANPIC", 1197},         {L"CONTROL_FYCFStatic", 1182},      {L"CONTROL_FYdjcfStatic", 1181},
    {L"CONTROL_FYggcfStatc", 1180},    {L"CONTROL_FYdjcfStaPic", 1183},    {L"CONTROL_FYggcfStaPic", 1184},
    {L"CONTROL_TSysStatic", 1186},     {L"CONTROL_TSysButton", 1187},      {L"CONTROL_TSsjsStatic", 1188},
    {L"CONTROL_TSsjsStaPic", 1189},    {L"CONTROL_CDysStatic", 1190},      {L"CONTROL_CDysButton", 1191},
    {L"CONTROL_CDsjsStatic", 1192},    {L"CONTROL_CDsjsStaPic", 1193}};
// Shown while the panel is closed; every other panel control is hidden.
constexpr std::array<int, 3> kAlwaysShownPanelIds = {kLampId, kLampLabelId, 1204};

constexpr std::array<const wchar_t*, 11> kSkinImages = {
    L"main_normal.jpg", L"main_over.jpg", L"main_down.jpg", L"main_disable.jpg", L"main_normal.jpg",
    L"main_over.jpg",   L"main_down.jpg", L"main_disable.jpg", L"Arrow.jpg",     L"main_color0.jpg",
    L"main_color1.jpg"};
enum Surface { kNormal = 0, kOver = 1, kDown = 2, kSet = 3, kArrow = 8 };

std::wstring w(const std::string& s) { return std::wstring(s.begin(), s.end()); }

void debugExit(int code, const wchar_t* cause) {
  OutputDebugStringW((std::wstring(L"Korvalin: ") + cause + L"\n").c_str());
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace

ProgramPaths BuildProgramPaths(const std::wstring& folder, const std::wstring& fileName) {
  ProgramPaths p;
  p.programFolder = folder;
  p.programFileName = fileName;
  p.helpFolder = folder + L"Help\\";
  p.skinsFolder = folder + L"Skins\\";
  p.mainSkinFile = p.skinsFolder + L"Main.ini";
  p.profileSkinFile = p.skinsFolder + L"Profile.ini";
  p.compositeSkinFile = p.skinsFolder + L"Composite.ini";
  p.languageFile = p.skinsFolder + L"language.ini";
  p.companion = folder + L"Halvrest.exe";
  return p;
}

CKorvalinDlg::CKorvalinDlg(WorkingConfig& config, ApplySnapshot& snapshot, const ProgramPaths& paths,
                           const std::vector<std::wstring>& args)
    : CBaseDialog(102, nullptr, paths.mainSkinFile, paths.skinsFolder),
      config_(config),
      snapshot_(snapshot),
      paths_(paths) {
  icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON, 0, 0,
                                        LR_DEFAULTSIZE | LR_SHARED));
  // The small image of the same icon, for the tray and the small window
  // icon: the large one shrunk there looks blurred.
  smallIcon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!smallIcon_) smallIcon_ = icon_;
  InstanceCheck check = CheckSingleInstance(args, paths_.programFileName);
  if (!check.continueRunning) ExitProcess(0);  // handed over to the running instance
  mutex_ = check.mutex;
  suppressFirstShow_ = check.suppressFirstShow;
  LaunchCompanion(paths_.companion);
  unsaved_ = false;
}

CKorvalinDlg::~CKorvalinDlg() {
  InstallDeviceEvents(nullptr);
  if (!shutDown_) Shutdown();
}

// ---- DeviceUi ---------------------------------------------------------------

void CKorvalinDlg::RequestReload() {
  if (HWND h = hwnd()) SendMessageW(h, kMsgReload, kTagProf, 0);
}
void CKorvalinDlg::PostShow() {
  if (HWND h = hwnd()) PostMessageW(h, kMsgShow, kTagOpen, 0);
}
void CKorvalinDlg::HideWindow() {
  if (HWND h = hwnd()) ShowWindowAsync(h, SW_HIDE);
}
void CKorvalinDlg::ShowGBank(bool bankB) {
  HWND h = hwnd();
  if (!h) return;
  // Not waited for: the keyboard's event thread must never block on the
  // window, which may itself be waiting for that thread's next answer.
  SendNotifyMessageW(h, kMsgGBank, kTagLedMessage, 0);
  PostMessageW(h, kMsgBankLook, bankB ? 1 : 0, 0);
}
// A window's timers can only be set by its own thread.
void CKorvalinDlg::SetTimer(unsigned id, unsigned periodMs) {
  if (HWND h = hwnd()) PostMessageW(h, kMsgSetTimer, id, periodMs);
}
void CKorvalinDlg::KillTimer(unsigned id) {
  if (HWND h = hwnd()) PostMessageW(h, kMsgKillTimer, id, 0);
}
void CKorvalinDlg::SetTrayIcon(int resourceId) {
  if (HWND h = hwnd()) PostMessageW(h, kMsgTrayIcon, static_cast<WPARAM>(resourceId), 0);
}
void CKorvalinDlg::ShowMessage(std::u16string_view text) {
  std::wstring t = wide(text);
  MessageBoxW(hwnd(), t.c_str(), L"", MB_OK);
}
void CKorvalinDlg::SetApplyEnabled(bool enabled) {
  unsaved_ = enabled;
  if (HWND apply = item(kApplyId)) EnableWindow(apply, enabled ? TRUE : FALSE);
}
void CKorvalinDlg::ShowProgress(bool visible) {
  if (HWND h = hwnd()) PostMessageW(h, kMsgProgress, visible ? 1 : 0, 0);
}

void CKorvalinDlg::RefreshKeyButtons() {
  // Runs with the WorkingConfig lock held by the caller.
  int active = GetActiveProfile();
  const KeyActionTable* table = config_.table.get();
  for (const KeyButton& k : KeyButtonTable) {
    CPngButton* b = Button(k.controlId);
    if (!b) continue;
    bool set = table && readEntry(*table, active, slotOfKey(k.keyCode)).type != ActionType::Default;
    b->setSetState(set, true);
  }
  OnGBankRefresh();
}

// ---- initialisation -------------------------------------------------------------

BOOL CKorvalinDlg::OnInitDialog() {
  CBaseDialog::OnInitDialog();

  wchar_t about[64];
  if (LoadStringW(GetModuleHandleW(nullptr), 101, about, 64) > 0) {
    if (HMENU system = GetSystemMenu(hwnd(), FALSE)) {
      AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(system, MF_STRING, 16, about);
    }
  }
  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  initialised_ = false;
  ResetActiveProfileCache();
  events_ = std::make_unique<DeviceEvents>(*this);
  events_->SetFirstShowDone(suppressFirstShow_);
  store_ = std::make_unique<ProfileStore>(config_, snapshot_, *this, std::filesystem::path(DocumentsFolder()),
                                          [this] { return events_->MacroMemorySize(); });
  apply_ = std::make_unique<ApplyCommand>(*store_, *this);
  InstallDeviceEvents(events_.get());
  int count = LoadTransport(OnTransportEvent);  // ends the process when the library is unusable
  if (count == 0) events_->SetFirstShowDone(true);

  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32 || !GetProcAddress(user32, "SetLayeredWindowAttributes"))
    debugExit(kExitNoLayeredWindows, L"the layered-window function is missing");

  {
    std::lock_guard lock(config_.lock);
    clearWorkingConfig(config_);
    store_->createDefaultProfile();
  }
  config_.recordHook = nullptr;
  config_.recording = 0;

  LoadSkinSurfaces();
  webLink_ = ReadProfileText(paths_.mainSkinFile, L"SCREEN", L"Link", kDefaultWebLink);
  if (webLink_.empty()) webLink_ = kDefaultWebLink;
  SetUpControls();
  SetApplyEnabled(false);

  settingsFile_ = SettingsFilePath();
  PlaceLightingPanel();
  PlaceKeyboard();

  LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, (ex & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
  SetWindowLongPtrW(hwnd(), GWLP_USERDATA, kMainWindowMarker);
  SetWindowLongPtrW(hwnd(), GWL_STYLE, GetWindowLongPtrW(hwnd(), GWL_STYLE) | WS_MINIMIZEBOX | WS_SYSMENU);
  SetWindowTextW(hwnd(), wide(text(TextId::MAIN_CAPTION)).c_str());

  for (int n = 1; n <= kNamedEventCount; ++n) {
    wchar_t name[64];
    swprintf(name, 64, L"%lsMain_%02d", L"Korvalin_Event_", n);
    if (HANDLE e = CreateEventW(nullptr, FALSE, FALSE, name)) namedEvents_.push_back(e);
  }
  PostMessageW(hwnd(), kMsgDeferredInit, kTagInit, 0);

  if (HWND modes = item(kUserModeListId))
    for (int i = 1; i <= 10; ++i)
      SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>((L"USER_MODE" + std::to_wstring(i)).c_str()));
  ApplyProfileTexts();

  // The presence worker starts last: its reload needs the store and the
  // window, which is now fully built.
  events_->StartPresenceWorker(count);
  return TRUE;
}

void CKorvalinDlg::LoadSkinSurfaces() {
  for (size_t i = 0; i < kSkinImages.size(); ++i) {
    SkinImage image = loadSkinPictureOrExit(kSkinImages[i]);
    makeSkinSurface(surfaces_[i], image, hwnd());
  }
}

CPngButton* CKorvalinDlg::Button(int id) {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second.get();
}

CPngButton& CKorvalinDlg::AttachButton(int id) {
  auto& slot = buttons_[id];
  if (!slot) {
    slot = std::make_unique<CPngButton>();
    if (HWND h = item(id)) slot->SubclassWindow(h);
  }
  return *slot;
}

void CKorvalinDlg::SetUpControls() {
  const std::wstring& file = paths_.mainSkinFile;
  const SkinSurface* s = surfaces_.data();
  for (const SkinnedButton& b : kButtons)
    PlaceSkinnedControl(AttachButton(b.id), file, L"BUTTONINFO", b.key, &s[kNormal], &s[kOver], &s[kDown],
                        &s[kNormal], &s[kSet]);
  for (const SkinnedButton& b : kIndicators) {
    PlaceSkinnedControl(AttachButton(b.id), file, L"BUTTONINFO", b.key, &s[kNormal], &s[kNormal], &s[kOver],
                        &s[kNormal], &s[kOver]);
    EnableWindow(item(b.id), FALSE);  // indicators only show
  }
  // Flip0 is a picture behind the Flip buttons; the arrows show Arrow.jpg.
  PlaceSkinnedControl(AttachButton(kFlip0Id), file, L"BUTTONINFO", L"FLIP_0", &s[kNormal], &s[kNormal],
                      &s[kNormal], &s[kNormal], &s[kSet]);
  EnableWindow(item(kFlip0Id), FALSE);
  PlaceControlWithImageOrigin(AttachButton(kLeftArrowId), file, L"BUTTONINFO", L"LEFT_ARROW", L"BUTTONINFO2",
                              L"DOWN_ARROW_LEFT1", &s[kArrow]);
  PlaceControlWithImageOrigin(AttachButton(kRightArrowId), file, L"BUTTONINFO", L"RIGHT_ARROW", L"BUTTONINFO2",
                              L"DOWN_ARROW_RIGHT1", &s[kArrow]);
  EnableWindow(item(kLeftArrowId), FALSE);
  EnableWindow(item(kRightArrowId), FALSE);

  auto caption = [&](int id, const std::wstring& t, int size, const wchar_t* font, COLORREF colour) {
    SetWindowTextW(item(id), t.c_str());
    AttachButton(id).setCaptionStyle(true, size, font, colour, CPngButton::kDefaultCaptionFormat);
  };
  caption(kLinkId, webLink_, 8, L"Verdana", RGB(0x7F, 0xD8, 0xEC));
  caption(kVersionId, wide(text(TextId::MAIN_BUTTON_VELTRA_VER)), 8, L"Verdana", RGB(0xE4, 0xE4, 0xE4));
  EnableWindow(item(kVersionId), FALSE);
  caption(kProfilesButtonId, L"", 10, L"Arial", RGB(0xE4, 0xE4, 0xE4));
  ShowWindow(item(1144), SW_HIDE);
  ShowWindow(item(1008), SW_HIDE);
  ShowWindow(item(1009), SW_HIDE);
  AttachButton(kHelpId).setTooltip(wide(text(TextId::MAIN_HELP_PROMPT)), true);
  AttachButton(kCloseId).setTooltip(wide(text(TextId::MAIN_CLOSE_PROMPT)), true);
  AttachButton(kMinimizeId).setTooltip(wide(text(TextId::MAIN_MINIMIZE_PROMPT)), true);
  AttachButton(1139).setTooltip(wide(text(TextId::MAIN_MENU_PROMPT)), true);
}

void CKorvalinDlg::PlaceKeyboard() {
  const std::wstring& file = paths_.mainSkinFile;
  const SkinSurface* s = surfaces_.data();
  auto place = [&](int id, const std::wstring& key) {
    PlaceSkinnedControl(AttachButton(id), file, L"BUTTONINFO", key, &s[kNormal], &s[kOver], &s[kDown],
                        &s[kNormal], &s[kSet]);
  };
  for (int g = 0; g < 9; ++g) place(kGKeyControlIds[g], w(gKeySkinKey(g + 1)));
  for (const KeyButton& k : KeyButtonTable) place(k.controlId, w(keyButtonSkinKey(k.keyCode)));
  place(kFnControlId, w(kFnSkinKey));
  ShowFlip();
}

void CKorvalinDlg::ShowFlip() {
  bool on = GetFlipSetting() != 0;
  for (int id = 1010; id <= 1013; ++id) EnableWindow(item(id), on ? FALSE : TRUE);
  for (int id = 1016; id <= 1021; ++id) EnableWindow(item(id), on ? TRUE : FALSE);
}

void CKorvalinDlg::PlaceLightingPanel() {
  const std::wstring& file = paths_.mainSkinFile;
  for (const SkinnedButton& c : kPanelControls) {
    HWND h = item(c.id);
    if (!h) continue;
    PlaceControl(h, file, L"BUTTONINFO", c.key);
    bool shown = std::find(kAlwaysShownPanelIds.begin(), kAlwaysShownPanelIds.end(), c.id) !=
                 kAlwaysShownPanelIds.end();
    ShowWindow(h, shown ? SW_SHOWNA : SW_HIDE);
  }
  auto picture = [&](int id, const wchar_t* name) {
    UniqueBitmap bm(static_cast<HBITMAP>(
        LoadImageW(nullptr, (paths_.skinsFolder + name).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (!bm) return;
    SendMessageW(item(id), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bm.get()));
    pictures_.push_back(std::move(bm));
  };
  picture(kLampId, ReadDengCheck(settingsFile_) ? L"dengdown.bmp" : L"dengup.bmp");
  for (int i = 0; i < 10; ++i)
    busyFrames_[i].reset(static_cast<HBITMAP>(LoadImageW(
        nullptr, (paths_.skinsFolder + L"jdt" + std::to_wstring(i + 1) + L".bmp").c_str(), IMAGE_BITMAP, 0, 0,
        LR_LOADFROMFILE)));
  if (busyFrames_[0])
    SendMessageW(item(kProgressId), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(busyFrames_[0].get()));
  ShowWindow(item(kProgressId), SW_HIDE);
  // Labels from the skin file in the chosen language.
  int language = languageValue(u16(ReadProfileText(paths_.languageFile, L"LANGUAGE", L"language")));
  if (language == 0 || language == 1) {
    const wchar_t* section = language == 1 ? L"Control_Name1" : L"Control_Name";
    const std::pair<const wchar_t*, int> labels[] = {{L"Usb", 1204},  {L"Deng", kLampLabelId}, {L"Light", 1172},
                                                     {L"Speed", 1166}, {L"DC", 1173},          {L"Tool", 1163},
                                                     {L"QL", 1176}};
    for (auto [key, id] : labels) SetDlgItemTextW(hwnd(), id, ReadProfileText(file, section, key).c_str());
  }
}

void CKorvalinDlg::ApplyProfileTexts() {
  const int ids[] = {1135, 1136, 1137, kMacroButtonId, kDefaultButtonId, IDOK, IDCANCEL, kApplyId};
  for (size_t i = 0; i < std::size(ids); ++i) {
    std::wstring t = ReadLanguageText(paths_.languageFile, kProfileTextKeys[i].key);
    SetWindowTextW(item(ids[i]), t.c_str());
    AttachButton(ids[i]).setCaptionStyle(true, 9, L"Tahoma", RGB(255, 255, 255), CPngButton::kDefaultCaptionFormat);
  }
  // The Minimize, Menu and Close tooltips come from the same section of the
  // language file through the text table; SetUpControls has set them.
}

void CKorvalinDlg::OnDeferredInit() {
  tray_.SetLanguageFile(paths_.languageFile);
  tray_.Create(hwnd(), kTrayCallbackMessage, kTrayIconId, smallIcon_, wide(text(TextId::KEYBOARD_TRAY_DESC)));
  trayIconId_ = 128;
  // The profiles button names the active profile's cache file.
  int active = GetActiveProfile();
  std::wstring name = active >= 0 && store_ ? store_->profileCachePath(active).stem().wstring()
                                            : wide(text(TextId::DEFAULT_PROFILE_NAME));
  SetWindowTextW(item(kProfilesButtonId), name.c_str());
  AttachButton(kProfilesButtonId).setTooltip(wide(text(TextId::PROFILE_TIP)) + name, true);
  initialised_ = true;
  ShowWindow(hwnd(), SW_HIDE);
}

// ---- messages -------------------------------------------------------------------

bool CKorvalinDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  (void)lp;
  result = 0;
  switch (msg) {
    case kMsgDeferredInit:
      if (wp == kTagInit) OnDeferredInit();
      return true;
    case kMsgShow:
      if (wp == kTagOpen) OnShow();
      return true;
    case kMsgKill:
      if (wp == kTagKill) Close();
      return true;
    case kMsgReload:
      if (wp == kTagProf) OnReload();
      return true;
    case kMsgGBank:
      if (wp == kTagLedMessage) {
        std::lock_guard lock(config_.lock);
        OnGBankRefresh();
      }
      return true;
    case kMsgSetTimer:
      ::SetTimer(hwnd(), wp, static_cast<UINT>(lp), nullptr);
      return true;
    case kMsgKillTimer:
      ::KillTimer(hwnd(), wp);
      return true;
    case kMsgTrayIcon:
      if (static_cast<int>(wp) != trayIconId_ && tray_.SetIconResource(static_cast<int>(wp)))
        trayIconId_ = static_cast<int>(wp);
      return true;
    case kMsgBankLook:
      ApplyGBankLook(wp != 0);
      return true;
    case kMsgProgress:
      ShowWindow(item(kProgressId), wp ? SW_SHOWNA : SW_HIDE);
      return true;
    case WM_SYSCOMMAND:
      if (wp >= 16 && wp <= 31) {  // the About item of the system menu
        OpenAbout();
        return true;
      }
      return false;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(icon_);
      return true;
    case WM_HELP:
      OpenHelp();
      result = TRUE;
      return true;
    case WM_CTLCOLORSTATIC:
      SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wp), RGB(228, 228, 228));
      result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      return true;
    default:
      return false;
  }
}

void CKorvalinDlg::OnShow() {
  if (!events_ || events_->DevicePresent() == 0) {
    MessageBoxW(hwnd(), wide(text(TextId::MAIN_NO_DEVICE_PROMPT)).c_str(), L"", MB_OK);
    return;
  }
  LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, (ex & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW);
  shownOnRequest_ = true;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  SetForegroundWindow(hwnd());
}

void CKorvalinDlg::OnReload() {
  if (!store_) return;
  store_->reloadFromKeyboard();
  UpdateSelectedProfile();
}

void CKorvalinDlg::UpdateSelectedProfile() {
  int active = GetActiveProfile();
  if (active < 0 || active > 2) return;
  for (int i = 0; i < 3; ++i)
    if (CPngButton* b = Button(kProfileButtonIds[i])) b->setSetState(i == active, true);
  SetSelectedProfile(active);
}

void CKorvalinDlg::OnGBankRefresh() {
  // The caller holds the WorkingConfig lock.
  int active = GetActiveProfile();
  int bank = CurrentBankReport()[1] & 1;
  for (int n = 0; n < 9; ++n) {
    CPngButton* b = Button(kGKeyControlIds[n]);
    if (!b) continue;
    bool marked = active >= 0 && config_.table &&
                  readEntry(*config_.table, active, slotOfGKey(bank, n)).type != ActionType::Default;
    b->setSetState(marked, true);
  }
}

void CKorvalinDlg::ApplyGBankLook(bool bankB) {
  const SkinSurface* s = surfaces_.data();
  if (CPngButton* ab = Button(kBankIndicatorId)) {
    if (bankB)
      ab->setFaceSurfaces(s[kOver].hdc(), s[kOver].hdc(), s[kOver].hdc(), s[kOver].hdc(), s[kNormal].hdc(), false);
    else
      ab->setFaceSurfaces(s[kNormal].hdc(), s[kNormal].hdc(), s[kNormal].hdc(), s[kNormal].hdc(), s[kOver].hdc(), false);
    ab->redraw();
  }
  for (int n = 0; n < 9; ++n) {
    std::wstring label = n < 5 ? std::wstring(bankB ? L"B" : L"A") + std::to_wstring(n + 1) : L"";
    SetWindowTextW(item(kGKeyControlIds[n]), label.c_str());
    // Drawn after the indicator so they stay on top of it.
    if (CPngButton* g = Button(kGKeyControlIds[n])) g->redraw();
  }
}

void CKorvalinDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kTimerBusy:
      busyFrame_ = (busyFrame_ + 1) % 10;
      if (busyFrames_[busyFrame_])
        SendMessageW(item(kProgressId), STM_SETIMAGE, IMAGE_BITMAP,
                     reinterpret_cast<LPARAM>(busyFrames_[busyFrame_].get()));
      break;
    case kTimerLighting:
      ::KillTimer(hwnd(), id);
      break;
    case kTimerReload:
      ::KillTimer(hwnd(), id);
      SendMessageW(hwnd(), kMsgReload, kTagProf, 0);
      break;
    default:
      break;
  }
  CBaseDialog::OnTimer(id);
}

bool CKorvalinDlg::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case kApplyId:
      if (apply_) apply_->Apply();
      return true;
    case kLinkId:
      ShellExecuteW(hwnd(), L"open", webLink_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return true;
    case kHelpId:
      OpenHelp();
      return true;
    case kMinimizeId:
      PostMessageW(hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
      return true;
    case kCloseId:
    case kMenuExit:
      Close();
      return true;
    case kMenuOpen:
      OnShow();
      return true;
    case kMenuAbout:
      OpenAbout();
      return true;
    default:
      break;
  }
  return CBaseDialog::OnCommand(id, code, control);
}

// OK applies and puts the window away; Cancel (and Esc) only put it away.
// Neither ends the program: that is Close.
void CKorvalinDlg::OnOK() {
  if (apply_) apply_->Apply();
  ShowWindow(hwnd(), SW_HIDE);
}
void CKorvalinDlg::OnCancel() { ShowWindow(hwnd(), SW_HIDE); }

void CKorvalinDlg::OnPaint() {
  if (IsIconic(hwnd())) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    RECT r;
    GetClientRect(hwnd(), &r);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    DrawIcon(dc, (r.right - cx + 1) / 2, (r.bottom - cy + 1) / 2, icon_);
    EndPaint(hwnd(), &ps);
    return;
  }
  CBaseDialog::OnPaint();
}

void CKorvalinDlg::OnNcPaint(HRGN region) {
  // The dialog is shown as it starts; it lives in the notification area, so
  // its first two frame paints hide it instead. How many frame paints a start
  // brings differs between systems (Wine sends fewer), so a window the user
  // or the keyboard asked to show is never hidden this way.
  if (ncPaints_ < 2 && !shownOnRequest_) {
    ++ncPaints_;
    ShowWindow(hwnd(), SW_HIDE);
    return;
  }
  CBaseDialog::OnNcPaint(region);
}

void CKorvalinDlg::OpenHelp() { OpenHelpPage(hwnd(), paths_.helpFolder); }

void CKorvalinDlg::OpenAbout() {
  if (!about_) about_ = std::make_unique<CAboutDlg>(paths_.languageFile, webLink_, paths_.helpFolder);
  about_->Open();  // a request while it is open fails silently
}

// ---- shutdown -------------------------------------------------------------------

void CKorvalinDlg::Close() {
  ShowWindow(hwnd(), SW_HIDE);
  Shutdown();
  releaseSkin();
  EndDialog(IDCANCEL);
}

void CKorvalinDlg::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (about_ && about_->isOpen()) about_->DestroyWindow();
  if (mutex_) {
    CloseHandle(mutex_);
    mutex_ = nullptr;
  }
  for (HANDLE e : namedEvents_) CloseHandle(e);
  namedEvents_.clear();
  tray_.Remove();
  unsaved_ = false;
  if (HWND apply = item(kApplyId)) EnableWindow(apply, FALSE);
  {
    std::lock_guard lock(config_.lock);
    clearWorkingConfig(config_);
  }
  {
    std::lock_guard lock(snapshot_.lock);
    clearSnapshot(snapshot_);
  }
}

}  // namespace kv
