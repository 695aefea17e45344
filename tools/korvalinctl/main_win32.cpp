// korvalinctl.exe: a console program that talks to the Tessaro.dll beside
// it, or to the simulated keyboard in-process with --sim STATE.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/text_table.h"
#include "base/wide_win32.h"
#include "device/transport_win32.h"
#include "tools/korvalinctl/ctl.h"

namespace {

int startLibrary(kv::TransportCallback callback, int* deviceCount, std::string* cause) {
  std::wstring why;
  int result = kv::TryLoadTransport(callback, deviceCount, &why);
  if (result != 0) {
    while (!why.empty() && (why.back() == L'\n' || why.back() == L'\r')) why.pop_back();
    *cause = kv::toUtf8(kv::u16(why));
    if (cause->empty()) *cause = "the transport library could not be used (" + std::to_string(result) + ")";
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kv::toUtf8(kv::u16(argv[i])));
  // JSON and texts are UTF-8; a console has to be told so. Redirected
  // output takes the bytes as they are.
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  if (console && console != INVALID_HANDLE_VALUE && GetFileType(console) == FILE_TYPE_CHAR &&
      !SetConsoleOutputCP(CP_UTF8))
    std::cerr << "korvalinctl: warning: the console does not take UTF-8 (" << GetLastError() << ")\n";
  kvctl::Platform platform;
  platform.startLibrary = startLibrary;
  return kvctl::Run(args, std::cout, std::cerr, platform);
}
