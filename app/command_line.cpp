#include "app/command_line.h"

namespace cfg {

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (arg == "-d") {
      line.diagnostic = true;
    } else if (arg == "-a") {
      line.autoSchedule = true;
    } else if (!arg.empty()) {
      if (!line.batchPath.empty()) line.batchPath += ' ';
      line.batchPath += arg;
    }
  }
  return line;
}

StartUpAction startUpAction(const CommandLine& line, std::size_t scheduledActivities) {
  if (line.autoSchedule) return scheduledActivities > 0 ? StartUpAction::StartScheduling : StartUpAction::None;
  if (line.diagnostic || line.batchPath.empty()) return StartUpAction::None;
  return StartUpAction::RunBatch;
}

}  // namespace cfg
