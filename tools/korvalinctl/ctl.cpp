#include "tools/korvalinctl/ctl.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include "app/text_table.h"
#include "device/device_link.h"
#include "device/device_ui.h"
#include "device/protocol.h"
#include "keys/device_records.h"
#include "keys/key_action.h"
#include "keys/working_config.h"
#include "macro/macro_image.h"
#include "model/key_codes.h"
#include "model/key_info.h"
#include "model/lighting.h"
#include "profile/file_io.h"
#include "profile/profile_store.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tessaro/sim/sim_transport.h"
#include "tools/korvalinctl/help.h"
#include "tools/korvalinctl/json.h"

namespace kvctl {

namespace fs = std::filesystem;

namespace {

// ---- Trace of the command channel -----------------------------------------------

std::mutex traceMutex;
std::ofstream* traceFile = nullptr;  // open for the run when --trace is given
kv::RequestWriteFn forwardWriteOne = nullptr;

void traceLine(std::string_view kind, const uint8_t* bytes, size_t length) {
  std::lock_guard lock(traceMutex);
  if (!traceFile || !bytes) return;
  *traceFile << kind << ' ' << kv::sim::Hex(std::span<const uint8_t>(bytes, length)) << '\n';
  traceFile->flush();
}

int KV_TRANSPORT_CALL TracingWriteOne(const kv::DeviceMatch* match, kv::TransportCallback callback, uint32_t tag,
                                      const uint8_t* data, uint32_t length, uint32_t unitId, uint32_t* slot) {
  // Written before sending: the answer may arrive before the call returns.
  traceLine("OUT", data, length);
  return forwardWriteOne ? forwardWriteOne(match, callback, tag, data, length, unitId, slot) : 0;
}

int KV_TRANSPORT_CALL TracingCallback(const kv::TransportEvent* event) {
  if (event && event->kind == kv::kEventReport && event->request && event->request->tag == kv::kTagCtrl)
    traceLine("IN", event->request->report, event->request->length);
  return kv::DefaultTransportCallback(event);
}

// Routes the started link's reports through the trace.
void installTrace() {
  kv::DeviceLink& link = kv::DeviceLinkState();
  std::lock_guard lock(link.requestMutex);
  forwardWriteOne = link.api.RequestWriteOne;
  link.api.RequestWriteOne = TracingWriteOne;
}

// ---- What the profile store asks of a window -------------------------------------

class ConsoleUi : public kv::SilentDeviceUi {
 public:
  void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
  void SetApplyEnabled(bool enabled) override { apply = enabled; }
  bool ApplyEnabled() const override { return apply; }

  // The messages so far on one line each, and forgets them.
  std::vector<std::string> take() {
    std::vector<std::string> out;
    for (const std::u16string& m : messages) {
      std::string line;
      for (char c : kv::toUtf8(m)) {
        bool space = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (space) {
          if (!line.empty() && line.back() != ' ') line.push_back(' ');
        } else {
          line.push_back(c);
        }
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out.push_back(line);
    }
    messages.clear();
    return out;
  }

  std::vector<std::u16string> messages;
  bool apply = false;
};

// ---- Small parsers ----------------------------------------------------------------

fs::path pathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// Decimal or 0x-prefixed hexadecimal, the whole text, within [low, high].
std::optional<long> parseNumber(std::string_view text, long low, long high) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 9) return std::nullopt;
  long long value = 0;  // nine hexadecimal digits fit
  for (char c : text) {
    int d = c >= '0' && c <= '9' ? c - '0'
            : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
            : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
    if (d < 0) return std::nullopt;
    value = value * base + d;
  }
  if (value < low || value > high) return std::nullopt;
  return static_cast<long>(value);
}

// Milliseconds with an optional fraction, 0-1000.
std::optional<double> parseMilliseconds(std::string_view text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  double whole = 0, scale = 0;
  bool digits = false;
  for (char c : text) {
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (scale == 0) {
        whole = whole * 10 + (c - '0');
      } else {
        scale /= 10;
        whole += (c - '0') * scale;
      }
    } else {
      return std::nullopt;
    }
  }
  if (!digits || whole > 1000) return std::nullopt;
  return whole;
}

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string hexCode(unsigned v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

std::string colourText(kv::Colour c) {
  kv::DeviceRgb rgb = kv::rgbOfColour(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", rgb[0], rgb[1], rgb[2]);
  return buf;
}

void hexDump(std::ostream& out, std::span<const uint8_t> bytes) {
  for (size_t at = 0; at < bytes.size(); at += 16) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04zX ", at);
    out << buf;
    for (size_t i = at; i < std::min(bytes.size(), at + 16); ++i) {
      std::snprintf(buf, sizeof buf, " %02X", bytes[i]);
      out << buf;
    }
    out << '\n';
  }
}

std::string keyNameUtf8(kv::KeyCode code) { return kv::toUtf8(kv::KeyName(code)); }

// A paintable button: a key button of the keyboard picture or Fn, by key
// code or by name. G keys and D1-D6 have no LED of their own.
struct KeyChoice {
  uint16_t controlId;
  std::string name;
};
std::optional<KeyChoice> parseKey(std::string_view text, std::string* error) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    auto code = parseNumber(text, 1, 0xFFFF);
    if (code)
      for (const kv::KeyButton& b : kv::KeyButtonTable)
        if (b.keyCode == *code) return KeyChoice{b.controlId, keyNameUtf8(b.keyCode)};
    *error = "no key of the keyboard has the code '" + std::string(text) + "'";
    return std::nullopt;
  }
  std::string wanted = lowerAscii(text);
  if (wanted == "fn") return KeyChoice{kv::kFnControlId, "Fn"};
  if (wanted.size() == 2 && ((wanted[0] == 'g' && wanted[1] >= '1' && wanted[1] <= '9') ||
                             (wanted[0] == 'd' && wanted[1] >= '1' && wanted[1] <= '6'))) {
    *error = "'" + std::string(text) + "' has no LED of its own";
    return std::nullopt;
  }
  std::vector<const kv::KeyButton*> found;
  for (const kv::KeyButton& b : kv::KeyButtonTable)
    if (lowerAscii(keyNameUtf8(b.keyCode)) == wanted) found.push_back(&b);
  if (found.size() == 1) return KeyChoice{found[0]->controlId, keyNameUtf8(found[0]->keyCode)};
  if (found.empty()) {
    *error = "no key is named '" + std::string(text) + "' (give its code, such as 0x01E)";
  } else {
    *error = "several keys are named '" + std::string(text) + "' (give the code:";
    for (const kv::KeyButton* b : found) {
      *error += ' ';
      *error += hexCode(b->keyCode, 3);
    }
    *error += ")";
  }
  return std::nullopt;
}

constexpr std::array<const char*, kv::kActionTypeCount> kActionTypeNames = {
    "Default", "Disabled", "SingleKey", "LaunchProgram", "PlayMacro", "StopMacro", "TextBlock", "Media", "FunctionKey"};

// The key or G key of a slot of a block.
std::string slotName(int slot) {
  if (kv::isGKeySlot(slot)) {
    int i = slot - kv::kGKeySlotBase;
    std::string name = "G";
    name += std::to_string(i % 9 + 1);
    if (i >= 9) name += " (bank B)";
    return name;
  }
  if (slot < 256) return keyNameUtf8(kv::keyOfSlot(static_cast<uint16_t>(slot)));
  std::string name = "slot ";
  name += std::to_string(slot);
  return name;
}

// ---- The command line -------------------------------------------------------------

// Options that take a value, and where they may be given.
constexpr std::array<std::string_view, 5> kValueOptions = {"--sim", "--trace", "--round-trip", "--profile",
                                                           "--macro-units"};

struct CommandLine {
  std::map<std::string, std::string> options;  // by name, the last given
  std::vector<std::string> words;              // command, subcommand, arguments
  bool help = false;
};

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      cl.help = true;
      continue;
    }
    if (a.rfind("--", 0) != 0 || a == "--") {
      cl.words.push_back(a);
      continue;
    }
    std::string name = a, value;
    bool inlineValue = false;
    if (size_t eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    if (std::find(kValueOptions.begin(), kValueOptions.end(), name) == kValueOptions.end()) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    cl.options[name] = value;
  }
  return true;
}

// ---- One run ---------------------------------------------------------------------

class Session {
 public:
  Session(std::ostream& out, std::ostream& err, const Platform& platform)
      : out_(out),
        err_(err),
        platform_(platform),
        store_(config_, snapshot_, ui_, fs::path(), [this] { return macroCapacity_; }) {}
  ~Session() { finish(); }

  int run(const std::vector<std::string>& args);

 private:
  int fail(int code, const std::string& what) {
    err_ << "korvalinctl: " << (context_.empty() ? "" : context_ + ": ") << what << '\n';
    return code;
  }
  int usageError(const std::string& what) {
    return fail(kExitBadInput, what + " (see korvalinctl " + (context_.empty() ? "" : context_ + " ") + "--help)");
  }
  int deviceError(const std::string& what, int result) {
    return fail(kExitFailed, what + " (result " + std::to_string(result) + ")");
  }
  // What the profile store reported, after a colon.
  std::string storeMessages() {
    std::string s;
    for (const std::string& m : ui_.take()) s += (s.empty() ? ": " : "; ") + m;
    return s;
  }

  int expectOptions(std::initializer_list<std::string_view> allowed);
  int expectArguments(size_t first, size_t count);
  int optionNumber(const std::string& name, long low, long high, long fallback, long* out);
  int argumentNumber(size_t index, const char* what, long low, long high, long* out);
  int checkOutputPath(const std::string& arg);
  int loadProfileArgument(const std::string& arg);

  int connect();
  void finish();
  int targetProfile(long given, int* profile);
  int loadLighting(kv::LightingModel& model, long given);
  int useKeyboardTemplate();

  int cmdSimNew();
  int cmdInfo();
  int cmdRead();
  int cmdWrite();
  int cmdSwitch();
  int cmdReportRate();
  int cmdLighting();
  int cmdDump();
  int cmdFile();
  int showHelp(const std::string& command);

  std::ostream& out_;
  std::ostream& err_;
  const Platform& platform_;
  ConsoleUi ui_;
  kv::WorkingConfig config_;
  kv::ApplySnapshot snapshot_;
  int macroCapacity_ = 0;
  kv::ProfileStore store_;
  CommandLine cl_;
  std::string context_;
  std::optional<fs::path> sim_;
  std::string simArg_;
  double roundTripMs_ = 2.0;
  bool simStarted_ = false;
  bool libraryStarted_ = false;
  std::ofstream trace_;
};

int Session::expectOptions(std::initializer_list<std::string_view> allowed) {
  static const std::set<std::string_view> global = {"--sim", "--trace", "--round-trip"};
  for (const auto& [name, value] : cl_.options) {
    if (global.count(name) || std::find(allowed.begin(), allowed.end(), name) != allowed.end()) continue;
    return usageError("takes no option " + name);
  }
  return kExitOk;
}

int Session::expectArguments(size_t first, size_t count) {
  size_t given = cl_.words.size() - std::min(first, cl_.words.size());
  if (given < count) return usageError("missing argument");
  if (given > count) return usageError("unexpected argument '" + cl_.words[first + count] + "'");
  return kExitOk;
}

int Session::optionNumber(const std::string& name, long low, long high, long fallback, long* out) {
  auto it = cl_.options.find(name);
  if (it == cl_.options.end()) {
    *out = fallback;
    return kExitOk;
  }
  auto v = parseNumber(it->second, low, high);
  if (!v)
    return usageError(name + " must be " + std::to_string(low) + "-" + std::to_string(high) + ", not '" +
                      it->second + "'");
  *out = *v;
  return kExitOk;
}

int Session::argumentNumber(size_t index, const char* what, long low, long high, long* out) {
  auto v = parseNumber(cl_.words[index], low, high);
  if (!v)
    return usageError(std::string(what) + " must be " + std::to_string(low) + "-" + std::to_string(high) +
                      ", not '" + cl_.words[index] + "'");
  *out = *v;
  return kExitOk;
}

int Session::checkOutputPath(const std::string& arg) {
  if (arg.empty()) return usageError("the file name is empty");
  fs::path p = pathOf(arg);
  std::error_code ec;
  if (fs::is_directory(p, ec)) return fail(kExitBadInput, arg + ": is a folder");
  fs::path parent = p.parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) return fail(kExitBadInput, arg + ": no such folder");
  return kExitOk;
}

int Session::loadProfileArgument(const std::string& arg) {
  fs::path p = pathOf(arg);
  std::error_code ec;
  if (arg.empty() || !fs::exists(p, ec)) return fail(kExitBadInput, arg + ": no such file");
  if (!fs::is_regular_file(p, ec)) return fail(kExitBadInput, arg + ": not a file");
  switch (store_.checkProfileFile(p)) {
    case kv::kProfileFileValid: break;
    case kv::kProfileFileNotOpenable:
      return fail(kExitBadInput, arg + ": cannot be opened for reading and writing");
    case kv::kProfileFileNoMemory: return fail(kExitFailed, arg + ": out of memory");
    default: return fail(kExitBadInput, arg + ": not a valid profile file" + storeMessages());
  }
  std::lock_guard lock(config_.lock);
  if (!store_.loadProfileFile(p)) return fail(kExitBadInput, arg + ": not a valid profile file" + storeMessages());
  return kExitOk;
}

int Session::connect() {
  if (sim_) {
    // Checked here rather than by the simulated keyboard, which would set
    // an unreadable file aside and start from factory contents.
    std::error_code ec;
    if (!fs::is_regular_file(*sim_, ec))
      return fail(kExitBadInput, simArg_ + ": no such state file (create it with sim-new)");
    auto image = kv::readFilePrefix(*sim_, 1 << 20);
    kv::sim::SimMemory memory;
    std::string why;
    if (!image) return fail(kExitBadInput, simArg_ + ": cannot be read");
    if (!kv::sim::ParseState(*image, &memory, &why)) return fail(kExitBadInput, simArg_ + ": " + why);
  } else if (!platform_.startLibrary) {
    return fail(kExitNoKeyboard, "no keyboard: this build reaches a keyboard only through --sim STATE");
  }

  if (auto it = cl_.options.find("--trace"); it != cl_.options.end()) {
    if (checkOutputPath(it->second) != kExitOk) return kExitBadInput;
    trace_.open(pathOf(it->second), std::ios::app | std::ios::binary);
    if (!trace_) return fail(kExitBadInput, it->second + ": cannot be opened for the trace");
    std::lock_guard lock(traceMutex);
    traceFile = &trace_;
  }

  int count = 0;
  if (sim_) {
    kv::sim::SimConfig config;
    config.statePath = *sim_;
    config.roundTrip = std::chrono::microseconds(static_cast<long long>(roundTripMs_ * 1000 + 0.5));
    kv::sim::ResetKeyboard(config);
    simStarted_ = true;
    kv::TransportApi api;
    kv::sim::BindSimulator(api);
    if (kv::StartTransport(api, TracingCallback, &count) != 0)
      return fail(kExitNoKeyboard, "the simulated keyboard did not start");
  } else {
    std::string cause;
    int result = platform_.startLibrary(TracingCallback, &count, &cause);
    if (result != 0) return fail(kExitNoKeyboard, cause);
    libraryStarted_ = true;
  }
  installTrace();
  if (count == 0) return fail(kExitNoKeyboard, "no keyboard attached");
  return kExitOk;
}

void Session::finish() {
  // Every answer delivered (and traced) and the state saved before the end.
  if (simStarted_) kv::sim::CurrentKeyboard()->drain();
  simStarted_ = false;
  if (libraryStarted_ && kv::Transport().End) kv::Transport().End();
  libraryStarted_ = false;
  std::lock_guard lock(traceMutex);
  traceFile = nullptr;
  if (trace_.is_open()) trace_.close();
}

int Session::targetProfile(long given, int* profile) {
  *profile = given >= 0 ? static_cast<int>(given) : kv::GetActiveProfile();
  if (*profile < 0) return fail(kExitFailed, "the keyboard did not tell its active profile");
  return kExitOk;
}

int Session::loadLighting(kv::LightingModel& model, long given) {
  int profile = 0;
  if (int r = targetProfile(given, &profile)) return r;
  model.SelectProfile(profile);
  int loaded = model.LoadLighting();
  if (loaded == kv::kLightingNoInfoBlock) return fail(kExitFailed, "could not read the information block");
  if (loaded != kv::kLightingLoaded) return fail(kExitFailed, "could not read the lighting settings");
  return kExitOk;
}

int Session::useKeyboardTemplate() {
  std::array<uint8_t, kv::kKeyTableSize> bytes{};
  int result = kv::ReadDefaultKeyTable(bytes);
  if (result != kv::kResultSuccess) return deviceError("could not read the factory key table", result);
  kv::KeySlotTemplate tmpl;
  if (kv::keySlotTemplateFromBytes(bytes, tmpl)) kv::setCurrentKeySlotTemplate(tmpl);
  return kExitOk;
}

// ---- Commands ------------------------------------------------------------------

int Session::cmdSimNew() {
  if (int r = expectOptions({"--profile", "--macro-units"})) return r;
  if (int r = expectArguments(1, 0)) return r;
  if (!sim_) return usageError("needs --sim STATE");
  long units = 0, profile = 0;
  if (int r = optionNumber("--macro-units", 1, 255, kv::sim::kDefaultMacroUnits, &units)) return r;
  if (int r = optionNumber("--profile", 0, 2, 0, &profile)) return r;
  if (int r = checkOutputPath(simArg_)) return r;
  std::vector<uint8_t> image =
      kv::sim::SerializeState(kv::sim::FactoryMemory(static_cast<int>(units), static_cast<int>(profile)));
  if (!kv::writeFileAtomically(*sim_, {image})) return fail(kExitFailed, simArg_ + ": could not be written");
  return kExitOk;
}

int Session::cmdInfo() {
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(1, 0)) return r;
  if (int r = connect()) return r;
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return deviceError("could not read the information block", result);
  Json effects = Json::array();
  for (size_t i = kv::kInfoEffectList; i < kv::kInfoBlockSize; ++i)
    if (info[i]) effects.push(static_cast<int>(info[i]));
  Json j = Json::object();
  j.set("active_profile", static_cast<int>(info[kv::kInfoActiveProfile]))
      .set("macro_memory", static_cast<int>(info[kv::kInfoMacroUnits] * kv::kMacroUnitBytes))
      .set("effects", std::move(effects));
  out_ << j.dump() << '\n';
  return kExitOk;
}

int Session::cmdRead() {
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(1, 1)) return r;
  const std::string& file = cl_.words[1];
  if (int r = checkOutputPath(file)) return r;
  if (int r = connect()) return r;
  if (int r = useKeyboardTemplate()) return r;
  if (!store_.readKeyboardToFile(pathOf(file)))
    return fail(kExitFailed, "could not read the keyboard into " + file + storeMessages());
  return kExitOk;
}

int Session::cmdWrite() {
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(1, 1)) return r;
  const std::string& file = cl_.words[1];
  if (int r = loadProfileArgument(file)) return r;
  if (int r = connect()) return r;
  std::array<uint8_t, kv::kInfoBlockSize> info{};
  int result = kv::ReadInfoBlock(info);
  if (result != kv::kResultSuccess) return deviceError("could not read the information block", result);
  macroCapacity_ = info[kv::kInfoMacroUnits] * static_cast<int>(kv::kMacroUnitBytes);
  {
    std::lock_guard lock(config_.lock);
    kv::MacroFit fit = kv::fitMacroImage(config_.macros, static_cast<size_t>(macroCapacity_)).fit;
    if (fit == kv::MacroFit::TooLong)
      return fail(kExitBadInput, file + ": its macros do not fit the keyboard's " + std::to_string(macroCapacity_) +
                                     " bytes of macro memory");
    if (fit == kv::MacroFit::NoMemory) return fail(kExitFailed, "out of memory");
  }
  if (int r = useKeyboardTemplate()) return r;
  bool written;
  {
    std::lock_guard lock(config_.lock);
    written = store_.writeConfigToKeyboard(true);
  }
  if (!written) return fail(kExitFailed, "writing the keyboard failed" + storeMessages());
  for (const std::string& m : ui_.take()) err_ << "korvalinctl: " << context_ << ": warning: " << m << '\n';
  return kExitOk;
}

int Session::cmdSwitch() {
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(1, 1)) return r;
  long profile = 0;
  if (int r = argumentNumber(1, "P", 0, 2, &profile)) return r;
  if (int r = connect()) return r;
  int result = kv::SetActiveProfile(static_cast<int>(profile));
  if (result != kv::kResultSuccess) return deviceError("could not switch the profile", result);
  return kExitOk;
}

int Session::cmdReportRate() {
  if (int r = expectOptions({"--profile"})) return r;
  if (int r = expectArguments(1, 1)) return r;
  long index = 0, given = -1;
  if (int r = argumentNumber(1, "INDEX", 0, kv::kReportRateCount - 1, &index)) return r;
  if (int r = optionNumber("--profile", 0, 2, -1, &given)) return r;
  if (int r = connect()) return r;
  int profile = 0;
  if (int r = targetProfile(given, &profile)) return r;
  kv::NullLightingView view;
  kv::MemorySettingsFile settings;
  kv::LightingModel model(view, settings);
  model.SelectProfile(profile);
  int result = model.SetReportRate(static_cast<int>(index));
  if (result != kv::kResultSuccess) return deviceError("could not write the report rate", result);
  return kExitOk;
}

namespace {

Json lightingJson(const kv::LightingModel& model) {
  const kv::LightingState& s = model.state();
  Json effects = Json::array();
  for (const kv::EffectComboEntry& e : model.effectCombo()) effects.push(static_cast<int>(e.code));
  Json j = Json::object();
  j.set("profile", model.selectedProfile())
      .set("effects", std::move(effects))
      .set("effect", static_cast<int>(s.effect))
      .set("brightness", static_cast<int>(s.brightness))
      .set("speed", static_cast<int>(s.speed))
      .set("speed_position", kv::speedPositionOf(s.speed))
      .set("direction", static_cast<int>(s.direction))
      .set("user_mode", static_cast<int>(s.userMode))
      .set("paint_tool", static_cast<int>(s.paintTool))
      .set("report_rate", s.reportRate)
      .set("main_colour", colourText(s.staticColour))
      .set("main_colour_random", s.mainColourRandom)
      .set("user_base_colour", colourText(s.userBaseColour))
      .set("user_colour", colourText(s.userColour))
      .set("preset_colour", static_cast<int>(s.presetColour))
      .set("reaction_random", s.reactionRandom)
      .set("trigger_type", static_cast<int>(s.triggerType))
      .set("stone_colour", colourText(s.stoneColour))
      .set("stone_random", s.stoneRandom)
      .set("ribbon_colour", colourText(s.ribbonColour))
      .set("ribbon_random", s.ribbonRandom);
  if (model.hasPerKeyEffect()) {
    Json patterns = Json::array();
    for (int m = 0; m < kv::kUserModeCount; ++m) {
      kv::LedMask mask = model.userPattern(m);
      Json keys = Json::array();
      for (const kv::KeyButton& b : kv::KeyButtonTable)
        if (kv::ledIsSet(mask, b.ledIndex)) keys.push(keyNameUtf8(b.keyCode));
      if (kv::ledIsSet(mask, kv::kFnLedIndex)) keys.push("Fn");
      Json p = Json::object();
      p.set("mode", m).set("bytes", kv::sim::Hex(mask)).set("keys", std::move(keys));
      patterns.push(std::move(p));
    }
    j.set("user_patterns", std::move(patterns));
  }
  return j;
}

}  // namespace

int Session::cmdLighting() {
  if (cl_.words.size() < 2) return usageError("missing subcommand");
  const std::string sub = cl_.words[1];
  static const std::map<std::string, int, std::less<>> arity = {
      {"show", 0},  {"effect", 1},  {"brightness", 1}, {"speed", 1}, {"user-mode", 1}, {"paint-tool", 1},
      {"paint", -1}, {"erase", -1}, {"fill", 0},       {"clear", 0}, {"reset", 0}};
  auto found = arity.find(sub);
  if (found == arity.end()) return usageError("unknown subcommand '" + sub + "'");
  context_ += " " + sub;
  if (int r = expectOptions({"--profile"})) return r;
  long given = -1;
  if (int r = optionNumber("--profile", 0, 2, -1, &given)) return r;
  if (found->second >= 0) {
    if (int r = expectArguments(2, static_cast<size_t>(found->second))) return r;
  } else if (cl_.words.size() < 3) {
    return usageError("missing KEY");
  }

  // Every argument checked before the keyboard is touched.
  long value = 0;
  std::vector<KeyChoice> keys;
  if (sub == "effect") {
    if (int r = argumentNumber(2, "CODE", 1, 254, &value)) return r;
    if (!kv::isRecognisedEffect(static_cast<int>(value)))
      return usageError("CODE must be an effect 1-28 or 254, not '" + cl_.words[2] + "'");
  } else if (sub == "brightness") {
    if (int r = argumentNumber(2, "N", 0, 4, &value)) return r;
  } else if (sub == "speed") {
    if (int r = argumentNumber(2, "POSITION", 0, 4, &value)) return r;
  } else if (sub == "user-mode") {
    if (int r = argumentNumber(2, "M", 0, kv::kUserModeCount - 1, &value)) return r;
  } else if (sub == "paint-tool") {
    if (int r = argumentNumber(2, "the tool", 0, 1, &value)) return r;
  } else if (sub == "paint" || sub == "erase") {
    for (size_t i = 2; i < cl_.words.size(); ++i) {
      std::string error;
      auto key = parseKey(cl_.words[i], &error);
      if (!key) return usageError(error);
      keys.push_back(*key);
    }
  }

  if (int r = connect()) return r;
  kv::NullLightingView view;
  kv::MemorySettingsFile settings;
  // This tool is the panel, and it is open.
  kv::writeLightingPanelOpen(settings, true);
  kv::LightingModel model(view, settings);
  if (int r = loadLighting(model, given)) return r;

  const bool patternWork = sub == "user-mode" || sub == "paint" || sub == "erase" || sub == "fill" || sub == "clear";
  if (patternWork && !model.hasPerKeyEffect()) return fail(kExitBadInput, "the keyboard has no per-key effect");
  if (sub == "effect" && model.ComboIndexOfEffect(static_cast<int>(value)) < 0)
    return fail(kExitBadInput, "the keyboard does not offer effect " + cl_.words[2]);

  int result = kv::kResultSuccess;
  const int v = static_cast<int>(value);
  if (sub == "show") {
    out_ << lightingJson(model).dump() << '\n';
  } else if (sub == "effect") {
    result = model.SetEffect(v);
  } else if (sub == "brightness") {
    result = model.SetBrightness(v);
  } else if (sub == "speed") {
    result = model.SetSpeed(v);
  } else if (sub == "user-mode") {
    result = model.SetUserMode(v);
  } else if (sub == "paint-tool") {
    result = model.SetPaintTool(v);
  } else if (sub == "paint" || sub == "erase") {
    const int tool = sub == "paint" ? 0 : 1;
    if (model.state().paintTool != tool) result = model.SetPaintTool(tool);
    for (size_t i = 0; i < keys.size() && result == kv::kResultSuccess; ++i) result = model.PaintKey(keys[i].controlId);
  } else if (sub == "fill") {
    result = model.FillPattern();
  } else if (sub == "clear") {
    result = model.ClearPattern();
  } else if (sub == "reset") {
    result = model.ResetLighting();
  }
  if (result != kv::kResultSuccess) return deviceError("writing the keyboard failed", result);
  return kExitOk;
}

int Session::cmdDump() {
  if (cl_.words.size() < 2) return usageError("missing region");
  const std::string what = cl_.words[1];
  static const std::map<std::string, size_t, std::less<>> arity = {
      {"info", 0}, {"settings", 0}, {"colours", 1}, {"keys", 1}, {"default-keys", 0}, {"macros", 0}};
  auto found = arity.find(what);
  if (found == arity.end()) return usageError("unknown region '" + what + "'");
  context_ += " " + what;
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(2, found->second)) return r;
  long profile = 0;
  if (found->second == 1)
    if (int r = argumentNumber(2, "P", 0, 2, &profile)) return r;
  if (int r = connect()) return r;

  std::vector<uint8_t> bytes;
  int result = kv::kResultSuccess;
  // The settings and colour regions are read inside a bracket, as a load does.
  auto bracketed = [](auto&& reads) {
    int r = kv::BeginConfig();
    if (r != kv::kResultSuccess) return r;
    r = reads();
    kv::EndConfig();
    return r;
  };
  if (what == "info") {
    std::array<uint8_t, kv::kInfoBlockSize> info{};
    result = kv::ReadInfoBlock(info);
    bytes.assign(info.begin(), info.end());
  } else if (what == "settings") {
    std::array<kv::ProfileSettingsRecord, 3> records{};
    result = bracketed([&] { return kv::readSettingsRecords(records); });
    for (const auto& rec : records) {
      auto b = kv::settingsRecordBytes(rec);
      bytes.insert(bytes.end(), b.begin(), b.end());
    }
  } else if (what == "colours") {
    kv::PerKeyRegion region{};
    result = bracketed([&] { return kv::readPerKeyRegion(static_cast<int>(profile), region); });
    bytes.assign(region.begin(), region.end());
  } else if (what == "keys" || what == "default-keys") {
    std::array<uint8_t, kv::kKeyTableSize> table{};
    result = what == "keys" ? kv::ReadKeyTable(table, static_cast<int>(profile)) : kv::ReadDefaultKeyTable(table);
    bytes.assign(table.begin(), table.end());
  } else if (what == "macros") {
    std::array<uint8_t, kv::kInfoBlockSize> info{};
    result = kv::ReadInfoBlock(info);
    if (result == kv::kResultSuccess) {
      bytes.assign(info[kv::kInfoMacroUnits] * kv::kMacroUnitBytes, 0);
      result = kv::ReadMacroMemory(bytes, static_cast<int>(bytes.size()));
    }
  }
  if (result != kv::kResultSuccess) return deviceError("could not read the keyboard", result);
  hexDump(out_, bytes);
  return kExitOk;
}

namespace {

Json profileJson(const kv::WorkingConfig& config) {
  const kv::KeyActionTable& table = *config.table;
  Json entries = Json::array();
  Json strings = Json::array();
  for (int block = 0; block < kv::kBlockCount; ++block) {
    for (int slot = 0; slot < kv::kSlotsPerBlock; ++slot) {
      const int index = kv::entryIndex(block, slot);
      const kv::KeyActionEntry& e = table.entries[index];
      if (e.type == kv::ActionType::Default) continue;
      const auto type = static_cast<uint16_t>(e.type);
      Json j = Json::object();
      j.set("profile", block).set("slot", slot).set("key", slotName(slot));
      if (type < kActionTypeNames.size()) {
        j.set("type", kActionTypeNames[type]);
      } else {
        j.set("type", static_cast<int>(type));
      }
      j.set("aux", static_cast<int>(e.aux)).set("value", static_cast<int64_t>(e.value));
      switch (e.type) {
        case kv::ActionType::SingleKey:
          if (e.value <= 0xFFFF) j.set("target", keyNameUtf8(static_cast<kv::KeyCode>(e.value)));
          break;
        case kv::ActionType::PlayMacro:
          for (const kv::MacroRecord& m : config.macros)
            if (m.id == e.value) j.set("macro", kv::toUtf8(kv::macroName(m)));
          break;
        case kv::ActionType::Media: j.set("function", kv::toUtf8(kv::mediaFunctionName(e.value))); break;
        case kv::ActionType::FunctionKey: j.set("function", kv::toUtf8(kv::functionKeyName(e.value))); break;
        default: break;
      }
      entries.push(std::move(j));
      if (kv::usesString(e.type) && !config.strings.text(index).empty()) {
        Json s = Json::object();
        s.set("profile", block).set("slot", slot).set("key", slotName(slot)).set("text", kv::toUtf8(config.strings.text(index)));
        strings.push(std::move(s));
      }
    }
  }
  Json macros = Json::array();
  for (const kv::MacroRecord& m : config.macros) {
    Json actions = Json::array();
    for (size_t i = 0; i < kv::macroActionCount(m); ++i) {
      const kv::MacroAction& a = m.actions[i];
      Json aj = Json::object();
      aj.set("key", hexCode(a.key, 3))
          .set("name", a.key ? keyNameUtf8(a.key) : std::string())
          .set("state", a.state == kv::kMacroRelease ? "release" : "press")
          .set("delay", static_cast<int64_t>(a.delay));
      actions.push(std::move(aj));
    }
    Json mj = Json::object();
    mj.set("id", static_cast<int>(m.id))
        .set("name", kv::toUtf8(kv::macroName(m)))
        .set("cycles", static_cast<int>(m.cycles))
        .set("play_mode", static_cast<int>(m.playMode))
        .set("actions", std::move(actions));
    macros.push(std::move(mj));
  }
  Json j = Json::object();
  j.set("macro_count", static_cast<int>(config.macros.size()))
      .set("string_bytes", static_cast<int64_t>(config.strings.total))
      .set("entries", std::move(entries))
      .set("macros", std::move(macros))
      .set("strings", std::move(strings));
  return j;
}

}  // namespace

int Session::cmdFile() {
  if (cl_.words.size() < 2) return usageError("missing subcommand");
  const std::string sub = cl_.words[1];
  if (sub != "new" && sub != "check" && sub != "show") return usageError("unknown subcommand '" + sub + "'");
  context_ += " " + sub;
  if (int r = expectOptions({})) return r;
  if (int r = expectArguments(2, 1)) return r;
  const std::string& file = cl_.words[2];
  if (sub == "new") {
    if (int r = checkOutputPath(file)) return r;
    if (!store_.createDefaultProfile(pathOf(file))) return fail(kExitFailed, file + ": could not be written");
    return kExitOk;
  }
  if (int r = loadProfileArgument(file)) return r;
  std::lock_guard lock(config_.lock);
  if (sub == "show") {
    out_ << profileJson(config_).dump() << '\n';
    return kExitOk;
  }
  int changed = 0;
  for (const kv::KeyActionEntry& e : config_.table->entries) changed += e.type != kv::ActionType::Default;
  out_ << file << ": valid profile file (" << config_.macros.size() << " macros, " << changed
       << " entries not at their factory function, " << config_.strings.total << " bytes of strings)\n";
  return kExitOk;
}

int Session::showHelp(const std::string& command) {
  for (const CommandHelp& h : kCommandHelp) {
    if (h.command == command) {
      out_ << h.text;
      return kExitOk;
    }
  }
  context_.clear();
  return usageError("unknown command '" + command + "'");
}

int Session::run(const std::vector<std::string>& args) {
  std::string error;
  if (!parseCommandLine(args, cl_, &error)) return usageError(error);
  if (cl_.words.empty()) {
    if (cl_.help) {
      out_ << kUsage;
      return kExitOk;
    }
    return usageError("no command given");
  }
  const std::string command = cl_.words[0];
  if (cl_.help) return showHelp(command);

  using Handler = int (Session::*)();
  static const std::map<std::string, Handler, std::less<>> handlers = {
      {"sim-new", &Session::cmdSimNew}, {"info", &Session::cmdInfo},         {"read", &Session::cmdRead},
      {"write", &Session::cmdWrite},    {"switch", &Session::cmdSwitch},     {"report-rate", &Session::cmdReportRate},
      {"lighting", &Session::cmdLighting}, {"dump", &Session::cmdDump},      {"file", &Session::cmdFile}};
  auto handler = handlers.find(command);
  if (handler == handlers.end()) return usageError("unknown command '" + command + "'");

  if (auto it = cl_.options.find("--sim"); it != cl_.options.end()) {
    if (it->second.empty()) return usageError("--sim needs a state file");
    simArg_ = it->second;
    sim_ = pathOf(simArg_);
  }
  if (auto it = cl_.options.find("--round-trip"); it != cl_.options.end()) {
    auto ms = parseMilliseconds(it->second);
    if (!ms) return usageError("--round-trip must be 0-1000 ms, not '" + it->second + "'");
    if (!sim_) return usageError("--round-trip applies to --sim only");
    roundTripMs_ = *ms;
  }
  context_ = command;
  return (this->*handler->second)();
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform) {
  Session session(out, err, platform);
  int code = session.run(args);
  out.flush();
  return code;
}

}  // namespace kvctl
