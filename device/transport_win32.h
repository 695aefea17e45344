// Loading the transport library from the program's own folder.
#pragma once

#include <string>

#include "device/transport.h"

namespace kv {

// Excludes the current folder (and PATH) from the process's default DLL
// search, so no library is ever picked up from there. Returns false when
// the platform refused both ways.
[[nodiscard]] bool RestrictDllSearch();

// Loads the library at dllPath and resolves the twelve entry points in
// order. Returns 0, kExitTransportLibraryMissing or
// kExitTransportEntryPointMissing; *cause says what failed.
[[nodiscard]] int BindTransportLibrary(const std::wstring& dllPath, TransportApi* api, std::wstring* cause);

// True when the loaded library says another program holds the keyboard's
// command collection (the HID library's optional RequestOpenStatus).
[[nodiscard]] bool CommandChannelInUse();

// The whole start-up of the link without ending the process: restrict the
// DLL search, load Tessaro.dll from the program's folder, resolve, Init,
// bank report and the standing reads. Returns 0 with the device count, or
// one of the kExitTransport codes with *cause set.
[[nodiscard]] int TryLoadTransport(TransportCallback callback, int* deviceCount, std::wstring* cause);

// As TryLoadTransport; on failure writes the cause to the debugger output
// and ends the process with the code, without a message. Returns the
// device count.
[[nodiscard]] int LoadTransport(TransportCallback callback);

}  // namespace kv
