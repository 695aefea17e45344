// The image button: draws itself by copying one of five faces out of skin
// surfaces, with an optional caption, tooltip and coloured frame.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/handles_win32.h"
#include "skin/accessible_button_win32.h"
#include "widgets/window_win32.h"

namespace kv {

class CPngButton : public CWindow {
 public:
  // Called after every drawing with the button and whether the normal face was drawn.
  using DrawCallback = std::function<void(HWND button, bool normalFace)>;

  static constexpr UINT kDefaultCaptionFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;  // 37
  static constexpr UINT kTooltipDelayMs = 2000;
  static constexpr size_t kTooltipsKept = 8;  // per top-level window
  // The legends of the skin's disabled faces (tools/skingen paints them so).
  static constexpr COLORREF kDimmedCaptionColour = RGB(120, 122, 128);

  CPngButton() = default;
  ~CPngButton() override;

  // Attaches to a button and makes it owner-drawn.
  [[nodiscard]] bool SubclassWindow(HWND button);
  [[nodiscard]] bool SubclassDlgItem(int id, HWND parent);

  // Faces are borrowed memory surfaces (skin surfaces); none draws nothing.
  // Faces are copied from (origin x - 1, origin y - 1) of each surface.
  void setFaces(int originX, int originY, HDC normal, HDC hover, HDC pressed, HDC disabled, HDC set, bool redraw);
  void setFaceSurfaces(HDC normal, HDC hover, HDC pressed, HDC disabled, HDC set, bool redraw);
  void setSetState(bool state, bool redraw);
  void setCaptionStyle(bool on, int size, std::wstring_view font, COLORREF colour, UINT format);
  // The caption's colour while the button is disabled (a dimmed face wants
  // a dimmed caption); by default the caption keeps its one colour.
  void setDisabledCaptionColour(COLORREF colour);
  void setCaptionMargins(int left, int right, int top, int bottom);
  void setCaptionAngle(int tenthsOfDegree, bool slanted);
  // An empty text changes nothing. The tooltip control is made when the
  // pointer rests on the button (and again at every hover); the last
  // kTooltipsKept buttons hovered in a window keep theirs, older ones go. One
  // that exists takes the new text at once.
  void setTooltip(std::wstring_view text, bool activate);
  void setFrame(COLORREF colour, int level, bool on);
  // The face blended with a colour at level percent (0-100); a frame, when
  // on, is drawn instead.
  void setTint(COLORREF colour, int level, bool on);
  bool tintOn() const noexcept { return tintOn_; }
  void setDrawCallback(DrawCallback callback) { callback_ = std::move(callback); }
  // The button chosen from the keyboard: drawn with its hover face and a ring.
  void setFocusRing(bool on);
  // What screen readers are told (WM_GETOBJECT): the name, and whether the
  // button is the selected one of its group; a change raises the matching
  // WinEvent. Until a name is given it is the caption (the window text).
  void setAccessibleName(std::wstring_view name);
  void setAccessibleSelected(bool selected);
  std::wstring accessibleName() const;
  // Draws now.
  void redraw();

  // State, for the dialogs that own the buttons.
  bool setState() const noexcept { return setState_ != 0; }
  bool hover() const noexcept { return hover_ != 0; }
  bool tracking() const noexcept { return tracking_ != 0; }
  bool pressed() const noexcept { return pressed_ != 0; }
  int originX() const noexcept { return originX_; }
  int originY() const noexcept { return originY_; }
  HDC lastFace() const noexcept { return lastFace_; }
  bool frameOn() const noexcept { return frameOn_ != 0; }
  int frameLevel() const noexcept { return frameLevel_; }
  COLORREF frameColour() const noexcept { return frameColour_; }
  const std::wstring& tooltipText() const noexcept { return tooltipText_; }
  bool focusRing() const noexcept { return focusRing_; }
  static constexpr COLORREF kFocusRingColour = RGB(228, 228, 228);  // the skin's text colour
  HWND tooltip() const noexcept { return tooltip_.get(); }
  // Whether the caption is drawn, and the font it is drawn in (made for the
  // button's DPI, in a face that carries the texts).
  bool captionShown() const noexcept { return captionOn_ != 0; }
  [[nodiscard]] UniqueFont MakeCaptionFont() const;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  bool DrawItem(const DRAWITEMSTRUCT& dis) override;

 private:
  void draw(HDC dc);
  // Makes the tooltip control if there is none and gives it the text.
  void applyTooltip();
  // The hovered button joins the latest holders of a tooltip in its
  // top-level window; beyond kTooltipsKept the oldest holder's goes.
  void takeTooltipTurn();
  void leaveTooltipTurn();
  HDC chooseFace() const;
  void drawCaption(HDC dc, const RECT& client);
  void publishAccessible(bool selected);

  HDC normal_ = nullptr, hover_face_ = nullptr, pressed_face_ = nullptr, disabled_ = nullptr, set_ = nullptr;
  HDC lastFace_ = nullptr;
  int hover_ = 0;
  int tracking_ = 0;
  int pressed_ = 0;
  int setState_ = 0;
  int originX_ = 0, originY_ = 0;
  int captionOn_ = 0;
  int captionSize_ = 8;
  std::wstring captionFont_ = L"Tahoma";
  COLORREF captionColour_ = RGB(0, 0, 0);
  std::optional<COLORREF> disabledCaptionColour_;
  UINT captionFormat_ = kDefaultCaptionFormat;
  int marginLeft_ = 0, marginRight_ = 0, marginTop_ = 0, marginBottom_ = 0;
  int captionAngle_ = 0;
  int captionSlanted_ = 0;
  DrawCallback callback_;
  std::wstring tooltipText_;
  UniqueWindow tooltip_;
  bool tooltipActive_ = true;
  int frameOn_ = 0;
  COLORREF frameColour_ = RGB(255, 255, 255);
  int frameLevel_ = 0;
  bool focusRing_ = false;
  std::wstring accessibleBase_;  // the name without the selected text
  bool accessibleSelected_ = false;
  std::shared_ptr<AccessibleButtonState> accessible_;
  bool tintOn_ = false;
  COLORREF tintColour_ = 0;
  int tintLevel_ = 0;
};

// The image buttons of one dialog, each subclassed onto its control on first
// use and owned together.
class CPngButtonSet {
 public:
  // The button of id, when it has been attached.
  CPngButton* Find(int id) const;
  // The button of id, subclassed onto that control of dialog on first use. A
  // control missing from the template leaves an unattached button, which
  // draws and does nothing.
  CPngButton& Attach(HWND dialog, int id);
  // Forgets every button (their windows are gone when a dialog closes).
  void Clear() { buttons_.clear(); }

 private:
  std::map<int, std::unique_ptr<CPngButton>> buttons_;
};

}  // namespace kv
