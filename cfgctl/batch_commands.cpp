#include "cfgctl/batch_commands.h"

#include <ostream>

#include "app/loading.h"
#include "app/process_state.h"
#include "app/text_1252.h"
#include "automation/batch_executor.h"
#include "automation/batch_log.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"

namespace cfg::cli {

namespace {

const char* const kBatchHelp =
    "cfgctl [-C DIR] batch FILE\n"
    "Runs the batch file FILE as cfgtool runs it, always in background mode (no window,\n"
    "whatever the file says): searches the handhelds over the connections FILE names,\n"
    "unlocks each with the plant password of DIR/password.txt and carries out FILE's\n"
    "operations on it, archiving records by DIR/acqreg.dat. Tables are read from FILE's\n"
    "folder; a FILE without \"/\" is a file of DIR. Every line the run appends to\n"
    "DIR/file_log.txt is printed too.\n"
    "Exit 0 when every operation succeeded; 1 when FILE could not be read, an operation\n"
    "failed (a FALLITO or ERRORE line) or the run was interrupted (SIGINT, SIGTERM: the\n"
    "handheld in hand is finished first).\n"
    "Set CFG_HID_SIM / CFG_BT_SIM to termsim's sockets to run on simulated handhelds.\n";

}  // namespace

bool isBatchCommand(const std::string& name) { return name == "batch"; }

std::string batchHelp() { return kBatchHelp; }

int runBatch(const std::vector<std::string>& words, const std::string& directory, std::ostream& out,
             std::ostream& err, const std::atomic<bool>* interrupted) {
  if (words.size() != 2 || words[1].empty()) {
    err << "cfgctl: uso: batch FILE\n" << kBatchHelp;
    return kUsage;
  }
  CliPrompt prompt(out, err, false);
  Messages messages(prompt);
  ProcessState state;
  std::optional<LoadingReport> read = loadUnattended(pathFromUtf8(directory), state, messages, err);
  if (!read) return kSetup;
  const LoadingReport& loaded = *read;
  // A missing acqreg.dat means its defaults; anything read wrong is said.
  if (loaded.archive.outcome != FileReport::Outcome::Missing) reportFile(loaded.archive, err);
  state.ports = PortMap::load(state.workingDirectory);
  state.batchPath = words[1];
  BatchRunResult result = runBatchFile(
      state, messages, {}, true, interrupted, [&out, &err](const std::string& line, bool written) {
        // Called on the run's worker while this thread only waits.
        out << printable(line) << "\n" << std::flush;
        if (!written) err << "cfgctl: riga non scritta in " << kBatchLogName << "\n";
      });
  if (!result.read) {
    err << "cfgctl: file batch illeggibile: " << printable(shownArg(words[1]), false) << "\n";
    return kFailed;
  }
  if (result.interrupted) {
    err << "cfgctl: interrotto.\n";
    return kFailed;
  }
  return result.failures == 0 ? kOk : kFailed;
}

}  // namespace cfg::cli
