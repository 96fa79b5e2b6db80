// cfgctl: the command-line companion of cfgtool for scripted use (cron,
// timers, CI) on the plant's fixed terminals. It calls the same core
// functions the program's dialogs call and adds no rules of its own.
//
//   cfgctl [-C DIR] [--trace FILE] [--yes] TERMINAL COMMAND [ARGS]
//   cfgctl [-C DIR] [--yes] terminals | terminal ... | archives [set ...]
//
// It never waits on a question: a Yes/No question is answered by --yes (or
// No), Retry/Cancel by Cancel; the system's messages go to stdout (info) and
// stderr (errors, questions). A run on a terminal holds that terminal's lock
// from before the connection opens to the end, so two runs never collect
// the same terminal at once.
#pragma once

#include <atomic>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/archive_settings.h"
#include "app/settings_io.h"
#include "link/prompt.h"
#include "records/acquisition.h"

namespace cfg::cli {

enum Exit : int {
  kOk = 0,
  kFailed = 1,  // the terminal did not answer or refused, an archive could not be written, a run stopped
                // short or was interrupted, a question answered No
  kUsage = 2,   // bad command line or bad value
  kSetup = 3,   // unknown terminal, unreadable settings, busy terminal, the connection could not be made
};

// Runs one command line (without the program name). Progress goes to `err`
// when `progress` is set (stderr is a terminal). When `interrupted` becomes
// true (SIGINT, SIGTERM) a record run stops at its next step and the command
// ends with kFailed.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
        const std::atomic<bool>* interrupted = nullptr);

// The commands that edit the working directory's settings files (no TERMINAL).
bool isSettingsCommand(const std::string& name);
std::string settingsHelp(const std::string& name);
int runSettings(const std::vector<std::string>& words, const std::string& directory, bool yes,
                std::ostream& out, std::ostream& err);

// "attendance", "production", "canteen"; nothing for any other word.
std::optional<RecordKind> recordKindOf(const std::string& word);

// What a run already did about the archive settings before this check.
struct ArchiveCheck {
  bool missingTold = false;            // a missing acqreg.dat was already said
  bool nothingChosenAccepted = false;  // records stored nowhere were accepted (--yes)
};

// Before records are collected: unreadable archive settings stop the run
// (kSetup); a missing acqreg.dat is said; when they choose no archive for
// `kind` the system's question is asked and a No ends the run (kFailed).
int checkArchiveSettings(const ArchiveSettings& archive, RecordKind kind, const FileReport& report,
                         const Messages& messages, const ArchiveCheck& done, std::ostream& err);

// "cfgctl -C DIRECTORY [--yes] NUMBER acquire KIND" after acquire --all has
// checked the archive settings: no progress, everything said on out and err.
int acquireTerminal(const std::filesystem::path& directory, unsigned number, const std::string& kind, bool yes,
                    std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupted);

}  // namespace cfg::cli
