// What cfgctl's commands share: the Prompt that answers without waiting,
// printable text, and the working directory's checks.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/loading.h"
#include "app/process_state.h"
#include "app/settings_io.h"
#include "link/progress.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg::cli {

// Text as it may go to a terminal or a log: control bytes become "<XX>".
// With `lineBreaks` the message boxes' line breaks (CR LF, CR, LF) become
// LF and a tab stays; without it (bytes a terminal sent) every control byte
// is shown escaped. The program's texts and the terminals' bytes are
// Windows-1252 while paths typed on this system are UTF-8: a text that is
// not valid UTF-8 is taken as Windows-1252 and converted, so both show right.
std::string printable(std::string_view text, bool lineBreaks = true);

// A path in a message: long ones keep their start and end.
std::string shownArg(const std::string& text);

// Answers every question without waiting: Yes/No by --yes, Retry/Cancel by
// Cancel. Information goes to `out`, warnings, errors and questions to `err`.
class CliPrompt : public Prompt {
 public:
  CliPrompt(std::ostream& out, std::ostream& err, bool yes) : out_(out), err_(err), yes_(yes) {}

  Answer ask(const PromptRequest& r) override;
  bool failed() const;
  // Information texts are terminal replies: escape every control byte.
  void escapeReplies(bool on) { escapeReplies_ = on; }

 private:
  mutable std::mutex mutex_;
  std::ostream& out_;
  std::ostream& err_;
  bool yes_;
  bool failed_ = false;
  bool escapeReplies_ = false;
};

// The working directory from -C (relative to the current directory): a
// folder that exists. Otherwise writes what is wrong and why to `err`.
std::optional<std::filesystem::path> workingDirectory(const std::filesystem::path& given, std::ostream& err);
// The same for a folder named by UTF-8 text (as typed after -C).
std::optional<std::filesystem::path> workingDirectory(const std::string& given, std::ostream& err);

// The plant's settings read into `state` for a run with nobody to answer a
// box: the working folder checked (nothing when it is unusable, which err
// has been told), then the loading sequence, unattended.
std::optional<LoadingReport> loadUnattended(const std::filesystem::path& directory, ProcessState& state,
                                            const Messages& messages, std::ostream& err);

// Every line a reader left out, and a file it could not read, on `err`.
void reportFile(const FileReport& report, std::ostream& err);

enum class WorkerEnd { Done, Interrupted, NotStarted };

// Runs `routine` on a worker of its own until it ends, or until `interrupted`
// is set: the worker is then stopped at its next step (a transaction under
// way ends first). Every progress update goes to `onProgress`, those still
// queued at the end included.
WorkerEnd runInterruptible(Worker::Routine routine, const Messages& messages, const std::atomic<bool>* interrupted,
                           const std::function<void(const ProgressUpdate&)>& onProgress = {});

}  // namespace cfg::cli
