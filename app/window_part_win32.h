// A part of a skinned window: a group of the window's controls that one class
// owns (subclasses, places, draws and answers the commands of). The main
// window is a frame that hands each command to the part owning its id.
#pragma once

#include <windows.h>

#include <array>
#include <map>
#include <memory>
#include <string>

#include "skin/png_button_win32.h"
#include "skin/skin_picture_win32.h"
#include "widgets/dialog_win32.h"

namespace kv {

// The main window's skin pictures as drawing surfaces, loaded once by the
// frame: main_normal, main_over, main_down, main_disable, the same four again,
// Arrow, main_color0, main_color1, main_dim (Apply's dimmed face).
using MainSurfaces = std::array<SkinSurface, 12>;
enum MainSurface {
  kSurfaceNormal = 0,
  kSurfaceOver = 1,
  kSurfaceDown = 2,
  kSurfaceSet = 3,
  kSurfaceArrow = 8,
  kSurfaceDim = 11
};

// What every part of a window is given by its frame.
struct WindowContext {
  CDialog* dialog = nullptr;
  std::wstring skinFile;     // the window's skin description file
  std::wstring skinsFolder;  // with a trailing backslash
  std::wstring languageFile;
  const MainSurfaces* surfaces = nullptr;
  std::wstring helpFolder;  // the program folder's Help\, with a trailing backslash
};

class CWindowPart {
 public:
  explicit CWindowPart(WindowContext context) : context_(std::move(context)) {}
  virtual ~CWindowPart() = default;
  CWindowPart(const CWindowPart&) = delete;
  CWindowPart& operator=(const CWindowPart&) = delete;

  // A command of one of the part's ids (the frame's routing table says which);
  // false leaves it to the dialog's default handling.
  [[nodiscard]] virtual bool OnCommand(WORD id, WORD code) = 0;

  // The image button of id, when this part has attached it.
  CPngButton* Button(int id) const;
  // The image button of id, subclassed on first use; owned by this part.
  CPngButton& Attach(int id);
  // Attaches and places a button by its skin key in section BUTTONINFO with
  // the faces normal, hover, pressed, disabled and set.
  CPngButton& PlaceButton(int id, std::wstring_view key, MainSurface normal, MainSurface hover, MainSurface pressed,
                          MainSurface disabled, MainSurface set);

 protected:
  HWND window() const { return context_.dialog ? context_.dialog->hwnd() : nullptr; }
  HWND item(int id) const { return context_.dialog ? context_.dialog->item(id) : nullptr; }
  const SkinSurface& surface(MainSurface s) const { return (*context_.surfaces)[s]; }

  WindowContext context_;

 private:
  CPngButtonSet buttons_;
};

}  // namespace kv
