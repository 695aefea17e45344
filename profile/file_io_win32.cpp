// Crash-safe replace on Windows: write, flush, then MoveFileEx with
// write-through so the rename itself reaches the disk.
#include <windows.h>

#include <string>

#include "profile/file_io.h"

namespace kv {

bool processRunning(uint64_t pid) {
  if (pid == 0 || pid > MAXDWORD) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, beyond our reach
  DWORD code = 0;
  bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

bool writeFileAtomically(const std::filesystem::path& path, std::initializer_list<std::span<const uint8_t>> parts) {
  removeStaleTemporaryFiles(path);
  std::wstring target = path.wstring();
  std::wstring temp = temporaryPathFor(path, GetCurrentProcessId()).wstring();
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (auto part : parts) {
    size_t done = 0;
    while (ok && done < part.size()) {
      DWORD chunk = static_cast<DWORD>(part.size() - done > 0x40000000 ? 0x40000000 : part.size() - done);
      DWORD written = 0;
      if (!WriteFile(file, part.data() + done, chunk, &written, nullptr) || written == 0) ok = false;
      done += written;
    }
  }
  if (ok && !FlushFileBuffers(file)) ok = false;
  if (!CloseHandle(file)) ok = false;
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) ok = false;
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace kv
