// The program's folder: where the running executable lies. The data
// folders (Skins, Help) and Tessaro.dll are looked for beside it.
#pragma once

#include <windows.h>

#include <string>

namespace kv {

// The running program's full path, its folder (with a trailing backslash) and
// its file name with and without the extension; the path and the folder are
// empty when the system cannot tell, so nothing is looked for in the current
// folder instead.
std::wstring ExecutablePath();
std::wstring ExecutableFolder();
std::wstring ExecutableFileName();
std::wstring ExecutableBaseName();

}  // namespace kv
