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
// Before writing it removes the temporary files of earlier saves of `path`
// that were killed (see removeStaleTemporaryFiles).
[[nodiscard]] bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts);

// The temporary file a save of `path` by process `pid` writes: "<name>.tmp-<pid>".
std::filesystem::path temporaryPathFor(const std::filesystem::path& path, uint64_t pid);

// Removes the temporary files "<name>.tmp-<pid>" beside `path` whose process
// is no longer running: a save killed before its rename leaves one behind.
// A running process's file is a save in progress and stays.
void removeStaleTemporaryFiles(const std::filesystem::path& path);

// Whether a process with this id runs now (one implementation per platform).
bool processRunning(uint64_t pid);

// Reads at most maxBytes from the start of the file; nullopt when it cannot be read.
std::optional<std::vector<uint8_t>> readFilePrefix(const std::filesystem::path& path, uint64_t maxBytes);

}  // namespace kv
