// Crash-safe replace on Windows: write, flush, then MoveFileEx with
// write-through so the rename itself reaches the disk.
#include <windows.h>

#include <string>

#include "base/handles_win32.h"
#include "profile/file_io.h"

namespace kv {

bool processRunning(uint64_t pid) {
  if (pid == 0 || pid > MAXDWORD) return false;
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, beyond our reach
  DWORD code = 0;
  return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

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
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) ok = false;
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace kv
