// The keyboard's macro memory as one byte image, both ways, and fitting it
// into the memory the keyboard has.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "macro/macro_record.h"

namespace kv {

inline constexpr uint16_t kMacroImageMagic = 0x55AA;

struct MacroImageHeader {
  uint16_t magic;        // kMacroImageMagic, else the keyboard holds no macros
  uint16_t totalLength;  // header included
  uint16_t count;
  uint16_t names;        // 1 names stored, 0 dropped
  uint8_t reserved[8];
};
static_assert(sizeof(MacroImageHeader) == 16);
static_assert(offsetof(MacroImageHeader, totalLength) == 2 && offsetof(MacroImageHeader, count) == 4 &&
              offsetof(MacroImageHeader, names) == 6 && offsetof(MacroImageHeader, reserved) == 8);
inline constexpr size_t kMacroImageHeaderSize = sizeof(MacroImageHeader);

// Image delays are 12-bit counts of 10 ms.
inline constexpr uint32_t kMacroDelayUnitMs = 10;
inline constexpr uint32_t kMaxImageDelayMs = 4095 * kMacroDelayUnitMs;

// One action as the image stores it: control word (delay, kind, press bit), two data bytes.
std::array<uint8_t, 4> encodeMacroAction(const MacroAction& action);
MacroAction decodeMacroAction(std::span<const uint8_t, 4> bytes);

struct MacroImageSizes {
  size_t withNames;
  size_t withoutNames;
};
MacroImageSizes macroImageSizes(std::span<const MacroRecord> macros);

// Writes the image of `macros` into dest with `totalLength` in its header.
// False, with nothing written, when dest is smaller than the image or the
// image would not fit the 16-bit lengths and offsets of its format.
[[nodiscard]] bool buildMacroImage(std::span<const MacroRecord> macros, std::span<uint8_t> dest, uint16_t totalLength,
                     bool withNames);

// Number of macros the header of an image names (at most 100); 0 without the magic.
size_t macroImageCount(std::span<const uint8_t> image);
// Reads the whole macros of an image into dest and returns how many were
// written. Never reads outside `image` nor writes past dest: a macro whose
// offset or actions run past the image is skipped, a name is cut to what the
// image holds and to 249 units, more than 2000 actions are cut to 2000. Id
// and default name follow the macro's place in the image (id = place + 1).
size_t parseMacroImage(std::span<const uint8_t> image, std::span<MacroRecord> dest);
// The same into a list; false (list untouched) when memory runs out.
[[nodiscard]] bool parseMacroImage(std::span<const uint8_t> image, MacroList& out);

enum class MacroFit {
  WithNames,     // fits whole
  WithoutNames,  // fits only with the names dropped (EXTRA_PROFILE_SPACE_TIGHT after the write)
  TooLong,       // does not fit even without names (EXTRA_MACRO_TOO_LONG, write nothing)
  NoMemory,      // the image could not be allocated (abort the write silently)
};
struct FittedMacroImage {
  MacroFit fit;
  std::vector<uint8_t> bytes;  // empty unless fit is WithNames or WithoutNames
};
// Which image fits `capacity` bytes: with names, without, or none (never NoMemory).
MacroFit macroFitOf(const MacroImageSizes& sizes, size_t capacity);
// Builds the image that fits `capacity` bytes (information block byte 11 x 128).
FittedMacroImage fitMacroImage(std::span<const MacroRecord> macros, size_t capacity);

// Reads count bytes of macro memory from offset 0 into dest; returns the
// device result code (1 = success).
using MacroMemoryReader = std::function<int(uint8_t* dest, size_t count)>;
// Reads the header, then the image it names, and parses it into `out`; a
// keyboard without the magic gives an empty list. Returns 1 or the failing
// read's result (out untouched then); 0 when memory runs out.
[[nodiscard]] int readKeyboardMacros(const MacroMemoryReader& read, MacroList& out);

}  // namespace kv
