// korvalinctl for platforms without the transport library: the keyboard is
// the simulated one (--sim STATE).
#include <iostream>
#include <string>
#include <vector>

#include "tools/korvalinctl/ctl.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return kvctl::Run(args, std::cout, std::cerr, kvctl::Platform{});
}
