#include "tools/korvalinctl/session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>

#include "base/text_table.h"
#include "device/device_link.h"
#include "device/protocol.h"
#include "keys/device_records.h"
#include "model/key_info.h"
#include "profile/file_io.h"
#include "tessaro/sim/sim_control.h"
#include "tessaro/sim/sim_keyboard.h"
#include "tessaro/sim/sim_transport.h"

namespace kvctl {

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

}  // namespace

std::vector<std::string> ConsoleUi::take() {
  std::vector<std::string> lines;
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
    lines.push_back(line);
  }
  messages.clear();
  return lines;
}

// ---- Small parsers and printers ---------------------------------------------------

fs::path pathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

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

namespace {

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

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

namespace {


// Options that take a value, and where they may be given.
constexpr std::array<std::string_view, 6> kValueOptions = {"--sim", "--trace", "--round-trip", "--sim-fault",
                                                           "--profile", "--macro-units"};
// Options that stand alone.
constexpr std::array<std::string_view, 1> kFlagOptions = {"--verify"};

}  // namespace

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
    if (std::find(kFlagOptions.begin(), kFlagOptions.end(), name) != kFlagOptions.end()) {
      if (inlineValue) {
        *error = "option " + name + " takes no value";
        return false;
      }
      cl.options[name] = std::string();
      continue;
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

Session::Session(std::ostream& outStream, std::ostream& errStream, const Platform& platform)
    : out(outStream),
      err(errStream),
      store(config, snapshot, ui, fs::path(), [this] { return macroCapacity; }),
      platform_(platform) {}

Session::~Session() { finish(); }

int Session::fail(int code, const std::string& what) {
  err << "korvalinctl: " << (context_.empty() ? "" : context_ + ": ") << what << '\n';
  return code;
}

int Session::usageError(const std::string& what) {
  return fail(kExitBadInput, what + " (see korvalinctl " + (context_.empty() ? "" : context_ + " ") + "--help)");
}

int Session::deviceError(const std::string& what, int result) {
  return fail(kExitFailed, what + " (result " + std::to_string(result) + ")");
}

std::string Session::storeMessages() {
  std::string s;
  for (const std::string& m : ui.take()) s += (s.empty() ? ": " : "; ") + m;
  return s;
}

int Session::expectOptions(std::initializer_list<std::string_view> allowed) {
  static const std::set<std::string_view> global = {"--sim", "--trace", "--round-trip", "--sim-fault"};
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

int Session::optionNumber(const std::string& name, long low, long high, long fallback, long* value) {
  auto it = cl_.options.find(name);
  if (it == cl_.options.end()) {
    *value = fallback;
    return kExitOk;
  }
  auto v = parseNumber(it->second, low, high);
  if (!v)
    return usageError(name + " must be " + std::to_string(low) + "-" + std::to_string(high) + ", not '" +
                      it->second + "'");
  *value = *v;
  return kExitOk;
}

int Session::argumentNumber(size_t index, const char* what, long low, long high, long* value) {
  auto v = parseNumber(cl_.words[index], low, high);
  if (!v)
    return usageError(std::string(what) + " must be " + std::to_string(low) + "-" + std::to_string(high) +
                      ", not '" + cl_.words[index] + "'");
  *value = *v;
  return kExitOk;
}

namespace {

// Two names of one file: links and spellings ("./a", "x/../a") included.
bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec) && !ec;
  std::error_code ea, eb;
  fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
  fs::path cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
  return !ea && !eb && ca == cb;
}

}  // namespace

int Session::checkOutputPath(const std::string& arg, const std::string& name) {
  if (arg.empty()) return usageError("the file name is empty");
  fs::path p = pathOf(arg);
  std::error_code ec;
  if (fs::is_directory(p, ec)) return fail(kExitBadInput, arg + ": is a folder");
  fs::path parent = p.parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec)) return fail(kExitBadInput, arg + ": no such folder");
  bool known = false;
  for (const RunFile& f : files_) {
    if (f.name == name && f.arg == arg) {
      known = true;  // the state file, noted when the command line was read
      continue;
    }
    if (sameFile(p, f.path))
      return fail(kExitBadInput, name + " " + arg + " is the same file as " + f.name + " " + f.arg);
  }
  if (!known) files_.push_back({p, name, arg});
  return kExitOk;
}

int Session::loadProfileArgument(const std::string& arg) {
  fs::path p = pathOf(arg);
  std::error_code ec;
  if (arg.empty() || !fs::exists(p, ec)) return fail(kExitBadInput, arg + ": no such file");
  if (!fs::is_regular_file(p, ec)) return fail(kExitBadInput, arg + ": not a file");
  // The store speaks the window's words ("revert to the default values");
  // the command line says what is wrong with the file instead.
  auto invalid = [&] {
    ui.take();
    std::string problem = kv::profileFileProblem(p);
    if (problem.empty()) return fail(kExitFailed, arg + ": could not be loaded (out of memory)");
    return fail(kExitBadInput, arg + ": not a valid profile file: " + problem);
  };
  switch (store.checkProfileFile(p)) {
    case kv::kProfileFileValid: break;
    case kv::kProfileFileNotOpenable:
      return fail(kExitBadInput, arg + ": cannot be opened for reading and writing");
    case kv::kProfileFileNoMemory: return fail(kExitFailed, arg + ": out of memory");
    default: return invalid();
  }
  bool loaded;
  {
    auto lock = store.lockConfig();
    loaded = store.loadProfileFile(p);
  }
  if (!loaded) return invalid();
  files_.push_back({p, "the profile file", arg});
  return kExitOk;
}

int Session::connect(bool requireKeyboard) {
  if (sim) {
    // Checked here rather than by the simulated keyboard, which would set
    // an unreadable file aside and start from factory contents.
    std::error_code ec;
    if (!fs::is_regular_file(*sim, ec))
      return fail(kExitBadInput, simArg + ": no such state file (create it with sim-new)");
    auto image = kv::readFilePrefix(*sim, 1 << 20);
    kv::sim::SimMemory memory;
    std::string why;
    if (!image) return fail(kExitBadInput, simArg + ": cannot be read");
    if (!kv::sim::ParseState(*image, &memory, &why)) return fail(kExitBadInput, simArg + ": " + why);
    // The keyboard saves its memory there.
    if (int r = checkOutputPath(simArg, "--sim")) return r;
  } else if (!platform_.startLibrary) {
    return fail(kExitNoKeyboard, "no keyboard: this build reaches a keyboard only through --sim STATE");
  }

  if (auto it = cl_.options.find("--trace"); it != cl_.options.end()) {
    if (checkOutputPath(it->second, "--trace") != kExitOk) return kExitBadInput;
    trace_.open(pathOf(it->second), std::ios::app | std::ios::binary);
    if (!trace_) return fail(kExitBadInput, it->second + ": cannot be opened for the trace");
    std::lock_guard lock(traceMutex);
    traceFile = &trace_;
  }

  int count = 0;
  if (sim) {
    kv::sim::SimConfig simConfig;
    simConfig.statePath = *sim;
    simConfig.roundTrip = std::chrono::microseconds(static_cast<long long>(roundTripMs_ * 1000 + 0.5));
    kv::sim::ResetKeyboard(simConfig);
    simStarted_ = true;
    kv::TransportApi api;
    kv::sim::BindSimulator(api);
    if (kv::StartTransport(api, TracingCallback, &count) != 0)
      return fail(kExitNoKeyboard, "the simulated keyboard did not start");
    if (int r = applySimFaults()) return r;
  } else {
    std::string cause;
    int result = platform_.startLibrary(TracingCallback, &count, &cause);
    if (result != 0) {
      // A transport that started (and found a keyboard it may not use) is ended again.
      libraryStarted_ = result == kExitFailed;
      return fail(result == kExitFailed ? kExitFailed : kExitNoKeyboard, cause);
    }
    libraryStarted_ = true;
  }
  installTrace();
  deviceCount = count;
  if (count == 0 && requireKeyboard) return fail(kExitNoKeyboard, "no keyboard attached");
  if (count > 1 && platform_.listDevices && !sim) {
    // Which of them the commands reach, so a user with two is never surprised.
    for (const DeviceListing& d : platform_.listDevices())
      if (d.inUse) err << "korvalinctl: " << count << " keyboards attached; using " << d.device << '\n';
  }
  return kExitOk;
}

// Fault commands only change how the keyboard answers, never its memory, so
// a refused one still leaves nothing written.
int Session::applySimFaults() {
  auto it = cl_.options.find("--sim-fault");
  if (it == cl_.options.end()) return kExitOk;
  std::string_view rest = it->second;
  while (true) {
    const size_t end = std::min(rest.find(';'), rest.size());
    std::string_view fault = rest.substr(0, end);
    while (!fault.empty() && fault.front() == ' ') fault.remove_prefix(1);
    while (!fault.empty() && fault.back() == ' ') fault.remove_suffix(1);
    const std::string reply = kv::sim::ExecuteControl(*kv::sim::CurrentKeyboard(), "fault " + std::string(fault));
    if (reply.rfind("OK", 0) != 0) return usageError("--sim-fault: '" + std::string(fault) + "' is no fault command");
    if (end == rest.size()) return kExitOk;
    rest.remove_prefix(end + 1);
  }
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
  (void)model.SelectProfile(profile);  // targetProfile gave 0-2
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

int runSubcommand(Session& s, std::span<const Subcommand> table, std::string_view noun,
                  std::initializer_list<std::string_view> options, std::string_view missing) {
  if (s.words().size() < 2) return s.usageError("missing " + std::string(noun));
  const std::string& word = s.words()[1];
  auto found = std::find_if(table.begin(), table.end(), [&](const Subcommand& c) { return c.name == word; });
  if (found == table.end()) return s.usageError("unknown " + std::string(noun) + " '" + word + "'");
  s.addContext(word);
  if (int r = s.expectOptions(options)) return r;
  if (found->arguments >= 0) {
    if (int r = s.expectArguments(2, static_cast<size_t>(found->arguments))) return r;
  } else if (s.words().size() < 3) {
    return s.usageError("missing " + std::string(missing));
  }
  return found->run(s);
}

}  // namespace kvctl
