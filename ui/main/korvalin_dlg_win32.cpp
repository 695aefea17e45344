#include "ui/main/korvalin_dlg_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <mutex>

#include "app/settings_win32.h"
#include "app/single_instance_win32.h"
#include "app/startup_marks_win32.h"
#include "base/exit_codes.h"
#include "base/help_page_win32.h"
#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/text_table_win32.h"
#include "base/wide_win32.h"
#include "device/protocol.h"
#include "device/transport_win32.h"
#include "resources/control_ids.h"
#include "resources/window_messages.h"
#include "skin/placement_win32.h"
#include "ui/main/command_routes.h"
#include "widgets/message_box_win32.h"

namespace kv {
namespace {

using namespace ids::main_dlg;

// The window's timers.
constexpr UINT_PTR kTimerBusy = 1050;      // the busy animation's next frame
constexpr UINT_PTR kTimerLighting = 1051;  // WindowTask::kReloadLighting
constexpr UINT_PTR kTimerReload = 1052;    // WindowTask::kReload
constexpr UINT kBusyFramePeriodMs = 50;

constexpr wchar_t kDefaultWebLink[] = L"https://korvalin.example/";

// The frame's own skinned buttons; their captions or tooltips are set below.
constexpr ids::SkinControl kFrameButtons[] = {VELTRA_LINK,    CONTROL_OK,       CONTROL_CANCEL, CONTROL_HELP,
                                              CONTROL_CLOSE,  CONTROL_MINIMIZE, CONTROL2_APPLY, VELTRA_VER};

// The controls named by the profile texts of the language file, in the order
// of kProfileTextKeys.
constexpr int kProfileTextControls[] = {FUNC_PROFILE1.id, FUNC_PROFILE2.id, FUNC_PROFILE3.id, FUNC_MACRO.id,
                                        FUNC_DEFAULT.id,  CONTROL_OK.id,    CONTROL_CANCEL.id, CONTROL2_APPLY.id};
static_assert(std::size(kProfileTextControls) == std::size(kProfileTextKeys));

constexpr std::array<const wchar_t*, 12> kSkinImages = {
    L"main_normal.jpg", L"main_over.jpg",   L"main_down.jpg",   L"main_disable.jpg",
    L"main_normal.jpg", L"main_over.jpg",   L"main_down.jpg",   L"main_disable.jpg",
    L"Arrow.jpg",       L"main_color0.jpg", L"main_color1.jpg", L"main_dim.jpg"};
static_assert(kSkinImages.size() == std::tuple_size_v<MainSurfaces>);

// The surfaces the window's first look draws from: normal, hover, pressed,
// set, the arrows and the dimmed Apply (nothing waits at start-up). The rest
// (the same four pictures again, the two colour pictures) nothing draws at
// start-up; they are made once the window was first shown.
constexpr std::array<size_t, 6> kFirstLookSurfaces = {kSurfaceNormal, kSurfaceOver, kSurfaceDown,
                                                       kSurfaceSet,    kSurfaceArrow, kSurfaceDim};
bool isFirstLookSurface(size_t i) {
  return std::find(kFirstLookSurfaces.begin(), kFirstLookSurfaces.end(), i) != kFirstLookSurfaces.end();
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
    : CBaseDialog(IDD_MAIN, nullptr, paths.mainSkinFile, paths.skinsFolder),
      config_(config),
      snapshot_(snapshot),
      paths_(paths),
      trayIconId_(IDI_NO_KEYBOARD) {
  // The controls are made once the keyboard's first reads have started.
  DeferTemplateControls();
  // It lives in the notification area: shown only when the keyboard's
  // first presence or the user asks. Shown and hidden at once, it would
  // flash and take the focus from the user's program at every start.
  StartHidden();
  icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_NO_KEYBOARD), IMAGE_ICON, 0,
                                        0, LR_DEFAULTSIZE | LR_SHARED));
  // The small image of the same icon, for the tray and the small window
  // icon: the large one shrunk there looks blurred.
  smallIcon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_NO_KEYBOARD), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (!smallIcon_) smallIcon_ = icon_;
  InstanceCheck check = CheckSingleInstance(args, paths_.programFileName);
  if (!check.continueRunning) ExitProcess(0);  // handed over to the running instance
  mutex_ = std::move(check.mutex);
  suppressFirstShow_ = check.suppressFirstShow;
  StartPictureDecoding();
  LaunchCompanion(paths_.companion);
  unsaved_ = false;
}

CKorvalinDlg::~CKorvalinDlg() {
  InstallDeviceEvents(nullptr);
  if (!shutDown_) Shutdown();
}

// ---- DeviceUi ---------------------------------------------------------------

void CKorvalinDlg::RequestReload() {
  // At start-up the keyboard is read here, beside the building of the
  // window, in the order the reload reads it; the window then takes the
  // reads in. A later arrival reloads on the window's thread as before.
  if (!windowBuilt_ && store_) {
    std::unique_ptr<ReloadReads> reads = ReadForReload();
    StartupMark(L"keyboard read");
    std::lock_guard lock(readAheadLock_);
    readAhead_ = std::move(reads);
  }
  WaitUntilBuilt();
  if (HWND h = hwnd()) (void)SendMessageW(h, kMsgReload, kTagProf, 0);  // the handler answers 0
}

void CKorvalinDlg::WaitUntilBuilt() const {
  // The presence worker starts while the window is still being built: its
  // reload and its messages wait for the whole window. The window's own
  // thread never waits (it is the one building).
  HWND h = hwnd();
  if (windowBuilt_ || !h || GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) return;
  while (!windowBuilt_ && IsWindow(h)) Sleep(1);
}
// A failed post (the window is going) loses nothing the window still needs.
void CKorvalinDlg::PostShow() {
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgShow, kTagOpen, 0);
}
void CKorvalinDlg::HideWindow() {
  // The editor goes with the window, as its Cancel would: left floating, it
  // would edit a keyboard that is not there.
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgKeyboardGone, 0, 0);
}
void CKorvalinDlg::ShowGBank(bool bankB) {
  HWND h = hwnd();
  if (!h) return;
  // Not waited for: the keyboard's event thread must never block on the
  // window, which may itself be waiting for that thread's next answer.
  (void)SendNotifyMessageW(h, kMsgGBank, kTagLedMessage, 0);
  (void)PostMessageW(h, kMsgBankLook, bankB ? 1 : 0, 0);
}
// A task runs from a timer of no delay: a window's timers can only be set by
// its own thread, and setting a timer again before it fired fires it once.
void CKorvalinDlg::ScheduleTask(WindowTask task) {
  UINT_PTR timer = task == WindowTask::kReload ? kTimerReload : kTimerLighting;
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgSetTimer, timer, 0);
}
void CKorvalinDlg::SetTrayIcon(TrayIcon icon) {
  int resourceId = icon == TrayIcon::kKeyboard ? IDI_KEYBOARD : icon == TrayIcon::kBusy ? IDI_BUSY : IDI_NO_KEYBOARD;
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgTrayIcon, static_cast<WPARAM>(resourceId), 0);
}
namespace {

// A box over the hidden window (it lives in the notification area) comes
// from a worker or another start, while the user works in another program:
// it must come to the front and stay above that program, having no visible
// owner to keep it there.
UINT boxStyleOver(HWND owner) { return owner && IsWindowVisible(owner) ? 0u : MB_SETFOREGROUND | MB_TOPMOST; }

}  // namespace

void CKorvalinDlg::ShowMessage(std::u16string_view text) {
  WaitUntilBuilt();
  std::wstring t = wide(text);
  (void)ShowMessageBox(hwnd(), t.c_str(), L"", MB_OK | boxStyleOver(hwnd()));  // OK is the only answer
}
void CKorvalinDlg::ShowStatus(std::u16string_view text, unsigned durationMs) {
  {
    std::lock_guard lock(statusLock_);
    pendingStatus_ = std::u16string(text);
    pendingStatusMs_ = durationMs;
  }
  // A failed post (the window is going) loses a text nobody would read.
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgStatus, 0, 0);
}

int CKorvalinDlg::Ask(const std::wstring& question, std::span<const TASKDIALOG_BUTTON> buttons) {
  // Our own button texts: a plain message box could only say OK, Yes or No.
  // Cancel is always there and the default, so Enter changes nothing. Not a
  // task dialog: that draws in the system's message font, which under Wine
  // has no Chinese glyphs.
  std::vector<MessageBoxButton> choices;
  for (const TASKDIALOG_BUTTON& b : buttons) choices.push_back({b.nButtonID, b.pszButtonText});
  choices.push_back({IDCANCEL, wide(text(TextId::BOX_CANCEL))});
  HWND owner = IsWindowVisible(hwnd()) ? hwnd() : nullptr;
  return AskWithButtons(owner, question, wide(text(TextId::MAIN_CAPTION)), MB_ICONWARNING | boxStyleOver(owner),
                        std::move(choices), IDCANCEL);
}

bool CKorvalinDlg::ConfirmOverwriteUnread() {
  std::wstring anyway = wide(text(TextId::WRITE_UNREAD_ANYWAY));
  const TASKDIALOG_BUTTON buttons[] = {{IDOK, anyway.c_str()}};
  return Ask(wide(text(TextId::WRITE_UNREAD_QUESTION)), buttons) == IDOK;
}

CKorvalinDlg::EditsChoice CKorvalinDlg::AskAboutEdits() {
  std::wstring apply = wide(text(TextId::EDITS_APPLY)), discard = wide(text(TextId::EDITS_DISCARD));
  const TASKDIALOG_BUTTON buttons[] = {{IDYES, apply.c_str()}, {IDNO, discard.c_str()}};
  switch (Ask(wide(text(TextId::EDITS_WAITING_QUESTION)), buttons)) {
    case IDYES:
      return EditsChoice::kApply;
    case IDNO:
      return EditsChoice::kDiscard;
    default:
      return EditsChoice::kKeep;
  }
}

bool CKorvalinDlg::MayDropEdits() {
  if (!unsaved_) return true;
  switch (AskAboutEdits()) {
    case EditsChoice::kApply:
      return ApplyNow().ok();  // a failed write keeps the edits and the window
    case EditsChoice::kDiscard:
      return true;
    case EditsChoice::kKeep:
      break;
  }
  return false;
}

void CKorvalinDlg::SetApplyEnabled(bool enabled) {
  unsaved_ = enabled;
  if (HWND apply = item(CONTROL2_APPLY.id)) (void)EnableWindow(apply, enabled ? TRUE : FALSE);  // was-disabled flag
  // The history, the tooltip and Apply's accessible name are the window
  // thread's; the caller may hold the WorkingConfig lock, which the tooltip
  // takes.
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgWaitingChanged, enabled ? 0 : 1, 0);  // fails only when it goes
}

void CKorvalinDlg::ShowApplyName() {
  CPngButton* apply = ButtonOf(CONTROL2_APPLY.id);
  if (!apply) return;
  wchar_t caption[260] = {};
  (void)GetWindowTextW(apply->hwnd(), caption, 260);  // an empty caption reads as ""
  const std::u16string base = u16(caption);
  const int waiting = applyWaiting_;
  std::u16string name = base;
  if (waiting == 1) name = formatText(text(TextId::ACCESS_CHANGE_WAITING), {std::u16string_view(base)});
  if (waiting > 1) name = formatText(text(TextId::ACCESS_CHANGES_WAITING), {std::u16string_view(base), waiting});
  apply->setAccessibleName(wide(name));
}

void CKorvalinDlg::ShowProgress(bool visible) {
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgProgress, visible ? 1 : 0, 0);
}

void CKorvalinDlg::RefreshKeyButtons() {
  // Runs with the WorkingConfig lock held by the caller.
  StartupMark(L"key summaries");
  if (keyboard_) keyboard_->RefreshKeyButtons();
  StartupMark(L"key summaries done");
  // The status line follows on the window's thread (this may be another).
  if (HWND h = hwnd()) (void)PostMessageW(h, kMsgStatus, 0, 0);  // a window going has no status to show
}

void CKorvalinDlg::ShowWhetherDefaults() {
  if (!status_) return;
  bool unread = false;
  if (config_.lock.heldByThisThread()) {
    unread = config_.sources.anyUnread();
  } else {
    std::lock_guard lock(config_.lock);
    unread = config_.sources.anyUnread();
  }
  status_->SetStanding(unread ? wide(text(TextId::SHOWING_DEFAULTS)) : std::wstring());
}

// ---- initialisation -------------------------------------------------------------

BOOL CKorvalinDlg::OnInitDialog() {
  windowThread_ = GetCurrentThreadId();
  StartupMark(L"window");
  (void)CBaseDialog::OnInitDialog();  // this dialog sets no focus of its own either way
  StartupMark(L"skin background");
  AddAboutToSystemMenu();
  SetWindowIcons();
  StartDeviceLink();  // ends the process when the transport library is unusable
  StartupMark(L"transport");
  RequireLayeredWindows();
  BuildDefaultConfiguration();
  StartupMark(L"default configuration");
  // The keyboard is read beside the rest of the building, the making of the
  // controls included; its first reads must not change the key template the
  // defaults above were built from.
  events_->StartPresenceWorker(deviceCount_);
  // A control that could not be made is reported where it failed; the
  // window goes on without it.
  (void)CreateTemplateControls();
  StartupMark(L"controls created");
  LoadSkinSurfaces(true);
  StartupMark(L"skin pictures");
  ReadWebLink();
  SetUpControls();
  settingsFile_ = SettingsFilePath();
  BuildParts();
  MakeTrayWindow();
  CreateNamedEvents();
  if (!PostMessageW(hwnd(), kMsgDeferredInit, kTagInit, 0)) ReportWin32Failure(L"PostMessageW(INIT)");
  FillLists();
  StartupMark(L"controls");
  windowBuilt_ = true;
  return TRUE;
}

void CKorvalinDlg::AddAboutToSystemMenu() {
  wchar_t about[64];
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUT_ITEM, about, 64) <= 0) return;
  HMENU system = GetSystemMenu(hwnd(), FALSE);
  if (!system) return;
  if (!AppendMenuW(system, MF_SEPARATOR, 0, nullptr) || !AppendMenuW(system, MF_STRING, IDM_SYSTEM_ABOUT, about))
    ReportWin32Failure(L"AppendMenuW(About)");
}

void CKorvalinDlg::SetWindowIcons() {
  // WM_SETICON answers the previous icon: none, the template has no icon.
  (void)SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  (void)SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
}

void CKorvalinDlg::StartDeviceLink() {
  initialised_ = false;
  ResetActiveProfileCache();
  events_ = std::make_unique<DeviceEvents>(*this);
  events_->SetFirstShowDone(suppressFirstShow_);
  store_ = std::make_unique<ProfileStore>(config_, snapshot_, *this, std::filesystem::path(DocumentsFolder()),
                                          [this] { return events_->MacroMemorySize(); });
  apply_ = std::make_unique<ApplyCommand>(*store_, *this);
  InstallDeviceEvents(events_.get());
  deviceCount_ = LoadTransport(OnTransportEvent);
  if (deviceCount_ == 0) events_->SetFirstShowDone(true);
}

void CKorvalinDlg::RequireLayeredWindows() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32 || !GetProcAddress(user32, "SetLayeredWindowAttributes"))
    ExitFatally(kExitNoLayeredWindows);
}

void CKorvalinDlg::BuildDefaultConfiguration() {
  {
    std::lock_guard lock(config_.lock);
    clearWorkingConfig(config_);
    // Without a keyboard the window shows the defaults; the presence worker's
    // reload replaces them, so a failure here only leaves the table empty.
    if (!store_->createDefaultProfile()) LogLine(L"the default configuration was not built");
  }
  config_.recording = 0;
}

void CKorvalinDlg::StartPictureDecoding() {
  // Decoding is most of the cost of the pictures; it runs beside the
  // building of the window, in the order the pictures are needed.
  std::vector<std::wstring> paths;
  for (size_t i : kFirstLookSurfaces) paths.push_back(skinsFolder() + kSkinImages[i]);
  for (const wchar_t* name : kSkinImages) paths.push_back(skinsFolder() + name);  // the rest; repeats are dropped
  for (const std::wstring& name : Korvalin_DlgComposite::ImageFileNames()) paths.push_back(skinsFolder() + name);
  // The window's background and mask come first: they are needed first.
  SkinPicturePaths files = PicturePaths(CIniFile(paths_.mainSkinFile), paths_.skinsFolder);
  pictures_ = std::make_unique<SkinPicturePreloader>(std::move(paths),
                                                     std::vector<std::wstring>{files.background, files.mask});
}

UniqueBitmap CKorvalinDlg::LoadSkinPicture(const std::wstring& path) {
  std::optional<LoadedPictureFile> file = pictures_ ? pictures_->takeFile(path) : std::nullopt;
  if (!file) return CBaseDialog::LoadSkinPicture(path);
  if (file->code != 0) ExitFatally(file->code, path);
  return std::move(file->bitmap);
}

void CKorvalinDlg::LoadSkinSurfaces(bool firstLook) {
  for (size_t i = 0; i < kSkinImages.size(); ++i) {
    if (surfaceMade_[i] || isFirstLookSurface(i) != firstLook) continue;
    std::wstring_view name = kSkinImages[i];
    // The list names four pictures twice; each is decoded once and kept
    // only while a surface not made yet still needs it.
    auto it = keptPictures_.find(name);
    if (it == keptPictures_.end()) {
      std::wstring path = skinsFolder() + std::wstring(name);
      PreparedPicture p = pictures_ ? pictures_->take(path) : preparePicture(path);
      if (!p.image.created()) ExitFatally(kExitSkinImageObject, name);
      it = keptPictures_.emplace(name, std::move(p)).first;
    }
    // An unmade surface draws nothing; the picture was checked.
    (void)makeSkinSurface(surfaces_[i], it->second.bitmap.get(), hwnd());
    surfaceMade_[i] = true;
    bool neededLater = false;
    for (size_t j = 0; j < kSkinImages.size(); ++j) neededLater |= !surfaceMade_[j] && kSkinImages[j] == name;
    if (!neededLater) keptPictures_.erase(it);
  }
}

void CKorvalinDlg::ReadWebLink() {
  webLink_ = ReadProfileText(paths_.mainSkinFile, L"SCREEN", L"Link", kDefaultWebLink);
  if (webLink_.empty()) webLink_ = kDefaultWebLink;
}

void CKorvalinDlg::SetUpControls() {
  WindowContext context{this, paths_.mainSkinFile, paths_.skinsFolder, paths_.languageFile, &surfaces_, paths_.helpFolder};
  frame_ = std::make_unique<FrameControls>(context);
  keyboard_ = std::make_unique<CKeyboardView>(context, config_, *this, paths_.compositeSkinFile);
  keyFocus_ = std::make_unique<CKeyboardFocus>(hwnd(), *keyboard_, [this](int id) { return ButtonOf(id); });
  lighting_ = std::make_unique<CLightingPanel>(context);
  profiles_ = std::make_unique<CProfileSwitch>(context, paths_.profileSkinFile);
  status_ = std::make_unique<CStatusLine>(context);
  ProfileSwitchLinks links;
  links.store = store_.get();
  links.ui = this;
  links.editorOpen = [this] { return keyboard_->EditorOpen(); };
  // A switch may go on once the keyboard holds the edits, even when only the
  // cache file could not be saved: they are not stranded in the profile left.
  links.apply = [this] { return ApplyNow().written; };
  links.selectLighting = [this](int profile) { lighting_->OnProfileSelected(profile); };
  links.holdReportRate = [this](bool hold) { lighting_->HoldReportRate(hold); };
  links.openHelp = [this] { OpenHelp(); };
  links.mayReplaceEdits = [this] { return MayDropEdits(); };
  profiles_->Connect(std::move(links));

  for (const ids::SkinControl& b : kFrameButtons)
    frame_->PlaceButton(b.id, b.key, kSurfaceNormal, kSurfaceOver, kSurfaceDown,
                        b.id == CONTROL2_APPLY.id ? kSurfaceDim : kSurfaceNormal, kSurfaceSet);
  auto caption = [&](int id, const std::wstring& t, int size, const wchar_t* font, COLORREF colour) {
    (void)SetWindowTextW(item(id), t.c_str());  // the control exists: the template is generated with it
    frame_->Attach(id).setCaptionStyle(true, size, font, colour, CPngButton::kDefaultCaptionFormat);
  };
  caption(VELTRA_LINK.id, webLink_, 8, L"Verdana", RGB(0x7F, 0xD8, 0xEC));
  caption(VELTRA_VER.id, wide(text(TextId::MAIN_BUTTON_VELTRA_VER)), 8, L"Verdana", RGB(0xE4, 0xE4, 0xE4));
  (void)EnableWindow(item(VELTRA_VER.id), FALSE);  // answers the previous state
  frame_->Attach(CONTROL_HELP.id).setTooltip(wide(text(TextId::MAIN_HELP_PROMPT)), true);
  frame_->Attach(CONTROL_CLOSE.id).setTooltip(wide(text(TextId::MAIN_CLOSE_PROMPT)), true);
  frame_->Attach(CONTROL_MINIMIZE.id).setTooltip(wide(text(TextId::MAIN_MINIMIZE_PROMPT)), true);
  SetApplyEnabled(false);
}

void CKorvalinDlg::BuildParts() {
  status_->Place();
  profiles_->Place();
  keyboard_->Place();
  lighting_->Build(settingsFile_, *keyboard_);
  keyboard_->SetMacroMemory([this]() -> size_t {
    if (!events_ || events_->DevicePresent() <= 0) return 0;
    return static_cast<size_t>(std::max(events_->MacroMemorySize(), 0));
  });
  keyboard_->SetAfterEditor([this] {
    if (!reloadWaiting_) return;
    reloadWaiting_ = false;
    OnReload();
  });
  keyboard_->SetPaintClick([this](int id) { return lighting_->OnKeyPaintClick(id); });
  keyboard_->SetAfterRestore([this] {
    // No message for a failed lighting write: the model keeps
    // the defaults and the next reload shows the keyboard's own. A failed key
    // write leaves Apply enabled.
    if (lighting_->ResetIfOpen() != kResultSuccess) LogLine(L"the lighting reset was not written");
    (void)ApplyNow();  // a failure is on the status line
  });
  keyboard_->SetRecorder(this);
  keyboard_->SetMenuItems([this] { return UndoMenuItems(); });
  lighting_->SetStepRecorder([this](EditStep step) { PushStep(std::move(step)); });
  ReadHistoryTexts();
  // The Menu button is the keyboard view's, its tooltip one of the window's.
  keyboard_->Attach(CONTROL_MENU.id).setTooltip(wide(text(TextId::MAIN_MENU_PROMPT)), true);
}

void CKorvalinDlg::MakeTrayWindow() {
  // No taskbar button until the window is first opened; MAIN lets a second
  // instance find it. SetWindowLongPtr answers the previous value.
  LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  (void)SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, (ex & ~WS_EX_APPWINDOW) | WS_EX_TOOLWINDOW);
  (void)SetWindowLongPtrW(hwnd(), GWLP_USERDATA, kMainWindowMarker);
  (void)SetWindowLongPtrW(hwnd(), GWL_STYLE, GetWindowLongPtrW(hwnd(), GWL_STYLE) | WS_MINIMIZEBOX | WS_SYSMENU);
  if (!SetWindowTextW(hwnd(), wide(text(TextId::MAIN_CAPTION)).c_str())) ReportWin32Failure(L"SetWindowTextW(title)");
}

void CKorvalinDlg::CreateNamedEvents() {
  namedEvents_.reserve(kNamedEventCount);
  for (int n = 1; n <= kNamedEventCount; ++n) {
    wchar_t name[64];
    swprintf(name, 64, L"%lsMain_%02d", L"Korvalin_Event_", n);
    UniqueKernelHandle e(CreateEventW(nullptr, FALSE, FALSE, name));
    // Nothing here waits on them: a missing one is reported and skipped.
    if (!e) {
      ReportWin32Failure(L"CreateEventW");
      continue;
    }
    namedEvents_.push_back(std::move(e));
  }
}

void CKorvalinDlg::FillLists() {
  lighting_->FillUserModes();
  ApplyProfileTexts();
}

void CKorvalinDlg::ApplyProfileTexts() {
  for (size_t i = 0; i < std::size(kProfileTextControls); ++i) {
    int id = kProfileTextControls[i];
    std::wstring t = ReadLanguageText(paths_.languageFile, kProfileTextKeys[i].key);
    (void)SetWindowTextW(item(id), t.c_str());  // the control exists: the template is generated with it
    if (CPngButton* b = ButtonOf(id)) {
      b->setCaptionStyle(true, 9, L"Tahoma", RGB(255, 255, 255), CPngButton::kDefaultCaptionFormat);
      b->setAccessibleName(t);  // a profile button adds "selected" while it is the active one
      // Apply's dimmed face says nothing waits; its caption dims with it.
      if (id == CONTROL2_APPLY.id) b->setDisabledCaptionColour(CPngButton::kDimmedCaptionColour);
    }
  }
  ShowApplyName();
  // The Minimize, Menu and Close tooltips come from the same section of the
  // language file through the text table; SetUpControls has set them.
}

void CKorvalinDlg::OnDeferredInit() {
  tray_.SetLanguageFile(paths_.languageFile);
  // Adding fails silently where there is no notification area; the icon comes
  // back when the shell announces a new taskbar.
  (void)tray_.Create(hwnd(), kTrayCallbackMessage, ID_TRAY_ICON, smallIcon_, wide(text(TextId::KEYBOARD_TRAY_DESC)));
  trayIconId_ = IDI_NO_KEYBOARD;
  profiles_->BuildProfileMenu();
  // Without a first show to wait for (no keyboard, or started hidden), the
  // rest of the pictures are made now rather than kept decoded.
  if ((deviceCount_ == 0 || suppressFirstShow_) && !PostMessageW(hwnd(), kMsgDeferredInit, kTagEditor, 0))
    PrepareEditor();
  StartupMark(L"deferred");
  initialised_ = true;
}

// ---- commands -------------------------------------------------------------------

CWindowPart* CKorvalinDlg::PartOf(int id) {
  switch (partOfCommand(id)) {
    case WindowPart::kKeyboard:
      return keyboard_.get();
    case WindowPart::kLighting:
      return lighting_.get();
    case WindowPart::kProfiles:
      return profiles_.get();
    case WindowPart::kFrame:
      break;
  }
  return nullptr;
}

CPngButton* CKorvalinDlg::ButtonOf(int id) {
  CWindowPart* part = PartOf(id);
  if (!part) part = frame_.get();
  return part ? part->Button(id) : nullptr;
}

bool CKorvalinDlg::OnCommand(WORD id, WORD code, HWND control) {
  switch (id) {
    case CONTROL2_APPLY.id:
      (void)ApplyNow();  // a failure keeps Apply enabled and is on the status line
      return true;
    case VELTRA_LINK.id:
      // Shell failures are not reported to the user.
      (void)ShellExecuteW(hwnd(), L"open", webLink_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return true;
    case CONTROL_HELP.id:
      OpenHelp();
      return true;
    case CONTROL_MINIMIZE.id:
      (void)PostMessageW(hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);  // fails only when the window is going
      return true;
    case CONTROL_CLOSE.id:
    case IDM_EXIT:
    case IDM_CLOSE:  // the button menu's Close
      if (MayDropEdits()) Close();
      return true;
    case IDM_OPEN:
      OnShow();
      return true;
    case IDM_ABOUT:
      OpenAbout();
      return true;
    case IDM_UNDO:
    case IDM_REDO:
      (void)UndoRedo(id == IDM_UNDO);
      return true;
    case IDM_IMPORT: {
      // The import replaces every profile's keys and the macros: one step of
      // the active profile. The file dialog runs with no lock held.
      {
        std::lock_guard lock(config_.lock);
        ChangeStarting();
      }
      bool handled = profiles_ && profiles_->OnCommand(id, code);
      {
        std::lock_guard lock(config_.lock);
        ChangeMade(StepKind::kImport);
      }
      RefreshApplyTooltip();
      if (handled) return true;
      break;
    }
    default:
      break;
  }
  if (CWindowPart* part = PartOf(id); part && part->OnCommand(id, code)) return true;
  return CBaseDialog::OnCommand(id, code, control);
}

// ---- messages -------------------------------------------------------------------

bool CKorvalinDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  result = 0;
  switch (msg) {
    case kMsgDeferredInit:
      if (wp == kTagInit) OnDeferredInit();
      if (wp == kTagEditor) PrepareEditor();
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
      if (!::SetTimer(hwnd(), wp, static_cast<UINT>(lp), nullptr)) ReportWin32Failure(L"SetTimer");
      return true;
    case kMsgTrayIcon:
      if (static_cast<int>(wp) != trayIconId_ && tray_.SetIconResource(static_cast<int>(wp)))
        trayIconId_ = static_cast<int>(wp);
      return true;
    case kMsgWaitingChanged:
      if (wp == 1) history_.markApplied();
      RefreshApplyTooltip();
      return true;
    case kMsgKeyboardGone:
      keyboard_->CloseDialogs();
      ShowWindow(hwnd(), SW_HIDE);
      return true;
    case kMsgBankLook:
      lighting_->ShowBankIndicator(wp != 0);
      keyboard_->ShowGKeyLabels(wp != 0);
      return true;
    case kMsgProgress:
      // The busy animation's frames run while it shows.
      if (wp != 0) {
        lighting_->ShowProgress(true);
        if (!::SetTimer(hwnd(), kTimerBusy, kBusyFramePeriodMs, nullptr)) ReportWin32Failure(L"SetTimer");
      } else {
        (void)::KillTimer(hwnd(), kTimerBusy);  // a timer that is not running is already what was asked
        lighting_->ShowProgress(false);
      }
      return true;
    case kMsgStatus: {
      std::u16string text;
      unsigned duration = 0;
      {
        std::lock_guard lock(statusLock_);
        text.swap(pendingStatus_);
        duration = pendingStatusMs_;
      }
      if (status_ && !text.empty()) status_->Show(wide(text), duration);
      ShowWhetherDefaults();
      return true;
    }
    case kSliderNotifyMessage:
      lighting_->OnLevelChanged(static_cast<int>(wp), static_cast<int>(lp));
      return true;
    case WM_SYSCOMMAND:
      if (wp >= IDM_SYSTEM_ABOUT && wp <= IDM_SYSTEM_ABOUT + 15) {  // the About item of the system menu
        OpenAbout();
        return true;
      }
      return false;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE && keyFocus_) keyFocus_->Deactivated();
      return false;  // the dialog's own handling keeps the focus
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(icon_);
      return true;
    case WM_HELP:
      OpenHelp();
      result = TRUE;
      return true;
    case WM_CTLCOLORSTATIC:
      (void)SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);  // previous mode
      (void)SetTextColor(reinterpret_cast<HDC>(wp), RGB(228, 228, 228));  // previous colour
      result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      return true;
    default:
      return false;
  }
}

void CKorvalinDlg::OnShow() {
  // A keyboard on the bus whose command collection another program holds
  // cannot be configured either; it is named as such, not as absent.
  const bool present = events_ && events_->DevicePresent() != 0;
  const bool inUse = present && CommandChannelInUse();
  if (!present || inUse) {
    TextId prompt = inUse ? TextId::MAIN_DEVICE_IN_USE_PROMPT : TextId::MAIN_NO_DEVICE_PROMPT;
    (void)ShowMessageBox(hwnd(), wide(text(prompt)).c_str(), L"", MB_OK | boxStyleOver(hwnd()));  // OK only
    return;
  }
  LONG_PTR ex = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
  (void)SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, (ex & ~WS_EX_TOOLWINDOW) | WS_EX_APPWINDOW);  // previous value
  StartupMark(L"show");
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  // Painted now, before the editor's pictures are made from the posted
  // message below: posted messages come before painting.
  (void)UpdateWindow(hwnd());
  // The system may refuse the foreground to a background process; the window
  // is shown either way.
  (void)SetForegroundWindow(hwnd());
  if (!editorPrepared_ && !PostMessageW(hwnd(), kMsgDeferredInit, kTagEditor, 0)) PrepareEditor();
  if (reloadWaiting_ && !keyboard_->EditorOpen()) {
    reloadWaiting_ = false;
    OnReload();
  }
}

void CKorvalinDlg::PrepareEditor() {
  // The composite editor opens from the shown window only, so its pictures
  // wait until the window is first up; input comes after this message. So
  // do the window's surfaces that its first look does not draw from.
  if (editorPrepared_) return;
  editorPrepared_ = true;
  LoadSkinSurfaces(false);
  keyboard_->PrepareEditor(pictures_.get());
  pictures_.reset();  // every picture is taken; the thread has ended
}

std::unique_ptr<CKorvalinDlg::ReloadReads> CKorvalinDlg::ReadForReload() {
  // One reload's reads at a time: a second presence worker (the keyboard
  // plugged in again while the window is built) or the window's own reload
  // would otherwise interleave its configuration bracket with these reads.
  // Nothing here waits for the window or shows a message.
  std::lock_guard reading(reloadReadsLock_);
  auto reads = std::make_unique<ReloadReads>();
  reads->keys = store_->readKeyboardToCache();
  // The profile the reload then selects (UpdateSelectedProfile).
  reads->lighting = readLighting(shownProfile(GetActiveProfile()).value_or(SelectedProfile()));
  return reads;
}

void CKorvalinDlg::OnReload() {
  if (!store_) return;
  // A reload replaces the whole working configuration: it waits for the
  // editor, and for the user's word on edits not applied yet (asked once the
  // window shows, when it is hidden now).
  if ((keyboard_ && keyboard_->EditorOpen()) || (unsaved_ && !IsWindowVisible(hwnd()))) {
    reloadWaiting_ = true;
    return;
  }
  if (unsaved_) {
    switch (AskAboutEdits()) {
      case EditsChoice::kApply:
        // The keyboard may have moved to another profile: every profile's
        // table goes, so the edits land where they were made.
        if (!ApplyNow(true).written) return;
        break;
      case EditsChoice::kDiscard:
        break;
      case EditsChoice::kKeep:
        return;
    }
  }
  StartupMark(L"reload");
  std::unique_ptr<ReloadReads> reads;
  {
    std::lock_guard lock(readAheadLock_);
    reads = std::move(readAhead_);
  }
  if (!reads) reads = ReadForReload();
  store_->reloadFromCache(reads->keys);
  profiles_->UpdateSelectedProfile();
  // What was read replaces the profile's past: its steps would write over it.
  history_.clear(GetActiveProfile());
  if (SelectedProfile() != GetActiveProfile()) history_.clear(SelectedProfile());
  if (reads->lighting.profile != SelectedProfile()) {
    // The keyboard changed its active profile since the reads.
    std::lock_guard reading(reloadReadsLock_);
    reads->lighting = readLighting(SelectedProfile());
  }
  lighting_->Reload(reads->lighting);
  ShowWhetherDefaults();
  StartupMark(L"reload done");
}

bool CKorvalinDlg::PreTranslateMessage(MSG& msg) {
  // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z while the main window is the active one
  // (the editor's own keys go to the editor).
  // With no control focused (the focused one was disabled) keys come as
  // WM_SYSKEYDOWN to the active window.
  if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && (msg.wParam == 'Z' || msg.wParam == 'Y') && (GetKeyState(VK_CONTROL) & 0x8000) &&
      !(GetKeyState(VK_MENU) & 0x8000) && msg.hwnd && GetAncestor(msg.hwnd, GA_ROOT) == hwnd()) {
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    (void)UndoRedo(msg.wParam == 'Z' && !shift);
    return true;
  }
  if (lighting_ && lighting_->PreTranslate(msg)) return true;
  if (keyFocus_ && keyFocus_->PreTranslate(msg)) return true;
  return CBaseDialog::PreTranslateMessage(msg);
}

void CKorvalinDlg::OnGBankRefresh() {
  // The caller holds the WorkingConfig lock.
  keyboard_->RefreshGKeys();
}

void CKorvalinDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kTimerBusy:
      lighting_->NextBusyFrame();
      break;
    case kTimerLighting:
      (void)::KillTimer(hwnd(), id);  // it runs: killing it cannot fail
      lighting_->Reload();  // the keyboard changed its lighting itself
      break;
    case kTimerReload:
      (void)::KillTimer(hwnd(), id);
      (void)SendMessageW(hwnd(), kMsgReload, kTagProf, 0);  // the handler answers 0
      break;
    default:
      break;
  }
  CBaseDialog::OnTimer(id);
}

// OK applies and puts the window away; Cancel (and Esc) only put it away.
// Neither ends the program: that is Close.
void CKorvalinDlg::OnOK() {
  (void)ApplyNow();  // a failure keeps Apply enabled and is on the status line
  ShowWindow(hwnd(), SW_HIDE);
}
void CKorvalinDlg::OnCancel() { ShowWindow(hwnd(), SW_HIDE); }

void CKorvalinDlg::OnPaint() {
  if (IsIconic(hwnd())) {
    PaintDc dc(hwnd());
    RECT r;
    GetClientRect(hwnd(), &r);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    (void)DrawIcon(dc.get(), (r.right - cx + 1) / 2, (r.bottom - cy + 1) / 2, icon_);  // nothing to do when it fails
    return;
  }
  CBaseDialog::OnPaint();
}

void CKorvalinDlg::OpenHelp() { OpenHelpPage(hwnd(), paths_.helpFolder, paths_.languageFile); }

ApplyResult CKorvalinDlg::ApplyNow(bool allProfiles) {
  if (!apply_) return {false, false};
  ApplyResult result = apply_->Apply(allProfiles);
  // Apply may have read what was missing, and what it wrote is the keyboard's.
  ShowWhetherDefaults();
  if (result.ok()) {
    // What a failure said no longer holds.
    if (applyFailureShown_ && status_) status_->Clear();
    applyFailureShown_ = false;
    return result;
  }
  if (result.declined) return result;  // the user chose to write nothing
  // Never silent: what failed, and that the changes still wait. Shown on
  // this thread, after Apply released its locks.
  WriteFailure failure = result.written ? WriteFailure::kNone : store_->lastWriteFailure();
  if (status_) status_->Show(WriteFailureText(paths_.languageFile, failure), kStatusFailureMs);
  applyFailureShown_ = true;
  return result;
}

// ---- undo and redo ----------------------------------------------------------------

void CKorvalinDlg::ReadHistoryTexts() {
  auto t = [&](const LanguageKey& key) { return u16(ReadLanguageText(paths_.languageFile, key)); };
  HistoryTexts& h = historyTexts_;
  h.unassigned = t(added_text::kHistoryUnassigned);
  h.disabled = t(added_text::kHistoryDisabled);
  h.macro = t(added_text::kHistoryMacro);
  h.program = t(added_text::kHistoryProgram);
  h.textBlock = t(added_text::kHistoryText);
  h.stopMacro = t(added_text::kHistoryStopMacro);
  h.macros = t(added_text::kHistoryMacros);
  h.macroStep = t(added_text::kHistoryMacroStep);
  h.restore = t(added_text::kHistoryRestore);
  h.import = t(added_text::kHistoryImport);
  h.lighting = t(added_text::kHistoryLighting);
  h.reportRate = t(added_text::kHistoryReportRate);
  h.flip = t(added_text::kHistoryFlip);
  h.more = t(added_text::kApplyMore);
  h.nothing = t(added_text::kApplyNothing);
  h.count = t(added_text::kApplyCount);
  h.unlisted = t(added_text::kApplyUnlisted);
}

void CKorvalinDlg::ChangeStarting() {
  // The caller holds the WorkingConfig lock. Without memory for the
  // capture the change is made all the same, only not undoable.
  capture_ = std::make_unique<ConfigCapture>();
  if (!captureConfig(config_, *capture_)) capture_.reset();
}

void CKorvalinDlg::ChangeMade(StepKind kind) {
  // The caller holds the WorkingConfig lock.
  std::unique_ptr<ConfigCapture> before = std::move(capture_);
  if (!before) return;
  EditStep step;
  step.kind = kind;
  if (!diffConfig(*before, config_, step)) return;
  if (kind == StepKind::kKey && step.entries.empty()) step.kind = StepKind::kMacros;
  step.label = StepLabel(step);
  history_.push(GetActiveProfile(), std::move(step));
}

void CKorvalinDlg::FlipChanged(int before, int after) {
  if (before == after) return;
  EditStep step;
  step.kind = StepKind::kFlip;
  step.settingBefore = before;
  step.settingAfter = after;
  step.label = historyTexts_.flip;
  PushStep(std::move(step));
}

void CKorvalinDlg::PushStep(EditStep step) {
  if (step.label.empty()) step.label = StepLabel(step);
  history_.push(GetActiveProfile(), std::move(step));
}

std::u16string CKorvalinDlg::StepLabel(const EditStep& step) const {
  const HistoryTexts& t = historyTexts_;
  switch (step.kind) {
    case StepKind::kKey: {
      if (step.entries.empty()) return t.macroStep;
      const EntryChange& c = step.entries.front();
      return entryName(c.index) + t.arrow + actionWords(c.after, c.afterText, config_.macros, t);
    }
    case StepKind::kMacros:
      return t.macroStep;
    case StepKind::kRestore:
      return t.restore;
    case StepKind::kImport:
      return t.import;
    case StepKind::kLighting:
      return t.lighting;
    case StepKind::kReportRate:
      return t.reportRate;
    case StepKind::kFlip:
      return t.flip;
  }
  return std::u16string();
}

bool CKorvalinDlg::UndoRedo(bool undo) {
  if (!keyboard_ || keyboard_->EditorOpen()) return false;
  const int profile = GetActiveProfile();
  const EditStep* step = undo ? history_.nextUndo(profile) : history_.nextRedo(profile);
  if (!step) return false;
  switch (step->kind) {
    case StepKind::kLighting:
    case StepKind::kReportRate:
      // Kept in the history when it could not be written: the user may try again.
      if (lighting_->WriteBack(*step, undo) != kResultSuccess) {
        LogLine(L"an undo step was not written to the keyboard");
        return false;
      }
      break;
    case StepKind::kFlip:
      keyboard_->SetFlip(undo ? step->settingBefore : step->settingAfter);
      break;
    default: {
      std::lock_guard lock(config_.lock);
      if (!applyConfigStep(*step, config_, undo)) LogLine(L"an undo step ran out of memory part way");
      keyboard_->RefreshKeySummaries();
      break;
    }
  }
  if (undo)
    history_.undone(profile);
  else
    history_.redone(profile);
  if (step->waiting()) {
    // What Apply will write follows the history; a failed Apply's edits
    // (not in the history as written) keep it lit.
    const bool waiting = history_.waiting();
    unsaved_ = waiting;
    if (HWND apply = item(CONTROL2_APPLY.id)) (void)EnableWindow(apply, waiting ? TRUE : FALSE);  // was-disabled flag
  }
  RefreshApplyTooltip();
  // Drawn now, not at the next idle moment.
  (void)RedrawWindow(hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  return true;
}

void CKorvalinDlg::RefreshApplyTooltip() {
  if (!frame_) return;
  std::u16string tip;
  {
    std::lock_guard lock(config_.lock);
    std::vector<WaitingStep> steps = history_.waitingSteps();
    const size_t memory = events_ && events_->DevicePresent() > 0 ? static_cast<size_t>(std::max(events_->MacroMemorySize(), 0)) : 0;
    std::vector<std::u16string> lines = waitingLines(steps, config_.macros, memory, historyTexts_);
    // Edits Apply failed to write, or made where nothing kept them, still wait.
    if (lines.empty() && unsaved_) lines.push_back(historyTexts_.unlisted);
    tip = waitingChangesText(lines, historyTexts_);
    // The accessible name counts what the tooltip lists.
    applyWaiting_ = !steps.empty() ? static_cast<int>(steps.size()) : unsaved_ ? 1 : 0;
  }
  frame_->Attach(CONTROL2_APPLY.id).setTooltip(wide(tip), true);
  ShowApplyName();
}

std::vector<MenuItem> CKorvalinDlg::UndoMenuItems() {
  const int profile = GetActiveProfile();
  auto item = [&](UINT command, const EditStep* step, const LanguageKey& plain, const LanguageKey& named) {
    if (!step) return MenuItem{command, ReadLanguageText(paths_.languageFile, plain), false};
    std::u16string t = formatText(u16(ReadLanguageText(paths_.languageFile, named)), {TextArg(std::u16string_view(step->label))});
    return MenuItem{command, wide(t), true};
  };
  const bool editor = keyboard_ && keyboard_->EditorOpen();
  return {item(IDM_UNDO, editor ? nullptr : history_.nextUndo(profile), added_text::kUndoMenu, added_text::kUndoItem),
          item(IDM_REDO, editor ? nullptr : history_.nextRedo(profile), added_text::kRedoMenu, added_text::kRedoItem)};
}

void CKorvalinDlg::OpenAbout() {
  if (!about_) about_ = std::make_unique<CAboutDlg>(paths_.languageFile, webLink_, paths_.helpFolder);
  (void)about_->Open();  // a request while it is open fails silently
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
  if (profiles_) profiles_->CloseDialogs();
  if (keyboard_) keyboard_->CloseDialogs();
  mutex_.reset();
  namedEvents_.clear();
  tray_.Remove();
  unsaved_ = false;
  if (HWND apply = item(CONTROL2_APPLY.id)) (void)EnableWindow(apply, FALSE);  // previous state
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
