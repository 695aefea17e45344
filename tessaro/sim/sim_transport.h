// The twelve entry points of the transport library over one process-wide
// simulated keyboard. Tessaro.dll exports them by their plain names; native
// programs bind them directly with BindSimulator.
#pragma once

#include <memory>

#include "device/transport.h"
#include "tessaro/sim/sim_keyboard.h"

namespace kv::sim {

// The keyboard the entry points talk to; created with a default
// configuration on first use.
std::shared_ptr<SimKeyboard> CurrentKeyboard();
// Replaces it with a new keyboard; the old one's thread is stopped first.
void ResetKeyboard(const SimConfig& config);
// Where the first CurrentKeyboard() takes its configuration from (the DLL
// reads the environment); the default makes SimConfig{}.
void SetConfigProvider(SimConfig (*provider)());

#include "tessaro/entry_points.inc"

// Fills api with the in-process entry points.
inline void BindSimulator(TransportApi& api) { BindEntryPoints(api); }

}  // namespace kv::sim
