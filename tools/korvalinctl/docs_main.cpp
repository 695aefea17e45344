// korvalinctl-docs: writes korvalinctl's manual page and bash and zsh completion,
// made from its help tables, for the build and the Debian package.
//
//   korvalinctl-docs VERSION DATE RULE_FILE MAN_OUT BASH_OUT ZSH_OUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/korvalinctl/docs.h"

namespace {

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
  f.close();
  if (!f) std::cerr << "korvalinctl-docs: cannot write " << path << '\n';
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr << "usage: korvalinctl-docs VERSION DATE RULE_FILE MAN_OUT BASH_OUT ZSH_OUT\n";
    return 2;
  }
  std::ifstream rule(argv[3], std::ios::binary);
  if (!rule) {
    std::cerr << "korvalinctl-docs: cannot read " << argv[3] << '\n';
    return 1;
  }
  std::ostringstream ruleText;
  ruleText << rule.rdbuf();
  bool ok = writeFile(argv[4], kvctl::ManPage(argv[1], argv[2], ruleText.str()));
  ok = writeFile(argv[5], kvctl::BashCompletion()) && ok;
  ok = writeFile(argv[6], kvctl::ZshCompletion()) && ok;
  return ok ? 0 : 1;
}
