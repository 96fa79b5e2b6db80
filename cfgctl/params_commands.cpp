#include "cfgctl/params_commands.h"

#include <ostream>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "params/image.h"
#include "params/transfer.h"

namespace cfg::cli {

const char* const kParamsHelp =
    "cfgctl TERMINAL params read FILE\ncfgctl TERMINAL params write FILE\n"
    "read: reads every configuration parameter of the terminal and saves them in FILE (the\n"
    "parameter file, 344 lines); FILE is left untouched when the read fails.\n"
    "write: loads FILE and writes it to the terminal, which then restarts. The terminal's\n"
    "address and line speed are never changed.\n";

std::string paramsUsageProblem(const std::vector<std::string>& args) {
  if (args.size() != 2 || (args[0] != "read" && args[0] != "write") || args[1].empty())
    return "uso: params read FILE | params write FILE";
  return {};
}

namespace {

// Runs the routine to its end, or until an interruption stops it at its
// next step; true when interrupted.
bool runToEnd(Worker::Routine routine, const Messages& messages, std::ostream& err, bool progress, int total,
              const std::atomic<bool>* interrupted) {
  auto show = [&](const ProgressUpdate& u) {
    if (progress) err << "\rParametri: " << u.second << "/" << total << std::flush;
  };
  bool stopped = runInterruptible(std::move(routine), messages, interrupted, show) == WorkerEnd::Interrupted;
  if (progress) err << "\n";
  return stopped;
}

}  // namespace

int runParams(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
              std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  ParameterState state;
  selectParameterLayout(state, link.config.model);
  if (state.model == ParamModel::None) {
    err << "cfgctl: il modello " << printable(link.config.model, false)
        << " non ha parametri di configurazione.\n";
    return kFailed;
  }
  const bool write = args[0] == "write";
  const std::filesystem::path file = pathFromUtf8(args[1]);
  if (write && !loadParameterFile(file, state.image)) {
    messages.error(kParameterFileReadFailed);
    return kFailed;
  }
  TransferEnd end = TransferEnd::Failed;
  bool stopped = runToEnd(
      [&](Worker& w) {
        end = write ? writeAllParameters(w, link, messages, state) : readAllParameters(w, link, messages, state);
      },
      messages, err, progress, transferCount(state.model), interrupted);
  if (stopped || end == TransferEnd::Stopped) {
    err << (write ? "cfgctl: interrotto; il terminale puo` avere ricevuto solo una parte dei parametri.\n"
                  : "cfgctl: interrotto; il file non e` stato scritto.\n");
    return kFailed;
  }
  switch (end) {
    case TransferEnd::Done: break;
    case TransferEnd::NoSlot:
      err << "cfgctl: il palmare non ha parametri validi in memoria"
          << (write ? "; nulla e` stato scritto.\n" : ".\n");
      return kFailed;
    case TransferEnd::Partial:
      err << "cfgctl: alcuni parametri non sono stati scritti.\n";
      return kFailed;
    default:
      err << (write ? "cfgctl: scrittura dei parametri non riuscita.\n"
                    : "cfgctl: lettura dei parametri non riuscita; il file non e` stato scritto.\n");
      return kFailed;
  }
  if (write) {
    out << "Parametri inviati al terminale.\n";
    return kOk;
  }
  if (!saveParameterFile(file, state.image, messages)) return kFailed;
  out << "Parametri salvati in " << printable(shownArg(args[1]), false) << ".\n";
  return kOk;
}

}  // namespace cfg::cli
