// kvsimctl: sends one command to a running simulated keyboard.
//   kvsimctl [--pipe NAME | --pid PID] command [words...]
// Prints the reply; exit 0 for OK, 1 for ERR, 2 when the keyboard cannot be
// reached or the arguments are wrong.
#include <windows.h>

#include <string>

#include "tessaro/sim/sim_control_win32.h"

namespace {

void print(const std::string& s) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD n = 0;
  if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
}

std::string narrow(const wchar_t* w) {
  std::string s;
  for (; *w; ++w) s.push_back(*w < 128 ? static_cast<char>(*w) : '?');
  return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring pipe;
  int i = 1;
  if (i + 1 < argc && std::wstring(argv[i]) == L"--pipe") {
    pipe = kv::sim::PipeNameFrom(argv[i + 1]);
    i += 2;
  } else if (i + 1 < argc && std::wstring(argv[i]) == L"--pid") {
    pipe = kv::sim::PipeNameFrom(std::wstring(L"KorvalinSim-") + argv[i + 1]);
    i += 2;
  } else {
    wchar_t value[512];
    DWORD n = GetEnvironmentVariableW(L"KORVALIN_SIM_PIPE", value, 512);
    if (n > 0 && n < 512) pipe = kv::sim::PipeNameFrom(std::wstring(value, n));
  }
  if (pipe.empty() || i >= argc) {
    print("usage: kvsimctl [--pipe NAME | --pid PID] command [words...]; try the command help\n");
    return 2;
  }
  std::string line;
  for (; i < argc; ++i) {
    if (!line.empty()) line += ' ';
    line += narrow(argv[i]);
  }
  std::string reply;
  if (!kv::sim::SendControl(pipe, line, &reply)) {
    print(reply + "\n");
    return 2;
  }
  print(reply);
  return reply.rfind("OK", 0) == 0 ? 0 : 1;
}
