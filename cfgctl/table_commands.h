// cfgctl's "table" commands on an open connection: send a table file to the
// terminal, or receive the terminal's table into a file.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "tables/table_engine.h"

namespace cfg::cli {

extern const char* const kTableHelp;

// What is wrong with the words after "table"; empty when they are good.
std::string tableUsageProblem(const std::vector<std::string>& args);

// "table send NAME FILE [--clear]": FILE is loaded (in the table's own file
// format), then sent; with --clear the terminal's table is emptied first.
// "table receive NAME FILE": the terminal's table is read and saved in FILE
// (left untouched when the receive fails or is interrupted). Returns the
// exit code (0 done, 1 failed or interrupted).
int runTable(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
             std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

// Runs one table's send or receive on a worker, its progress ("sent/total")
// on err when `progress`; says on err what a stopped or failed run left
// behind. True when it ended done.
bool runTableTransfer(bool send, int total, const std::function<TableEnd(Worker&)>& transfer, const Messages& messages,
                      std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
