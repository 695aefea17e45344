// Crash-safe replace on Windows: write, flush, then MoveFileEx with
// write-through so the rename itself reaches the disk.
#include <windows.h>

#include <string>

#include "base/handles_win32.h"
#include "base/log_win32.h"
#include "profile/file_io.h"

namespace kv {

bool processRunning(uint64_t pid) {
  if (pid == 0 || pid > MAXDWORD) return false;
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, beyond our reach
  DWORD code = 0;
  return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

namespace {

// OneDrive, the search indexer or a virus scanner may hold the file for a
// moment after it changed: the rename is tried again for about half a second
// before the save counts as failed.
constexpr int kRenameRetries = 10;
constexpr DWORD kRenameRetryMs = 50;

bool replaceWithRetries(const std::wstring& temp, const std::wstring& target) {
  for (int retry = 0;; ++retry) {
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
    if (!held || retry == kRenameRetries) {
      LogFailure(L"MoveFileExW(" + target + L")", error);
      return false;
    }
    Sleep(kRenameRetryMs);
  }
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts) {
  removeStaleTemporaryFiles(path);
  std::wstring target = path.wstring();
  std::wstring temp = temporaryPathFor(path, GetCurrentProcessId()).wstring();
  UniqueFile file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  bool ok = true;
  for (auto part : parts) {
    size_t done = 0;
    while (ok && done < part.size()) {
      DWORD chunk = static_cast<DWORD>(part.size() - done > 0x40000000 ? 0x40000000 : part.size() - done);
      DWORD written = 0;
      if (!WriteFile(file.get(), part.data() + done, chunk, &written, nullptr) || written == 0) ok = false;
      done += written;
    }
  }
  if (ok && !FlushFileBuffers(file.get())) ok = false;
  // Closed here, before the rename, and a failed close fails the write.
  if (!CloseHandle(file.release())) ok = false;
  if (ok) ok = replaceWithRetries(temp, target);
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace kv
