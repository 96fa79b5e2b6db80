// cfgctl's fingerprint table on an open connection:
//   table send fingerprints FILE [--clear]
//   table receive fingerprints FILE
// The templates travel through a private folder of template files that is
// removed when the command ends.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"

namespace cfg::cli {

// args as after "table": send|receive, "fingerprints", FILE [, --clear].
int runFingerprintTable(const std::vector<std::string>& args, Link& link, const Messages& messages,
                        std::ostream& out, std::ostream& err, bool progress, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
