#include "macro/macro_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "model/key_info.h"

namespace kv {
namespace {

uint16_t readU16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
void writeU16(std::span<uint8_t> b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

constexpr unsigned kKindNone = 0;
constexpr unsigned kKindKey = 2;
constexpr unsigned kKindConsumer = 3;
constexpr unsigned kKindSystem = 4;
constexpr uint16_t kPressBit = 0x8000;
constexpr uint8_t kDataModifier = 0x01;
constexpr uint8_t kDataKey = 0x02;

constexpr size_t kMaxImageLength = 0xFFFF;

size_t macroSize(const MacroRecord& m) { return 4 + 4 * macroActionCount(m); }

}  // namespace

std::array<uint8_t, 4> encodeMacroAction(const MacroAction& action) {
  // Longer delays than the field holds are kept at its largest value rather
  // than wrapped to a short one.
  auto control = static_cast<uint16_t>(std::min<uint32_t>(action.delay / kMacroDelayUnitMs, 0x0FFF));
  unsigned kind = kKindNone;
  uint8_t d0 = 0, d1 = 0;
  Usage u = KeyToUsage(action.key);
  switch (u.page) {
    case kPageKeyboard:
      kind = kKindKey;
      if (uint8_t bit = modifierBitOfKey(action.key)) {
        d0 = kDataModifier;
        d1 = bit;
      } else {
        d0 = kDataKey;
        d1 = static_cast<uint8_t>(u.usage);
      }
      break;
    case kPageConsumer:
    case kPageGenericDesktop:
      kind = u.page == kPageConsumer ? kKindConsumer : kKindSystem;
      d0 = static_cast<uint8_t>(u.usage);
      d1 = static_cast<uint8_t>(u.usage >> 8);
      break;
    default:
      break;
  }
  control = static_cast<uint16_t>(control | (kind << 12));
  if (action.state != kMacroRelease) control |= kPressBit;
  return {static_cast<uint8_t>(control), static_cast<uint8_t>(control >> 8), d0, d1};
}

MacroAction decodeMacroAction(std::span<const uint8_t, 4> b) {
  auto control = static_cast<uint16_t>(b[0] | (b[1] << 8));
  MacroAction a{};
  a.delay = (control & 0x0FFFu) * kMacroDelayUnitMs;
  a.state = (control & kPressBit) ? kMacroPress : kMacroRelease;
  auto data = static_cast<uint16_t>(b[2] | (b[3] << 8));
  switch ((control >> 12) & 7u) {
    case kKindKey: a.key = b[2] == kDataKey ? UsageToKey(kPageKeyboard, b[3]) : ModifierBitsToKey(b[3]); break;
    case kKindConsumer: a.key = UsageToKey(kPageConsumer, data); break;
    case kKindSystem: a.key = UsageToKey(kPageGenericDesktop, data); break;
    default: a.key = 0; break;
  }
  return a;
}

MacroImageSizes macroImageSizes(std::span<const MacroRecord> macros) {
  size_t without = kMacroImageHeaderSize + 2 * macros.size();
  size_t names = 0;
  for (const auto& m : macros) {
    without += macroSize(m);
    names += 2 * macroName(m).size();
  }
  return {without + names, without};
}

bool buildMacroImage(std::span<const MacroRecord> macros, std::span<uint8_t> dest, uint16_t totalLength,
                     bool withNames) {
  MacroImageSizes sizes = macroImageSizes(macros);
  size_t size = withNames ? sizes.withNames : sizes.withoutNames;
  if (size > kMaxImageLength || dest.size() < size) return false;
  std::fill_n(dest.begin(), size, uint8_t{0});
  writeU16(dest, 0, kMacroImageMagic);
  writeU16(dest, 2, totalLength);
  writeU16(dest, 4, static_cast<uint16_t>(macros.size()));
  writeU16(dest, 6, withNames ? 1 : 0);
  size_t pos = kMacroImageHeaderSize + 2 * macros.size();
  for (size_t i = 0; i < macros.size(); ++i) {
    const MacroRecord& m = macros[i];
    size_t count = macroActionCount(m);
    std::u16string_view name = withNames ? macroName(m) : std::u16string_view();
    writeU16(dest, kMacroImageHeaderSize + 2 * i, static_cast<uint16_t>(pos));
    writeU16(dest, pos, static_cast<uint16_t>(count));
    dest[pos + 2] = m.cycles;
    dest[pos + 3] = static_cast<uint8_t>(name.size());
    pos += 4;
    for (size_t k = 0; k < count; ++k) {
      auto bytes = encodeMacroAction(m.actions[k]);
      std::copy(bytes.begin(), bytes.end(), dest.begin() + static_cast<std::ptrdiff_t>(pos));
      pos += 4;
    }
    for (char16_t unit : name) {
      writeU16(dest, pos, unit);
      pos += 2;
    }
  }
  return true;
}

size_t macroImageCount(std::span<const uint8_t> image) {
  if (image.size() < kMacroImageHeaderSize || readU16(image, 0) != kMacroImageMagic) return 0;
  return std::min<size_t>(readU16(image, 4), kMaxMacros);
}

size_t parseMacroImage(std::span<const uint8_t> image, std::span<MacroRecord> dest) {
  size_t count = macroImageCount(image);
  if (count == 0) return 0;
  // Only offset slots that lie inside the image are followed.
  count = std::min(count, (image.size() - kMacroImageHeaderSize) / 2);
  size_t written = 0;
  for (size_t i = 0; i < count && written < dest.size(); ++i) {
    size_t at = readU16(image, kMacroImageHeaderSize + 2 * i);
    if (at + 4 > image.size()) continue;
    size_t actions = readU16(image, at);
    size_t nameLength = image[at + 3];
    size_t actionsEnd = at + 4 + 4 * actions;
    if (actionsEnd > image.size()) continue;

    MacroRecord& m = dest[written++];
    m = MacroRecord{};
    m.cycles = image[at + 2];
    m.id = static_cast<uint16_t>(i + 1);
    size_t kept = std::min(actions, kMaxMacroActions);
    m.actionCount = static_cast<uint16_t>(kept);
    for (size_t k = 0; k < kept; ++k)
      m.actions[k] = decodeMacroAction(image.subspan(at + 4 + 4 * k).first<4>());

    size_t units = std::min({nameLength, (image.size() - actionsEnd) / 2, kMaxMacroNameUnits});
    if (units > 0) {
      for (size_t k = 0; k < units; ++k) m.name[k] = static_cast<char16_t>(readU16(image, actionsEnd + 2 * k));
    } else {
      setMacroName(m, defaultMacroName(static_cast<int>(i + 1)));
    }
  }
  return written;
}

bool parseMacroImage(std::span<const uint8_t> image, MacroList& out) {
  try {
    MacroList list(macroImageCount(image));
    list.resize(parseMacroImage(image, std::span<MacroRecord>(list)));
    out.swap(list);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

MacroFit macroFitOf(const MacroImageSizes& sizes, size_t capacity) {
  if (capacity < sizes.withoutNames || sizes.withoutNames > kMaxImageLength) return MacroFit::TooLong;
  return capacity >= sizes.withNames && sizes.withNames <= kMaxImageLength ? MacroFit::WithNames
                                                                           : MacroFit::WithoutNames;
}

FittedMacroImage fitMacroImage(std::span<const MacroRecord> macros, size_t capacity) {
  MacroImageSizes sizes = macroImageSizes(macros);
  MacroFit fit = macroFitOf(sizes, capacity);
  if (fit == MacroFit::TooLong) return {MacroFit::TooLong, {}};
  bool withNames = fit == MacroFit::WithNames;
  size_t size = withNames ? sizes.withNames : sizes.withoutNames;
  FittedMacroImage result{withNames ? MacroFit::WithNames : MacroFit::WithoutNames, {}};
  try {
    result.bytes.resize(size);
  } catch (const std::bad_alloc&) {
    return {MacroFit::NoMemory, {}};
  }
  // The size was chosen to fit; a refusal would leave a half-built image,
  // which must never reach the keyboard.
  if (!buildMacroImage(macros, result.bytes, static_cast<uint16_t>(size), withNames)) return {MacroFit::TooLong, {}};
  return result;
}

int readKeyboardMacros(const MacroMemoryReader& read, MacroList& out) {
  uint8_t header[kMacroImageHeaderSize];
  int r = read(header, sizeof header);
  if (r != 1) return r;
  size_t total = static_cast<size_t>(header[2] | (header[3] << 8));
  if ((header[0] | (header[1] << 8)) != kMacroImageMagic || total < kMacroImageHeaderSize) {
    out.clear();
    return 1;
  }
  std::vector<uint8_t> image;
  try {
    image.resize(total);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  r = read(image.data(), image.size());
  if (r != 1) return r;
  return parseMacroImage(image, out) ? 1 : 0;
}

}  // namespace kv
