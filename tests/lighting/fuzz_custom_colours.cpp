// The colour dialog's custom colours as the settings file holds them, which
// the user may have edited: whatever the text, 16 colours come out, each a
// colour value, and writing them out reads back the same.
// Input: the value's text as UTF-16 code units (pairs of bytes).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  kv::CustomColours colours = kv::parseCustomColours(text);
  for (uint32_t c : colours)
    if (c > 0x00FFFFFF) std::abort();
  if (kv::parseCustomColours(kv::formatCustomColours(colours)) != colours) std::abort();
  return 0;
}
