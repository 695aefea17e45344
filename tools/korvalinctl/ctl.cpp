#include "tools/korvalinctl/ctl.h"

#include <algorithm>

#include "tools/korvalinctl/help.h"
#include "tools/korvalinctl/session.h"

namespace kvctl {

namespace {

constexpr Command kCommands[] = {
    {"sim-new", cmdSimNew}, {"info", cmdInfo},         {"read", cmdRead},           {"write", cmdWrite},
    {"switch", cmdSwitch},  {"report-rate", cmdReportRate}, {"lighting", cmdLighting, lightingSubcommands},
    {"dump", cmdDump, dumpRegions}, {"file", cmdFile, fileSubcommands}, {"backup", cmdBackup},
    {"restore", cmdRestore}, {"devices", cmdDevices},
    {"doctor", cmdDoctor},
};

}  // namespace

std::vector<std::string_view> DispatchedNames(std::string_view command) {
  std::vector<std::string_view> names;
  for (const Command& c : kCommands) {
    if (command.empty()) {
      names.push_back(c.name);
    } else if (c.name == command && c.subcommands) {
      for (const Subcommand& s : c.subcommands()) names.push_back(s.name);
    }
  }
  return names;
}

int Session::showHelp(const std::string& command) {
  if (const CommandHelp* h = FindCommandHelp(command)) {
    out << h->text;
    return kExitOk;
  }
  context_.clear();
  return usageError("unknown command '" + command + "'");
}

int Session::run(const std::vector<std::string>& args) {
  std::string error;
  if (!parseCommandLine(args, cl_, &error)) return usageError(error);
  if (cl_.words.empty()) {
    if (cl_.help) {
      PrintUsage(out);
      return kExitOk;
    }
    return usageError("no command given");
  }
  const std::string command = cl_.words[0];
  if (cl_.help) return showHelp(command);

  auto found = std::find_if(std::begin(kCommands), std::end(kCommands),
                            [&](const Command& c) { return c.name == command; });
  if (found == std::end(kCommands)) return usageError("unknown command '" + command + "'");

  if (auto it = cl_.options.find("--sim"); it != cl_.options.end()) {
    if (it->second.empty()) return usageError("--sim needs a state file");
    simArg = it->second;
    sim = pathOf(simArg);
    // Whatever the command, no output of it may land on the keyboard's state.
    files_.push_back({*sim, "--sim", simArg});
  }
  if (auto it = cl_.options.find("--round-trip"); it != cl_.options.end()) {
    auto ms = parseMilliseconds(it->second);
    if (!ms) return usageError("--round-trip must be 0-1000 ms, not '" + it->second + "'");
    if (!sim) return usageError("--round-trip applies to --sim only");
    roundTripMs_ = *ms;
  }
  if (cl_.options.count("--sim-fault") && !sim) return usageError("--sim-fault applies to --sim only");
  context_ = command;
  return found->run(*this);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Platform& platform) {
  Session session(out, err, platform);
  int code = session.run(args);
  out.flush();
  return code;
}

}  // namespace kvctl
