#include "ui/main/lighting_panel_win32.h"

#include <commdlg.h>

#include <algorithm>

#include "app/settings_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "model/key_codes.h"
#include "model/settings.h"
#include "model/settings_file.h"
#include "resources/control_ids.h"
#include "skin/placement_win32.h"

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
    CONTROL_CDsjsStatic,  CONTROL_CDsjsStaPic,   CONTROL_ZSrandStatic,   CONTROL_ZSrandStaPic, CONTROL_FYrandStatic,
    CONTROL_FYrandStaPic,  CONTROL_YSStatic};
// Shown whatever the panel's state: the lamp, its label and the report-rate
// label. The progress picture is the busy animation's.
constexpr std::array<int, 4> kNotPanelHidden = {CONTROL_DengStaPic.id, CONTROL_DengStatic.id, CONTROL_UsbStatic.id,
                                                CONTROL_JDTStatic.id};
constexpr std::array<int, 2> kBrightnessControls = {CONTROL_LightStatic.id, CONTROL_LightSlider.id};
constexpr std::array<int, 2> kSpeedControls = {CONTROL_SpeedStatic.id, CONTROL_SpeedSlider.id};
constexpr std::array<int, 8> kPerKeyControls = {CONTROL_umCombo.id,      CONTROL_FYSJSStaPic.id,  CONTROL_FYSJSStatic.id,
                                                CONTROL_HXsjsStaPic.id,  CONTROL_HXsjsStatic.id,  CONTROL_USERgjStatic.id,
                                                CONTROL_USERgjStaPic1.id, CONTROL_USERgjStaPic2.id};
// The controls of the fields an effect uses, shown while the effect is
// chosen (effect 0: every effect using the field). The main colour has
// three: the reaction's, the breathing's and the static colour's.
using F = LightingField;
struct FieldControl {
  int id;
  LightingField field;
  int effect;
};
constexpr FieldControl kFieldControls[] = {
    {CONTROL_BLFXStatic.id, F::Direction, 0},
    {CONTROL_BLFXLStaPic.id, F::Direction, 0},
    {CONTROL_BLFXRStaPic.id, F::Direction, 0},
    {CONTROL_FYYSStatic.id, F::MainColour, kEffectReaction},
    {CONTROL_FYYSButton.id, F::MainColour, kEffectReaction},
    {CONTROL_HXysStatic.id, F::MainColour, kEffectBreathing},
    {CONTROL_HXysButton.id, F::MainColour, kEffectBreathing},
    {CONTROL_JTysStatic.id, F::MainColour, kEffectStatic},
    {CONTROL_JTysButton.id, F::MainColour, kEffectStatic},
    {CONTROL_ZSrandStatic.id, F::MainRandom, 0},
    {CONTROL_ZSrandStaPic.id, F::MainRandom, 0},
    {CONTROL_FYrandStatic.id, F::ReactionRandom, 0},
    {CONTROL_FYrandStaPic.id, F::ReactionRandom, 0},
    {CONTROL_YSStatic.id, F::PresetColour, 0},
    {CONTROL_HONGPIC.id, F::PresetColour, 0},
    {CONTROL_HUANGPIC.id, F::PresetColour, 0},
    {CONTROL_LVPIC.id, F::PresetColour, 0},
    {CONTROL_LANPIC.id, F::PresetColour, 0},
    {CONTROL_FYCFStatic.id, F::TriggerType, 0},
    {CONTROL_FYdjcfStatic.id, F::TriggerType, 0},
    {CONTROL_FYggcfStatc.id, F::TriggerType, 0},
    {CONTROL_FYdjcfStaPic.id, F::TriggerType, 0},
    {CONTROL_FYggcfStaPic.id, F::TriggerType, 0},
    {CONTROL_TSysStatic.id, F::StoneColour, 0},
    {CONTROL_TSysButton.id, F::StoneColour, 0},
    {CONTROL_TSsjsStatic.id, F::StoneRandom, 0},
    {CONTROL_TSsjsStaPic.id, F::StoneRandom, 0},
    {CONTROL_CDysStatic.id, F::RibbonColour, 0},
    {CONTROL_CDysButton.id, F::RibbonColour, 0},
    {CONTROL_CDsjsStatic.id, F::RibbonRandom, 0},
    {CONTROL_CDsjsStaPic.id, F::RibbonRandom, 0},
    {CONTROL_USERysStatic.id, F::UserColour, 0},
    {CONTROL_USERysButton.id, F::UserColour, 0},
    {CONTROL_USERjsStatic.id, F::UserBaseColour, 0},
    {CONTROL_USERjsButton.id, F::UserBaseColour, 0},
};
const FieldControl* fieldControlOf(int id) {
  for (const FieldControl& c : kFieldControls)
    if (c.id == id) return &c;
  return nullptr;
}
// The buttons that show a colour and open the colour dialog.
constexpr std::pair<int, LightingField> kColourButtons[] = {
    {CONTROL_FYYSButton.id, F::MainColour},   {CONTROL_HXysButton.id, F::MainColour},
    {CONTROL_JTysButton.id, F::MainColour},   {CONTROL_USERysButton.id, F::UserColour},
    {CONTROL_USERjsButton.id, F::UserBaseColour}, {CONTROL_TSysButton.id, F::StoneColour},
    {CONTROL_CDysButton.id, F::RibbonColour}};
// The random-colour pictures: a click turns the choice over.
constexpr std::pair<int, LightingField> kRandomPictures[] = {{CONTROL_ZSrandStaPic.id, F::MainRandom},
                                                             {CONTROL_FYrandStaPic.id, F::ReactionRandom},
                                                             {CONTROL_TSsjsStaPic.id, F::StoneRandom},
                                                             {CONTROL_CDsjsStaPic.id, F::RibbonRandom}};

// The direction label and pictures take other skin keys for some effects.
constexpr ids::SkinControl kDirectionControls[] = {CONTROL_BLFXStatic, CONTROL_BLFXLStaPic, CONTROL_BLFXRStaPic};
// The preset colour pictures (not chosen, chosen), red, yellow, green, blue.
constexpr std::pair<int, const wchar_t*> kPresetPictures[] = {
    {CONTROL_HONGPIC.id, L"hong"}, {CONTROL_HUANGPIC.id, L"huang"}, {CONTROL_LVPIC.id, L"lv"}, {CONTROL_LANPIC.id, L"lan"}};

// Labels from the skin file, by key in section Control_Name(1).
constexpr std::pair<const wchar_t*, int> kLabels[] = {
    {L"Usb", CONTROL_UsbStatic.id},     {L"Deng", CONTROL_DengStatic.id},  {L"Light", CONTROL_LightStatic.id},
    {L"FX", CONTROL_BLFXStatic.id},     {L"Speed", CONTROL_SpeedStatic.id}, {L"Color", CONTROL_FYYSStatic.id},
    {L"Color", CONTROL_HXysStatic.id},  {L"Color", CONTROL_JTysStatic.id}, {L"JColor", CONTROL_USERjsStatic.id},
    {L"DC", CONTROL_HXsjsStatic.id},    {L"Tool", CONTROL_USERgjStatic.id}, {L"QL", CONTROL_FYSJSStatic.id},
    {L"Color", CONTROL_USERysStatic.id}, {L"Color", CONTROL_TSysStatic.id}, {L"Color", CONTROL_CDysStatic.id},
    {L"Random", CONTROL_ZSrandStatic.id}, {L"Random", CONTROL_FYrandStatic.id}, {L"Random", CONTROL_TSsjsStatic.id},
    {L"Random", CONTROL_CDsjsStatic.id}, {L"Preset", CONTROL_YSStatic.id},  {L"Trigger", CONTROL_FYCFStatic.id},
    {L"SingleKey", CONTROL_FYdjcfStatic.id}, {L"Grid", CONTROL_FYggcfStatc.id}};

constexpr wchar_t kLampClosed[] = L"dengup.bmp", kLampOpen[] = L"dengdown.bmp";
constexpr wchar_t kChosen[] = L"sjsdown.bmp", kNotChosen[] = L"sjsup.bmp";

// The controls a paint click or stroke reaches: the key buttons (D1-D6 and
// the spare key among them) and Fn. The G keys keep opening the key editor.
bool isPaintableKey(int id) { return (id >= IDC_MAIN_KEY_03B && id <= IDC_MAIN_KEY_052) || id == kFnControlId; }

// A picture's second click in quick succession comes as a double-click: it
// is a click all the same.
bool isPictureClick(WORD code) { return code == STN_CLICKED || code == STN_DBLCLK; }

int languageOf(const std::wstring& languageFile) {
  return languageValue(u16(ReadProfileText(languageFile, L"LANGUAGE", L"language")));
}

}  // namespace

// ---- the settings file ----------------------------------------------------------------

std::u16string CIniSettingsFile::ReadString(std::u16string_view section, std::u16string_view key,
                                            std::u16string_view fallback) {
  if (path_.empty()) return std::u16string(fallback);
  return u16(ReadProfileText(path_, wide(section), wide(key), wide(fallback)));
}

bool CIniSettingsFile::WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
  if (path_.empty()) return false;
  // The file's folder may not exist yet on a first run.
  std::wstring folder = path_.substr(0, path_.find_last_of(L'\\'));
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    ReportWin32Failure(L"CreateDirectoryW(settings folder)");
  if (WritePrivateProfileStringW(wide(section).c_str(), wide(key).c_str(), wide(value).c_str(), path_.c_str()))
    return true;
  ReportWin32Failure(L"WritePrivateProfileStringW(settings file)");
  return false;
}

// ---- building ---------------------------------------------------------------------------

CLightingPanel::CLightingPanel(WindowContext context)
    : CWindowPart(std::move(context)), model_(static_cast<LightingView&>(*this), settings_) {}

void CLightingPanel::Build(const std::wstring& settingsFile, CWindowPart& keyboard) {
  settings_.SetPath(settingsFile);
  keyboard_ = &keyboard;
  PlaceButtons();
  PlacePanel();
  SetLabels();
}

void CLightingPanel::PlaceButtons() {
  for (size_t i = 0; i < std::size(kReportRateButtons); ++i) {
    const ids::SkinControl& b = kReportRateButtons[i];
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown, kSurfaceNormal, kSurfaceSet)
        .setAccessibleName(wide(formatText(text(TextId::ACCESS_REPORT_RATE), {kReportRateHz[i]})));
  }
  for (const ids::SkinControl& b : kIndicators) {
    PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceNormal, kSurfaceOver, kSurfaceNormal, kSurfaceOver);
    (void)EnableWindow(item(b.id), FALSE);  // indicators only show; answers the previous state
  }
  // The G keys lie over the bank indicator: drawn after it, they stay on top.
  if (CPngButton* ab = Button(LOCK_AB.id))
    ab->setDrawCallback([this](HWND, bool) {
      if (!keyboard_) return;
      for (uint16_t g : kGKeyControlIds)
        if (CPngButton* b = keyboard_->Button(g)) b->redraw();
    });
}

void CLightingPanel::PlacePanel() {
  for (const ids::SkinControl& c : kPanelControls) {
    HWND h = item(c.id);
    if (!h) continue;
    PlaceControl(h, context_.skinFile, L"BUTTONINFO", c.key);
    bool shown = std::find(kNotPanelHidden.begin(), kNotPanelHidden.end(), c.id) != kNotPanelHidden.end();
    ShowWindow(h, shown ? SW_SHOWNA : SW_HIDE);
  }
  ShowLamp(ReadDengCheck(settings_.path()));
  for (size_t i = 0; i < std::size(kColourButtons); ++i)
    if (!colourButtons_[i].SubclassDlgItem(kColourButtons[i].first, window()))
      LogLine(L"a colour button of the lighting panel is missing");
  // Both level controls start at 0 with the picture of 0.
  for (CBitmapSlider* s : {&brightness_, &speed_}) {
    if (!s->SubclassDlgItem(s == &brightness_ ? CONTROL_LightSlider.id : CONTROL_SpeedSlider.id, window())) continue;
    s->setRange(0, 4);
    s->setPosition(0);
    s->setPicture(static_cast<HBITMAP>(
        LoadImageW(nullptr, (context_.skinsFolder + L"0.bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  }
  for (int i = 0; i < 10; ++i)
    busyFrames_[i].reset(static_cast<HBITMAP>(LoadImageW(
        nullptr, (context_.skinsFolder + L"jdt" + std::to_wstring(i + 1) + L".bmp").c_str(), IMAGE_BITMAP, 0, 0,
        LR_LOADFROMFILE)));
  if (busyFrames_[0])
    (void)SendMessageW(item(CONTROL_JDTStatic.id), STM_SETIMAGE, IMAGE_BITMAP,
                       reinterpret_cast<LPARAM>(busyFrames_[0].get()));
  ShowWindow(item(CONTROL_JDTStatic.id), SW_HIDE);
  if (HWND hint = item(CONTROL_PaintHint.id)) {
    PlaceControl(hint, context_.skinFile, L"BUTTONINFO", CONTROL_PaintHint.key);
    ShowWindow(hint, SW_HIDE);  // shown by the visibility of an open panel
  }
}

void CLightingPanel::SetLabels() {
  int language = languageOf(context_.languageFile);
  // The hint names the per-key effect as the effect list does.
  const wchar_t* modes = language == 0 ? L"Mode" : language == 1 ? L"Mode1" : nullptr;
  std::wstring perKey = modes ? ReadProfileText(context_.skinFile, modes, std::to_wstring(kEffectPerKey)) : L"";
  std::u16string hint = formatText(u16(ReadLanguageText(context_.languageFile, added_text::kPaintHint)),
                                   {std::u16string_view(u16(perKey))});
  (void)SetDlgItemTextW(window(), CONTROL_PaintHint.id, wide(hint).c_str());  // the hint is in the template
  if (language != 0 && language != 1) return;  // other languages keep the labels as they are
  const wchar_t* section = language == 1 ? L"Control_Name1" : L"Control_Name";
  // The labels are in the template: setting their texts cannot fail.
  for (auto [key, id] : kLabels)
    (void)SetDlgItemTextW(window(), id, ReadProfileText(context_.skinFile, section, key).c_str());
}

void CLightingPanel::FillUserModes() {
  HWND modes = item(CONTROL_umCombo.id);
  if (!modes) return;
  for (int i = 1; i <= kUserModeCount; ++i)
    (void)SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>((L"USER_MODE" + std::to_wstring(i)).c_str()));
}

// ---- pictures ---------------------------------------------------------------------------

HBITMAP CLightingPanel::Picture(const std::wstring& file) {
  auto it = pictures_.find(file);
  if (it == pictures_.end()) {
    UniqueBitmap bm(static_cast<HBITMAP>(
        LoadImageW(nullptr, (context_.skinsFolder + file).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    it = pictures_.emplace(file, std::move(bm)).first;
  }
  return it->second.get();
}

void CLightingPanel::SetPicture(int id, const std::wstring& file) {
  HBITMAP bm = Picture(file);
  HWND h = item(id);
  if (!bm || !h) return;
  // The picture replaced is one of pictures_, which keeps owning it.
  (void)SendMessageW(h, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bm));
}

void CLightingPanel::ShowLamp(bool open) { SetPicture(CONTROL_DengStaPic.id, open ? kLampOpen : kLampClosed); }

void CLightingPanel::ShowTools(int tool) {
  SetPicture(CONTROL_USERgjStaPic1.id, tool == 0 ? L"user1down.bmp" : L"user1up.bmp");
  SetPicture(CONTROL_USERgjStaPic2.id, tool == 1 ? L"user2down.bmp" : L"user2up.bmp");
}

void CLightingPanel::ShowFillClear(int selected) {
  SetPicture(CONTROL_FYSJSStaPic.id, selected == 0 ? kChosen : kNotChosen);
  SetPicture(CONTROL_HXsjsStaPic.id, selected == 1 ? kChosen : kNotChosen);
}

void CLightingPanel::ShowLevels() {
  const LightingState& s = model_.state();
  int b = brightnessPositionOf(s.brightness), p = speedPositionOf(s.speed);
  brightness_.setPosition(b);
  brightness_.setPicture(static_cast<HBITMAP>(LoadImageW(
      nullptr, (context_.skinsFolder + std::to_wstring(b) + L".bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
  speed_.setPosition(p);
  speed_.setPicture(static_cast<HBITMAP>(LoadImageW(
      nullptr, (context_.skinsFolder + std::to_wstring(5 + p) + L".bmp").c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
}

// The field controls show the model: the colours, the preset colour, the
// random-colour, trigger and direction choices, and the direction controls
// at the skin keys of the effect.
void CLightingPanel::ShowHiddenControls() {
  const LightingState& s = model_.state();
  for (size_t i = 0; i < std::size(kColourButtons); ++i)
    colourButtons_[i].setColour(static_cast<COLORREF>(fieldValue(s, kColourButtons[i].second)));
  for (auto [id, field] : kRandomPictures) SetPicture(id, fieldValue(s, field) ? kChosen : kNotChosen);
  const bool spread = s.effect == kEffectSpreadGather;
  const std::wstring left = spread ? L"fxspread" : L"fxleft", right = spread ? L"fxgather" : L"fxright";
  SetPicture(CONTROL_BLFXLStaPic.id, left + (s.direction == 1 ? L"ok.bmp" : L".bmp"));
  SetPicture(CONTROL_BLFXRStaPic.id, right + (s.direction == 0 ? L"ok.bmp" : L".bmp"));
  for (size_t i = 0; i < std::size(kPresetPictures); ++i) {
    auto [id, name] = kPresetPictures[i];
    SetPicture(id, std::wstring(name) + (s.presetColour == i ? L"ok.bmp" : L".bmp"));
  }
  SetPicture(CONTROL_FYdjcfStaPic.id, s.triggerType == 0 ? kChosen : kNotChosen);
  SetPicture(CONTROL_FYggcfStaPic.id, s.triggerType == 1 ? kChosen : kNotChosen);
  int variant = directionPlacementVariant(s.effect);
  if (variant == directionVariant_) return;
  directionVariant_ = variant;
  // Hidden while they move, so that their old place is drawn again, and
  // shown again at the new one when they were on the screen.
  for (const ids::SkinControl& c : kDirectionControls)
    if (HWND h = item(c.id)) {
      const bool visible = IsWindowVisible(h) != FALSE;
      ShowWindow(h, SW_HIDE);
      PlaceControl(h, context_.skinFile, L"BUTTONINFO",
                   std::wstring(c.key) + (variant ? std::to_wstring(variant) : std::wstring()));
      if (visible) ShowWindow(h, SW_SHOWNA);
    }
}

// ---- visibility ---------------------------------------------------------------------------

void CLightingPanel::ShowControls(const LightingVisibility& visible, int effect) {
  auto show = [&](int id, bool on) {
    if (HWND h = item(id)) ShowWindow(h, on ? SW_SHOWNA : SW_HIDE);
  };
  for (const ids::SkinControl& c : kPanelControls) {
    if (std::find(kNotPanelHidden.begin(), kNotPanelHidden.end(), c.id) != kNotPanelHidden.end()) continue;
    bool on = false;
    if (c.id == CONTROL_XGcombox.id) on = visible.effectList;
    else if (std::ranges::find(kBrightnessControls, c.id) != kBrightnessControls.end()) on = visible.brightness;
    else if (std::ranges::find(kSpeedControls, c.id) != kSpeedControls.end()) on = visible.speed;
    else if (std::ranges::find(kPerKeyControls, c.id) != kPerKeyControls.end()) on = visible.perKey;
    else if (const FieldControl* f = fieldControlOf(c.id))
      on = (visible.fields & fieldBit(f->field)) != 0 && (f->effect == 0 || f->effect == effect);
    show(c.id, on);
  }
  // With the panel open a key click paints, and only the per-key effect
  // paints: with any other one the click does nothing, so the panel says why.
  show(CONTROL_PaintHint.id, panelOpen() && !visible.perKey);
}

void CLightingPanel::HidePanelControls() { ShowControls(LightingVisibility{false, false, false, false, 0}, 0); }

int CLightingPanel::SelectedEffect() const {
  LRESULT i = SendMessageW(item(CONTROL_XGcombox.id), CB_GETCURSEL, 0, 0);
  return i == CB_ERR ? 0 : model_.EffectOfComboIndex(static_cast<int>(i));
}

bool CLightingPanel::PaintingKeys() const { return panelOpen() && SelectedEffect() == kEffectPerKey; }

// ---- loading and refreshing ----------------------------------------------------------------

void CLightingPanel::Reload() {
  // A failed read leaves an empty effect list and the rest as it was; the
  // refresh shows that.
  (void)model_.LoadLighting();
  Refresh();
}

void CLightingPanel::Reload(const LightingRead& read) {
  (void)model_.TakeLighting(read);  // as above
  Refresh();
}

void CLightingPanel::OnProfileSelected(int profile) {
  if (!model_.SelectProfile(profile)) return;
  Reload();
  if (panelOpen()) ClosePanel();
}

void CLightingPanel::HoldReportRate(bool hold) {
  reportRateHeld_ = hold;
  if (!hold) ShowReportRate(model_.state().reportRate);
}

int CLightingPanel::ResetIfOpen() { return panelOpen() ? model_.ResetLighting() : kResultSuccess; }

void CLightingPanel::FillEffectList() {
  HWND list = item(CONTROL_XGcombox.id);
  if (!list) return;
  (void)SendMessageW(list, CB_RESETCONTENT, 0, 0);
  int language = languageOf(context_.languageFile);
  const wchar_t* section = language == 0 ? L"Mode" : language == 1 ? L"Mode1" : nullptr;
  for (const EffectComboEntry& e : model_.effectCombo()) {
    std::wstring name = section ? ReadProfileText(context_.skinFile, section, std::to_wstring(e.code), L"1") : L"";
    (void)SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
}

void CLightingPanel::Refresh() {
  const LightingState& s = model_.state();
  FillEffectList();
  if (!reportRateHeld_) ShowReportRate(s.reportRate);
  ShowLevels();
  ShowLamp(s.panelOpen);
  if (s.panelOpen) RemoveKeyOverlays();
  ShowTools(s.paintTool);
  ShowFillClear(-1);
  ShowHiddenControls();
  (void)SendMessageW(item(CONTROL_XGcombox.id), CB_SETCURSEL,
                     static_cast<WPARAM>(model_.ComboIndexOfEffect(s.effect)), 0);
  if (s.panelOpen) {
    ShowControls(lightingVisibility(s.effect, VisibilityContext::Refresh), s.effect);
    model_.ShowEffectPreview(s.effect);
  } else {
    HidePanelControls();
  }
  (void)SendMessageW(item(CONTROL_umCombo.id), CB_SETCURSEL, s.userMode, 0);
}

// ---- the user's actions ------------------------------------------------------------------------

bool CLightingPanel::OnCommand(WORD id, WORD code) {
  if (int rate = reportRateOfButton(id); rate >= 0) {
    if (code == BN_CLICKED)
      Recorded(StepKind::kReportRate, 0, [&] { (void)model_.SetReportRate(rate); });  // a failed write is not reported
    return true;
  }
  switch (id) {
    case CONTROL_XGcombox.id:
      if (code == CBN_SELCHANGE) OnEffectChanged();
      return true;
    case CONTROL_umCombo.id:
      if (code == CBN_SELCHANGE) OnUserModeChanged();
      return true;
    case CONTROL_DengStaPic.id:
      if (isPictureClick(code)) OnLampClicked();
      return true;
    case CONTROL_FYSJSStaPic.id:
    case CONTROL_HXsjsStaPic.id:
      if (!isPictureClick(code)) return true;
      ShowFillClear(id == CONTROL_FYSJSStaPic.id ? 0 : 1);
      Recorded(StepKind::kLighting, 0, [&] {
        (void)(id == CONTROL_FYSJSStaPic.id ? model_.FillPattern() : model_.ClearPattern());  // not reported
      });
      return true;
    case CONTROL_BLFXLStaPic.id:
    case CONTROL_BLFXRStaPic.id:
      if (isPictureClick(code)) OnFieldChosen(F::Direction, id == CONTROL_BLFXLStaPic.id ? 1 : 0);
      return true;
    case CONTROL_HONGPIC.id:
    case CONTROL_HUANGPIC.id:
    case CONTROL_LVPIC.id:
    case CONTROL_LANPIC.id:
      if (isPictureClick(code)) OnFieldChosen(F::PresetColour, static_cast<uint32_t>(id - CONTROL_HONGPIC.id));
      return true;
    case CONTROL_FYdjcfStaPic.id:
    case CONTROL_FYggcfStaPic.id:
      if (isPictureClick(code)) OnFieldChosen(F::TriggerType, id == CONTROL_FYggcfStaPic.id ? 1 : 0);
      return true;
    case CONTROL_USERgjStaPic1.id:
    case CONTROL_USERgjStaPic2.id: {
      if (!isPictureClick(code)) return true;
      int tool = id == CONTROL_USERgjStaPic1.id ? 0 : 1;
      ShowTools(tool);
      (void)model_.SetPaintTool(tool);  // not reported
      return true;
    }
    default:
      break;
  }
  for (auto [picture, field] : kRandomPictures)
    if (id == picture) {
      if (isPictureClick(code)) OnFieldChosen(field, fieldValue(model_.state(), field) ? 0 : 1);
      return true;
    }
  for (size_t i = 0; i < std::size(kColourButtons); ++i)
    if (id == kColourButtons[i].first) {
      if (code == BN_CLICKED) OnColourClicked(kColourButtons[i].second, colourButtons_[i].colour());
      return true;
    }
  return false;
}

void CLightingPanel::OnFieldChosen(LightingField field, uint32_t value) {
  // Refused (nothing written) when the effect no longer uses the field: the
  // keyboard may have changed it meanwhile.
  (void)model_.SetField(field, value);  // a failed write is not reported
  ShowHiddenControls();
  if (field == F::MainColour || field == F::MainRandom) model_.ShowEffectPreview(SelectedEffect());
}

void CLightingPanel::OnColourClicked(LightingField field, COLORREF current) {
  COLORREF chosen = current;
  if (!PickColour(chosen)) return;
  // While the dialog ran the panel may have closed (another profile chosen):
  // what it shows now is not what the colour was chosen for.
  if (!panelOpen()) return;
  OnFieldChosen(field, chosen & 0x00FFFFFF);
}

bool CLightingPanel::PickColour(COLORREF& colour) {
  const CustomColours kept = readCustomColours(settings_);
  std::array<COLORREF, kCustomColourCount> custom{};
  std::copy(kept.begin(), kept.end(), custom.begin());
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = window();
  cc.rgbResult = colour;
  cc.lpCustColors = custom.data();
  // Fully open: the red, green and blue boxes show at once.
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  const bool chosen = ChooseColorW(&cc) != FALSE;
  if (!chosen) {
    if (DWORD error = CommDlgExtendedError()) LogFailure(L"ChooseColorW", error);
  }
  // Custom colours added are kept even when the dialog was cancelled.
  CustomColours after{};
  std::copy(custom.begin(), custom.end(), after.begin());
  if (after != kept) writeCustomColours(settings_, after);
  if (chosen) colour = cc.rgbResult;
  return chosen;
}

void CLightingPanel::OnEffectChanged() {
  RemoveKeyOverlays();
  int effect = SelectedEffect();
  if (isRecognisedEffect(effect))
    Recorded(StepKind::kLighting, 0, [&] { (void)model_.SetEffect(effect); });  // a failed write is not reported
  ShowControls(lightingVisibility(effect, VisibilityContext::Choice), effect);
  ShowHiddenControls();  // the direction's places and pictures depend on the effect
  model_.ShowEffectPreview(effect);
}

void CLightingPanel::ClosePanel() {
  model_.SetLightingPanelOpen(false);
  ShowLamp(false);
  RemoveKeyOverlays();
  HidePanelControls();
}

void CLightingPanel::OnLampClicked() {
  if (panelOpen()) {
    ClosePanel();
    return;
  }
  model_.SetLightingPanelOpen(true);
  ShowLamp(true);
  RemoveKeyOverlays();
  // The effect selected is the keyboard's or one the user chose: either way
  // the list shows, so that another can be chosen (a code the program does
  // not know, which only the keyboard can report, hides it).
  int effect = SelectedEffect();
  ShowControls(lightingVisibility(effect, VisibilityContext::Refresh), effect);
  model_.ShowEffectPreview(effect);
}

void CLightingPanel::OnUserModeChanged() {
  LRESULT m = SendMessageW(item(CONTROL_umCombo.id), CB_GETCURSEL, 0, 0);
  if (m >= 0 && m < kUserModeCount) (void)model_.SetUserMode(static_cast<int>(m));  // not reported
  model_.ShowUserPattern();
}

void CLightingPanel::OnLevelChanged(int id, int position) {
  if (position < 0 || position > 4) return;  // the controls' range is 0-4
  auto picture = [&](int n) {
    return static_cast<HBITMAP>(LoadImageW(nullptr, (context_.skinsFolder + std::to_wstring(n) + L".bmp").c_str(),
                                           IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  };
  // The picture follows the control even when nothing needs writing.
  if (id == CONTROL_LightSlider.id) {
    brightness_.setPicture(picture(position));
    Recorded(StepKind::kLighting, 0, [&] { (void)model_.SetBrightness(position); });
  } else if (id == CONTROL_SpeedSlider.id) {
    speed_.setPicture(picture(5 + position));
    Recorded(StepKind::kLighting, 0, [&] { (void)model_.SetSpeed(position); });
  }
}

bool CLightingPanel::OnKeyPaintClick(int id) {
  if (!panelOpen()) return false;
  // The click that ends a stroke on the key it started on: the stroke has
  // painted that key already.
  if (strokeClickPending_ && id == strokeStart_) {
    strokeClickPending_ = false;
    return true;
  }
  if (PaintingKeys())  // a failed write is not reported
    Recorded(StepKind::kLighting, 0, [&] { (void)model_.PaintKey(static_cast<uint16_t>(id)); });
  return true;
}

void CLightingPanel::PaintStrokeKey(int id) {
  if (!strokeKeys_.insert(id).second) return;  // each key once per stroke
  Recorded(StepKind::kLighting, strokeId_, [&] { (void)model_.PaintKey(static_cast<uint16_t>(id)); });
}

void CLightingPanel::Recorded(StepKind kind, uint32_t stroke, const std::function<void()>& change) {
  std::vector<LightingWrite> writes;
  if (recorder_) model_.SetWriteObserver([&writes](LightingWrite w) { writes.push_back(std::move(w)); });
  change();
  model_.SetWriteObserver({});
  if (writes.empty() || !recorder_) return;
  EditStep step;
  step.kind = kind;
  step.stroke = stroke;
  step.writes = std::move(writes);
  step.writtenProfile = model_.selectedProfile();
  recorder_(std::move(step));
}

int CLightingPanel::WriteBack(const EditStep& step, bool undo) {
  if (step.writtenProfile != model_.selectedProfile()) return kResultBadProfile;
  const int result = model_.WriteBack(step.writes, undo);
  Refresh();
  return result;
}

bool CLightingPanel::PreTranslate(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN: {
      strokeClickPending_ = false;
      HWND list = item(CONTROL_XGcombox.id);
      bool arrow = msg.wParam == VK_UP || msg.wParam == VK_DOWN || msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT;
      // The effect changes only by mouse: each change is a write.
      return arrow && list && (msg.hwnd == list || IsChild(list, msg.hwnd));
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      strokeClickPending_ = false;
      stroking_ = false;
      int id = GetDlgCtrlID(msg.hwnd);
      if (GetParent(msg.hwnd) != window() || !isPaintableKey(id) || !PaintingKeys()) return false;
      stroking_ = true;
      strokeStart_ = id;
      ++strokeId_;
      if (strokeId_ == 0) strokeId_ = 1;
      strokeKeys_.clear();
      PaintStrokeKey(id);
      return false;  // the button still shows itself pressed
    }
    case WM_MOUSEMOVE: {
      if (!stroking_) return false;
      if (!(msg.wParam & MK_LBUTTON)) {
        stroking_ = false;
        return false;
      }
      POINT p = msg.pt;
      if (!ScreenToClient(window(), &p)) return false;
      HWND under = ChildWindowFromPointEx(window(), p, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
      if (!under || under == window()) return false;
      if (int id = GetDlgCtrlID(under); isPaintableKey(id) && PaintingKeys()) PaintStrokeKey(id);
      return false;
    }
    case WM_LBUTTONUP:
      if (stroking_) {
        stroking_ = false;
        strokeClickPending_ = true;  // the start key's click follows when released over it
      }
      return false;
    default:
      return false;
  }
}

// ---- the lighting view ------------------------------------------------------------------------

void CLightingPanel::SetKeyOverlay(uint16_t controlId, Colour colour, uint8_t opacity) {
  if (!keyboard_) return;
  if (CPngButton* b = keyboard_->Button(controlId)) b->setFrame(static_cast<COLORREF>(colour), opacity, true);
}

void CLightingPanel::SetKeyTint(uint16_t controlId, Colour colour, uint8_t opacity) {
  if (!keyboard_) return;
  if (CPngButton* b = keyboard_->Button(controlId)) b->setTint(static_cast<COLORREF>(colour), opacity, true);
}

void CLightingPanel::RemoveKeyOverlays() {
  if (!keyboard_) return;
  auto remove = [&](uint16_t id) {
    CPngButton* b = keyboard_->Button(id);
    if (b && b->frameOn()) b->setFrame(b->frameColour(), b->frameLevel(), false);
    if (b && b->tintOn()) b->setTint(0, 0, false);
  };
  for (const KeyButton& k : KeyButtonTable) remove(k.controlId);
  for (uint16_t g : kGKeyControlIds) remove(g);
  remove(kFnControlId);
}

void CLightingPanel::ShowReportRate(int index) {
  for (int i = 0; i < kReportRateCount; ++i)
    if (CPngButton* b = Button(kReportRateButtonIds[static_cast<size_t>(i)])) {
      b->setSetState(i == index, true);
      b->setAccessibleSelected(i == index);
    }
}

void CLightingPanel::ShowLightingReset() {
  const LightingState& s = model_.state();
  (void)SendMessageW(item(CONTROL_XGcombox.id), CB_SETCURSEL,
                     static_cast<WPARAM>(model_.ComboIndexOfEffect(kEffectAfterReset)), 0);
  ShowLamp(true);
  ShowControls(lightingVisibility(kEffectAfterReset, VisibilityContext::Choice), kEffectAfterReset);
  ShowLevels();
  ShowTools(s.paintTool);
  ShowHiddenControls();
  (void)SendMessageW(item(CONTROL_umCombo.id), CB_SETCURSEL, s.userMode, 0);
}

// ---- busy animation and bank -------------------------------------------------------------------

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

}  // namespace kv
