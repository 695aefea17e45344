// The keyboard's profile settings record (42 bytes per on-board profile) and
// the report rate stored in it. Portable: plain records and constants.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>


namespace kv {

inline constexpr size_t kSettingsRecordBytes = 42;
// The settings region is read as three 56-byte answers at 0, 42 and 84, of
// which the first 42 bytes are the profile's record.
inline constexpr size_t kSettingsReadLength = 56;

// Colours on the keyboard are three bytes R, G, B.
using DeviceRgb = std::array<uint8_t, 3>;

#pragma pack(push, 1)
struct ProfileSettingsRecord {
  uint8_t effect;             // lighting effect code
  uint8_t brightness;         // 0-4
  uint8_t speed;              // 0-4; the speed control shows 4 - value
  uint8_t directionOrMode;    // direction (1 left / spread, 0 right / gather), or the per-key user mode 0-9
  uint8_t mainColourRandom;   // 0 = mainColour, else a random colour
  DeviceRgb mainColour;       // static, breathing and reaction colour
  uint8_t unused8;
  DeviceRgb userBaseColour;
  DeviceRgb userColour;
  uint8_t reportRate;         // index 0-3; above 3 reads as 3
  uint8_t paintTool;          // 0 paint, 1 erase; above 1 reads as 0
  uint8_t presetColour;       // 0 red, 1 yellow, 2 green, 3 blue
  uint8_t reactionRandom;     // 0 or 1, meaningful for effect 7 only
  uint8_t triggerType;        // 0 single key, 1 grid
  uint8_t unused20[5];
  DeviceRgb stoneColour;
  uint8_t stoneRandom;
  uint8_t unused29;
  DeviceRgb ribbonColour;
  uint8_t ribbonRandom;
  uint8_t unused34[8];
};
#pragma pack(pop)
static_assert(sizeof(ProfileSettingsRecord) == kSettingsRecordBytes);
static_assert(offsetof(ProfileSettingsRecord, effect) == 0 && offsetof(ProfileSettingsRecord, brightness) == 1 &&
              offsetof(ProfileSettingsRecord, speed) == 2 && offsetof(ProfileSettingsRecord, directionOrMode) == 3 &&
              offsetof(ProfileSettingsRecord, mainColourRandom) == 4 &&
              offsetof(ProfileSettingsRecord, mainColour) == 5 && offsetof(ProfileSettingsRecord, unused8) == 8 &&
              offsetof(ProfileSettingsRecord, userBaseColour) == 9 &&
              offsetof(ProfileSettingsRecord, userColour) == 12 && offsetof(ProfileSettingsRecord, reportRate) == 15 &&
              offsetof(ProfileSettingsRecord, paintTool) == 16 &&
              offsetof(ProfileSettingsRecord, presetColour) == 17 &&
              offsetof(ProfileSettingsRecord, reactionRandom) == 18 &&
              offsetof(ProfileSettingsRecord, triggerType) == 19 &&
              offsetof(ProfileSettingsRecord, stoneColour) == 25 &&
              offsetof(ProfileSettingsRecord, stoneRandom) == 28 &&
              offsetof(ProfileSettingsRecord, ribbonColour) == 30 &&
              offsetof(ProfileSettingsRecord, ribbonRandom) == 33 && offsetof(ProfileSettingsRecord, unused34) == 34);

// Field offsets inside the record, for single-field writes.
inline constexpr size_t kFieldEffect = offsetof(ProfileSettingsRecord, effect);
inline constexpr size_t kFieldBrightness = offsetof(ProfileSettingsRecord, brightness);
inline constexpr size_t kFieldSpeed = offsetof(ProfileSettingsRecord, speed);
inline constexpr size_t kFieldUserMode = offsetof(ProfileSettingsRecord, directionOrMode);
inline constexpr size_t kFieldReportRate = offsetof(ProfileSettingsRecord, reportRate);
inline constexpr size_t kFieldPaintTool = offsetof(ProfileSettingsRecord, paintTool);

// Address of a field of a profile's record in the settings region.
constexpr int settingsAddress(int profile, size_t field) {
  return profile * static_cast<int>(kSettingsRecordBytes) + static_cast<int>(field);
}

ProfileSettingsRecord settingsRecordFromBytes(std::span<const uint8_t, kSettingsRecordBytes> bytes);
std::array<uint8_t, kSettingsRecordBytes> settingsRecordBytes(const ProfileSettingsRecord& record);

// ---- Report rate -------------------------------------------------------------

inline constexpr int kReportRateCount = 4;
// Buttons report1-report4 stand for the indexes 0-3 in this order. Their
// numbers are the main window's control ids, named here only: the skin
// generator (tools/skingen) writes them into resources/control_ids.h.
inline constexpr std::array<uint16_t, kReportRateCount> kReportRateButtonIds = {1147, 1168, 1169, 1170};
// The rates the buttons' pictures show, for what screen readers say.
inline constexpr std::array<int, kReportRateCount> kReportRateHz = {125, 250, 500, 1000};

// A stored byte as an index: values above 3 are taken as 3.
constexpr int reportRateIndexOf(uint8_t stored) { return stored > 3 ? 3 : stored; }
// The index of a report-rate button, or -1 for another control.
constexpr int reportRateOfButton(uint16_t controlId) {
  for (int i = 0; i < kReportRateCount; ++i)
    if (kReportRateButtonIds[static_cast<size_t>(i)] == controlId) return i;
  return -1;
}

}  // namespace kv
