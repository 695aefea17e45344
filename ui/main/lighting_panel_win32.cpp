#include "ui/main/lighting_panel_win32.h"

#include <algorithm>

#include "app/placement_win32.h"
#include "app/settings_win32.h"
#include "app/text_table.h"
#include "app/text_table_win32.h"
#include "app/wide_win32.h"
#include "resources/control_ids.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

constexpr ids::SkinControl kReportRateButtons[] = {FUNC_REPORT1, FUNC_REPORT2, FUNC_REPORT3, FUNC_REPORT4};
constexpr ids::SkinControl kIndicators[] = {LOCK_CAPS, LOCK_NUM, LOCK_SCROLL, LOCK_AB};

// The panel's controls and the hidden ones.
constexpr ids::SkinControl kPanelControls[] = {
    CONTROL_UsbStatic,    CONTROL_DengStatic,    CONTROL_DengStaPic,    CONTROL_XGcombox,    CONTROL_JDTStatic,
    CONTROL_LightStatic,  CONTROL_LightSlider,   CONTROL_SpeedStatic,   CONTROL_SpeedSlider, CONTROL_USERgjStatic,
    CONTROL_USERgjStaPic1, CONTROL_USERgjStaPic2, CONTROL_HXsjsStatic,  CONTROL_HXsjsStaPic, CONTROL_FYSJSStaPic,
    CONTROL_FYSJSStatic,  CONTROL_umCombo,       CONTROL_BLFXStatic,    CONTROL_BLFXLStaPic, CONTROL_BLFXRStaPic,
    CONTROL_FYYSStatic,   CONTROL_FYYSButton,    CONTROL_HXysStatic,    CONTROL_HXysButton,  CONTROL_JTysStatic,
    CONTROL_JTysButton,   CONTROL_USERysStatic,  CONTROL_USERysButton,  CONTROL_USERjsStatic, CONTROL_USERjsButton,
    CONTROL_HONGPIC,      CONTROL_HUANGPIC,      CONTROL_LVPIC,         CONTROL_LANPIC,      CONTROL_FYCFStatic,
    CONTROL_FYdjcfStatic, CONTROL_FYggcfStatc,   CONTROL_FYdjcfStaPic,  CONTROL_FYggcfStaPic, CONTROL_TSysStatic,
    CONTROL_TSysButton,   CONTROL_TSsjsStatic,   CONTROL_TSsjsStaPic,   CONTROL_CDysStatic,  CONTROL_CDysButton,
    CONTROL_CDsjsStatic,  CONTROL_CDsjsStaPic};
// Shown while the panel is closed; every other panel control is hidden.
constexpr std::array<int, 3> kAlwaysShownPanelIds = {CONTROL_DengStaPic.id, CONTROL_DengStatic.id,
                                                     CONTROL_UsbStatic.id};

// Labels from the skin file, by key in section Control_Name(1).
constexpr std::pair<const wchar_t*, int> kLabels[] = {
    {L"Usb", CONTROL_UsbStatic.id},     {L"Deng", CONTROL_DengStatic.id},  {L"Light", CONTROL_LightStatic.id},
    {L"Speed", CONTROL_SpeedStatic.id}, {L"DC", CONTROL_HXsjsStatic.id},   {L"Tool", CONTROL_USERgjStatic.id},
    {L"QL", CONTROL_FYSJSStatic.id}};

}  // namespace

void CLightingPanel::Build(const std::wstring& settingsFile) {
  PlaceButtons();
  PlacePanel(settingsFile);
  SetLabels();
}

void CLightingPanel::PlaceButtons() {
  for (const ids::SkinControl& b : kReportRateButtons)
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown, kSurfaceNormal, kSurfaceSet);
  for (const ids::SkinControl& b : kIndicators) {
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceNormal, kSurfaceOver, kSurfaceNormal, kSurfaceOver);
    (void)EnableWindow(item(b.id), FALSE);  // indicators only show; answers the previous state
  }
}

void CLightingPanel::PlacePanel(const std::wstring& settingsFile) {
  for (const ids::SkinControl& c : kPanelControls) {
    HWND h = item(c.id);
    if (!h) continue;
    PlaceControl(h, context_.skinFile, L"BUTTONINFO", c.key);
    bool shown = std::find(kAlwaysShownPanelIds.begin(), kAlwaysShownPanelIds.end(), c.id) !=
                 kAlwaysShownPanelIds.end();
    ShowWindow(h, shown ? SW_SHOWNA : SW_HIDE);
  }
  auto picture = [&](int id, const wchar_t* name) {
    UniqueBitmap bm(static_cast<HBITMAP>(
        LoadImageW(nullptr, (context_.skinsFolder + name).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (!bm) return;
    // The previous picture STM_SETIMAGE hands back is none: the template's
    // statics start empty.
    (void)SendMessageW(item(id), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bm.get()));
    pictures_.push_back(std::move(bm));
  };
  picture(CONTROL_DengStaPic.id, ReadDengCheck(settingsFile) ? L"dengdown.bmp" : L"dengup.bmp");
  for (int i = 0; i < 10; ++i)
    busyFrames_[i].reset(static_cast<HBITMAP>(LoadImageW(
        nullptr, (context_.skinsFolder + L"jdt" + std::to_wstring(i + 1) + L".bmp").c_str(), IMAGE_BITMAP, 0, 0,
        LR_LOADFROMFILE)));
  if (busyFrames_[0])
    (void)SendMessageW(item(CONTROL_JDTStatic.id), STM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(busyFrames_[0].get()));
  ShowWindow(item(CONTROL_JDTStatic.id), SW_HIDE);
}

void CLightingPanel::SetLabels() {
  int language = languageValue(u16(ReadProfileText(context_.languageFile, L"LANGUAGE", L"language")));
  if (language != 0 && language != 1) return;  // other languages keep the labels as they are
  const wchar_t* section = language == 1 ? L"Control_Name1" : L"Control_Name";
  // The labels are in the template: setting their texts cannot fail.
  for (auto [key, id] : kLabels)
    (void)SetDlgItemTextW(window(), id, ReadProfileText(context_.skinFile, section, key).c_str());
}

void CLightingPanel::FillUserModes() {
  HWND modes = item(CONTROL_umCombo.id);
  if (!modes) return;
  for (int i = 1; i <= 10; ++i)
    (void)SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>((L"USER_MODE" + std::to_wstring(i)).c_str()));
}

void CLightingPanel::ShowProgress(bool visible) { ShowWindow(item(CONTROL_JDTStatic.id), visible ? SW_SHOWNA : SW_HIDE); }

void CLightingPanel::NextBusyFrame() {
  busyFrame_ = (busyFrame_ + 1) % 10;
  // The frame replaced is one of busyFrames_, which keeps owning it.
  if (busyFrames_[busyFrame_])
    (void)SendMessageW(item(CONTROL_JDTStatic.id), STM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(busyFrames_[busyFrame_].get()));
}

void CLightingPanel::ShowBankIndicator(bool bankB) {
  CPngButton* ab = Button(LOCK_AB.id);
  if (!ab) return;
  HDC normal = surface(kSurfaceNormal).hdc(), over = surface(kSurfaceOver).hdc();
  if (bankB)
    ab->setFaceSurfaces(over, over, over, over, normal, false);
  else
    ab->setFaceSurfaces(normal, normal, normal, normal, over, false);
  ab->redraw();
}

bool CLightingPanel::OnCommand(WORD id, WORD code) {
  (void)id;
  (void)code;
  // The lighting controls and the report-rate buttons come with the lighting
  // panel's issue; until then their clicks do nothing.
  return false;
}

}  // namespace kv
