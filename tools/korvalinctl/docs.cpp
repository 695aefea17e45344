#include "tools/korvalinctl/docs.h"

#include <set>
#include <sstream>
#include <vector>

#include "tools/korvalinctl/help.h"

namespace kvctl {

namespace {

// Plain text as roff: backslashes and hyphens escaped (a hyphen in an
// option must stay a minus sign), a leading dot or quote guarded.
std::string roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    size_t end = text.find('\n');
    out.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

size_t indentOf(std::string_view line) { return line.find_first_not_of(' '); }

std::string joined(std::string_view text) {
  std::string out;
  for (std::string_view l : lines(text)) {
    size_t i = indentOf(l);
    if (i == std::string_view::npos) continue;
    if (!out.empty()) out += ' ';
    out += l.substr(i);
  }
  return out;
}

// A help text's body (after its Usage line) as roff: paragraphs filled,
// "  term   description" lines as tagged paragraphs (deeper-indented lines
// continue the description), other indented lines verbatim.
void body(std::ostream& out, std::string_view text) {
  enum { kNone, kProse, kItem, kVerbatim } state = kNone;
  bool paragraph = false;  // a blank line or an indented part came before
  auto close = [&] {
    if (state == kVerbatim) out << ".fi\n.RE\n";
  };
  for (std::string_view line : lines(text)) {
    size_t indent = indentOf(line);
    if (indent == std::string_view::npos) {
      close();
      state = kNone;
      paragraph = true;
      continue;
    }
    std::string_view rest = line.substr(indent);
    if (indent == 0) {
      close();
      if (state != kProse || paragraph) out << ".PP\n";
      out << roff(rest) << '\n';
      state = kProse;
      paragraph = false;
      continue;
    }
    if (state == kItem && indent > 2) {
      out << roff(rest) << '\n';
      continue;
    }
    size_t gap = rest.find("  ");
    if (indent == 2 && gap != std::string_view::npos) {
      close();
      size_t desc = rest.find_first_not_of(' ', gap);
      out << ".TP\n\\fB" << roff(rest.substr(0, gap)) << "\\fR\n" << roff(rest.substr(desc)) << '\n';
      state = kItem;
      paragraph = true;
      continue;
    }
    if (state != kVerbatim) {
      out << ".RS 4\n.nf\n";
      state = kVerbatim;
    }
    out << roff(rest) << '\n';
    paragraph = true;
  }
  close();
}

std::string_view usageLine(const CommandHelp& c) {
  std::string_view t = c.text;
  std::string_view first = t.substr(0, t.find('\n'));
  constexpr std::string_view kPrefix = "Usage: ";
  if (first.substr(0, kPrefix.size()) == kPrefix) first.remove_prefix(kPrefix.size());
  return first;
}

std::string_view afterUsage(const CommandHelp& c) {
  std::string_view t = c.text;
  size_t eol = t.find('\n');
  return eol == std::string_view::npos ? std::string_view() : t.substr(eol + 1);
}

}  // namespace

std::string ManPage(std::string_view version, std::string_view date, std::string_view rule) {
  std::ostringstream out;
  out << ".\\\" Generated from korvalinctl's help tables (tools/korvalinctl/help.h).\n";
  out << ".TH KORVALINCTL 1 \"" << date << "\" \"korvalinctl " << version << "\" \"User Commands\"\n";
  out << ".nh\n.ad l\n";  // no hyphenation, ragged right: commands and options stay whole
  out << ".SH NAME\nkorvalinctl \\- " << roff(kSummary) << '\n';
  out << ".SH SYNOPSIS\n.B korvalinctl\n";
  std::string_view synopsis = kSynopsis.substr(kSynopsis.find(' ') + 1);
  // An option and its value stay on one line.
  std::string kept;
  int depth = 0;
  for (char c : roff(synopsis)) {
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    kept += c == ' ' && depth > 0 ? std::string("\\ ") : std::string(1, c);
  }
  out << kept << '\n';
  out << ".SH DESCRIPTION\n";
  body(out, kIntro);
  out << ".PP\nWithout \\fB\\-\\-sim\\fR, korvalinctl reaches the keyboard attached through its hidraw nodes; "
         "the udev rule (see \\fBFILES\\fR) lets the user at the seat open them without root.\n";
  body(out, std::string("\n") + std::string(kNotes));
  out << "\\fBkorvalinctl COMMAND \\-\\-help\\fR explains one command.\n";

  out << ".SH OPTIONS\n";
  for (const OptionHelp& o : kOptions) {
    out << ".TP\n\\fB" << roff(o.name) << "\\fR";
    if (!o.arg.empty()) out << " \\fI" << roff(o.arg) << "\\fR";
    out << '\n' << roff(joined(o.text)) << '\n';
  }

  out << ".SH COMMANDS\n";
  for (const CommandHelp& c : kCommandHelp) {
    out << ".SS " << roff(c.command) << '\n';
    out << ".B " << roff(usageLine(c)) << '\n';
    body(out, afterUsage(c));
  }

  out << ".SH EXIT STATUS\n";
  for (const ExitHelp& e : kExitCodes) out << ".TP\n.B " << e.code << '\n' << roff(e.text) << '\n';

  out << ".SH ENVIRONMENT\n";
  for (const EnvironmentHelp& e : kEnvironment) out << ".TP\n.B " << roff(e.name) << '\n' << roff(e.text) << '\n';

  out << ".SH FILES\n.TP\n.I " << roff(kUdevRulePath) << '\n'
      << "The keyboard's udev rule. It tags the keyboard's hidraw nodes \\fBuaccess\\fR, so that "
         "systemd\\-logind gives the user logged in at the seat access to them; korvalinctl then needs no root. "
         "The package reloads the rules when it is installed or removed, so a keyboard already plugged in "
         "needs no replugging. On a system without logind, add\n"
         ".B MODE=\"0660\", GROUP=\"plugdev\"\n"
         "to the rule (a copy in \\fI/etc/udev/rules.d\\fR of the same name overrides it) and be in the group "
         "\\fBplugdev\\fR. The rule, one line in the file:\n";
  out << ".RS 4\n.nf\n";
  for (std::string_view l : lines(rule)) {
    if (l.empty() || l[0] == '#') continue;
    // One condition a line, so that the rule fits the page.
    std::string_view rest = l;
    while (!rest.empty()) {
      size_t comma = rest.find(", ");
      out << roff(rest.substr(0, comma == std::string_view::npos ? rest.size() : comma + 1)) << '\n';
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 2);
      out << "  ";
    }
  }
  out << ".fi\n.RE\n";

  out << ".SH EXAMPLES\n";
  for (const ExampleHelp& e : kExamples) {
    if (!FindCommandHelp(e.command)) continue;
    out << ".PP\n" << roff(e.text) << "\n.RS 4\n.nf\n";
    for (std::string_view l : lines(e.line)) out << roff(l) << '\n';
    out << ".fi\n.RE\n";
  }
  out << ".SH SEE ALSO\n.BR udev (7),\n.BR udevadm (8)\n";
  return out.str();
}

std::string BashCompletion() {
  std::ostringstream out;
  auto quoted = [](const std::vector<std::string>& words) {
    std::string s;
    for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
    return "\"" + s + "\"";
  };
  std::vector<std::string> commands, globals;
  for (const CommandHelp& c : kCommandHelp) commands.emplace_back(c.command);
  // Options every command takes: those no command lists as its own.
  std::set<std::string> own;
  for (const CommandHelp& c : kCommandHelp)
    for (const std::string& o : Words(c.options)) own.insert(o);
  for (const OptionHelp& o : kOptions)
    if (!own.count(std::string(o.name))) globals.emplace_back(o.name);

  out << "# bash completion for korvalinctl\n"
         "# Generated from korvalinctl's help tables (tools/korvalinctl/help.h).\n\n"
         "_korvalinctl_values() {\n"
         "  # _korvalinctl_values PLACEHOLDER WORD: the candidates a placeholder offers.\n"
         "  local -A values=(";
  for (const PlaceholderHelp& p : kPlaceholders) out << " [\"" << p.name << "\"]=\"" << p.values << "\"";
  out << " )\n"
         "  local v=${values[$1]-}\n"
         "  if [[ $v == @file ]]; then\n"
         "    compopt -o filenames 2>/dev/null\n"
         "    COMPREPLY=($(compgen -f -- \"$2\"))\n"
         "  elif [[ -n $v ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$v\" -- \"$2\"))\n"
         "  fi\n"
         "}\n\n"
         "_korvalinctl() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=\n"
         "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
         "  COMPREPLY=()\n"
         "  local commands=" << quoted(commands) << "\n"
         "  local globals=" << quoted(globals) << "\n"
         "  local -A option_args=(";
  for (const OptionHelp& o : kOptions)
    if (!o.arg.empty()) out << " [\"" << o.name << "\"]=\"" << o.arg << "\"";
  out << " )\n  local -A subcommands=(";
  for (const CommandHelp& c : kCommandHelp) {
    std::vector<std::string> names;
    for (const WordHelp& w : Subcommands(c)) names.push_back(w.name);
    if (!names.empty()) out << " [\"" << c.command << "\"]=" << quoted(names);
  }
  out << " )\n  local -A args=(";
  for (const CommandHelp& c : kCommandHelp) {
    if (!c.args.empty()) out << " [\"" << c.command << "\"]=" << quoted(Words(c.args));
    for (const WordHelp& w : Subcommands(c))
      if (!w.args.empty()) out << " [\"" << c.command << ' ' << w.name << "\"]=" << quoted(w.args);
  }
  out << " )\n  local -A options=(";
  for (const CommandHelp& c : kCommandHelp)
    if (!c.options.empty()) out << " [\"" << c.command << "\"]=" << quoted(Words(c.options));
  out << " )\n"
         "  if [[ -n $prev && -n ${option_args[$prev]+set} ]]; then\n"
         "    _korvalinctl_values \"${option_args[$prev]}\" \"$cur\"\n"
         "    return 0\n"
         "  fi\n"
         "  # The words before this one without the options and their values.\n"
         "  local i word\n"
         "  local -a positional=()\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    word=${COMP_WORDS[i]}\n"
         "    if [[ -n $word && -n ${option_args[$word]+set} ]]; then\n"
         "      ((i++))\n"
         "    elif [[ $word != -* ]]; then\n"
         "      positional+=(\"$word\")\n"
         "    fi\n"
         "  done\n"
         "  local command=${positional[0]-}\n"
         "  if [[ $cur == -* ]]; then\n"
         "    if [[ -z $command ]]; then\n"
         "      COMPREPLY=($(compgen -W \"$globals\" -- \"$cur\"))\n"
         "    else\n"
         "      COMPREPLY=($(compgen -W \"${options[$command]-} --help\" -- \"$cur\"))\n"
         "    fi\n"
         "    return 0\n"
         "  fi\n"
         "  if [[ -z $command ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
         "    return 0\n"
         "  fi\n"
         "  local wanted n\n"
         "  if [[ -n ${subcommands[$command]+set} ]]; then\n"
         "    if ((${#positional[@]} == 1)); then\n"
         "      COMPREPLY=($(compgen -W \"${subcommands[$command]}\" -- \"$cur\"))\n"
         "      return 0\n"
         "    fi\n"
         "    wanted=${args[\"$command ${positional[1]}\"]-}\n"
         "    n=$((${#positional[@]} - 2))\n"
         "  else\n"
         "    wanted=${args[$command]-}\n"
         "    n=$((${#positional[@]} - 1))\n"
         "  fi\n"
         "  local -a placeholders\n"
         "  read -r -a placeholders <<<\"$wanted\"\n"
         "  local count=${#placeholders[@]} placeholder=\n"
         "  if ((n < count)); then\n"
         "    placeholder=${placeholders[n]}\n"
         "  elif ((count > 0)) && [[ ${placeholders[count - 1]} == *... ]]; then\n"
         "    placeholder=${placeholders[count - 1]}\n"
         "  fi\n"
         "  [[ -n $placeholder ]] && _korvalinctl_values \"${placeholder%...}\" \"$cur\"\n"
         "  return 0\n"
         "}\n\n"
         "complete -F _korvalinctl korvalinctl\n";
  return out.str();
}

std::string ZshCompletion() {
  std::ostringstream out;
  auto words = [](const std::vector<std::string>& list) {
    std::string s;
    for (const std::string& w : list) s += (s.empty() ? "" : " ") + w;
    return s;
  };
  std::vector<std::string> commands, globals;
  for (const CommandHelp& c : kCommandHelp) commands.emplace_back(c.command);
  std::set<std::string> own;
  for (const CommandHelp& c : kCommandHelp)
    for (const std::string& o : Words(c.options)) own.insert(o);
  for (const OptionHelp& o : kOptions)
    if (!own.count(std::string(o.name))) globals.emplace_back(o.name);

  out << "#compdef korvalinctl\n"
         "# zsh completion for korvalinctl\n"
         "# Generated from korvalinctl's help tables (tools/korvalinctl/help.h).\n\n"
         "local -a commands globals positional placeholders\n"
         "local -A option_args subcommands args options values\n"
         "commands=(" << words(commands) << ")\n"
         "globals=(" << words(globals) << ")\n"
         "option_args=(";
  for (const OptionHelp& o : kOptions)
    if (!o.arg.empty()) out << ' ' << o.name << " '" << o.arg << "'";
  out << " )\nsubcommands=(";
  for (const CommandHelp& c : kCommandHelp) {
    std::vector<std::string> names;
    for (const WordHelp& w : Subcommands(c)) names.push_back(w.name);
    if (!names.empty()) out << ' ' << c.command << " '" << words(names) << "'";
  }
  out << " )\nargs=(";
  for (const CommandHelp& c : kCommandHelp) {
    if (!c.args.empty()) out << ' ' << c.command << " '" << words(Words(c.args)) << "'";
    for (const WordHelp& w : Subcommands(c))
      if (!w.args.empty()) out << " '" << c.command << ' ' << w.name << "' '" << words(w.args) << "'";
  }
  out << " )\noptions=(";
  for (const CommandHelp& c : kCommandHelp)
    if (!c.options.empty()) out << ' ' << c.command << " '" << words(Words(c.options)) << "'";
  out << " )\nvalues=(";
  for (const PlaceholderHelp& p : kPlaceholders) out << " '" << p.name << "' '" << p.values << "'";
  out << " )\n\n"
         "_korvalinctl_value() {\n"
         "  local v=${values[$1]-}\n"
         "  if [[ $v == @file ]]; then\n"
         "    _files\n"
         "  elif [[ -n $v ]]; then\n"
         "    compadd -- ${=v}\n"
         "  fi\n"
         "}\n\n"
         "local cur=${words[CURRENT]} prev=${words[CURRENT-1]} word command wanted placeholder\n"
         "local -i i n\n"
         "if [[ -n $prev && -n ${option_args[$prev]-} ]]; then\n"
         "  _korvalinctl_value ${option_args[$prev]}\n"
         "  return\n"
         "fi\n"
         "# The words before this one without the options and their values.\n"
         "for ((i = 2; i < CURRENT; i++)); do\n"
         "  word=${words[i]}\n"
         "  if [[ -n $word && -n ${option_args[$word]-} ]]; then\n"
         "    ((i++))\n"
         "  elif [[ $word != -* ]]; then\n"
         "    positional+=(\"$word\")\n"
         "  fi\n"
         "done\n"
         "command=${positional[1]-}\n"
         "if [[ $cur == -* ]]; then\n"
         "  if [[ -z $command ]]; then\n"
         "    compadd -- $globals\n"
         "  else\n"
         "    compadd -- ${=options[$command]-} --help\n"
         "  fi\n"
         "  return\n"
         "fi\n"
         "if [[ -z $command ]]; then\n"
         "  compadd -- $commands\n"
         "  return\n"
         "fi\n"
         "if [[ -n ${subcommands[$command]-} ]]; then\n"
         "  if ((${#positional} == 1)); then\n"
         "    compadd -- ${=subcommands[$command]}\n"
         "    return\n"
         "  fi\n"
         "  wanted=${args[$command ${positional[2]}]-}\n"
         "  n=$((${#positional} - 2))\n"
         "else\n"
         "  wanted=${args[$command]-}\n"
         "  n=$((${#positional} - 1))\n"
         "fi\n"
         "placeholders=(${=wanted})\n"
         "if ((n < ${#placeholders})); then\n"
         "  placeholder=${placeholders[n + 1]}\n"
         "elif ((${#placeholders} > 0)) && [[ ${placeholders[-1]} == *... ]]; then\n"
         "  placeholder=${placeholders[-1]}\n"
         "fi\n"
         "[[ -n $placeholder ]] && _korvalinctl_value ${placeholder%...}\n"
         "return 0\n";
  return out.str();
}

}  // namespace kvctl
