#include "cfgctl/maintenance_commands.h"

#include <ostream>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "maintenance/firmware.h"
#include "maintenance/logo.h"

namespace cfg::cli {

const char* const kFirmwareHelp =
    "cfgctl TERMINAL firmware FILE [--reader 1|2] [--yes]\n"
    "Sends the firmware image FILE (whole 128-byte blocks, with its two check words) to the\n"
    "terminal's loader, or with --reader to reader module 1 or 2. The file is checked before\n"
    "the connection opens. When the terminal still holds records the new firmware would erase,\n"
    "only --yes goes on. A download that stops half way leaves the terminal in its loader:\n"
    "run the command again.\n";
const char* const kLogoHelp =
    "cfgctl TERMINAL logo FILE --slot 1|2\n"
    "Writes the one-bit bitmap FILE (240x128 for an LX-P2, 128x64 for an LX-K5) into logo\n"
    "slot 1 or 2 of the terminal.\n";

namespace {

// The value of "--option V" among the arguments; empty when absent.
std::string optionValue(const std::vector<std::string>& args, const char* option) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == option) return args[i + 1];
  return {};
}

// The one argument that is not an option or an option's value.
std::vector<std::string> positionals(const std::vector<std::string>& args, const char* option) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == option) {
      ++i;
      continue;
    }
    out.push_back(args[i]);
  }
  return out;
}

class FirmwareCommand : public MaintenanceCommand {
 public:
  FirmwareImage image;
  FirmwareTarget target = FirmwareTarget::Terminal;

  int run(Link& link, const Messages& messages, const WorkerRunner& runWorker, std::ostream& out, std::ostream& err,
          bool progress) override {
    FirmwareJob job{link, messages, image, target};
    FirmwareRun result;
    std::size_t total = transferBlockCount(link.config, image);
    bool stopped = runWorker([&](Worker& w) { downloadFirmware(w, job, result); },
                             [&](const ProgressUpdate& u) {
                               if (progress) err << "\rBlocchi: " << u.second << "/" << total << std::flush;
                             });
    if (progress && result.blocksSent > 0) err << "\n";
    if (result.declined) {
      err << "cfgctl: nessun blocco inviato (le registrazioni restano nel terminale; --yes per procedere).\n";
      return kFailed;
    }
    if (result.completed && !stopped) {
      out << "Firmware inviato: " << total << " blocchi.\n";
      return kOk;
    }
    err << "cfgctl: " << (stopped ? "interrotto" : "download non completato") << " dopo " << result.blocksSent.load()
        << " blocchi su " << total;
    if (result.blocksSent > 0) err << "; il terminale resta nel caricatore: ripetere il download";
    err << ".\n";
    return kFailed;
  }
};

class LogoCommand : public MaintenanceCommand {
 public:
  LogoModel model = LogoModel::P2;
  LogoFile file;
  int slot = 1;

  int run(Link& link, const Messages& messages, const WorkerRunner& runWorker, std::ostream& out, std::ostream& err,
          bool progress) override {
    LogoRun result;
    int range = logoGeometry(model).progressRange;
    bool stopped = runWorker([&](Worker& w) { sendLogo(w, link, messages, model, file, slot, result); },
                             [&](const ProgressUpdate& u) {
                               if (progress) err << "\rLogo: " << std::min(u.second, range) << "/" << range << std::flush;
                             });
    if (progress && result.commandsSent > 0) err << "\n";
    if (result.completed && !stopped) {
      out << "Logo " << slot << " inviato.\n";
      return kOk;
    }
    err << "cfgctl: " << (stopped ? "interrotto" : "invio non completato") << " dopo " << result.commandsSent.load()
        << " scritture su " << logoGeometry(model).commands << "; il logo " << slot << " e` scritto solo in parte.\n";
    return kFailed;
  }
};

}  // namespace

std::string maintenanceUsageProblem(const std::string& name, const std::vector<std::string>& args) {
  if (name == "firmware") {
    auto files = positionals(args, "--reader");
    if (files.size() != 1 || files[0].rfind("--", 0) == 0) return "uso: firmware FILE [--reader 1|2] [--yes]";
    for (std::size_t i = 0; i < args.size(); ++i)
      if (args[i] == "--reader" && (i + 1 >= args.size() || (args[i + 1] != "1" && args[i + 1] != "2")))
        return "--reader vuole 1 o 2";
    return {};
  }
  if (name == "logo") {
    auto files = positionals(args, "--slot");
    if (files.size() != 1 || files[0].rfind("--", 0) == 0) return "uso: logo FILE --slot 1|2";
    std::string slot = optionValue(args, "--slot");
    if (slot != "1" && slot != "2") return "--slot vuole 1 o 2";
    return {};
  }
  return {};
}

std::unique_ptr<MaintenanceCommand> prepareMaintenance(const std::string& name, const std::vector<std::string>& args,
                                                       const LinkConfig& link, const Messages& messages,
                                                       std::ostream& err, int& exitCode) {
  if (name == "firmware") {
    auto c = std::make_unique<FirmwareCommand>();
    std::string reader = optionValue(args, "--reader");
    c->target = reader == "1" ? FirmwareTarget::Reader1 : reader == "2" ? FirmwareTarget::Reader2 : FirmwareTarget::Terminal;
    std::string path = positionals(args, "--reader")[0];
    if (!loadFirmwareFile(pathFromUtf8(path), link.model, c->target, c->image)) {
      messages.error(kBadFirmwareFile);
      err << "cfgctl: " << printable(shownArg(path)) << ": file di firmware non valido per " << printable(link.model)
          << "; nulla e` stato inviato.\n";
      exitCode = kFailed;
      return nullptr;
    }
    return c;
  }
  auto c = std::make_unique<LogoCommand>();
  std::optional<LogoModel> model = logoModelOf(link.model);
  if (!model) {
    err << "cfgctl: il modello " << printable(link.model) << " non ha un logo (solo LX-P2 e LX-K5).\n";
    exitCode = kUsage;
    return nullptr;
  }
  c->model = *model;
  c->slot = optionValue(args, "--slot") == "2" ? 2 : 1;
  std::string path = positionals(args, "--slot")[0];
  if (!readLogoFile(pathFromUtf8(path), *model, c->file)) {
    messages.error(kLogoReadFailed);
    const LogoGeometry& g = logoGeometry(*model);
    err << "cfgctl: " << printable(shownArg(path)) << ": serve una bitmap a 1 bit di " << g.width << "x" << g.height
        << " (" << g.fileBytes << " byte); nulla e` stato inviato.\n";
    exitCode = kFailed;
    return nullptr;
  }
  return c;
}

}  // namespace cfg::cli
