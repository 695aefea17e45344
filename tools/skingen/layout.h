// The one description of Korvalin's skin layout: every control of the main
// window, the composite editor and the profile manager with its skin key,
// control id, rectangle and what is drawn on it. The keyboard is built from
// the program's own key table, so a key is drawn where it is placed.
#pragma once

#include <string>
#include <vector>

namespace kv::skingen {

struct Control {
  std::string key;     // entry of section BUTTONINFO
  int id = 0;          // control id in the dialog
  int x = 0, y = 0, w = 0, h = 0;
  std::string kind;    // how the painter draws it (key, gkey, button, tool, label, ...)
  std::string legend;  // text drawn into the pictures (UTF-8); empty for captioned controls
  std::string sub;     // second, smaller legend
};

// An entry of section BUTTONINFO2: a point of a picture faces are cut from.
struct Origin {
  std::string key;
  int x = 0, y = 0, w = 0, h = 0;
};

struct DialogLayout {
  std::string name;  // main, composite, profile
  int width = 0, height = 0;
  std::vector<Control> controls;
  std::vector<Origin> origins;
  const Control* find(const std::string& key) const;
};

DialogLayout mainLayout();
DialogLayout compositeLayout();
DialogLayout profileLayout();
std::vector<DialogLayout> allLayouts();

// "KEY=x,y,w,h" lines (CRLF) of section BUTTONINFO, then BUTTONINFO2 when present.
std::string placementIni(const DialogLayout& layout);
// Everything, for the picture painter.
std::string layoutJson(const std::vector<DialogLayout>& layouts);

// Key pitch and cap size of the keyboard picture.
inline constexpr int kKeyPitch = 44;
inline constexpr int kKeyGap = 4;

}  // namespace kv::skingen
