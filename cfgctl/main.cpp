#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <iostream>

#include "cfgctl/cli.h"

namespace {

// Set by SIGINT and SIGTERM; the run looks at it between two steps.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) { interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return cfg::cli::run(args, std::cout, std::cerr, ::isatty(2) == 1, &interrupted);
  } catch (const std::exception& e) {
    std::cerr << "cfgctl: errore interno: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "cfgctl: errore interno\n";
  }
  return cfg::cli::kSetup;
}
