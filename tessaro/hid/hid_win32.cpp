#include "tessaro/hid/hid_win32.h"

#include <windows.h>

#include <winternl.h>  // NTSTATUS, which the HID headers use

#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>
// These MinGW headers declare hid.dll's functions without C linkage.
extern "C" {
#include <hidusage.h>
#include <hidpi.h>
#include <hidsdi.h>
}

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/handles_win32.h"

namespace kv::hid {

namespace {

// Input reports the HID class driver keeps for a handle that is not
// reading at that moment (its default is 32; 512 is its maximum). A burst
// of consumer events while the command collection answers loses nothing.
constexpr ULONG kInputBuffers = 256;

std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

void failure(const char* operation, const std::string& what = {}) {
  DWORD error = GetLastError();
  DebugLine(std::string(operation) + (what.empty() ? "" : " " + what) + " failed (error " + std::to_string(error) +
            ")");
  SetLastError(error);
}

IoStatus statusOfError(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return IoStatus::AccessDenied;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED: return IoStatus::Gone;
    default: return IoStatus::Failed;
  }
}

std::wstring deviceId(DEVINST instance) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDW(instance, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return id;
}

// The same for every collection of one physical keyboard: the USB device
// above the HID collection (its interfaces, "&MI_nn", are skipped), else
// the HID device itself.
std::string physicalKey(DEVINST collection, const std::wstring& path) {
  DEVINST at = collection;
  std::wstring fallback;
  for (int level = 0; level < 4; ++level) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, at, 0) != CR_SUCCESS) break;
    at = parent;
    std::wstring id = deviceId(at);
    if (fallback.empty()) fallback = id;
    std::wstring upper = id;
    for (wchar_t& ch : upper) ch = static_cast<wchar_t>(towupper(ch));
    if (upper.rfind(L"USB\\", 0) == 0 && upper.find(L"&MI_") == std::wstring::npos) return narrow(id);
  }
  return narrow(fallback.empty() ? path : fallback);
}

// A collection numbers its reports when any of its fields carries a report id.
bool usesReportIds(PHIDP_PREPARSED_DATA data, const HIDP_CAPS& caps) {
  const std::pair<HIDP_REPORT_TYPE, std::pair<USHORT, USHORT>> kinds[] = {
      {HidP_Input, {caps.NumberInputButtonCaps, caps.NumberInputValueCaps}},
      {HidP_Output, {caps.NumberOutputButtonCaps, caps.NumberOutputValueCaps}},
      {HidP_Feature, {caps.NumberFeatureButtonCaps, caps.NumberFeatureValueCaps}}};
  for (const auto& [type, counts] : kinds) {
    if (counts.first) {
      std::vector<HIDP_BUTTON_CAPS> b(counts.first);
      USHORT n = counts.first;
      if (HidP_GetButtonCaps(type, b.data(), &n, data) == HIDP_STATUS_SUCCESS)
        for (USHORT i = 0; i < n; ++i)
          if (b[i].ReportID) return true;
    }
    if (counts.second) {
      std::vector<HIDP_VALUE_CAPS> v(counts.second);
      USHORT n = counts.second;
      if (HidP_GetValueCaps(type, v.data(), &n, data) == HIDP_STATUS_SUCCESS)
        for (USHORT i = 0; i < n; ++i)
          if (v[i].ReportID) return true;
    }
  }
  return false;
}

class WindowsChannel : public HidChannel {
 public:
  WindowsChannel(UniqueFile file, std::string path, uint16_t inputBytes, bool readable)
      : file_(std::move(file)),
        path_(std::move(path)),
        inputBytes_(inputBytes),
        readable_(readable),
        readDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        writeDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        cancel_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

  bool ready() const { return readDone_ && writeDone_ && cancel_; }

  IoStatus read(std::vector<uint8_t>& frame) override {
    if (WaitForSingleObject(cancel_.get(), 0) == WAIT_OBJECT_0) return IoStatus::Cancelled;
    frame.resize(inputBytes_);
    OVERLAPPED ov{};
    ov.hEvent = readDone_.get();
    ResetEvent(ov.hEvent);
    if (!ReadFile(file_.get(), frame.data(), static_cast<DWORD>(frame.size()), nullptr, &ov)) {
      DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) {
        failure("ReadFile", path_);
        return statusOfError(error);
      }
    }
    HANDLE waits[2] = {readDone_.get(), cancel_.get()};
    DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    DWORD got = 0;
    if (which != WAIT_OBJECT_0) {
      // Cancelled (or the wait broke): the read must be over before its
      // buffer and OVERLAPPED go.
      CancelIoEx(file_.get(), &ov);
      GetOverlappedResult(file_.get(), &ov, &got, TRUE);
      return which == WAIT_OBJECT_0 + 1 ? IoStatus::Cancelled : IoStatus::Failed;
    }
    if (!GetOverlappedResult(file_.get(), &ov, &got, TRUE)) {
      DWORD error = GetLastError();
      if (error == ERROR_OPERATION_ABORTED) return IoStatus::Gone;
      failure("ReadFile", path_);
      return statusOfError(error);
    }
    frame.resize(got);
    return IoStatus::Ok;
  }

  IoStatus write(std::span<const uint8_t> frame, std::chrono::milliseconds timeout) override {
    OVERLAPPED ov{};
    ov.hEvent = writeDone_.get();
    ResetEvent(ov.hEvent);
    if (!WriteFile(file_.get(), frame.data(), static_cast<DWORD>(frame.size()), nullptr, &ov)) {
      DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) {
        failure("WriteFile", path_);
        return statusOfError(error);
      }
    }
    DWORD waited = WaitForSingleObject(ov.hEvent, static_cast<DWORD>(timeout.count()));
    DWORD sent = 0;
    if (waited != WAIT_OBJECT_0) {
      // A report the device does not take: cancel it, and wait for the
      // cancellation so the OVERLAPPED is free when we return.
      CancelIoEx(file_.get(), &ov);
      GetOverlappedResult(file_.get(), &ov, &sent, TRUE);
      DebugLine("WriteFile " + path_ + " did not complete in " + std::to_string(timeout.count()) + " ms; cancelled");
      return IoStatus::TimedOut;
    }
    if (!GetOverlappedResult(file_.get(), &ov, &sent, TRUE)) {
      failure("WriteFile", path_);
      return statusOfError(GetLastError());
    }
    return sent == frame.size() ? IoStatus::Ok : IoStatus::Failed;
  }

  void cancelRead() override { SetEvent(cancel_.get()); }

  // The HID class driver's input buffers; a read that is pending keeps its
  // place. A handle opened for writing only has none.
  void discardInput() override {
    if (readable_ && !HidD_FlushQueue(file_.get())) failure("HidD_FlushQueue", path_);
  }

 private:
  UniqueFile file_;
  std::string path_;
  uint16_t inputBytes_;
  bool readable_;
  UniqueKernelHandle readDone_;
  UniqueKernelHandle writeDone_;
  UniqueKernelHandle cancel_;  // manual reset: a channel once cancelled is being closed
};

constexpr wchar_t kWatchClass[] = L"KorvalinTessaroHidWatch";
constexpr UINT kStopWatching = WM_APP + 1;

class WindowsBackend : public HidBackend {
 public:
  WindowsBackend() { HidD_GetHidGuid(&hidGuid_); }
  ~WindowsBackend() override { unwatch(); }

  std::vector<HidCollection> enumerate() override {
    std::vector<HidCollection> out;
    HDEVINFO set = SetupDiGetClassDevsW(&hidGuid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
      failure("SetupDiGetClassDevs");
      return out;
    }
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA iface{};
      iface.cbSize = sizeof iface;
      if (!SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid_, index, &iface)) {
        if (GetLastError() != ERROR_NO_MORE_ITEMS) failure("SetupDiEnumDeviceInterfaces");
        break;
      }
      DWORD size = 0;
      SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
      if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
      std::vector<BYTE> buffer(size);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      SP_DEVINFO_DATA info{};
      info.cbSize = sizeof info;
      if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, nullptr, &info)) {
        failure("SetupDiGetDeviceInterfaceDetail");
        continue;
      }
      std::wstring path = detail->DevicePath;
      HidCollection c;
      if (describe(path, info.DevInst, &c)) out.push_back(std::move(c));
    }
    SetupDiDestroyDeviceInfoList(set);
    return out;
  }

  std::unique_ptr<HidChannel> open(const HidCollection& c, IoStatus* status, std::string* message) override {
    std::wstring path = widen(c.path);
    // Read and write when the system lets us; a collection it shares only
    // one way is opened that way, and the other direction then fails on
    // its own.
    const DWORD tries[] = {GENERIC_READ | GENERIC_WRITE, GENERIC_WRITE, GENERIC_READ};
    UniqueFile file;
    DWORD error = 0;
    DWORD opened = 0;
    for (DWORD access : tries) {
      if (access == GENERIC_READ && c.inputFrameBytes == 0) continue;
      if (access == GENERIC_WRITE && c.outputFrameBytes == 0) continue;
      file.reset(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr));
      if (file) {
        opened = access;
        break;
      }
      error = GetLastError();
      failure("CreateFile", c.path);
      if (statusOfError(error) != IoStatus::AccessDenied) break;
    }
    if (!file) {
      *status = statusOfError(error);
      *message = "cannot open " + c.path + ": " + IoStatusName(*status) + " (error " + std::to_string(error) + ")";
      return nullptr;
    }
    if (c.inputFrameBytes && !HidD_SetNumInputBuffers(file.get(), kInputBuffers))
      failure("HidD_SetNumInputBuffers", c.path);
    auto channel = std::make_unique<WindowsChannel>(std::move(file), c.path, c.inputFrameBytes,
                                                    (opened & GENERIC_READ) != 0);
    if (!channel->ready()) {
      failure("CreateEvent");
      *status = IoStatus::Failed;
      *message = "cannot create the events for " + c.path;
      return nullptr;
    }
    return channel;
  }

  bool watch(std::function<void()> changed) override {
    unwatch();
    changed_ = std::move(changed);
    UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
      failure("CreateEvent");
      return false;
    }
    bool ok = false;
    watcher_ = std::thread([this, &ready, &ok] { watchLoop(ready.get(), &ok); });
    WaitForSingleObject(ready.get(), INFINITE);
    if (!ok) {
      watcher_.join();
      return false;
    }
    return true;
  }

  void unwatch() override {
    if (!watcher_.joinable()) return;
    if (!PostMessageW(window_, kStopWatching, 0, 0)) failure("PostMessage");
    watcher_.join();
  }

 private:
  bool describe(const std::wstring& path, DEVINST instance, HidCollection* c) {
    // No access asked: attributes and capabilities can be read even of
    // collections the system keeps for itself (keyboards, mice).
    UniqueFile query(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    if (!query) {
      failure("CreateFile (query)", narrow(path));
      return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(query.get(), &attributes)) {
      failure("HidD_GetAttributes", narrow(path));
      return false;
    }
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!HidD_GetPreparsedData(query.get(), &data)) {
      failure("HidD_GetPreparsedData", narrow(path));
      return false;
    }
    HIDP_CAPS caps{};
    bool ok = HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS;
    if (ok) {
      c->path = narrow(path);
      c->deviceKey = physicalKey(instance, path);
      c->vendorId = attributes.VendorID;
      c->productId = attributes.ProductID;
      c->usagePage = caps.UsagePage;
      c->usage = caps.Usage;
      c->inputFrameBytes = caps.InputReportByteLength;
      c->outputFrameBytes = caps.OutputReportByteLength;
      c->numbered = usesReportIds(data, caps);
    }
    HidD_FreePreparsedData(data);
    return ok;
  }

  static LRESULT CALLBACK watchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
      auto* self = reinterpret_cast<WindowsBackend*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (self && self->changed_) {
        try {
          self->changed_();
        } catch (...) {
          DebugLine("device change not handled: out of memory");
        }
      }
      return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void watchLoop(HANDLE ready, bool* ok) {
    HINSTANCE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&watchProc), &module);
    WNDCLASSW wc{};
    wc.lpfnWndProc = watchProc;
    wc.hInstance = module;
    wc.lpszClassName = kWatchClass;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) failure("RegisterClass");
    HWND hwnd = CreateWindowExW(0, kWatchClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (!hwnd) {
      failure("CreateWindowEx (device notifications)");
      SetEvent(ready);
      return;
    }
    UniqueWindow window(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = hidGuid_;
    HDEVNOTIFY notify = RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notify) {
      failure("RegisterDeviceNotification");
      SetEvent(ready);
      return;
    }
    window_ = hwnd;
    *ok = true;
    SetEvent(ready);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kStopWatching) break;
      DispatchMessageW(&msg);
    }
    UnregisterDeviceNotification(notify);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    window_ = nullptr;
  }

  GUID hidGuid_{};
  std::function<void()> changed_;
  std::thread watcher_;
  HWND window_ = nullptr;
};

}  // namespace

void DebugLine(const std::string& line) { OutputDebugStringW((L"Tessaro: " + widen(line) + L"\n").c_str()); }

std::unique_ptr<HidBackend> MakeWindowsHidBackend() { return std::make_unique<WindowsBackend>(); }

}  // namespace kv::hid
