// Keyboard-wide commands: a simulated keyboard's state, the information
// block, whole-keyboard reads and writes, the active profile, the report rate.
#include <array>

#include "device/protocol.h"
#include "keys/device_records.h"
#include "macro/macro_image.h"
#include "profile/file_io.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tools/korvalinctl/json.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

int cmdSimNew(Session& s) {
  if (int r = s.expectOptions({"--profile", "--macro-units"})) return r;
  if (int r = s.expectArguments(1, 0)) return r;
  if (!s.sim) return s.usageError("needs --sim STATE");
  long units = 0, profile = 0;
  if (int r = s.optionNumber("--macro-units", 1, 255, kv::sim::kDefaultMacroUnits, &units)) return r;
  if (int r = s.optionNumber("--profile", 0, 2, 0, &profile)) return r;
  if (int r = s.checkOutputPath(s.simArg, "--sim")) return r;
  std::vector<uint8_t> image =
      kv::sim::SerializeState(kv::sim::FactoryMemory(static_cast<int>(units), static_cast<int>(profile)));
  if (!kv::writeFileAtomically(*s.sim, {image})) return s.fail(kExitFailed, s.simArg + ": could not be written");
  return kExitOk;
}

int cmdInfo(Session& s) {
  if (int r = s.expectOptions({})) return r;
  if (int r = s.expectArguments(1, 0)) return r;
  if (int r = s.connect()) return r;
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return s.deviceError("could not read the information block", result);
  Json effects = Json::array();
  for (size_t i = kv::kInfoEffectList; i < kv::kInfoBlockSize; ++i)
    if (info[i]) effects.push(static_cast<int>(info[i]));
  Json j = Json::object();
  j.set("active_profile", static_cast<int>(info[kv::kInfoActiveProfile]))
      .set("macro_memory", kv::MacroMemoryBytes(info))
      .set("effects", std::move(effects));
  s.out << j.dump() << '\n';
  return kExitOk;
}

int cmdRead(Session& s) {
  if (int r = s.expectOptions({})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  const std::string& file = s.words()[1];
  if (int r = s.checkOutputPath(file)) return r;
  if (int r = s.connect()) return r;
  if (int r = s.useKeyboardTemplate()) return r;
  if (!s.store.readKeyboardToFile(pathOf(file)))
    return s.fail(kExitFailed, "could not read the keyboard into " + file + s.storeMessages());
  return kExitOk;
}

int cmdWrite(Session& s) {
  if (int r = s.expectOptions({"--verify"})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  const std::string& file = s.words()[1];
  if (int r = s.loadProfileArgument(file)) return r;
  if (int r = s.connect()) return r;
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return s.deviceError("could not read the information block", result);
  s.macroCapacity = kv::MacroMemoryBytes(info);
  {
    std::lock_guard lock(s.config.lock);
    kv::MacroFit fit = kv::fitMacroImage(s.config.macros, static_cast<size_t>(s.macroCapacity)).fit;
    if (fit == kv::MacroFit::TooLong)
      return s.fail(kExitBadInput, file + ": its macros do not fit the keyboard's " + std::to_string(s.macroCapacity) +
                                     " bytes of macro memory");
    if (fit == kv::MacroFit::NoMemory) return s.fail(kExitFailed, "out of memory");
  }
  if (int r = s.useKeyboardTemplate()) return r;
  bool written;
  {
    auto lock = s.store.lockConfig();
    written = s.store.writeConfigToKeyboard(true);
  }
  if (!written) return s.fail(kExitFailed, "writing the keyboard failed" + s.storeMessages());
  for (const std::string& m : s.ui.take()) s.err << "korvalinctl: " << s.context() << ": warning: " << m << '\n';
  if (s.flag("--verify")) return verifyKeyboardWrite(s, s.store.lastWrite());
  return kExitOk;
}

int cmdSwitch(Session& s) {
  if (int r = s.expectOptions({})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  long profile = 0;
  if (int r = s.argumentNumber(1, "P", 0, 2, &profile)) return r;
  if (int r = s.connect()) return r;
  int result = kv::SetActiveProfile(static_cast<int>(profile));
  if (result != kv::kResultSuccess) return s.deviceError("could not switch the profile", result);
  return kExitOk;
}

int cmdReportRate(Session& s) {
  if (int r = s.expectOptions({"--profile", "--verify"})) return r;
  if (int r = s.expectArguments(1, 1)) return r;
  long index = 0, given = -1;
  if (int r = s.argumentNumber(1, "INDEX", 0, kv::kReportRateCount - 1, &index)) return r;
  if (int r = s.optionNumber("--profile", 0, 2, -1, &given)) return r;
  if (int r = s.connect()) return r;
  int profile = 0;
  if (int r = s.targetProfile(given, &profile)) return r;
  kv::NullLightingView view;
  kv::MemorySettingsFile settings;
  kv::LightingModel model(view, settings);
  (void)model.SelectProfile(profile);  // targetProfile gave 0-2
  int result = model.SetReportRate(static_cast<int>(index));
  if (result != kv::kResultSuccess) return s.deviceError("could not write the report rate", result);
  if (s.flag("--verify")) {
    const uint8_t written = static_cast<uint8_t>(index);
    return verifySettings(s, profile, kv::kFieldReportRate, {&written, 1});
  }
  return kExitOk;
}
}  // namespace kvctl
