// cfgctl's "reader-id" commands on an open connection to a handheld: show
// its reader identification, or give it a new one.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"

namespace cfg::cli {

extern const char* const kReaderIdHelp;

// What is wrong with the words after "reader-id"; empty when they are good.
std::string readerIdUsageProblem(const std::vector<std::string>& args);

// "reader-id": prints the ID and both descriptions. "reader-id set ID DESC1
// DESC2": reads the identification in force, replaces the three fields and
// writes it to the next slot (the rest of the record goes back as read).
// Returns the exit code (0 done, 1 not a handheld, no identification in
// force, failed or interrupted).
int runReaderId(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
                std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
