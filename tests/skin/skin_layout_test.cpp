// The skin layout, and the committed skin files generated from it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "base/placement.h"
#include "model/key_codes.h"
#include "tools/skingen/layout.h"

namespace kv {
namespace {

using skingen::Control;
using skingen::DialogLayout;

bool overlap(const Control& a, const Control& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

TEST(SkinLayout, EveryKeyButtonIsPlacedOnceByItsSlot) {
  DialogLayout main = skingen::mainLayout();
  for (const KeyButton& b : KeyButtonTable) {
    char key[16];
    std::snprintf(key, sizeof key, "KEY_%03X", static_cast<unsigned>(slotOfKey(b.keyCode)));
    const Control* c = main.find(key);
    ASSERT_NE(c, nullptr) << key;
    EXPECT_EQ(c->id, b.controlId) << key;
    EXPECT_EQ(c->kind, "key");
  }
  for (int g = 1; g <= 9; ++g) {
    const Control* c = main.find("FUNC_G" + std::to_string(g));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->id, kGKeyControlIds[static_cast<size_t>(g - 1)]);
  }
  ASSERT_NE(main.find("KEY_FN"), nullptr);
  EXPECT_EQ(main.find("KEY_FN")->id, kFnControlId);
}

TEST(SkinLayout, ControlsAreInsideTheWindowAndVisibleOnesDoNotOverlap) {
  for (const DialogLayout& d : skingen::allLayouts()) {
    std::set<std::string> keys;
    for (const Control& c : d.controls) {
      // The skin file is read with the profile-string calls, which ignore
      // case: two keys differing only in case are one.
      std::string folded = c.key;
      for (char& ch : folded) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_TRUE(keys.insert(folded).second) << d.name << " " << c.key << " twice (case ignored)";
      EXPECT_GT(c.w, 0);
      EXPECT_GT(c.h, 0);
      EXPECT_GE(c.x, 2) << c.key;  // (1, 1) would read as "not in the skin"
      EXPECT_GE(c.y, 2) << c.key;
      EXPECT_LE(c.x + c.w, d.width) << c.key;
      if (c.kind != "combo") {
        EXPECT_LE(c.y + c.h, d.height) << c.key;
      }
    }
    if (d.name != "main") continue;
    // On the main window the keyboard and its neighbours never overlap.
    for (size_t i = 0; i < d.controls.size(); ++i) {
      const Control& a = d.controls[i];
      if (a.kind != "key" && a.kind != "gkey" && a.kind != "fn" && a.kind != "indicator" && a.kind != "bank")
        continue;
      for (size_t j = 0; j < d.controls.size(); ++j) {
        const Control& b = d.controls[j];
        if (i != j && b.kind != "hidden" && b.kind != "combo") {
          EXPECT_FALSE(overlap(a, b)) << a.key << " overlaps " << b.key;
        }
      }
    }
  }
}

// Reads a UTF-16 LE skin file with byte-order mark into "section/key" -> value.
std::map<std::string, std::string> readSkin(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::map<std::string, std::string> out;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
    return out;
  std::string text;  // the placement sections are ASCII
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    text += u < 0x80 ? static_cast<char>(u) : '?';
  }
  std::string section;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (size_t eq = line.find('='); eq != std::string::npos) {
      out[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return out;
}

TEST(SkinLayout, CommittedSkinFilesMatchTheLayout) {
  const std::map<std::string, std::string> files = {
      {"main", "Main.ini"}, {"composite", "Composite.ini"}, {"profile", "Profile.ini"}};
  for (const DialogLayout& d : skingen::allLayouts()) {
    auto skin = readSkin(std::string(KV_SOURCE_DIR) + "/resources/Skins/" + files.at(d.name));
    ASSERT_FALSE(skin.empty()) << files.at(d.name) << " is missing or not UTF-16 with a byte-order mark";
    for (const Control& c : d.controls) {
      auto it = skin.find("BUTTONINFO/" + c.key);
      ASSERT_NE(it, skin.end()) << d.name << " " << c.key;
      std::u16string entry(it->second.begin(), it->second.end());
      EXPECT_EQ(parsePlacement(entry), (Placement{c.x, c.y, c.w, c.h}))
          << d.name << " " << c.key << ": regenerate with tools/skingen/generate";
    }
    for (const auto& o : d.origins) {
      auto it = skin.find("BUTTONINFO2/" + o.key);
      ASSERT_NE(it, skin.end()) << o.key;
      std::u16string entry(it->second.begin(), it->second.end());
      EXPECT_EQ(parsePlacement(entry), (Placement{o.x, o.y, o.w, o.h})) << o.key;
    }
  }
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The resource scripts and the code take every id from the committed header
// and the resource generator reads the committed JSON: both must be what the
// layout gives today.
TEST(SkinLayout, CommittedHeaderAndJsonAreTheLayouts) {
  auto layouts = skingen::allLayouts();
  EXPECT_EQ(readText(std::string(KV_SOURCE_DIR) + "/resources/control_ids.h"), skingen::controlIdsHeader(layouts))
      << "resources/control_ids.h is stale: regenerate with tools/skingen/generate";
  EXPECT_EQ(readText(std::string(KV_SOURCE_DIR) + "/tools/skingen/layout.json"), skingen::layoutJson(layouts))
      << "tools/skingen/layout.json is stale: regenerate with tools/skingen/generate";
}

// "#define NAME VALUE" lines of the header.
std::map<std::string, int> defines(const std::string& header) {
  std::map<std::string, int> out;
  std::istringstream in(header);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string directive, name;
    int value = 0;
    if (words >> directive >> name >> value && directive == "#define") out[name] = value;
  }
  return out;
}

TEST(SkinLayout, HeaderNamesEveryControlAndTemplate) {
  auto ids = defines(skingen::controlIdsHeader(skingen::allLayouts()));
  const std::pair<const char*, int> cases[] = {
      {"IDD_MAIN", 102},         {"IDD_COMPOSITE", 134},
      {"IDD_PROFILE", 131},      {"IDC_MAIN_KEY_0B7", 1091},  // PrintScreen by its slot
      {"IDC_MAIN_KEY_D6", 1021},  // in the template, not placed by the skin
      {"IDC_COMPOSITE_CONTROL_OK", 1},
      {"IDC_PROFILE_PROGRAM_LIST", 1007},
      {"IDC_MAIN_CONTROL_BLFXStatic3", 1148},  // a variant placement names the same id
      {"IDM_EXPORT", 32777}};
  for (auto [name, id] : cases) EXPECT_EQ(ids[name], id) << name;
  // Every placed control of every dialog has its macro.
  for (const DialogLayout& d : skingen::allLayouts())
    for (const Control& c : d.controls) EXPECT_EQ(ids[skingen::idMacro(d, c.key)], c.id) << c.key;
  std::string header = skingen::controlIdsHeader(skingen::allLayouts());
  EXPECT_NE(header.find("inline constexpr SkinControl FUNC_G9{IDC_MAIN_FUNC_G9, \"FUNC_G9\", L\"FUNC_G9\"};"),
            std::string::npos);
}

TEST(SkinLayout, JsonNamesEveryControl) {
  std::string json = skingen::layoutJson(skingen::allLayouts());
  EXPECT_NE(json.find("\"KEY_0B7\""), std::string::npos);  // PrintScreen by its slot
  EXPECT_NE(json.find("\"FUNC_G9\""), std::string::npos);
  EXPECT_NE(json.find("\"PROGRAM_LIST\""), std::string::npos);
  std::string ini = skingen::placementIni(skingen::mainLayout());
  EXPECT_EQ(ini.rfind("[BUTTONINFO]\r\n", 0), 0u);
  EXPECT_NE(ini.find("[BUTTONINFO2]\r\nUP_ARROW_LEFT1=3,3,16,20\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kv
