// korvalinctl's manual page and shell completion, made from the help tables
// (help.h) by korvalinctl-docs at build time.
#pragma once

#include <string>
#include <string_view>

namespace kvctl {

// The manual page korvalinctl(1) in roff. rule is the text of the udev rule
// file the package installs (its comment lines are left out).
std::string ManPage(std::string_view version, std::string_view date, std::string_view rule);

// The bash completion script: sourced, it completes korvalinctl's commands,
// subcommands, options, profiles and other fixed values, and file names
// where a file is expected.
std::string BashCompletion();
// The same for zsh: the body of its autoloaded function _korvalinctl.
std::string ZshCompletion();

}  // namespace kvctl
