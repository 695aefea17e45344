// Macro images come from the keyboard: any bytes must parse without reading
// or writing out of bounds, and what parses must build again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

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
  kv::FittedMacroImage again = kv::fitMacroImage(macros, 0xFFFF);
  if (again.fit == kv::MacroFit::WithNames || again.fit == kv::MacroFit::WithoutNames) {
    kv::MacroList twice;
    if (!kv::parseMacroImage(again.bytes, twice) || twice.size() != macros.size()) std::abort();
  }
  return 0;
}
