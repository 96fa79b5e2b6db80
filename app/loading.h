// The loading sequence of start-up: every settings file, in order.
#pragma once

#include <functional>

#include "app/process_state.h"
#include "link/prompt.h"

namespace cfg {

// Takes the working directory from the process's current directory (shown in
// a box titled "szCurrentDirectory" in diagnostic mode) and sets the desk
// reader record to its start-up values. False when the current directory
// cannot be determined (the working directory then stays as it was).
bool takeWorkingDirectory(ProcessState& state, const Messages& messages);

// Loads password.txt, config.dat, format.dat, then the scheduled activities
// (loadActivities, when given), acqreg.dat and recent.dat (each of these two
// tests the marker files first).
// Every step runs whatever the ones before it found: a damaged format.dat
// must not switch every archive off. The command-line switches in state must
// be set before. Returns what the readers of config.dat, acqreg.dat and
// recent.dat found, for callers that must not go on with a file that was
// missing or unreadable.
struct LoadingReport {
  FileReport registry;
  FileReport archive;
  FileReport recent;
};
LoadingReport runLoadingSequence(ProcessState& state, const Messages& messages,
                                 const std::function<void()>& loadActivities = {});

}  // namespace cfg
