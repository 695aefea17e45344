// lighting: the lighting model of one profile, each change written at once.
#include "device/protocol.h"
#include "model/key_info.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tools/korvalinctl/json.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

Json lightingJson(const kv::LightingModel& model) {
  const kv::LightingState& s = model.state();
  Json effects = Json::array();
  for (const kv::EffectComboEntry& e : model.effectCombo()) effects.push(static_cast<int>(e.code));
  Json j = Json::object();
  j.set("profile", model.selectedProfile())
      .set("effects", std::move(effects))
      .set("effect", static_cast<int>(s.effect))
      .set("brightness", static_cast<int>(s.brightness))
      .set("speed", static_cast<int>(s.speed))
      .set("speed_position", kv::speedPositionOf(s.speed))
      .set("direction", static_cast<int>(s.direction))
      .set("user_mode", static_cast<int>(s.userMode))
      .set("paint_tool", static_cast<int>(s.paintTool))
      .set("report_rate", s.reportRate)
      .set("main_colour", colourText(s.staticColour))
      .set("main_colour_random", s.mainColourRandom)
      .set("user_base_colour", colourText(s.userBaseColour))
      .set("user_colour", colourText(s.userColour))
      .set("preset_colour", static_cast<int>(s.presetColour))
      .set("reaction_random", s.reactionRandom)
      .set("trigger_type", static_cast<int>(s.triggerType))
      .set("stone_colour", colourText(s.stoneColour))
      .set("stone_random", s.stoneRandom)
      .set("ribbon_colour", colourText(s.ribbonColour))
      .set("ribbon_random", s.ribbonRandom);
  if (model.hasPerKeyEffect()) {
    Json patterns = Json::array();
    for (int m = 0; m < kv::kUserModeCount; ++m) {
      kv::LedMask mask = model.userPattern(m);
      Json keys = Json::array();
      for (const kv::KeyButton& b : kv::KeyButtonTable)
        if (kv::ledIsSet(mask, b.ledIndex)) keys.push(keyNameUtf8(b.keyCode));
      if (kv::ledIsSet(mask, kv::kFnLedIndex)) keys.push("Fn");
      Json p = Json::object();
      p.set("mode", m).set("bytes", kv::sim::Hex(mask)).set("keys", std::move(keys));
      patterns.push(std::move(p));
    }
    j.set("user_patterns", std::move(patterns));
  }
  return j;
}

}  // namespace

namespace {

// One lighting change: the value it takes (checked before the keyboard is
// touched) and what it does to the loaded model.
struct LightingChange {
  const char* what = nullptr;  // the argument's name in messages; null: none
  long low = 0, high = 0;
  bool pattern = false;        // works on the user patterns: needs the per-key effect
  int (*apply)(kv::LightingModel& model, long value, const std::vector<KeyChoice>& keys) = nullptr;
};

// Loads the model of the chosen profile and hands it to work; every
// argument was checked before.
template <typename Work>
int withLighting(Session& s, long given, bool pattern, Work&& work) {
  if (int r = s.connect()) return r;
  kv::NullLightingView view;
  kv::MemorySettingsFile settings;
  // This tool is the panel, and it is open.
  kv::writeLightingPanelOpen(settings, true);
  kv::LightingModel model(view, settings);
  if (int r = s.loadLighting(model, given)) return r;
  if (pattern && !model.hasPerKeyEffect()) return s.fail(kExitBadInput, "the keyboard has no per-key effect");
  return work(model);
}

int profileOption(Session& s, long* given) { return s.optionNumber("--profile", 0, 2, -1, given); }

// The end of every change: its result, then with --verify what the
// keyboard now holds against what the model wrote.
int written(Session& s, const kv::LightingModel& model, int result) {
  if (result != kv::kResultSuccess) return s.deviceError("writing the keyboard failed", result);
  return s.flag("--verify") ? verifyLighting(s, model) : kExitOk;
}

int runChange(Session& s, const LightingChange& change) {
  long given = -1, value = 0;
  if (int r = profileOption(s, &given)) return r;
  std::vector<KeyChoice> keys;
  if (change.what) {
    if (int r = s.argumentNumber(2, change.what, change.low, change.high, &value)) return r;
  } else {
    for (size_t i = 2; i < s.words().size(); ++i) {
      std::string error;
      auto key = parseKey(s.words()[i], &error);
      if (!key) return s.usageError(error);
      keys.push_back(*key);
    }
  }
  return withLighting(s, given, change.pattern, [&](kv::LightingModel& model) {
    return written(s, model, change.apply(model, value, keys));
  });
}

// Paints (tool 0) or erases (tool 1) keys, choosing the tool first.
int paintKeys(kv::LightingModel& model, int tool, const std::vector<KeyChoice>& keys) {
  int result = model.state().paintTool != tool ? model.SetPaintTool(tool) : kv::kResultSuccess;
  for (size_t i = 0; i < keys.size() && result == kv::kResultSuccess; ++i) result = model.PaintKey(keys[i].controlId);
  return result;
}

using Keys = std::vector<KeyChoice>;

constexpr LightingChange kBrightness{"N", 0, 4, false,
                                     [](kv::LightingModel& m, long v, const Keys&) { return m.SetBrightness(int(v)); }};
constexpr LightingChange kSpeed{"POSITION", 0, 4, false,
                                [](kv::LightingModel& m, long v, const Keys&) { return m.SetSpeed(int(v)); }};
constexpr LightingChange kUserMode{"M", 0, kv::kUserModeCount - 1, true,
                                   [](kv::LightingModel& m, long v, const Keys&) { return m.SetUserMode(int(v)); }};
constexpr LightingChange kPaintTool{"the tool", 0, 1, false,
                                    [](kv::LightingModel& m, long v, const Keys&) { return m.SetPaintTool(int(v)); }};
constexpr LightingChange kPaint{nullptr, 0, 0, true,
                                [](kv::LightingModel& m, long, const Keys& k) { return paintKeys(m, 0, k); }};
constexpr LightingChange kErase{nullptr, 0, 0, true,
                                [](kv::LightingModel& m, long, const Keys& k) { return paintKeys(m, 1, k); }};
constexpr LightingChange kFill{nullptr, 0, 0, true,
                               [](kv::LightingModel& m, long, const Keys&) { return m.FillPattern(); }};
constexpr LightingChange kClear{nullptr, 0, 0, true,
                                [](kv::LightingModel& m, long, const Keys&) { return m.ClearPattern(); }};
constexpr LightingChange kReset{nullptr, 0, 0, false,
                                [](kv::LightingModel& m, long, const Keys&) { return m.ResetLighting(); }};

int lightingShow(Session& s) {
  if (s.flag("--verify")) return s.usageError("takes no option --verify: it writes nothing");
  long given = -1;
  if (int r = profileOption(s, &given)) return r;
  return withLighting(s, given, false, [&](kv::LightingModel& model) {
    s.out << lightingJson(model).dump() << '\n';
    return kExitOk;
  });
}

// The effect is also checked against the keyboard's own list once loaded.
int lightingEffect(Session& s) {
  long given = -1, code = 0;
  if (int r = profileOption(s, &given)) return r;
  if (int r = s.argumentNumber(2, "CODE", 1, 254, &code)) return r;
  if (!kv::isRecognisedEffect(static_cast<int>(code)))
    return s.usageError("CODE must be an effect 1-28 or 254, not '" + s.words()[2] + "'");
  return withLighting(s, given, false, [&](kv::LightingModel& model) {
    if (model.ComboIndexOfEffect(static_cast<int>(code)) < 0)
      return s.fail(kExitBadInput, "the keyboard does not offer effect " + s.words()[2]);
    return written(s, model, model.SetEffect(static_cast<int>(code)));
  });
}

template <const LightingChange& change>
int lightingChange(Session& s) {
  return runChange(s, change);
}

constexpr Subcommand kLightingCommands[] = {
    {"show", 0, lightingShow},
    {"effect", 1, lightingEffect},
    {"brightness", 1, lightingChange<kBrightness>},
    {"speed", 1, lightingChange<kSpeed>},
    {"user-mode", 1, lightingChange<kUserMode>},
    {"paint-tool", 1, lightingChange<kPaintTool>},
    {"paint", kOneOrMore, lightingChange<kPaint>},
    {"erase", kOneOrMore, lightingChange<kErase>},
    {"fill", 0, lightingChange<kFill>},
    {"clear", 0, lightingChange<kClear>},
    {"reset", 0, lightingChange<kReset>},
};

}  // namespace

std::span<const Subcommand> lightingSubcommands() { return kLightingCommands; }

int cmdLighting(Session& s) {
  return runSubcommand(s, kLightingCommands, "subcommand", {"--profile", "--verify"}, "KEY");
}

}  // namespace kvctl
