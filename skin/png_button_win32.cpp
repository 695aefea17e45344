#include "skin/png_button_win32.h"

#include <commctrl.h>

#include <cmath>
#include <deque>
#include <iterator>
#include <numbers>
#include <string>

#include "base/log_win32.h"
#include "base/text_table.h"
#include "base/wide_win32.h"
#include "widgets/ui_font_win32.h"

namespace kv {

bool CPngButton::SubclassWindow(HWND button) {
  if (!CWindow::SubclassWindow(button)) return false;
  // Every image button answers screen readers as a push button named by its
  // caption until it is given a name of its own.
  if (!accessible_) accessible_ = std::make_shared<AccessibleButtonState>();
  LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
  // The generated templates make image buttons owner-drawn already; any
  // other button is made so here.
  if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
    SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    SetWindowPos(button, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  return true;
}

bool CPngButton::SubclassDlgItem(int id, HWND parent) {
  HWND item = parent ? GetDlgItem(parent, id) : nullptr;
  return item && SubclassWindow(item);
}

void CPngButton::setFaces(int originX, int originY, HDC normal, HDC hover, HDC pressed, HDC disabled, HDC set,
                          bool redrawNow) {
  originX_ = originX;
  originY_ = originY;
  hover_ = 0;
  pressed_ = 0;
  tracking_ = 0;
  setFaceSurfaces(normal, hover, pressed, disabled, set, redrawNow);
}

void CPngButton::setFaceSurfaces(HDC normal, HDC hover, HDC pressed, HDC disabled, HDC set, bool redrawNow) {
  normal_ = normal;
  hover_face_ = hover;
  pressed_face_ = pressed;
  disabled_ = disabled;
  set_ = set;
  if (redrawNow) redraw();
}

void CPngButton::setSetState(bool state, bool redrawNow) {
  setState_ = state ? 1 : 0;
  if (redrawNow) redraw();
}

void CPngButton::setDisabledCaptionColour(COLORREF colour) {
  disabledCaptionColour_ = colour;
  if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPngButton::setCaptionStyle(bool on, int size, std::wstring_view font, COLORREF colour, UINT format) {
  captionOn_ = on ? 1 : 0;
  captionSize_ = size;
  captionFont_.assign(font);
  captionColour_ = colour;
  captionFormat_ = format;
  if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPngButton::setCaptionMargins(int left, int right, int top, int bottom) {
  marginLeft_ = left;
  marginRight_ = right;
  marginTop_ = top;
  marginBottom_ = bottom;
  if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPngButton::setCaptionAngle(int tenthsOfDegree, bool slanted) {
  captionAngle_ = tenthsOfDegree;
  captionSlanted_ = slanted ? 1 : 0;
  if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

void CPngButton::setTooltip(std::wstring_view text, bool activate) {
  if (text.empty() || !hwnd()) return;
  tooltipText_ = std::wstring(text);  // text may be a view of tooltipText_ itself
  tooltipActive_ = activate;
  // A tooltip shows only after the pointer rests on the button, and the
  // control is made again at every hover: until the first hover there is
  // nothing to make. (Each is a top-level window; a keyboard of buttons
  // paid for 115 of them at start-up.)
  if (tooltip_ || hover_) applyTooltip();
}

void CPngButton::applyTooltip() {
  if (!tooltip_) {
    tooltip_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                   GetModuleHandleW(nullptr), nullptr));
    if (!tooltip_) {
      ReportWin32Failure(L"CreateWindowExW(tooltip)");
      return;
    }
    SendMessageW(tooltip_.get(), TTM_ACTIVATE, TRUE, 0);
    if (HFONT font = TooltipFont()) (void)SendMessageW(tooltip_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  // The version-2 record is understood by every common-controls version.
  TTTOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_SUBCLASS;  // the tooltip sees the button's mouse messages itself
  info.hwnd = hwnd();
  info.uId = 1;
  info.lpszText = tooltipText_.data();
  GetClientRect(hwnd(), &info.rect);
  if (SendMessageW(tooltip_.get(), TTM_GETTOOLCOUNT, 0, 0) == 0)
    SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  // A text of several lines (what Apply will write) shows them only with a
  // width set; one-line texts keep the single-line look.
  if (tooltipText_.find(L'\n') != std::wstring::npos) SendMessageW(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, 600);
  SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tooltip_.get(), TTM_SETDELAYTIME, TTDT_AUTOMATIC, kTooltipDelayMs);
  SendMessageW(tooltip_.get(), TTM_ACTIVATE, tooltipActive_ ? TRUE : FALSE, 0);
}

namespace {
// The buttons of each top-level window whose tooltips exist, the latest
// hovered last. Kept for every button ever hovered, a window of buttons held
// a top-level window per button for good (117 more after a 12-minute soak).
// Window messages of one thread: no lock.
std::map<HWND, std::deque<CPngButton*>>& tooltipHolders() {
  static std::map<HWND, std::deque<CPngButton*>> holders;
  return holders;
}
}  // namespace

void CPngButton::takeTooltipTurn() {
  leaveTooltipTurn();
  std::deque<CPngButton*>& holders = tooltipHolders()[GetAncestor(hwnd(), GA_ROOT)];
  holders.push_back(this);
  for (; holders.size() > kTooltipsKept; holders.pop_front()) holders.front()->tooltip_.reset();
}

void CPngButton::leaveTooltipTurn() {
  for (auto it = tooltipHolders().begin(); it != tooltipHolders().end();) {
    std::erase(it->second, this);
    it = it->second.empty() ? tooltipHolders().erase(it) : std::next(it);
  }
}

CPngButton::~CPngButton() { leaveTooltipTurn(); }

void CPngButton::setFrame(COLORREF colour, int level, bool on) {
  frameColour_ = colour;
  frameOn_ = on ? 1 : 0;
  // The level is kept for the lighting panel; it does not change the drawing.
  frameLevel_ = (on && level > 100) ? 100 : level;
  redraw();
}

void CPngButton::setFocusRing(bool on) {
  if (focusRing_ == on) return;
  focusRing_ = on;
  redraw();
}

void CPngButton::setAccessibleName(std::wstring_view name) {
  accessibleBase_.assign(name);
  publishAccessible(accessibleSelected_);
}

void CPngButton::setAccessibleSelected(bool selected) {
  if (!accessible_ && !selected) return;  // nothing said about the button yet
  publishAccessible(selected);
}

void CPngButton::publishAccessible(bool selected) {
  if (!accessible_) accessible_ = std::make_shared<AccessibleButtonState>();
  // Said in the name as well as in the state: not every reader speaks the
  // selected state of a push button.
  std::wstring full = selected && !accessibleBase_.empty()
                          ? wide(formatText(text(TextId::ACCESS_SELECTED), {std::u16string_view(u16(accessibleBase_))}))
                          : accessibleBase_;
  bool nameChanged = false, stateChanged = false;
  {
    std::lock_guard lock(accessible_->lock);
    nameChanged = accessible_->name != full;
    stateChanged = accessible_->selected != selected;
    accessible_->name = std::move(full);
    accessible_->selected = selected;
  }
  accessibleSelected_ = selected;
  if (!hwnd()) return;
  if (nameChanged) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd(), OBJID_CLIENT, CHILDID_SELF);
  if (stateChanged) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd(), OBJID_CLIENT, CHILDID_SELF);
}

std::wstring CPngButton::accessibleName() const {
  if (!accessible_) return {};
  std::lock_guard lock(accessible_->lock);
  return accessible_->name;
}

void CPngButton::setTint(COLORREF colour, int level, bool on) {
  tintColour_ = colour;
  tintLevel_ = level < 0 ? 0 : level > 100 ? 100 : level;
  tintOn_ = on;
  redraw();
}

namespace {

// Blends a colour over a rectangle of dc at level percent.
void blendColour(HDC dc, const RECT& r, COLORREF colour, int level) {
  UniqueMemoryDc mem(CreateCompatibleDC(dc));
  UniqueBitmap pixel(CreateCompatibleBitmap(dc, 1, 1));
  if (!mem || !pixel) {
    ReportWin32Failure(L"CreateCompatibleBitmap(tint)");
    return;
  }
  SelectObjectRestorer sel(mem.get(), pixel.get());
  SetPixel(mem.get(), 0, 0, colour);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(level * 255 / 100), 0};
  if (!AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem.get(), 0, 0, 1, 1, blend))
    ReportWin32Failure(L"AlphaBlend(tint)");
}

}  // namespace

void CPngButton::redraw() {
  // A button not on the screen (its window or a parent hidden, as the main
  // window is while it starts) is drawn when it is shown.
  if (!hwnd() || !IsWindowVisible(hwnd())) return;
  WindowDc dc(hwnd());
  if (dc) draw(dc.get());
}

bool CPngButton::DrawItem(const DRAWITEMSTRUCT& dis) {
  if (dis.CtlType != ODT_BUTTON) return false;
  pressed_ = (dis.itemState & ODS_SELECTED) ? 1 : 0;
  draw(dis.hDC);
  return true;
}

HDC CPngButton::chooseFace() const {
  if (!IsWindowEnabled(hwnd())) return disabled_;
  if (pressed_) return pressed_face_;
  if (hover_ || focusRing_) return hover_face_;
  if (setState_) return set_;
  return normal_;
}

void CPngButton::draw(HDC dc) {
  RECT client{};
  GetClientRect(hwnd(), &client);
  HDC face = chooseFace();
  if (!frameOn_) {
    if (face) BitBlt(dc, 0, 0, client.right, client.bottom, face, originX_ - 1, originY_ - 1, SRCCOPY);
    if (tintOn_) blendColour(dc, client, tintColour_, tintLevel_);
  } else {
    UniquePen pen(CreatePen(PS_SOLID, 2, frameColour_));
    SelectObjectRestorer selPen(dc, pen.get());
    SelectObjectRestorer selBrush(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 1, 1, client.right - 1, client.bottom - 1);
  }
  lastFace_ = face;
  if (focusRing_ && IsWindowEnabled(hwnd())) {
    // Inside the face, so that a neighbour drawn later does not cover it.
    // Over a colour overlay (a lit or dark frame while painting) the ring is
    // dotted and further in, so that it never reads as a lit key.
    const int inset = frameOn_ ? 5 : 2;
    UniquePen pen(CreatePen(frameOn_ ? PS_DOT : PS_SOLID, frameOn_ ? 1 : 2, kFocusRingColour));
    SelectObjectRestorer selPen(dc, pen.get());
    SelectObjectRestorer selBrush(dc, GetStockObject(NULL_BRUSH));
    if (frameOn_) (void)SetBkMode(dc, TRANSPARENT);  // the previous mode; the gaps of the dots stay as drawn
    Rectangle(dc, inset, inset, client.right - inset + 1, client.bottom - inset + 1);
  }
  if (captionOn_) drawCaption(dc, client);
  if (callback_) callback_(hwnd(), face == normal_);
}

UniqueFont CPngButton::MakeCaptionFont() const {
  LOGFONTW lf{};
  lf.lfHeight = -(captionSize_ * static_cast<int>(SkinDpi(hwnd())) / 72);  // whole pixels down, as it always was
  lf.lfEscapement = lf.lfOrientation = captionAngle_;
  lf.lfWeight = captionSlanted_ ? 956 : 400;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  captionFont_.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return CreateUiFont(lf);
}

void CPngButton::drawCaption(HDC dc, const RECT& client) {
  wchar_t text[260];
  int n = GetWindowTextW(hwnd(), text, 260);
  if (n < 0) n = 0;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, disabledCaptionColour_ && !IsWindowEnabled(hwnd()) ? *disabledCaptionColour_ : captionColour_);
  UniqueFont font = MakeCaptionFont();
  SelectObjectRestorer selFont(dc, font.get());
  RECT r{client.left + marginLeft_, client.top + marginTop_, client.right + marginRight_,
         client.bottom + marginBottom_};
  if (captionSlanted_) {
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, n, &extent);
    const double a = captionAngle_ / 10.0 * std::numbers::pi / 180.0;
    const int width = r.right - r.left, rectHeight = r.bottom - r.top;
    const int hw = static_cast<int>(std::cos(a) * extent.cx);
    const int hv = static_cast<int>(std::sin(a) * extent.cx);
    if (hw < width) r.left = r.left + (width - hw) / 2 - static_cast<int>(std::sin(a) * extent.cy * 0.5);
    if (hv < rectHeight) r.bottom = r.bottom - (rectHeight - hv) / 2 + static_cast<int>(extent.cy * std::cos(a) * 0.5);
  }
  DrawTextW(dc, text, n, &r, captionFormat_);
}

LRESULT CPngButton::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDBLCLK:
      // Double-clicks act as two clicks.
      return DefaultFor(WM_LBUTTONDOWN, wp, lp);
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_HOVER | TME_LEAVE, hwnd(), 1};
        tracking_ = TrackMouseEvent(&tme) ? 1 : 0;
      }
      break;
    case WM_MOUSEHOVER: {
      hover_ = 1;
      redraw();
      tooltip_.reset();
      takeTooltipTurn();
      if (!tooltipText_.empty()) applyTooltip();
      if (tooltip_) SendMessageW(tooltip_.get(), TTM_UPDATE, 0, 0);
      return 0;
    }
    case WM_MOUSELEAVE:
      tracking_ = 0;
      hover_ = 0;
      redraw();
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd(), nullptr, FALSE);
      break;
    case WM_GETOBJECT:
      // Only the client area is ours; the window's frame and the rest keep
      // the system's objects.
      if (accessible_ && static_cast<LONG>(lp) == OBJID_CLIENT)
        if (LRESULT r = AnswerAccessibleObject(hwnd(), accessible_, wp)) return r;
      break;
    case WM_DESTROY:
      tooltip_.reset();
      leaveTooltipTurn();
      break;
    default:
      break;
  }
  return Default();
}

CPngButton* CPngButtonSet::Find(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second.get();
}

CPngButton& CPngButtonSet::Attach(HWND dialog, int id) {
  auto& slot = buttons_[id];
  if (!slot) {
    slot = std::make_unique<CPngButton>();
    if (HWND h = dialog ? GetDlgItem(dialog, id) : nullptr) (void)slot->SubclassWindow(h);
  }
  return *slot;
}

}  // namespace kv
