#include "app/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/command_ids.h"
#include "app/process_state.h"
#include "app/text_1252.h"
#include "link/fd.h"

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

bool runsBatchAtStart(const CommandLine& line) {
  return startUpAction(line, 0) == StartUpAction::RunBatch;
}

StartUpEnd finishStartUp(ProcessState& state, const Messages& messages) {
  CommandLine line{state.diagnostic, state.autoSchedule, state.batchPath};
  StartUpEnd end;
  switch (startUpAction(line, state.scheduledActivities)) {
    case StartUpAction::StartScheduling:
      end.post.push_back(cmd::StartScheduling);
      break;
    case StartUpAction::RunBatch:
      if (auto problem = unreadableBatch(state.batchPath)) {
        messages.error(*problem);
        state.batchOnStart = false;
        end.exitStatus = kExitBatchUnreadable;
        end.post.push_back(cmd::Exit);
        break;
      }
      end.post.push_back(cmd::RunBatch);
      break;
    case StartUpAction::None:
      break;
  }
  return end;
}

std::optional<std::string> unreadableBatch(const std::string& path) {
  auto refuse = [&path](const char* reason) {
    // The path is the file system's (UTF-8); messages are Windows-1252.
    return "Errore: lettura file batch " + utf8ToCp1252(path) + " non riuscita: " + reason;
  };
  // Non-blocking, so that a FIFO named on the command line cannot hang start-up.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return refuse(std::strerror(errno));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return refuse(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return refuse(std::strerror(S_ISDIR(info.st_mode) ? EISDIR : EINVAL));
  return std::nullopt;
}

}  // namespace cfg
