// One Korvalin at a time: a second start hands over to the first one
// ("/Kill" closes it) and ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/handles_win32.h"
#include "resources/window_messages.h"

namespace kv {

inline constexpr wchar_t kInstanceMutexName[] = L"Korvalin_Mutex_RV304 104key";
inline constexpr LONG_PTR kMainWindowMarker = 0x4D41494E;  // "MAIN"

// The arguments after the program name.
std::vector<std::wstring> CommandLineArguments();

// Another running process whose executable file name equals fileName
// (case-insensitive), or 0. This process itself never counts: a start must not
// mistake itself for the instance it is looking for.
DWORD FindOtherInstance(const std::wstring& fileName);
// The first top-level window (in z-order) of that process carrying MAIN, or null.
HWND FindMainWindowOf(DWORD pid);

struct InstanceCheck {
  bool continueRunning = true;  // false: this process must end with exit code 0
  bool suppressFirstShow = false;  // "/Start" was given
  UniqueKernelHandle mutex;        // held (or opened) for the life of the process
};

// The check run when the main dialog is constructed.
InstanceCheck CheckSingleInstance(const std::vector<std::wstring>& args, const std::wstring& programFileName);

// Starts the companion program hidden when it is there; its failure is ignored.
void LaunchCompanion(const std::wstring& path);

}  // namespace kv
