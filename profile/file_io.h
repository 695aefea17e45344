// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

namespace kv {

// Writes the parts, one after another, to a temporary file in the same
// folder, flushes it to the disk and then replaces `path` with it: an
// interrupted save leaves the old file or the new one, never a torn one.
bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts);

// Reads at most maxBytes from the start of the file; nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> readFilePrefix(const std::filesystem::path& path, uint64_t maxBytes);

}  // namespace kv
