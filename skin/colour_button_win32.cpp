#include "skin/colour_button_win32.h"

#include "base/handles_win32.h"
#include "base/log_win32.h"

namespace kv {

void CColourButton::setColour(COLORREF colour) {
  colour_ = colour;
  if (hwnd() && !InvalidateRect(hwnd(), nullptr, FALSE)) ReportWin32Failure(L"InvalidateRect(colour button)");
}

bool CColourButton::DrawItem(const DRAWITEMSTRUCT& dis) {
  if (dis.CtlType != ODT_BUTTON) return false;
  RECT r = dis.rcItem;
  // The edge: light on the panel's dark ground, darker while pressed.
  UniqueBrush edge(CreateSolidBrush((dis.itemState & ODS_SELECTED) ? RGB(90, 90, 90) : RGB(200, 200, 200)));
  UniqueBrush fill(CreateSolidBrush(colour_ & 0x00FFFFFF));
  if (!edge || !fill) {
    ReportWin32Failure(L"CreateSolidBrush(colour button)");
    return true;
  }
  FillRect(dis.hDC, &r, edge.get());
  InflateRect(&r, -2, -2);
  FillRect(dis.hDC, &r, fill.get());
  if (dis.itemState & ODS_FOCUS) {
    RECT f = dis.rcItem;
    InflateRect(&f, -1, -1);
    DrawFocusRect(dis.hDC, &f);
  }
  return true;
}

}  // namespace kv
