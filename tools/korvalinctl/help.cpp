#include "tools/korvalinctl/help.h"

#include <algorithm>
#include <ostream>

namespace kvctl {

namespace {

constexpr std::string_view kUsagePrefix = "Usage: korvalinctl ";
constexpr size_t kColumn = 44;  // where the command list's summaries start
constexpr size_t kOptionColumn = 20;
constexpr size_t kWidth = 79;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    size_t end = text.find(sep);
    std::string_view part = trim(text.substr(0, end));
    if (!part.empty()) out.push_back(part);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return out;
}

// text filled into lines of at most width - indent characters, each after
// indent blanks but the first (which continues where the caller stands).
void wrap(std::ostream& out, std::string_view text, size_t indent, size_t first) {
  size_t column = first;
  bool lineStart = true;
  std::vector<std::string_view> words;
  for (std::string_view part : split(text, '\n'))
    for (std::string_view w : split(part, ' ')) words.push_back(w);
  for (std::string_view word : words) {
    if (!lineStart && column + 1 + word.size() > kWidth) {
      out << '\n' << std::string(indent, ' ');
      column = indent;
      lineStart = true;
    }
    if (!lineStart) {
      out << ' ';
      ++column;
    }
    out << word;
    column += word.size();
    lineStart = false;
  }
  out << '\n';
}

}  // namespace

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> out;
  for (std::string_view w : split(text, ' ')) out.emplace_back(w);
  return out;
}

std::vector<ListRow> ListRows(const CommandHelp& help) {
  std::vector<ListRow> rows;
  for (std::string_view line : split(help.list, '\n')) {
    size_t tab = line.find('\t');
    rows.push_back({std::string(trim(line.substr(0, tab))),
                    tab == std::string_view::npos ? std::string() : std::string(trim(line.substr(tab + 1)))});
  }
  if (!rows.empty()) return rows;
  // No list: the Usage line and the first sentence of the text.
  std::string_view text = help.text;
  size_t eol = text.find('\n');
  std::string_view usage = text.substr(0, eol);
  if (usage.substr(0, kUsagePrefix.size()) == kUsagePrefix) usage.remove_prefix(kUsagePrefix.size());
  std::string_view body = eol == std::string_view::npos ? std::string_view() : trim(text.substr(eol));
  size_t stop = std::min({body.find(". "), body.find(".\n"), body.find(":\n"), body.find("\n\n"), body.size()});
  std::string summary;
  for (std::string_view w : split(body.substr(0, std::min(stop, body.size())), ' ')) {
    for (std::string_view part : split(w, '\n')) {
      if (!summary.empty()) summary += ' ';
      summary += part;
    }
  }
  if (!summary.empty() && summary[0] >= 'A' && summary[0] <= 'Z' && !(summary.size() > 1 && summary[1] >= 'A' && summary[1] <= 'Z'))
    summary[0] = static_cast<char>(summary[0] - 'A' + 'a');
  rows.push_back({std::string(trim(usage)), summary});
  return rows;
}

std::vector<WordHelp> Subcommands(const CommandHelp& help) {
  std::vector<WordHelp> out;
  for (std::string_view entry : split(help.subcommands, ';')) {
    std::vector<std::string> words = Words(entry);
    WordHelp w{words.front(), {words.begin() + 1, words.end()}};
    out.push_back(std::move(w));
  }
  return out;
}

const CommandHelp* FindCommandHelp(std::string_view command) {
  for (const CommandHelp& h : kCommandHelp) {
    if (h.command == command) return &h;
  }
  return nullptr;
}

void PrintUsage(std::ostream& out) {
  out << "Usage: " << kSynopsis << "\n\n" << kIntro << "\nOptions:\n";
  for (const OptionHelp& o : kOptions) {
    std::string head = "  ";
    head += o.name;
    if (!o.arg.empty()) head.append(" ").append(o.arg);
    out << head;
    size_t pad = head.size() + 2 <= kOptionColumn ? kOptionColumn - head.size() : 2;
    out << std::string(pad, ' ');
    wrap(out, o.text, kOptionColumn, head.size() + pad);
  }
  out << "\nCommands:\n";
  for (const CommandHelp& c : kCommandHelp) {
    for (const ListRow& row : ListRows(c)) {
      std::string head = "  ";
      head += row.synopsis;
      out << head;
      if (row.summary.empty()) {
        out << '\n';
      } else if (head.size() + 2 <= kColumn) {
        out << std::string(kColumn - head.size(), ' ') << row.summary << '\n';
      } else {
        out << '\n' << std::string(kColumn, ' ') << row.summary << '\n';
      }
    }
  }
  out << '\n' << kNotes << "\nExit status:\n";
  for (const ExitHelp& e : kExitCodes) {
    out << "  " << e.code << "  ";
    wrap(out, e.text, 5, 5);
  }
}

}  // namespace kvctl
