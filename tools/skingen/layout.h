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

// A control of the dialog template that the skin does not place.
struct UnplacedControl {
  std::string name;  // its name in the control-id header
  int id = 0;
  std::string kind;  // resource kind (button)
  bool visible = true;
};

struct DialogLayout {
  std::string name;  // main, composite, profile
  int templateId = 0;  // its dialog template
  int width = 0, height = 0;
  std::vector<Control> controls;
  std::vector<Origin> origins;
  std::vector<UnplacedControl> unplaced;
  const Control* find(const std::string& key) const;
};

// A resource id of the program that is not a skinned control (icons, menus,
// menu commands, strings, the About box).
struct ResourceId {
  const char* name;
  int id;
  const char* what;
};
const std::vector<ResourceId>& resourceIds();

DialogLayout mainLayout();
DialogLayout compositeLayout();
DialogLayout profileLayout();
std::vector<DialogLayout> allLayouts();

// "KEY=x,y,w,h" lines (CRLF) of section BUTTONINFO, then BUTTONINFO2 when present.
std::string placementIni(const DialogLayout& layout);
// Everything, for the picture painter and the resource script generator.
std::string layoutJson(const std::vector<DialogLayout>& layouts);
// resources/control_ids.h: every control id and skin key, for the resource
// scripts (macros) and the code (named skin controls).
std::string controlIdsHeader(const std::vector<DialogLayout>& layouts);
// The header's macro for a control: IDC_<DIALOG>_<skin key or name>.
std::string idMacro(const DialogLayout& layout, const std::string& name);

// Key pitch and cap size of the keyboard picture.
inline constexpr int kKeyPitch = 44;
inline constexpr int kKeyGap = 4;

}  // namespace kv::skingen
