// Keyboard backups are files from anywhere: any bytes must be checked without
// reading outside them, a refused file must leave the destination as it was,
// and what is accepted must encode to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "profile/keyboard_backup.h"

namespace {

void checkOne(std::span<const uint8_t> file);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkOne(std::span<const uint8_t>(data, size));
  // The checksum stops nearly every mutation; the same bytes with it made
  // right reach the header checks and what follows a decode.
  if (size >= kv::kBackupHeaderSize) {
    std::vector<uint8_t> sealed(data, data + size);
    uint32_t crc = kv::crc32(std::span(sealed).first(28));
    crc = kv::crc32(std::span(sealed).subspan(kv::kBackupHeaderSize), crc);
    std::memcpy(sealed.data() + 28, &crc, 4);
    checkOne(sealed);
  }
  return 0;
}

namespace {

void checkOne(std::span<const uint8_t> file) {
  const size_t size = file.size();
  // The macro-memory walk is run on the raw bytes too: it reads what a
  // backup says the keyboard holds.
  std::optional<size_t> rawExtent = kv::macroImageExtent(file);
  if (rawExtent && *rawExtent > size) std::abort();

  kv::KeyboardContents out;
  out.macro.assign(3, 0xEE);
  const kv::KeyboardContents before = out;
  kv::BackupError error = kv::decodeBackup(file, out);
  if (kv::describeBackupError(error, file).empty()) std::abort();
  if (error != kv::BackupError::None) {
    if (!(out == before)) std::abort();
    return;
  }
  std::optional<std::vector<uint8_t>> again = kv::encodeBackup(out);
  if (!again || *again != std::vector<uint8_t>(file.begin(), file.end())) std::abort();
  for (size_t keyboard : {size_t{128}, size_t{1024}, out.macro.size(), size_t{255 * 128}}) {
    kv::MacroPlacement p = kv::placeMacroMemory(out.macro, keyboard);
    if (p.fits && (p.writeBytes > keyboard || p.writeBytes > out.macro.size() || p.neededBytes > p.writeBytes))
      std::abort();
  }
}

}  // namespace
