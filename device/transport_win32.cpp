#include "device/transport_win32.h"

#include <windows.h>

#include <vector>

#include "base/log_win32.h"
#include "base/program_folder_win32.h"
#include "base/wide_win32.h"
#include "device/transport.h"

namespace kv {

namespace {

template <class Fn>
bool resolve(HMODULE module, const char* name, Fn* out) {
  FARPROC p = GetProcAddress(module, name);
  if (!p) return false;
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
  return true;
}

}  // namespace

bool RestrictDllSearch() {
  // The system folders and the application folder only; no current folder,
  // no PATH.
  bool defaultDirs = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != FALSE;
  // Also drops the current folder from the classic search order.
  bool dllDirectory = SetDllDirectoryW(L"") != FALSE;
  return defaultDirs || dllDirectory;
}

int BindTransportLibrary(const std::wstring& dllPath, TransportApi* api, std::wstring* cause) {
  *api = TransportApi{};
  // A full path: the library is looked up nowhere else; its own
  // dependencies are searched from its folder.
  HMODULE module = LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    *cause = L"cannot load the transport library " + dllPath + L" (error " + std::to_wstring(GetLastError()) + L")";
    return kExitTransportLibraryMissing;
  }
  TransportApi r;
  r.module = module;
  const auto& n = kTransportEntryPoints;
  bool ok = resolve(module, n[0], &r.Debug) && resolve(module, n[1], &r.Init) && resolve(module, n[2], &r.End) &&
            resolve(module, n[3], &r.RequestGetDeviceCount) && resolve(module, n[4], &r.DeleteRequestFromUnitId) &&
            resolve(module, n[5], &r.DeleteRequestFromHandle) && resolve(module, n[6], &r.RequestWrite) &&
            resolve(module, n[7], &r.RequestWriteOne) && resolve(module, n[8], &r.RequestStatusWrite) &&
            resolve(module, n[9], &r.RequestStatusGet) && resolve(module, n[10], &r.RequestAsyncRead) &&
            resolve(module, n[11], &r.RequestStatusSetFeature);
  if (!ok) {
    for (const char* name : n) {
      if (!GetProcAddress(module, name)) {
        *cause = L"the transport library lacks the entry point " + wideAscii(name);
        break;
      }
    }
    // The library stays loaded: the process ends right after this anyway.
    return kExitTransportEntryPointMissing;
  }
  *api = r;
  return 0;
}

int TryLoadTransport(TransportCallback callback, int* deviceCount, std::wstring* cause) {
  *deviceCount = 0;
  if (!RestrictDllSearch()) LogLine(L"could not restrict the DLL search order");
  std::wstring folder = ExecutableFolder();
  if (folder.empty()) {
    *cause = L"the program's folder is unknown; the transport library is not loaded";
    return kExitTransportLibraryMissing;
  }
  TransportApi api;
  int result = BindTransportLibrary(folder + L"Tessaro.dll", &api, cause);
  if (result != 0) return result;
  result = StartTransport(api, callback, deviceCount);
  if (result != 0) *cause = L"the transport library's Init failed";
  return result;
}

int LoadTransport(TransportCallback callback) {
  int count = 0;
  std::wstring cause;
  int result = TryLoadTransport(callback, &count, &cause);
  if (result != 0) ExitFatally(result, cause);
  return count;
}

}  // namespace kv
