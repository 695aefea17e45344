// Macro images come from the keyboard: any bytes must parse without reading
// or writing out of bounds, and what parses must build again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "macro/macro_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> image(data, size);
  kv::MacroList macros;
  if (!kv::parseMacroImage(image, macros)) return 0;
  if (macros.size() > kv::macroImageCount(image)) std::abort();
  for (const auto& m : macros) {
    if (m.actionCount > kv::kMaxMacroActions || m.id == 0 || m.id > kv::kMaxMacros) std::abort();
    if (kv::macroName(m).size() > kv::kMaxMacroNameUnits) std::abort();
  }
  // What was read writes out the same image twice over.
  kv::FittedMacroImage first = kv::fitMacroImage(macros, 0xFFFF);
  if (first.fit != kv::MacroFit::WithNames && first.fit != kv::MacroFit::WithoutNames) return 0;
  kv::MacroList again;
  if (!kv::parseMacroImage(first.bytes, again) || again.size() != macros.size()) std::abort();
  kv::MacroImageSizes sizes = kv::macroImageSizes(again);
  std::vector<uint8_t> a(sizes.withoutNames), b(sizes.withoutNames);
  if (!kv::buildMacroImage(again, a, 0, false)) std::abort();
  kv::MacroList third;
  if (!kv::parseMacroImage(a, third) || !kv::buildMacroImage(third, b, 0, false) || a != b) std::abort();
  return 0;
}
