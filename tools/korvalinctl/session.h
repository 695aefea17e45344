// korvalinctl's run: the parsed command line, the checks every command
// shares, the connection to the keyboard and the small parsers and printers.
// The commands themselves live in one file per group (cmd_*.cpp) and are
// found through the one table in ctl.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_ui.h"
#include "keys/key_action.h"
#include "keys/working_config.h"
#include "model/key_codes.h"
#include "model/lighting.h"
#include "profile/profile_store.h"
#include "tools/korvalinctl/ctl.h"

namespace kvctl {

namespace fs = std::filesystem;

// What the profile store asks of a window: messages are kept, to be printed
// as the command's own words.
class ConsoleUi : public kv::SilentDeviceUi {
 public:
  void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
  void SetApplyEnabled(bool enabled) override { apply = enabled; }
  bool ApplyEnabled() const override { return apply; }

  // The messages so far on one line each, and forgets them.
  std::vector<std::string> take();

  std::vector<std::u16string> messages;
  bool apply = false;
};

struct CommandLine {
  std::map<std::string, std::string> options;  // by name, the last given
  std::vector<std::string> words;              // command, subcommand, arguments
  bool help = false;
};

[[nodiscard]] bool parseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string* error);

// ---- Small parsers and printers ---------------------------------------------------

fs::path pathOf(const std::string& utf8);
// Decimal or 0x-prefixed hexadecimal, the whole text, within [low, high].
std::optional<long> parseNumber(std::string_view text, long low, long high);
// Milliseconds with an optional fraction, 0-1000.
std::optional<double> parseMilliseconds(std::string_view text);
std::string hexCode(unsigned v, int digits);
std::string colourText(kv::Colour c);
void hexDump(std::ostream& out, std::span<const uint8_t> bytes);
std::string keyNameUtf8(kv::KeyCode code);

// A paintable button: a key button of the keyboard picture or Fn, by key
// code or by name. G keys and D1-D6 have no LED of their own.
struct KeyChoice {
  uint16_t controlId;
  std::string name;
};
std::optional<KeyChoice> parseKey(std::string_view text, std::string* error);

inline constexpr std::array<const char*, kv::kActionTypeCount> kActionTypeNames = {
    "Default", "Disabled", "SingleKey", "LaunchProgram", "PlayMacro", "StopMacro", "TextBlock", "Media", "FunctionKey"};

// The key or G key of a slot of a block.
std::string slotName(int slot);

// ---- One run ---------------------------------------------------------------------

// Everything a command works with. Checks return kExitOk or the exit status
// after printing one line on stderr, so a command reads
//   if (int r = s.expectArguments(1, 1)) return r;
class Session {
 public:
  Session(std::ostream& out, std::ostream& err, const Platform& platform);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int run(const std::vector<std::string>& args);

  // One line on stderr, prefixed with the command; returns code.
  int fail(int code, const std::string& what);
  int usageError(const std::string& what);
  int deviceError(const std::string& what, int result);
  // What the profile store reported, after a colon.
  std::string storeMessages();

  [[nodiscard]] int expectOptions(std::initializer_list<std::string_view> allowed);
  [[nodiscard]] int expectArguments(size_t first, size_t count);
  [[nodiscard]] int optionNumber(const std::string& name, long low, long high, long fallback, long* value);
  [[nodiscard]] int argumentNumber(size_t index, const char* what, long low, long high, long* value);
  // A file this run writes (name: how the refusal names it, "--trace", "the
  // output file"): not a folder, in a folder that exists, and not the same
  // file as another file of the run (the state file, the trace, the
  // command's own file), by identity, not by spelling.
  [[nodiscard]] int checkOutputPath(const std::string& arg, const std::string& name = "the output file");
  [[nodiscard]] int loadProfileArgument(const std::string& arg);

  // Reaches the keyboard; with requireKeyboard false a count of 0 is not an
  // error (deviceCount says it).
  [[nodiscard]] int connect(bool requireKeyboard = true);
  void finish();
  [[nodiscard]] int targetProfile(long given, int* profile);
  [[nodiscard]] int loadLighting(kv::LightingModel& model, long given);
  [[nodiscard]] int useKeyboardTemplate();

  // Words of the command line: [0] the command, then its arguments.
  const std::vector<std::string>& words() const { return cl_.words; }
  // A stand-alone option (--verify) was given.
  bool flag(std::string_view name) const { return cl_.options.find(std::string(name)) != cl_.options.end(); }
  // Adds a subcommand to the prefix of error lines.
  void addContext(std::string_view word) {
    context_ += ' ';
    context_ += word;
  }
  const std::string& context() const { return context_; }

  std::ostream& out;
  std::ostream& err;
  ConsoleUi ui;
  kv::WorkingConfig config;
  kv::ApplySnapshot snapshot;
  int macroCapacity = 0;
  kv::ProfileStore store;
  std::optional<fs::path> sim;  // --sim STATE
  std::string simArg;
  int deviceCount = 0;  // after connect()
  const Platform& platform() const { return platform_; }

 private:
  int showHelp(const std::string& command);
  int applySimFaults();

  const Platform& platform_;
  CommandLine cl_;
  std::string context_;
  double roundTripMs_ = 2.0;
  bool simStarted_ = false;
  bool libraryStarted_ = false;
  std::ofstream trace_;
  // The files this run reads or writes, so no output lands on another.
  struct RunFile {
    fs::path path;
    std::string name;
    std::string arg;
  };
  std::vector<RunFile> files_;
};

// ---- The commands -------------------------------------------------------------------

using CommandFn = int (*)(Session&);

struct Subcommand;
struct Command {
  std::string_view name;
  CommandFn run;
  std::span<const Subcommand> (*subcommands)() = nullptr;  // the names the second word takes, if any
};

// Keyboard-wide commands (cmd_keyboard.cpp).
int cmdSimNew(Session& s);
int cmdInfo(Session& s);
int cmdRead(Session& s);
int cmdWrite(Session& s);
int cmdSwitch(Session& s);
int cmdReportRate(Session& s);
// Lighting (cmd_lighting.cpp).
int cmdLighting(Session& s);
// Memory in hex (cmd_dump.cpp).
int cmdDump(Session& s);
// Profile files without a keyboard (cmd_file.cpp).
int cmdFile(Session& s);
// Whole-keyboard backups (cmd_backup.cpp).
int cmdBackup(Session& s);
int cmdRestore(Session& s);

// ---- Reading back what was written (--verify; cmd_backup.cpp) ------------------------
//
// Each returns kExitOk when the keyboard holds what was written; otherwise
// one line naming the region, the first differing offset, the byte expected
// and the byte found, and kExitFailed (also when the reading fails).

// The macro image and key tables of the profile store's last write.
[[nodiscard]] int verifyKeyboardWrite(Session& s, const kv::KeyboardWrite& written);
// The selected profile's settings record and, when the keyboard has the
// per-key effect, its per-key region, as the lighting model last wrote them.
[[nodiscard]] int verifyLighting(Session& s, const kv::LightingModel& model);
// `bytes` at `field` of the settings record of `profile`.
[[nodiscard]] int verifySettings(Session& s, int profile, size_t field, std::span<const uint8_t> bytes);

// What the transport finds (cmd_devices.cpp).
int cmdDevices(Session& s);
// Why the keyboard does not work (cmd_doctor.cpp).
int cmdDoctor(Session& s);

// A subcommand of a group (lighting, dump, file): its name, how many
// arguments follow it (kOneOrMore: at least one) and what runs it.
inline constexpr int kOneOrMore = -1;
struct Subcommand {
  std::string_view name;
  int arguments;
  CommandFn run;
};

// Runs the subcommand named by the second word: checks that it is known,
// adds it to the context of error lines, checks the options and the number
// of arguments. noun names what the second word is ("subcommand", "region");
// missing names the argument a kOneOrMore subcommand lacks.
// The subcommand tables (the help's tables name the same words; a test
// holds them together).
std::span<const Subcommand> lightingSubcommands();
std::span<const Subcommand> dumpRegions();
std::span<const Subcommand> fileSubcommands();

int runSubcommand(Session& s, std::span<const Subcommand> table, std::string_view noun,
                  std::initializer_list<std::string_view> options, std::string_view missing = "argument");

}  // namespace kvctl
