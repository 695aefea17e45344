// The main window's routing table against the skin layout: every control
// reaches the part that owns it, whatever order the id ranges come in.
#include <gtest/gtest.h>

#include <string>

#include "model/key_codes.h"
#include "model/settings.h"
#include "tools/skingen/layout.h"
#include "ui/main/command_routes.h"

namespace kv {
namespace {

using skingen::Control;

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The part a control of the main window belongs to, from what it is.
WindowPart expectedPart(const Control& c) {
  const std::string& k = c.kind;
  if (k == "key" || k == "gkey" || k == "fn" || k == "flip" || k == "arrow" || k == "panel") return WindowPart::kKeyboard;
  if (c.key == "FUNC_MACRO" || c.key == "FUNC_DEFAULT" || c.key == "CONTROL_MENU" || c.key == "FUNC_SWITCH")
    return WindowPart::kKeyboard;
  if (startsWith(c.key, "FUNC_PROFILE")) return WindowPart::kProfiles;  // the three buttons and FUNC_PROFILES
  if (k == "report" || k == "indicator" || k == "bank") return WindowPart::kLighting;
  if (startsWith(c.key, "CONTROL_") &&
      (k == "label" || k == "picture" || k == "combo" || k == "hidden"))
    return WindowPart::kLighting;
  return WindowPart::kFrame;  // title bar, Apply, OK, Cancel, link, version
}

TEST(CommandRoutes, EveryPlacedControlReachesItsPart) {
  skingen::DialogLayout main = skingen::mainLayout();
  for (const Control& c : main.controls)
    EXPECT_EQ(partOfCommand(c.id), expectedPart(c)) << c.key << " (" << c.id << ")";
  // D1-D6, the spare key and the hidden Test and Dynamic Menu buttons.
  for (const skingen::UnplacedControl& u : main.unplaced)
    EXPECT_EQ(partOfCommand(u.id), WindowPart::kKeyboard) << u.name;
}

TEST(CommandRoutes, ModelTablesAndMenuCommandsReachTheirParts) {
  for (const KeyButton& b : KeyButtonTable) EXPECT_EQ(partOfCommand(b.controlId), WindowPart::kKeyboard) << b.controlId;
  for (uint16_t id : kGKeyControlIds) EXPECT_EQ(partOfCommand(id), WindowPart::kKeyboard) << id;
  for (uint16_t id : kKeylessControlIds) EXPECT_EQ(partOfCommand(id), WindowPart::kKeyboard) << id;
  EXPECT_EQ(partOfCommand(kFnControlId), WindowPart::kKeyboard);  // inside the lighting controls' range
  for (uint16_t id : kReportRateButtonIds) EXPECT_EQ(partOfCommand(id), WindowPart::kLighting) << id;
  const std::pair<int, WindowPart> menus[] = {
      {IDM_IMPORT, WindowPart::kProfiles}, {IDM_EXPORT, WindowPart::kProfiles}, {IDM_OPEN, WindowPart::kFrame},
      {IDM_ABOUT, WindowPart::kFrame},     {IDM_EXIT, WindowPart::kFrame},      {IDM_CLOSE, WindowPart::kFrame}};
  for (auto [id, part] : menus) EXPECT_EQ(partOfCommand(id), part) << id;
}

}  // namespace
}  // namespace kv
