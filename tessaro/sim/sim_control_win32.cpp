#include "tessaro/sim/sim_control_win32.h"

#include <windows.h>

#include <thread>
#include <utility>

#include "base/handles_win32.h"
#include "tessaro/sim/sim_control.h"
#include "tessaro/sim/sim_transport.h"

namespace kv::sim {

namespace {

constexpr DWORD kBuffer = 64 * 1024;
constexpr size_t kMaxCommand = 1 << 20;

bool writeAll(HANDLE h, const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(s.size() - done, kBuffer));
    if (!WriteFile(h, s.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

void serve(std::wstring name) {
  for (;;) {
    UniqueFile pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                       1, kBuffer, kBuffer, 0, nullptr));
    if (!pipe) {
      CurrentKeyboard()->note("control pipe not created (error " + std::to_string(GetLastError()) + ")");
      return;
    }
    if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) continue;
    std::string line;
    char buf[4096];
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(pipe.get(), buf, sizeof buf, &n, nullptr) || n == 0) break;
      line.append(buf, n);
      if (line.find('\n') != std::string::npos || line.size() > kMaxCommand) break;
    }
    size_t nl = line.find('\n');
    if (nl != std::string::npos) line.resize(nl);
    std::string reply = line.size() > kMaxCommand ? std::string("ERR command too long\n")
                                                  : ExecuteControl(*CurrentKeyboard(), line);
    if (writeAll(pipe.get(), reply)) FlushFileBuffers(pipe.get());
    DisconnectNamedPipe(pipe.get());
  }
}

}  // namespace

std::wstring PipeNameFrom(const std::wstring& nameOrBare) {
  const std::wstring prefix = L"\\\\.\\pipe\\";
  if (nameOrBare.rfind(prefix, 0) == 0) return nameOrBare;
  return prefix + nameOrBare;
}

std::wstring ControlPipeName(unsigned long processId) {
  wchar_t value[512];
  DWORD n = GetEnvironmentVariableW(L"KORVALIN_SIM_PIPE", value, 512);
  if (n > 0 && n < 512) {
    std::wstring v(value, n);
    if (v == L"none") return {};
    return PipeNameFrom(v);
  }
  return PipeNameFrom(L"KorvalinSim-" + std::to_wstring(processId));
}

bool StartControlPipe(const std::wstring& pipeName) {
  if (pipeName.empty()) return true;
  try {
    std::thread(serve, pipeName).detach();
  } catch (...) {
    return false;
  }
  return true;
}

bool SendControl(const std::wstring& pipeName, const std::string& line, std::string* reply,
                 unsigned long timeoutMs) {
  reply->clear();
  ULONGLONG deadline = GetTickCount64() + timeoutMs;
  UniqueFile pipe;
  for (;;) {
    pipe = UniqueFile(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (pipe) break;
    DWORD error = GetLastError();
    if (GetTickCount64() >= deadline) {
      *reply = "cannot open the control pipe (error " + std::to_string(error) + ")";
      return false;
    }
    // Busy with another client, or the server is between connections.
    if (error == ERROR_PIPE_BUSY) WaitNamedPipeW(pipeName.c_str(), 100);
    else Sleep(20);
  }
  if (!writeAll(pipe.get(), line + "\n")) {
    *reply = "cannot write to the control pipe";
    return false;
  }
  char buf[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(pipe.get(), buf, sizeof buf, &n, nullptr) || n == 0) break;
    reply->append(buf, n);
  }
  return true;
}

}  // namespace kv::sim
