// cfgctl's "params" commands on an open connection: read the terminal's
// configuration parameters into a parameter file, or write a parameter file
// to the terminal.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"

namespace cfg::cli {

extern const char* const kParamsHelp;

// What is wrong with the words after "params"; empty when they are good.
std::string paramsUsageProblem(const std::vector<std::string>& args);

// "params read FILE": read all, then FILE is saved (a failed read leaves it
// untouched). "params write FILE": FILE is loaded, then written all. The
// model is the Link's. Returns the exit code (0 done, 1 failed or
// interrupted). Progress goes to `err` when `progress` is set.
int runParams(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
              std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
