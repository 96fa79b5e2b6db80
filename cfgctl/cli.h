// cfgctl: the command-line companion of cfgtool for scripted use (cron,
// timers, CI) on the plant's fixed terminals. It calls the same core
// functions the program's dialogs call and adds no rules of its own.
//
//   cfgctl [-C DIR] [--trace FILE] [--yes] TERMINAL COMMAND [ARGS]
//
// It never waits on a question: a Yes/No question is answered by --yes (or
// No), Retry/Cancel by Cancel; the system's messages go to stdout (info) and
// stderr (errors).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cfg::cli {

enum Exit : int {
  kOk = 0,
  kFailed = 1,  // the terminal did not answer or refused, an archive could not be written, a run stopped short
  kUsage = 2,   // bad command line
  kSetup = 3,   // unknown terminal, unreadable settings, the connection could not be made
};

// Runs one command line (without the program name). Progress goes to `err`
// when `progress` is set (stderr is a terminal).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress);

}  // namespace cfg::cli
