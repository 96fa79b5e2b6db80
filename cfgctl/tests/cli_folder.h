// cfgctl run as from a shell in a plant folder of the test's own, with what
// it printed kept for the test to read.
#pragma once

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "cfgctl/cli.h"
#include "tests/support/temp_dir.h"

namespace cfg::test {

class CliFolder {
 public:
  // Runs `cfgctl -C <folder> args...`; out and err hold this run's output only.
  int run(std::vector<std::string> args, const std::atomic<bool>* interrupted = nullptr) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"-C", dir.path().string()});
    return cli::run(args, out, err, false, interrupted);
  }

  TempDir dir;
  std::ostringstream out, err;
};

}  // namespace cfg::test
