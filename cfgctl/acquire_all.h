// cfgctl acquire --all: every terminal of config.dat collected in one run.
//
// Terminals that cannot disturb each other are collected at the same time:
// each TCP terminal on a thread of its own, the terminals sharing a serial
// line one after the other, every modem row one at a time (with the serial
// terminals on a modem's line). At most kMaxParallelLines run at once, so a
// plant of a hundred terminals does not run out of descriptors. Each
// terminal runs exactly as "cfgctl N acquire KIND" would: its lock, its
// archive settings, its modem call. The archive writers serialise their
// appends, so the lines of concurrent terminals never mix within a record.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/registry.h"
#include "link/port_map.h"

namespace cfg::cli {

// Lines collected at once: a whole registry (100 rows) fits, each thread
// holding one socket or port and, while it writes, its archive files.
inline constexpr std::size_t kMaxParallelLines = 100;

// "acquire" with "--all" among its words.
bool isAcquireAllCommand(const std::vector<std::string>& positional);

// The terminals to collect, grouped by what they share: the rows of one
// group run one after the other, groups run side by side. Rows keep their
// config.dat order; a number met again is left out (the first row is the
// terminal). Returned as indexes into `rows`.
std::vector<std::vector<std::size_t>> acquisitionGroups(const std::vector<TerminalRecord>& rows, const PortMap& ports);

// Runs "acquire --all [KIND]": one line per terminal on `out` as it ends,
// "0012 Acquisite 25 registrazioni." or its error, the details of a failure
// on `err` each after its terminal's number. kOk when every terminal was
// collected, kFailed when any was not, kUsage or kSetup before any starts.
int runAcquireAll(const std::vector<std::string>& positional, const std::filesystem::path& directory, bool yes,
                  std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
