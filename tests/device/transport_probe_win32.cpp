// Runs the program's transport start-up alone: ends with the loader's exit
// code on failure, 0 when the library is ready.
#include <windows.h>

#include "device/transport.h"
#include "device/transport_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  (void)kv::LoadTransport(kv::DefaultTransportCallback);
  return 0;
}
