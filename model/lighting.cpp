#include "model/lighting.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "device/protocol.h"

namespace kv {

namespace {

static_assert(kInfoEffectList + kEffectListSize == kInfoBlockSize);
static_assert(kPerKeyRegionSize == kColourRegionSize);
static_assert(kSettingsRecordBytes == kSettingsRecordSize);
static_assert(kRegionReadOffsets.back() + kRegionReadPiece >= static_cast<int>(kPerKeyRegionSize));
static_assert(4 * kRegionWritePiece == kRegionLastWriteOffset &&
              kRegionLastWriteOffset + kRegionLastWritePiece == static_cast<int>(kPerKeyRegionSize));
static_assert(kUserModeCount * kUserPatternBytes <= kPerKeyRegionSize);

}  // namespace

// ---- Effects -------------------------------------------------------------------

std::vector<EffectComboEntry> buildEffectCombo(const EffectList& effects) {
  std::vector<EffectComboEntry> combo;
  for (uint8_t code : effects)
    if (code != 0) combo.push_back({static_cast<int>(combo.size()), code});
  return combo;
}

bool effectListHasPerKey(const EffectList& effects) {
  return std::find(effects.begin(), effects.end(), kEffectPerKey) != effects.end();
}

LightingVisibility lightingVisibility(int effect, VisibilityContext context) {
  LightingVisibility v{};
  v.effectList = context == VisibilityContext::Choice || isRecognisedEffect(effect);
  v.brightness = effectHasBrightness(effect);
  v.speed = effectHasSpeed(effect);
  v.perKey = effect == kEffectPerKey;
  v.fields = fieldsOfEffect(effect);
  return v;
}

// ---- The fields an effect uses ---------------------------------------------------

FieldPlace placeOfField(LightingField field) {
  switch (field) {
    case LightingField::Direction: return {offsetof(ProfileSettingsRecord, directionOrMode), 1};
    case LightingField::MainRandom: return {offsetof(ProfileSettingsRecord, mainColourRandom), 1};
    case LightingField::MainColour: return {offsetof(ProfileSettingsRecord, mainColour), 3};
    case LightingField::UserBaseColour: return {offsetof(ProfileSettingsRecord, userBaseColour), 3};
    case LightingField::UserColour: return {offsetof(ProfileSettingsRecord, userColour), 3};
    case LightingField::PresetColour: return {offsetof(ProfileSettingsRecord, presetColour), 1};
    case LightingField::ReactionRandom: return {offsetof(ProfileSettingsRecord, reactionRandom), 1};
    case LightingField::TriggerType: return {offsetof(ProfileSettingsRecord, triggerType), 1};
    case LightingField::StoneColour: return {offsetof(ProfileSettingsRecord, stoneColour), 3};
    case LightingField::StoneRandom: return {offsetof(ProfileSettingsRecord, stoneRandom), 1};
    case LightingField::RibbonColour: return {offsetof(ProfileSettingsRecord, ribbonColour), 3};
    case LightingField::RibbonRandom: return {offsetof(ProfileSettingsRecord, ribbonRandom), 1};
  }
  return {0, 0};
}

uint32_t maxValueOfField(LightingField field) {
  if (isColourField(field)) return 0x00FFFFFF;
  return field == LightingField::PresetColour ? 3 : 1;
}

namespace {
using F = LightingField;
constexpr FieldSet kDirection = fieldBit(F::Direction);
constexpr FieldSet kMain = fieldBit(F::MainColour) | fieldBit(F::MainRandom);
}  // namespace

// Effects named by the skin: 1-3 and 12 move (their direction controls have
// skin places of their own), 18 spreads or gathers, 4 breathes and 5 stays
// in the main colour, 7 reacts to key presses (the only effect whose byte
// 18 is read), 17 throws stones and 19 draws a ribbon in colours of their
// own, and the per-key effect lights its pattern in the user colour over the
// base colour. No other effect reads any of these fields.
const std::array<EffectFields, 11> kEffectFieldTable = {{
    {1, kDirection},
    {2, kDirection},
    {3, kDirection},
    {kEffectBreathing, kMain},
    {5, kMain},
    {kEffectReaction, fieldBit(F::MainColour) | fieldBit(F::PresetColour) | fieldBit(F::ReactionRandom) |
            fieldBit(F::TriggerType)},
    {12, kDirection},
    {17, fieldBit(F::StoneColour) | fieldBit(F::StoneRandom)},
    {kEffectSpreadGather, kDirection},
    {19, fieldBit(F::RibbonColour) | fieldBit(F::RibbonRandom)},
    {kEffectPerKey, fieldBit(F::UserBaseColour) | fieldBit(F::UserColour)},
}};

FieldSet fieldsOfEffect(int effect) {
  for (const EffectFields& e : kEffectFieldTable)
    if (e.effect == effect) return e.fields;
  return 0;
}

bool effectUsesField(int effect, LightingField field) { return (fieldsOfEffect(effect) & fieldBit(field)) != 0; }

uint32_t fieldValue(const LightingState& s, LightingField field) {
  switch (field) {
    case F::Direction: return s.direction;
    case F::MainRandom: return s.mainColourRandom ? 1 : 0;
    case F::MainColour: return s.staticColour;
    case F::UserBaseColour: return s.userBaseColour;
    case F::UserColour: return s.userColour;
    case F::PresetColour: return s.presetColour;
    case F::ReactionRandom: return s.reactionRandom ? 1 : 0;
    case F::TriggerType: return s.triggerType;
    case F::StoneColour: return s.stoneColour;
    case F::StoneRandom: return s.stoneRandom ? 1 : 0;
    case F::RibbonColour: return s.ribbonColour;
    case F::RibbonRandom: return s.ribbonRandom ? 1 : 0;
  }
  return 0;
}

// ---- Per-key region ------------------------------------------------------------

const std::array<LedMask, kUserModeCount> kDefaultUserPatterns = {{
    {0x00, 0x08, 0x0C, 0x08, 0x00, 0x00, 0x00, 0x00, 0x20, 0x20, 0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00},
    {0x35, 0x0E, 0x0E, 0x2E, 0x0E, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x27, 0x0E, 0x0E, 0x2E, 0x0A, 0x18, 0x10, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x25, 0x0A, 0x1E, 0x3A, 0x1A, 0x12, 0x02, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x19, 0x0C, 0x1C, 0x0C, 0x10, 0x00, 0x00, 0x00, 0x20, 0x20, 0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
}};

PerKeyRegion defaultPerKeyRegion() {
  PerKeyRegion region{};
  for (int m = 0; m < kUserModeCount; ++m)
    std::copy(kDefaultUserPatterns[m].begin(), kDefaultUserPatterns[m].end(), region.begin() + userPatternOffset(m));
  return region;
}

LedMask userPatternOf(const PerKeyRegion& region, int mode) {
  LedMask mask{};
  if (mode < 0 || mode >= kUserModeCount) return mask;
  std::copy_n(region.begin() + userPatternOffset(mode), kUserPatternBytes, mask.begin());
  return mask;
}

// ---- Decoding and device access ------------------------------------------------

void decodeSettingsRecord(const ProfileSettingsRecord& r, LightingState& s) {
  s.effect = r.effect;
  s.brightness = r.brightness;
  s.speed = r.speed;
  s.direction = r.directionOrMode;
  // Byte 3 picks one of ten patterns; a keyboard's larger value must not
  // reach past them.
  s.userMode = r.directionOrMode < kUserModeCount ? r.directionOrMode : 0;
  s.presetColour = r.presetColour;
  s.mainColourRandom = r.mainColourRandom != 0;
  s.staticColour = s.breathingColour = s.reactionColour = colourOfRgb(r.mainColour);
  s.userBaseColour = colourOfRgb(r.userBaseColour);
  s.userColour = colourOfRgb(r.userColour);
  s.reportRate = reportRateIndexOf(r.reportRate);
  s.paintTool = r.paintTool > 1 ? 0 : r.paintTool;
  if (r.effect == kEffectReaction && r.reactionRandom <= 1) s.reactionRandom = r.reactionRandom != 0;
  if (r.triggerType <= 1) s.triggerType = r.triggerType;
  s.stoneColour = colourOfRgb(r.stoneColour);
  s.stoneRandom = r.stoneRandom != 0;
  s.ribbonColour = colourOfRgb(r.ribbonColour);
  s.ribbonRandom = r.ribbonRandom != 0;
}

int readSettingsRecords(std::array<ProfileSettingsRecord, 3>& out) {
  std::array<ProfileSettingsRecord, 3> records{};
  for (int p = 0; p < kProfileCount; ++p) {
    std::array<uint8_t, kSettingsReadLength> answer{};
    int result = ReadSettings(answer, static_cast<int>(kSettingsReadLength), settingsAddress(p, 0));
    if (result != kResultSuccess) return result;
    records[p] = settingsRecordFromBytes(std::span<const uint8_t, kSettingsRecordBytes>(answer.data(),
                                                                                          kSettingsRecordBytes));
  }
  out = records;
  return kResultSuccess;
}

int readPerKeyRegion(int profile, PerKeyRegion& out) {
  if (!IsKeyboardProfile(profile)) return kResultBadProfile;
  std::array<uint8_t, kRegionReadOffsets.back() + kRegionReadPiece> pieces{};
  for (int offset : kRegionReadOffsets) {
    int result = ReadColours(std::span<uint8_t>(pieces.data() + offset, kRegionReadPiece), kRegionReadPiece, offset,
                             profile);
    if (result != kResultSuccess) return result;
  }
  std::copy_n(pieces.begin(), kPerKeyRegionSize, out.begin());
  return kResultSuccess;
}

int writePerKeyRegion(const PerKeyRegion& region) {
  for (int offset = 0; offset < static_cast<int>(kPerKeyRegionSize); offset += kRegionWritePiece) {
    int n = offset == kRegionLastWriteOffset ? kRegionLastWritePiece : kRegionWritePiece;
    int result = WriteColours(std::span<const uint8_t>(region.data() + offset, static_cast<size_t>(n)), n, offset);
    if (result != kResultSuccess) return result;
  }
  return kResultSuccess;
}

// ---- The model -----------------------------------------------------------------

LightingModel::LightingModel(LightingView& view, SettingsFile& settings) : view_(view), settings_(settings) {}

bool LightingModel::SelectProfile(int profile) {
  if (!IsKeyboardProfile(profile)) return false;
  SetSelectedProfile(profile);
  return true;
}

int LightingModel::selectedProfile() const { return SelectedProfile(); }

LightingRead readLighting(int profile) {
  LightingRead read;
  read.profile = profile;
  std::array<uint8_t, kInfoBlockSize> info{};
  if (ReadInfoBlock(info) != kResultSuccess) return read;
  std::copy_n(info.begin() + kInfoEffectList, kEffectListSize, read.effects.begin());
  read.result = kLightingReadFailed;
  if (!IsKeyboardProfile(profile)) return read;
  read.perKey = effectListHasPerKey(read.effects);
  int result = ReadInConfigBracket([&] {
    int r = read.perKey ? readPerKeyRegion(profile, read.region) : kResultSuccess;
    return r == kResultSuccess ? readSettingsRecords(read.records) : r;
  });
  if (result == kResultSuccess) read.result = kLightingLoaded;
  return read;
}

int LightingModel::LoadLighting() { return TakeLighting(readLighting(selectedProfile())); }

int LightingModel::TakeLighting(const LightingRead& read) {
  // Without the information block the effect list is empty; it is the only
  // thing a failed load changes.
  effects_ = read.result == kLightingNoInfoBlock ? EffectList{} : read.effects;
  combo_ = read.result == kLightingNoInfoBlock ? std::vector<EffectComboEntry>{} : buildEffectCombo(effects_);
  if (read.result != kLightingLoaded) return read.result;
  records_ = read.records;
  if (read.perKey) {
    regions_[static_cast<size_t>(read.profile)] = read.region;
    regionRead_[static_cast<size_t>(read.profile)] = true;
  }
  decodeSettingsRecord(records_[static_cast<size_t>(read.profile)], state_);
  state_.panelOpen = readLightingPanelOpen(settings_);
  return kLightingLoaded;
}

int LightingModel::WriteSettingsField(size_t field, std::span<const uint8_t> bytes) {
  const int selected = selectedProfile();
  if (!IsKeyboardProfile(selected)) return kResultBadProfile;
  if (bytes.empty() || field >= kSettingsRecordBytes || bytes.size() > kSettingsRecordBytes - field)
    return kResultBadArgument;
  auto raw = reinterpret_cast<uint8_t*>(&records_[selected]);
  observe(LightingArea::kSettings, field, {raw + field, bytes.size()}, bytes);
  std::copy(bytes.begin(), bytes.end(), raw + field);
  return InConfigBracket([&] {
    return WriteSettings(bytes, static_cast<int>(bytes.size()), settingsAddress(selected, field));
  });
}

int LightingModel::SetEffect(int code) {
  if (!isRecognisedEffect(code)) return kResultBadArgument;
  state_.effect = static_cast<uint8_t>(code);
  const uint8_t byte = state_.effect;
  return WriteSettingsField(kFieldEffect, {&byte, 1});
}

int LightingModel::SetBrightness(int brightness) {
  if (brightness < 0 || brightness > 4) return kResultBadArgument;
  if (brightness == state_.brightness) return kResultSuccess;
  state_.brightness = static_cast<uint8_t>(brightness);
  const uint8_t byte = state_.brightness;
  return WriteSettingsField(kFieldBrightness, {&byte, 1});
}

int LightingModel::SetSpeed(int position) {
  if (position < 0 || position > 4) return kResultBadArgument;
  const int value = 4 - position;
  if (value == state_.speed) return kResultSuccess;
  state_.speed = static_cast<uint8_t>(value);
  const uint8_t byte = state_.speed;
  return WriteSettingsField(kFieldSpeed, {&byte, 1});
}

int LightingModel::SetUserMode(int mode) {
  if (mode < 0 || mode >= kUserModeCount) return kResultBadArgument;
  state_.userMode = static_cast<uint8_t>(mode);
  if (!state_.panelOpen) return kResultSuccess;
  state_.direction = state_.userMode;
  const uint8_t byte = state_.userMode;
  return WriteSettingsField(kFieldUserMode, {&byte, 1});
}

int LightingModel::SetPaintTool(int tool) {
  if (tool != 0 && tool != 1) return kResultBadArgument;
  state_.paintTool = static_cast<uint8_t>(tool);
  const uint8_t byte = state_.paintTool;
  return WriteSettingsField(kFieldPaintTool, {&byte, 1});
}

int LightingModel::SetReportRate(int index) {
  if (index < 0 || index >= kReportRateCount) return kResultBadArgument;
  view_.ShowReportRate(index);
  state_.reportRate = index;
  const uint8_t byte = static_cast<uint8_t>(index);
  return WriteSettingsField(kFieldReportRate, {&byte, 1});
}

int LightingModel::SetField(LightingField field, uint32_t value) {
  if (!effectUsesField(state_.effect, field) || value > maxValueOfField(field)) return kResultBadArgument;
  const auto flag = value != 0;
  const auto small = static_cast<uint8_t>(value);
  switch (field) {
    case F::Direction: state_.direction = small; break;
    case F::MainRandom: state_.mainColourRandom = flag; break;
    case F::MainColour: state_.staticColour = state_.breathingColour = state_.reactionColour = value; break;
    case F::UserBaseColour: state_.userBaseColour = value; break;
    case F::UserColour: state_.userColour = value; break;
    case F::PresetColour: state_.presetColour = small; break;
    case F::ReactionRandom: state_.reactionRandom = flag; break;
    case F::TriggerType: state_.triggerType = small; break;
    case F::StoneColour: state_.stoneColour = value; break;
    case F::StoneRandom: state_.stoneRandom = flag; break;
    case F::RibbonColour: state_.ribbonColour = value; break;
    case F::RibbonRandom: state_.ribbonRandom = flag; break;
  }
  const FieldPlace place = placeOfField(field);
  if (place.length == 3) {
    const DeviceRgb rgb = rgbOfColour(value);
    return WriteSettingsField(place.offset, rgb);
  }
  return WriteSettingsField(place.offset, {&small, 1});
}

PerKeyRegion& LightingModel::selectedRegion() { return regions_[static_cast<size_t>(selectedProfile())]; }

int LightingModel::writePatternBytes(size_t offset, std::span<const uint8_t> bytes) {
  return InConfigBracket([&] {
    return WriteColours(bytes, static_cast<int>(bytes.size()), static_cast<int>(offset));
  });
}

int LightingModel::ensureRegionRead() {
  const auto selected = static_cast<size_t>(selectedProfile());
  if (regionRead_[selected]) return kResultSuccess;
  PerKeyRegion read{};
  int result = ReadInConfigBracket([&] { return readPerKeyRegion(static_cast<int>(selected), read); });
  if (result != kResultSuccess) return result;
  regions_[selected] = read;
  regionRead_[selected] = true;
  return kResultSuccess;
}

int LightingModel::PaintKey(uint16_t controlId) {
  if (!IsKeyboardProfile(selectedProfile())) return kResultBadProfile;
  // One LED is one bit: the byte written back carries seven others, which
  // must be the keyboard's own, never the defaults shown after a failed read.
  if (int read = ensureRegionRead(); read != kResultSuccess) return read;
  const uint8_t led = LedIndexOfButton(controlId);
  const size_t offset = userPatternOffset(state_.userMode) + static_cast<size_t>(ledColumn(led));
  const auto bit = static_cast<uint8_t>(1u << ledRow(led));
  uint8_t& stored = selectedRegion()[offset];
  uint8_t next;
  if (state_.paintTool == 0) {
    view_.SetKeyOverlay(controlId, kPreviewLit, kPreviewOpacity);
    next = static_cast<uint8_t>(stored | bit);
  } else if (state_.paintTool == 1) {
    view_.SetKeyOverlay(controlId, kPreviewUnlit, kPreviewOpacity);
    next = static_cast<uint8_t>(stored & ~bit);
  } else {
    return kResultSuccess;
  }
  observe(LightingArea::kPattern, offset, {&stored, 1}, {&next, 1});
  stored = next;
  return writePatternBytes(offset, {&next, 1});
}

void LightingModel::overlayAll(Colour colour) {
  for (const KeyButton& b : KeyButtonTable) view_.SetKeyOverlay(b.controlId, colour, kPreviewOpacity);
  for (uint16_t id : kGKeyControlIds) view_.SetKeyOverlay(id, colour, kPreviewOpacity);
  view_.SetKeyOverlay(kFnControlId, colour, kPreviewOpacity);
}

int LightingModel::fillCurrentPattern(uint8_t value, Colour preview) {
  if (!IsKeyboardProfile(selectedProfile())) return kResultBadProfile;
  const size_t offset = userPatternOffset(state_.userMode);
  PerKeyRegion& region = selectedRegion();
  if (observer_) {
    std::array<uint8_t, kUserPatternBytes> was{}, now{};
    std::copy_n(region.begin() + offset, kUserPatternBytes, was.begin());
    now.fill(value);
    observe(LightingArea::kPattern, offset, was, now);
  }
  std::fill_n(region.begin() + offset, kUserPatternBytes, value);
  overlayAll(preview);
  return writePatternBytes(offset, std::span<const uint8_t>(region.data() + offset, kUserPatternBytes));
}

int LightingModel::FillPattern() { return fillCurrentPattern(0xFF, kPreviewLit); }
int LightingModel::ClearPattern() { return fillCurrentPattern(0x00, kPreviewUnlit); }

void LightingModel::ShowEffectPreview(int effect) {
  view_.RemoveKeyOverlays();
  if (effect == kEffectPerKey) {
    ShowUserPattern();
  } else if (effect == kEffectStatic && !state_.mainColourRandom) {
    for (const KeyButton& b : KeyButtonTable) view_.SetKeyTint(b.controlId, state_.staticColour, kPreviewOpacity);
    for (uint16_t id : kGKeyControlIds) view_.SetKeyTint(id, state_.staticColour, kPreviewOpacity);
    view_.SetKeyTint(kFnControlId, state_.staticColour, kPreviewOpacity);
  }
}

void LightingModel::ShowUserPattern() {
  const LedMask pattern = userPattern(state_.userMode);
  auto colourOf = [&](uint8_t led) { return ledIsSet(pattern, led) ? kPreviewLit : kPreviewUnlit; };
  for (const KeyButton& b : KeyButtonTable) view_.SetKeyOverlay(b.controlId, colourOf(b.ledIndex), kPreviewOpacity);
  for (uint16_t id : kGKeyControlIds) view_.SetKeyOverlay(id, colourOf(LedIndexOfButton(id)), kPreviewOpacity);
  view_.SetKeyOverlay(kFnControlId, colourOf(kFnLedIndex), kPreviewOpacity);
}

void LightingModel::observe(LightingArea area, size_t offset, std::span<const uint8_t> before,
                            std::span<const uint8_t> after) {
  if (!observer_) return;
  observer_(LightingWrite{area, static_cast<uint16_t>(offset), std::vector<uint8_t>(before.begin(), before.end()),
                          std::vector<uint8_t>(after.begin(), after.end())});
}

int LightingModel::WriteBack(std::span<const LightingWrite> writes, bool undo) {
  const int selected = selectedProfile();
  if (!IsKeyboardProfile(selected)) return kResultBadProfile;
  auto raw = reinterpret_cast<uint8_t*>(&records_[selected]);
  PerKeyRegion& region = regions_[selected];
  for (const LightingWrite& w : writes) {
    const size_t size = (undo ? w.before : w.after).size();
    const size_t limit = w.area == LightingArea::kSettings ? kSettingsRecordBytes : kPerKeyRegionSize;
    if (size == 0 || w.before.size() != w.after.size() || w.offset >= limit || size > limit - w.offset)
      return kResultBadArgument;
  }
  auto one = [&](const LightingWrite& w) {
    const std::vector<uint8_t>& bytes = undo ? w.before : w.after;
    if (w.area == LightingArea::kSettings) {
      std::copy(bytes.begin(), bytes.end(), raw + w.offset);
      return WriteSettings(bytes, static_cast<int>(bytes.size()), settingsAddress(selected, w.offset));
    }
    std::copy(bytes.begin(), bytes.end(), region.begin() + w.offset);
    return WriteColours(bytes, static_cast<int>(bytes.size()), static_cast<int>(w.offset));
  };
  const int result = InConfigBracket([&] {
    int r = kResultSuccess;
    if (undo) {
      for (auto it = writes.rbegin(); it != writes.rend() && r == kResultSuccess; ++it) r = one(*it);
    } else {
      for (auto it = writes.begin(); it != writes.end() && r == kResultSuccess; ++it) r = one(*it);
    }
    return r;
  });
  decodeSettingsRecord(records_[selected], state_);
  return result;
}

int LightingModel::ResetLighting() {
  const int selected = selectedProfile();
  if (!IsKeyboardProfile(selected)) return kResultBadProfile;
  int first = kResultSuccess;
  auto note = [&first](int result) {
    if (first == kResultSuccess) first = result;
  };

  // Effect 1 as if chosen in the effect list, which writes it.
  note(SetEffect(kEffectAfterReset));
  state_.brightness = 4;
  state_.speed = 2;
  state_.staticColour = state_.breathingColour = state_.reactionColour = kColourRed;
  state_.stoneColour = state_.ribbonColour = kColourWhite;
  state_.mainColourRandom = state_.reactionRandom = state_.stoneRandom = state_.ribbonRandom = true;

  if (hasPerKeyEffect()) {
    state_.userMode = 0;
    regions_[selected] = defaultPerKeyRegion();
    int written = InConfigBracket([&] { return writePerKeyRegion(regions_[selected]); });
    // Written whole, the keyboard's region is what the model holds.
    if (written == kResultSuccess) regionRead_[selected] = true;
    note(written);
  }

  SetLightingPanelOpen(true);

  std::array<uint8_t, 35> defaults{};
  defaults[kFieldEffect] = kEffectAfterReset;
  defaults[kFieldBrightness] = 4;
  defaults[kFieldSpeed] = 2;
  note(WriteSettingsField(0, defaults));
  // The zeros also reach bytes whose controls are on screen: keep the model
  // showing what the keyboard now holds.
  state_.direction = 0;
  state_.reportRate = 0;
  state_.paintTool = 0;
  state_.presetColour = 0;
  state_.triggerType = 0;
  view_.ShowReportRate(state_.reportRate);
  view_.ShowLightingReset();

  view_.RemoveKeyOverlays();
  return first;
}

void LightingModel::SetLightingPanelOpen(bool open) {
  state_.panelOpen = open;
  writeLightingPanelOpen(settings_, open);
}

int LightingModel::ComboIndexOfEffect(int code) const {
  for (const EffectComboEntry& e : combo_)
    if (e.code == code) return e.comboIndex;
  return -1;
}

int LightingModel::EffectOfComboIndex(int index) const {
  for (const EffectComboEntry& e : combo_)
    if (e.comboIndex == index) return e.code;
  return 0;
}

const ProfileSettingsRecord& LightingModel::record(int profile) const {
  static const ProfileSettingsRecord none{};
  return IsKeyboardProfile(profile) ? records_[static_cast<size_t>(profile)] : none;
}

const PerKeyRegion& LightingModel::perKeyRegion(int profile) const {
  static const PerKeyRegion none{};
  return IsKeyboardProfile(profile) ? regions_[static_cast<size_t>(profile)] : none;
}

LedMask LightingModel::userPattern(int mode) const {
  int selected = selectedProfile();
  if (!IsKeyboardProfile(selected)) return {};
  return userPatternOf(regions_[static_cast<size_t>(selected)], mode);
}

}  // namespace kv
