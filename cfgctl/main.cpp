#include <unistd.h>

#include <csignal>
#include <iostream>

#include "cfgctl/cli.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return cfg::cli::run(args, std::cout, std::cerr, ::isatty(2) == 1);
}
