// The lighting model: the selected on-board profile's lighting settings, the
// keyboard's effect list, the ten per-key user patterns, and every change
// written to the keyboard at once in its own configuration bracket.
// Portable: the keyboard is reached through device/protocol.h, the screen
// through LightingView, the settings file through SettingsFile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "model/key_codes.h"
#include "model/lighting_view.h"
#include "model/settings.h"
#include "model/settings_file.h"

namespace kv {

// ---- Effects -------------------------------------------------------------------

inline constexpr size_t kEffectListSize = 32;  // information block bytes 16-47
using EffectList = std::array<uint8_t, kEffectListSize>;

inline constexpr uint8_t kEffectPerKey = 254;      // the keys of the selected user pattern light
inline constexpr uint8_t kEffectBreathing = 4;
inline constexpr uint8_t kEffectReaction = 7;      // settings byte 18 is loaded
inline constexpr uint8_t kEffectSpreadGather = 18; // direction shown as spread / gather
inline constexpr uint8_t kEffectAfterReset = 1;

constexpr bool isRecognisedEffect(int code) { return (code >= 1 && code <= 28) || code == kEffectPerKey; }
constexpr bool effectHasBrightness(int code) {
  return (code >= 1 && code <= 7) || (code >= 9 && code <= 15) || (code >= 17 && code <= 22) ||
         code == kEffectPerKey;
}
constexpr bool effectHasSpeed(int code) {
  return (code >= 1 && code <= 4) || code == 6 || (code >= 9 && code <= 15) || (code >= 17 && code <= 22);
}
// The direction controls' skin keys: suffix 2 for effects 1-3, 3 for effect
// 12, none (0) otherwise.
constexpr int directionPlacementVariant(int code) {
  if (code >= 1 && code <= 3) return 2;
  if (code == 12) return 3;
  return 0;
}

// One entry of the effect drop-down list, in display order.
struct EffectComboEntry {
  int comboIndex;
  uint8_t code;
  friend constexpr bool operator==(const EffectComboEntry&, const EffectComboEntry&) = default;
};
// The non-zero codes of the list, in order, numbered from 0.
std::vector<EffectComboEntry> buildEffectCombo(const EffectList& effects);
bool effectListHasPerKey(const EffectList& effects);

// Which lighting controls show for an effect. Refresh: the effect the
// keyboard reports (a load, or opening the panel on the loaded effect),
// where the effect list hides for a code the program does not know.
// Choice: the user picked the effect from the list, which therefore stays
// whatever the effect, so that another one can be picked.
enum class VisibilityContext { Refresh, Choice };
using FieldSet = uint32_t;
struct LightingVisibility {
  bool effectList;
  bool brightness;  // label and control
  bool speed;       // label and control
  bool perKey;      // user-mode list, fill, clear, the tools and their labels
  FieldSet fields = 0;  // the colour, random, preset, trigger and direction controls (fieldsOfEffect)
  friend constexpr bool operator==(const LightingVisibility&, const LightingVisibility&) = default;
};
LightingVisibility lightingVisibility(int effect, VisibilityContext context);

// ---- Colours -----------------------------------------------------------------

constexpr Colour colourOfRgb(const DeviceRgb& rgb) {
  return static_cast<Colour>(rgb[0]) | static_cast<Colour>(rgb[1]) << 8 | static_cast<Colour>(rgb[2]) << 16;
}
constexpr DeviceRgb rgbOfColour(Colour c) {
  return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
}
inline constexpr Colour kColourRed = 0x000000FF;
inline constexpr Colour kColourWhite = 0x00FFFFFF;

// ---- Per-key region ------------------------------------------------------------

inline constexpr size_t kPerKeyRegionSize = 256;
inline constexpr int kUserModeCount = 10;
inline constexpr size_t kUserPatternBytes = 18;
using PerKeyRegion = std::array<uint8_t, kPerKeyRegionSize>;

// Read in pieces of 54 bytes; written back whole in four of 52 and one of 48.
inline constexpr int kRegionReadPiece = 54;
inline constexpr std::array<int, 5> kRegionReadOffsets = {0, 54, 108, 162, 216};
inline constexpr int kRegionWritePiece = 52;
inline constexpr int kRegionLastWriteOffset = 208;
inline constexpr int kRegionLastWritePiece = 48;

// Pattern m of a region: bytes m x 18 to m x 18 + 17. m must be 0-9.
constexpr size_t userPatternOffset(int mode) { return static_cast<size_t>(mode) * kUserPatternBytes; }
LedMask userPatternOf(const PerKeyRegion& region, int mode);

// The built-in patterns written by a reset, and the region they make
// (bytes 180-255 zero).
extern const std::array<LedMask, kUserModeCount> kDefaultUserPatterns;
PerKeyRegion defaultPerKeyRegion();

// ---- Writes kept for undo ----------------------------------------------------

// Bytes a single change wrote to the keyboard, with the bytes they replaced:
// settings bytes of the selected profile's record at a field, or per-key
// pattern bytes of its region at an offset.
enum class LightingArea : uint8_t { kSettings, kPattern };
struct LightingWrite {
  LightingArea area = LightingArea::kSettings;
  uint16_t offset = 0;
  std::vector<uint8_t> before;
  std::vector<uint8_t> after;
};

// ---- The model -----------------------------------------------------------------

// The selected profile's lighting as the panel shows it.
struct LightingState {
  uint8_t effect = 0;
  uint8_t brightness = 0;   // 0-4
  uint8_t speed = 0;        // value 0-4; the control's position is 4 - value
  uint8_t direction = 0;    // settings byte 3 as stored
  uint8_t userMode = 0;     // 0-9
  bool mainColourRandom = false;
  Colour staticColour = 0;
  Colour breathingColour = 0;
  Colour reactionColour = 0;
  Colour userBaseColour = 0;
  Colour userColour = 0;
  Colour stoneColour = 0;
  Colour ribbonColour = 0;
  bool reactionRandom = false;
  bool stoneRandom = false;
  bool ribbonRandom = false;
  uint8_t triggerType = 0;  // 0 single key, 1 grid
  uint8_t presetColour = 0;
  uint8_t paintTool = 0;    // 0 paint, 1 erase
  int reportRate = 0;       // 0-3
  bool panelOpen = false;   // `lighting panel open`
};

// ---- The fields an effect uses ---------------------------------------------------

// The record fields beyond effect, levels and user patterns, each written
// alone when its control changes.
enum class LightingField : uint8_t {
  Direction,       // byte 3: 1 left (spread), 0 right (gather)
  MainRandom,      // byte 4: 0 the main colour, 1 a random colour
  MainColour,      // bytes 5-7: the static, breathing and reaction colour
  UserBaseColour,  // bytes 9-11
  UserColour,      // bytes 12-14
  PresetColour,    // byte 17: 0 red, 1 yellow, 2 green, 3 blue
  ReactionRandom,  // byte 18
  TriggerType,     // byte 19: 0 single key, 1 grid
  StoneColour,     // bytes 25-27
  StoneRandom,     // byte 28
  RibbonColour,    // bytes 30-32
  RibbonRandom,    // byte 33
};
inline constexpr size_t kLightingFieldCount = 12;

// Where a field sits in the profile's record.
struct FieldPlace {
  size_t offset;
  size_t length;  // 3 for colours (R, G, B), else 1
  friend constexpr bool operator==(const FieldPlace&, const FieldPlace&) = default;
};
FieldPlace placeOfField(LightingField field);
constexpr bool isColourField(LightingField f) {
  return f == LightingField::MainColour || f == LightingField::UserBaseColour || f == LightingField::UserColour ||
         f == LightingField::StoneColour || f == LightingField::RibbonColour;
}
// The largest value a field takes: a colour 0x00FFFFFF, a flag 1, the
// preset colour 3.
uint32_t maxValueOfField(LightingField field);

// Which fields each effect shows, as data: effect code and a set of fields.
// Effects not listed use none of them.
constexpr FieldSet fieldBit(LightingField f) { return FieldSet{1} << static_cast<unsigned>(f); }
struct EffectFields {
  uint8_t effect;
  FieldSet fields;
};
extern const std::array<EffectFields, 11> kEffectFieldTable;
bool effectUsesField(int effect, LightingField field);
FieldSet fieldsOfEffect(int effect);

// The effect the keyboard shows in one still colour: the keyboard picture
// previews it.
inline constexpr uint8_t kEffectStatic = 5;

// The value of a field as the model holds it (a colour as 0x00BBGGRR).
uint32_t fieldValue(const LightingState& state, LightingField field);

// Positions of the level controls for stored values (out-of-range values
// from the keyboard end at the control's ends).
constexpr int brightnessPositionOf(uint8_t value) { return value > 4 ? 4 : value; }
constexpr int speedPositionOf(uint8_t value) { return value > 4 ? 0 : 4 - value; }

// Fills `state` from a profile's record as a load does; fields the record
// does not decide (flags loaded only for some values, the panel state) stay.
void decodeSettingsRecord(const ProfileSettingsRecord& record, LightingState& state);

// Device reads and writes shared by the model and tools; none opens a
// configuration bracket. Each returns 1 or the failing operation's code,
// the destination untouched on failure.
[[nodiscard]] int readSettingsRecords(std::array<ProfileSettingsRecord, 3>& out);
[[nodiscard]] int readPerKeyRegion(int profile, PerKeyRegion& out);
// Into the selected profile's region (WriteColours adds it).
[[nodiscard]] int writePerKeyRegion(const PerKeyRegion& region);

// Results of LoadLighting.
inline constexpr int kLightingLoaded = 0;
inline constexpr int kLightingNoInfoBlock = -1;  // effect list and combo empty, the rest unchanged
inline constexpr int kLightingReadFailed = -2;   // effect list read; records and region unchanged

// What one load reads from the keyboard for a profile: the effect list, the
// records of all three profiles and, when the list has the per-key effect,
// the profile's per-key region. `result` is a LoadLighting result.
struct LightingRead {
  int result = kLightingNoInfoBlock;
  int profile = 0;
  EffectList effects{};
  std::array<ProfileSettingsRecord, 3> records{};
  bool perKey = false;
  PerKeyRegion region{};
};
// The reads only, touching no model, so that they can run on another thread
// than the model's.
[[nodiscard]] LightingRead readLighting(int profile);

class LightingModel {
 public:
  LightingModel(LightingView& view, SettingsFile& settings);

  // The on-board profile (0-2) whose lighting is shown and edited; it is
  // the device link's selected profile. False for another value.
  [[nodiscard]] bool SelectProfile(int profile);
  int selectedProfile() const;

  // Reloads everything from the keyboard; kLightingLoaded or an error above.
  [[nodiscard]] int LoadLighting();
  // The second half of LoadLighting: takes in a read made for the selected
  // profile and returns its result.
  [[nodiscard]] int TakeLighting(const LightingRead& read);
  // Writes the defaults of the selected profile. Returns 1 or the first
  // failing device result.
  [[nodiscard]] int ResetLighting();

  // Single changes, each in its own bracket. Results: 1 (also when nothing
  // needed writing), a device result code, or kResultBadArgument for a
  // value out of range (nothing stored or written). A failed write leaves
  // the model changed. A painted key's byte goes back only over a region
  // the keyboard gave: one never read is read first, and while that fails
  // nothing is painted or written.
  [[nodiscard]] int WriteSettingsField(size_t field, std::span<const uint8_t> bytes);
  [[nodiscard]] int SetEffect(int code);           // recognised codes only
  [[nodiscard]] int SetBrightness(int brightness); // 0-4; unchanged writes nothing
  [[nodiscard]] int SetSpeed(int position);        // control position 0-4; value 4 - position
  [[nodiscard]] int SetUserMode(int mode);         // 0-9; written only while the panel is open
  [[nodiscard]] int SetPaintTool(int tool);        // 0 paint, 1 erase
  [[nodiscard]] int SetReportRate(int index);      // 0-3
  // One field of the selected effect (kResultBadArgument when the effect
  // does not use it or the value is beyond maxValueOfField): stored, and
  // only its bytes written. A colour is 0x00BBGGRR.
  [[nodiscard]] int SetField(LightingField field, uint32_t value);
  // The key's LED in the current user pattern, by the paint tool. Any
  // control: Fn has LED 45, a key button its own, every other control 0.
  [[nodiscard]] int PaintKey(uint16_t controlId);
  [[nodiscard]] int FillPattern();
  [[nodiscard]] int ClearPattern();
  // Overlays of every key, G key and Fn from the current user pattern.
  void ShowUserPattern();
  // The keyboard picture as an effect lights the keyboard, after every
  // overlay went: the current user pattern for the per-key effect, every
  // button tinted with the main colour for the static effect (unless the
  // colour is random), nothing for the others.
  void ShowEffectPreview(int effect);

  // Told each write of a single change as it goes out (the undo history).
  void SetWriteObserver(std::function<void(LightingWrite)> observer) { observer_ = std::move(observer); }
  // Writes the bytes of earlier changes back to the selected profile in one
  // bracket, with the same commands the changes used: undo writes each
  // `before`, last first; redo each `after`, first first. The records, the
  // regions and the state follow. 1 or the failing device result.
  [[nodiscard]] int WriteBack(std::span<const LightingWrite> writes, bool undo);

  // The lamp: stored and persisted as DengCheck.
  void SetLightingPanelOpen(bool open);
  bool lightingPanelOpen() const { return state_.panelOpen; }

  const LightingState& state() const { return state_; }
  const EffectList& effectList() const { return effects_; }
  const std::vector<EffectComboEntry>& effectCombo() const { return combo_; }
  // First combo index of the code, or -1.
  int ComboIndexOfEffect(int code) const;
  // The code at a combo index; 0 (no effect) outside the list.
  int EffectOfComboIndex(int index) const;
  bool hasPerKeyEffect() const { return effectListHasPerKey(effects_); }

  // The raw records of all three profiles and their per-key regions as last
  // read or written.
  const ProfileSettingsRecord& record(int profile) const;
  const PerKeyRegion& perKeyRegion(int profile) const;
  // Pattern `mode` (0-9) of the selected profile.
  LedMask userPattern(int mode) const;

 private:
  PerKeyRegion& selectedRegion();
  [[nodiscard]] int writePatternBytes(size_t offset, std::span<const uint8_t> bytes);
  // The selected profile's per-key region read from the keyboard if it was
  // not yet; 1 or the failing read's result (the region then unchanged).
  [[nodiscard]] int ensureRegionRead();
  void overlayAll(Colour colour);
  [[nodiscard]] int fillCurrentPattern(uint8_t value, Colour preview);

  void observe(LightingArea area, size_t offset, std::span<const uint8_t> before, std::span<const uint8_t> after);

  LightingView& view_;
  SettingsFile& settings_;
  std::function<void(LightingWrite)> observer_;
  LightingState state_;
  EffectList effects_{};
  std::vector<EffectComboEntry> combo_;
  std::array<ProfileSettingsRecord, 3> records_{};
  std::array<PerKeyRegion, 3> regions_{};
  // Which regions hold what the keyboard has (read, or written whole).
  std::array<bool, 3> regionRead_{};
};

}  // namespace kv
