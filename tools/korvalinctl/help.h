// korvalinctl's help: the tables every text about the program is made from.
// `korvalinctl --help` and `COMMAND --help` print them (help.cpp); the
// manual page and the shell completions are generated from them at build
// time (docs.cpp, korvalinctl-docs), so the three cannot drift apart.
//
// A new command is one entry in kCommandHelp beside its line in kCommands
// (ctl.cpp): its name and its COMMAND --help text are enough; list, args,
// options and subcommands make its line in --help and its completion
// precise (without list, the line is made from its Usage line and its first
// sentence).
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "tools/korvalinctl/ctl.h"

namespace kvctl {

// What the program does, before the options in --help and in the manual's
// description.
inline constexpr std::string_view kSynopsis =
    "korvalinctl [--sim STATE] [--trace FILE] [--round-trip MS] [--sim-fault F] COMMAND [ARGS...]";
inline constexpr std::string_view kSummary = "read and change the settings of the Korvalin gaming keyboard";
inline constexpr std::string_view kIntro =
    R"(Reads and changes the keyboard's configuration: key tables, macros, lighting
and report rate; backs up and restores the whole keyboard. Every change is
written to the keyboard at once.
)";

// An option before or after the command. arg is its value's placeholder
// (empty for a flag).
struct OptionHelp {
  std::string_view name;
  std::string_view arg;
  std::string_view text;
};

inline constexpr OptionHelp kOptions[] = {
    {"--sim", "STATE",
     "use a simulated keyboard whose memory is the state file STATE (without it: the keyboard attached, "
     "through its hidraw nodes on Linux or Tessaro.dll beside the program on Windows)"},
    {"--trace", "FILE", "append every report to FILE: OUT <hex> sent, IN <hex> received"},
    {"--round-trip", "MS",
     "the simulated keyboard's round trip per report, in ms (default 2, decimals allowed; 0 for fast runs)"},
    {"--sim-fault", "F",
     "faults of the simulated keyboard: its control pipe's fault commands without the word fault, separated "
     "by ';' ('after 20; lie 1': the first write from the 21st report on is acknowledged but not stored)"},
    {"--verify", "",
     "after writing (write, restore, report-rate and the lighting changes), read back what was written; a "
     "difference ends with status 1 and names the region, the first differing offset, the byte expected and "
     "the one found"},
    {"--profile", "P", "the on-board profile a command reads or changes (default: the active one)"},
    {"--macro-units", "N", "sim-new: macro memory in units of 128 bytes (1-255)"},
    {"--json", "", "doctor: the checks and the verdict as one JSON object"},
    {"--help", "", "this text; COMMAND --help explains one command"},
};

// One command. text is its COMMAND --help, starting "Usage: korvalinctl".
// The rest is optional:
//   list         its lines in the command list of --help, each
//                "SYNOPSIS\tSUMMARY\n"
//   args         the placeholders of its arguments (no subcommands), e.g. "FILE"
//   options      the options it takes, e.g. "--profile --verify"
//   subcommands  "NAME ARGS; NAME ARGS; ..." (ctl.cpp's tables run the same names)
// Placeholders in kPlaceholders complete to files or to their values.
struct CommandHelp {
  std::string_view command;
  std::string_view text;
  std::string_view list = {};
  std::string_view args = {};
  std::string_view options = {};
  std::string_view subcommands = {};
};

inline constexpr CommandHelp kCommandHelp[] = {
    {.command = "sim-new",
     .text = R"(Usage: korvalinctl --sim STATE sim-new [--macro-units N] [--profile P]

Creates (or replaces) the state file STATE of a simulated keyboard with
factory contents: N units of 128 bytes of macro memory (1-255, default 64)
and on-board profile P active (0-2, default 0).
)",
     .list = "sim-new [--macro-units N] [--profile P]\tcreate STATE with factory contents (needs --sim)\n",
     .options = "--macro-units --profile"},
    {.command = "info",
     .text = R"(Usage: korvalinctl info

Prints the keyboard's information block as JSON:
  {"active_profile": P, "macro_memory": BYTES, "effects": [codes]}
where effects are the lighting effect codes the keyboard offers, in order.
)",
     .list = "info\tJSON: active profile, macro memory, effect codes\n"},
    {.command = "read",
     .text = R"(Usage: korvalinctl read FILE

Reads the key tables of all three on-board profiles and the macro memory
into the profile file FILE, replacing it whole. FILE's folder must exist.
)",
     .list = "read FILE\tthe whole keyboard into the profile file FILE\n",
     .args = "FILE"},
    {.command = "write",
     .text = R"(Usage: korvalinctl write FILE [--verify]

Checks the profile file FILE, loads it, and writes its macros and the key
tables of all three on-board profiles to the keyboard in one configuration
bracket, as importing a profile does. A file that is not a valid profile
file, or whose macros do not fit the keyboard's macro memory, is refused
before anything is written.

--verify reads the macro image and the three key tables back and compares
them with what was written; a difference ends with exit status 1 and one
line such as
  korvalinctl: write: verify failed: keys 1 differs at offset 0x0039: expected 0x05, found 0x00
(regions and offsets as dump shows them).
)",
     .list = "write FILE [--verify]\tcheck FILE, load it, write all three profiles\n",
     .args = "FILE",
     .options = "--verify"},
    {.command = "backup",
     .text = R"(Usage: korvalinctl backup FILE

Reads everything a user can change on the keyboard: the key tables, the
settings records (lighting, report rate) and the per-key lighting regions of
all three profiles, the whole macro memory and the active profile, and
writes them with the size of the keyboard's macro memory into FILE (a
versioned format with a CRC-32 checksum; a new file replaces an old one
only once it is complete). FILE's folder must exist.
)",
     .list = "backup FILE\teverything a user can change on the keyboard into FILE\n",
     .args = "FILE"},
    {.command = "restore",
     .text = R"(Usage: korvalinctl restore FILE [--verify]

Checks the whole backup FILE first: format, version, length and checksum,
then its macro memory against the keyboard's. Anything wrong is refused with
one line and exit status 2, and nothing is written. Then writes every region
in one configuration bracket (macro memory, key tables, settings records,
per-key regions) and makes the backup's profile active.

A keyboard with more macro memory takes the backup whole and keeps the rest
of its own. A keyboard with less takes it cut to its size when the macros
the backup holds (all the keyboard can reach of its macro image) fit there;
otherwise the backup is refused, naming the bytes its macros need.

--verify reads the whole keyboard back and compares it with what was
written; a difference ends with exit status 1 and one line naming the
region, the first differing offset, the byte expected and the byte found.
)",
     .list = "restore FILE [--verify]\tcheck the backup FILE whole, then write it all back\n",
     .args = "FILE",
     .options = "--verify"},
    {.command = "switch",
     .text = R"(Usage: korvalinctl switch P

Makes on-board profile P (0-2) the keyboard's active profile.
)",
     .list = "switch P\tmake on-board profile P active\n",
     .args = "P"},
    {.command = "report-rate",
     .text = R"(Usage: korvalinctl report-rate INDEX [--profile P] [--verify]

Sets the report rate index 0-3 (the buttons report1-report4) of profile P,
written at once to byte 15 of the profile's settings record. --verify reads
the byte back.
)",
     .list = "report-rate INDEX [--profile P] [--verify]\tset the report rate index 0-3\n",
     .args = "INDEX",
     .options = "--profile --verify"},
    {.command = "lighting",
     .text = R"(Usage: korvalinctl lighting SUBCOMMAND [ARGS...] [--profile P]

Reads the lighting of profile P from the keyboard, then:
  show              prints the lighting model as JSON (the effects offered,
                    effect, brightness, speed, user mode, paint tool, report
                    rate, colours as #RRGGBB, random flags and, when the
                    keyboard has the per-key effect, the ten user patterns)
  effect CODE       selects a lighting effect the keyboard offers (1-28, 254)
  brightness N      brightness 0-4; nothing is written when unchanged
  speed POSITION    the speed control's position 0-4 (speed value 4 - POSITION);
                    nothing is written when unchanged
  user-mode M       selects user pattern M (0-9) of the per-key effect
  paint-tool 0|1    the tool for key clicks: 0 paint, 1 erase
  paint KEY...      lights the keys in the current user pattern (selects the
                    paint tool first when erase is selected)
  erase KEY...      unlights the keys in the current user pattern (selects the
                    erase tool first)
  fill              lights every key of the current user pattern
  clear             unlights every key of the current user pattern
  reset             writes the lighting defaults: effect 1, brightness 4,
                    speed 2, the built-in user patterns
User modes, patterns and tools need a keyboard with the per-key effect 254.
KEY is a key code (0x01E) or a key name (A, Esc, Space, Fn, ...).
--verify (every subcommand but show) reads the profile's settings record and
per-key region back and compares them with what the change wrote.
)",
     .list = "lighting show [--profile P]\tJSON of the lighting model\n"
             "lighting effect CODE | brightness N | speed POSITION | user-mode M | paint-tool 0|1 [--profile P]\tone setting (every change takes --verify)\n"
             "lighting paint KEY... | erase KEY... | fill | clear | reset [--profile P]\tthe current user pattern; the lighting defaults\n",
     .options = "--profile --verify",
     .subcommands = "show; effect CODE; brightness N; speed POSITION; user-mode M; paint-tool 0|1; paint KEY...; erase KEY...; fill; clear; reset"},
    {.command = "dump",
     .text = R"(Usage: korvalinctl dump info | settings | colours P | keys P | default-keys | macros

Prints keyboard memory in hexadecimal, 16 bytes a line after the offset:
  info          the 48-byte information block
  settings      the settings records of the three profiles (3 x 42 bytes)
  colours P     the 256-byte per-key lighting region of profile P
  keys P        the 324-byte key table of profile P
  default-keys  the keyboard's factory key table (324 bytes)
  macros        the whole macro memory
)",
     .list = "dump info | settings | colours P | keys P | default-keys | macros\tkeyboard memory in hex, 16 bytes a line\n",
     .subcommands = "info; settings; colours P; keys P; default-keys; macros"},
    {.command = "file",
     .text = R"(Usage: korvalinctl file new FILE | file check FILE | file show FILE

Profile files, without a keyboard:
  new FILE      writes a profile file with every key at its factory function
  check FILE    checks FILE and prints what it holds; exit status 2 when invalid
  show FILE     prints as JSON the entries that are not at their factory
                function, the macros with their actions, and the strings
                (program paths and texts) of the keys
)",
     .list = "file new FILE | file check FILE | file show FILE\tprofile files without a keyboard\n",
     .subcommands = "new FILE; check FILE; show FILE"},
    {.command = "devices",
     .text = R"(Usage: korvalinctl devices

Prints what the transport finds as JSON: the number of keyboards on each of
the three collections the program uses (command, consumer, led) and, on
Linux, each keyboard with its hidraw nodes; "in_use" marks the one every
other command reaches (with two attached, the first found, kept for the run).
With --sim, the simulated keyboard. Exit status 3 when there is none.
)",
     .list = "devices\tJSON: the keyboards found and the one in use\n"},
    {.command = "doctor",
     .text = R"(Usage: korvalinctl doctor [--json]

Checks, in order, and prints one line per check (ok or problem, what was
found and, for a problem, the next step):
  keyboard on the bus   vendor and product id, its collections and their usage pages
  command collection    found and opened, or: permission denied, in use by
                        another program, absent
  node, udev rule, seat (Linux) the hidraw node's owner, mode and ACL; whether
                        60-korvalin.rules is installed in /usr/lib/udev/rules.d
                        or /etc/udev/rules.d; whether you are logged in at a
                        local seat (the rule's uaccess serves only that user)
  information block     one read of it
  round trips           20 timed reads: median and worst against the 2 ms a
                        full-speed keyboard answers in
It ends with one verdict line. --json prints the same as one object
({"checks": [{"check", "status", "detail", "next"}...], "round_trips_us",
"usable", "verdict"}). With --sim, the simulated keyboard's protocol.
Exit status 0 when every check passes, 1 when one found a problem (the
verdict says which), 2 for bad arguments.
)",
     .list = "doctor [--json]\twhy the keyboard does not work: each check and a verdict\n",
     .options = "--json"},
};

// Below the command list in --help and in the manual's description.
inline constexpr std::string_view kNotes =
    R"(P is an on-board profile 0-2; --profile defaults to the active profile.
KEY is a key code (0x01E) or a key name (A, Esc, Space, Fn, ...).
Numbers are decimal or 0x-prefixed hexadecimal.
)";

struct ExitHelp {
  int code;
  std::string_view text;
};

inline constexpr ExitHelp kExitCodes[] = {
    {kExitOk, "done"},
    {kExitFailed,
     "the keyboard or a file write failed, --verify found a difference, or the keyboard may not be opened "
     "(the message names its node and the udev rule)"},
    {kExitBadInput,
     "bad input (an unknown command or option, a number out of range, a missing or invalid file, an effect or "
     "key the keyboard does not have, a backup its macro memory cannot take), with nothing written to the "
     "keyboard or to any file but the trace"},
    {kExitNoKeyboard, "no keyboard"},
};

struct EnvironmentHelp {
  std::string_view name;
  std::string_view text;
};

inline constexpr EnvironmentHelp kEnvironment[] = {
    {"KORVALIN_HIDRAW_ROOT",
     "On Linux, look for the keyboard's hidraw nodes under this folder instead of the root: in "
     "ROOT/sys/class/hidraw and ROOT/dev (for tests and diagnostics)."},
};

// How an argument placeholder completes: "@file" to a file name, otherwise
// to the words given.
struct PlaceholderHelp {
  std::string_view name;
  std::string_view values;
};

inline constexpr PlaceholderHelp kPlaceholders[] = {
    {"FILE", "@file"}, {"STATE", "@file"},       {"P", "0 1 2"}, {"INDEX", "0 1 2 3"},
    {"0|1", "0 1"},    {"POSITION", "0 1 2 3 4"}, {"M", "0 1 2 3 4 5 6 7 8 9"},
};

// The manual's examples. An example whose command is not in kCommandHelp
// is left out.
struct ExampleHelp {
  std::string_view command;
  std::string_view text;
  std::string_view line;
};

inline constexpr ExampleHelp kExamples[] = {
    {"backup", "Back up everything a user can change on the keyboard:", "korvalinctl backup keyboard.kvb"},
    {"restore", "Put the backup back and read the whole keyboard back to compare:",
     "korvalinctl restore keyboard.kvb --verify"},
    {"doctor", "Find out why the keyboard cannot be reached:", "korvalinctl doctor"},
    {"read", "The three on-board profiles into a profile file, and back:",
     "korvalinctl read profiles.kvp\nkorvalinctl write profiles.kvp --verify"},
    {"lighting", "Light W, A, S and D in the current user pattern of profile 1:",
     "korvalinctl lighting paint W A S D --profile 1"},
    {"sim-new", "Try it without a keyboard, on a simulated one:",
     "korvalinctl --sim kb.state sim-new\nkorvalinctl --sim kb.state info"},
};

// The keyboard's udev rule, as the Debian package installs it.
inline constexpr std::string_view kUdevRulePath = "/usr/lib/udev/rules.d/60-korvalin.rules";

// One line of the command list: "SYNOPSIS" and what it does.
struct ListRow {
  std::string synopsis;
  std::string summary;
};
// The command's lines in the command list: its list, or else its Usage line
// and the first sentence of its text.
std::vector<ListRow> ListRows(const CommandHelp& help);

// One subcommand: its name and its arguments' placeholders.
struct WordHelp {
  std::string name;
  std::vector<std::string> args;
};
std::vector<WordHelp> Subcommands(const CommandHelp& help);
// The words of a blank-separated list ("--profile --verify").
std::vector<std::string> Words(std::string_view text);

// Prints the whole usage (--help).
void PrintUsage(std::ostream& out);
// The COMMAND --help text; null for an unknown command.
const CommandHelp* FindCommandHelp(std::string_view command);

}  // namespace kvctl
