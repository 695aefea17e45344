// The simulated keyboard's control pipe: a server thread in Tessaro.dll and
// the client side used by kvsimctl and the tests. One command line per
// connection; the reply is everything read until the server closes.
#pragma once

#include <string>

namespace kv::sim {

// \\.\pipe\KorvalinSim-<pid> unless KORVALIN_SIM_PIPE names another
// ("none" turns the pipe off: returns an empty name).
std::wstring ControlPipeName(unsigned long processId);
std::wstring PipeNameFrom(const std::wstring& nameOrBare);

// Starts the server thread for the process-wide keyboard. Returns false
// when the thread could not be started.
[[nodiscard]] bool StartControlPipe(const std::wstring& pipeName);

// Sends one command and collects the reply. Returns false (and a reason in
// *reply) when the pipe cannot be reached within timeoutMs.
[[nodiscard]] bool SendControl(const std::wstring& pipeName, const std::string& line, std::string* reply,
                 unsigned long timeoutMs = 5000);

}  // namespace kv::sim
