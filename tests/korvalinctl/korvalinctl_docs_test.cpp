// korvalinctl's help tables against what it runs, and the texts made from
// them: --help's command list, the manual page's structure and the
// examples it keeps only for commands that exist.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tools/korvalinctl/ctl.h"
#include "tools/korvalinctl/docs.h"
#include "tools/korvalinctl/help.h"

namespace {

std::set<std::string> asSet(const std::vector<std::string_view>& names) { return {names.begin(), names.end()}; }

TEST(KorvalinctlHelpTables, NameExactlyTheCommandsAndSubcommandsThatRun) {
  std::set<std::string> helped;
  for (const kvctl::CommandHelp& c : kvctl::kCommandHelp) {
    EXPECT_TRUE(helped.insert(std::string(c.command)).second) << "twice: " << c.command;
    EXPECT_EQ(c.text.rfind("Usage: korvalinctl ", 0), 0u) << c.command;
    std::set<std::string> subs;
    for (const kvctl::WordHelp& w : kvctl::Subcommands(c)) subs.insert(w.name);
    EXPECT_EQ(subs, asSet(kvctl::DispatchedNames(c.command))) << c.command;
  }
  EXPECT_EQ(helped, asSet(kvctl::DispatchedNames({})));
}

TEST(KorvalinctlHelpTables, EveryPlaceholderAndOptionACommandNamesIsKnown) {
  std::set<std::string> options, placeholders;
  for (const kvctl::OptionHelp& o : kvctl::kOptions) options.insert(std::string(o.name));
  for (const kvctl::PlaceholderHelp& p : kvctl::kPlaceholders) placeholders.insert(std::string(p.name));
  for (const kvctl::CommandHelp& c : kvctl::kCommandHelp) {
    for (const std::string& o : kvctl::Words(c.options)) EXPECT_TRUE(options.count(o)) << c.command << ": " << o;
    for (const kvctl::WordHelp& w : kvctl::Subcommands(c)) {
      // Each subcommand's arguments appear in the command's own text.
      std::string form = w.name;
      for (const std::string& a : w.args) form += " " + a;
      EXPECT_NE(c.text.find(form), std::string::npos) << c.command << ": " << form;
    }
    for (const std::string& a : kvctl::Words(c.args)) {
      EXPECT_TRUE(placeholders.count(a)) << c.command << ": " << a;
      EXPECT_NE(c.text.find(std::string(c.command) + " " + a), std::string::npos) << c.command;
    }
  }
}

TEST(KorvalinctlHelpTables, ACommandWithoutAListGetsItsLineFromItsText) {
  struct Case {
    const char* text;
    const char* synopsis;
    const char* summary;
  };
  for (const Case& t : {Case{"Usage: korvalinctl check [--fix]\n\nChecks the keyboard and the rule. Then more.\n",
                             "check [--fix]", "checks the keyboard and the rule"},
                        Case{"Usage: korvalinctl probe\n\nPrints what it finds:\n  a list\n", "probe",
                             "prints what it finds"},
                        Case{"Usage: korvalinctl udev\n\nUSB nodes and\nthe rule\n\nMore.\n", "udev",
                             "USB nodes and the rule"}}) {
    kvctl::CommandHelp help{"x", t.text};
    std::vector<kvctl::ListRow> rows = kvctl::ListRows(help);
    ASSERT_EQ(rows.size(), 1u) << t.text;
    EXPECT_EQ(rows[0].synopsis, t.synopsis);
    EXPECT_EQ(rows[0].summary, t.summary);
  }
}

TEST(KorvalinctlHelpTables, UsageListsEveryRowOptionAndExitStatusWithinTheWidth) {
  std::ostringstream out;
  kvctl::PrintUsage(out);
  std::string usage = out.str();
  for (const kvctl::CommandHelp& c : kvctl::kCommandHelp)
    for (const kvctl::ListRow& row : kvctl::ListRows(c))
      EXPECT_NE(usage.find("\n  " + row.synopsis), std::string::npos) << row.synopsis;
  for (const kvctl::OptionHelp& o : kvctl::kOptions) EXPECT_NE(usage.find("\n  " + std::string(o.name)), std::string::npos);
  for (const kvctl::ExitHelp& e : kvctl::kExitCodes)
    EXPECT_NE(usage.find("\n  " + std::to_string(e.code) + "  "), std::string::npos) << e.code;
  // The options and exit statuses are filled within 79 columns.
  std::string options = usage.substr(usage.find("\nOptions:"), usage.find("\nCommands:") - usage.find("\nOptions:"));
  std::istringstream lines(options + usage.substr(usage.find("\nExit status:")));
  for (std::string line; std::getline(lines, line);) {
    {
      EXPECT_LE(line.size(), 79u) << line;
    }
  }
}

TEST(KorvalinctlManPage, HasEveryCommandSectionAndOnlyTheExamplesOfCommandsThatExist) {
  std::string page = kvctl::ManPage("9.8.7", "2026-01-02", "# comment\nSUBSYSTEM==\"hidraw\", TAG+=\"uaccess\"\n");
  EXPECT_EQ(page.find(".TH KORVALINCTL 1 \"2026-01-02\" \"korvalinctl 9.8.7\""), page.find(".TH"));
  for (const kvctl::CommandHelp& c : kvctl::kCommandHelp) {
    std::string name;
    for (char ch : c.command) name += ch == '-' ? std::string("\\-") : std::string(1, ch);
    EXPECT_NE(page.find("\n.SS " + name + "\n"), std::string::npos) << c.command;
  }
  for (const kvctl::ExampleHelp& e : kvctl::kExamples) {
    std::string first(e.line.substr(0, e.line.find('\n')));
    std::string roffed;
    for (char ch : first) roffed += ch == '-' ? std::string("\\-") : std::string(1, ch);
    EXPECT_EQ(page.find("\n" + roffed + "\n") != std::string::npos, kvctl::FindCommandHelp(e.command) != nullptr)
        << e.command;
  }
  EXPECT_EQ(page.find("# comment"), std::string::npos);
  EXPECT_NE(page.find("SUBSYSTEM==\"hidraw\","), std::string::npos);
  // No text line may be taken for a request: each starts with a request
  // this generator writes, or not with a dot or a quote at all.
  std::istringstream lines(page);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || (line[0] != '.' && line[0] != '\'')) continue;
    std::string request = line.substr(0, line.find(' '));
    static const std::set<std::string> kRequests = {".\\\"", ".TH", ".SH", ".SS", ".PP", ".TP", ".B", ".I",
                                                    ".BR", ".RS", ".RE", ".nf", ".fi", ".nh", ".ad"};
    EXPECT_TRUE(kRequests.count(request)) << line;
  }
}

}  // namespace
