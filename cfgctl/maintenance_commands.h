// cfgctl's maintenance commands: firmware and logo downloads.
//
//   TERMINAL firmware FILE [--reader 1|2] [--yes]
//   TERMINAL logo FILE --slot 1|2
//
// The file is read and checked before the connection opens, so a bad file
// never reaches the terminal. The download runs on a worker as in the
// program's dialog; on a terminal a progress line counts the blocks or steps.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/progress.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg::cli {

extern const char* const kFirmwareHelp;
extern const char* const kLogoHelp;

// What is wrong with the arguments of "firmware" or "logo"; empty when they are sound.
std::string maintenanceUsageProblem(const std::string& name, const std::vector<std::string>& args);

// Runs a routine on a worker, handing each refresh to the callback; true when interrupted.
using WorkerRunner = std::function<bool(Worker::Routine, std::function<void(const ProgressUpdate&)>)>;

class MaintenanceCommand {
 public:
  virtual ~MaintenanceCommand() = default;
  // Sends the download over the open Link; returns the exit code.
  virtual int run(Link& link, const Messages& messages, const WorkerRunner& runWorker, std::ostream& out,
                  std::ostream& err, bool progress) = 0;
};

// Reads and checks the file for the terminal's model before anything is
// sent. On a problem writes it (the system's message through `messages`,
// cfgctl's own to `err`), sets `exitCode` and returns nothing.
std::unique_ptr<MaintenanceCommand> prepareMaintenance(const std::string& name, const std::vector<std::string>& args,
                                                       const LinkConfig& link, const Messages& messages,
                                                       std::ostream& err, int& exitCode);

}  // namespace cfg::cli
