// "cfgctl [-C DIR] batch FILE": runs a batch file as cfgtool does, always
// without a window, and prints each line it appends to DIR/file_log.txt.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace cfg::cli {

bool isBatchCommand(const std::string& name);
std::string batchHelp();
// words: "batch" FILE. Exit 0 when every operation succeeded, 1 when the file
// could not be read, an operation failed or the run was interrupted.
int runBatch(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
             std::ostream& err, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
