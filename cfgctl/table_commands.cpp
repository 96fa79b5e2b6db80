#include "cfgctl/table_commands.h"

#include <ostream>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "cfgctl/fingerprint_commands.h"
#include "tables/fingerprints.h"
#include "tables/table_engine.h"

namespace cfg::cli {

const char* const kTableHelp =
    "cfgctl TERMINAL table send NAME FILE [--clear]\ncfgctl TERMINAL table receive NAME FILE\n"
    "NAME: policies, sirens, messages, exit-direction, justifications, holidays, sites,\n"
    "activities, production-program, production-tables, fingerprints; users (users --help).\n"
    "send: loads FILE (the table's own file format) and writes its records to the terminal;\n"
    "with --clear the terminal's table is emptied first. When the list exceeds the terminal's\n"
    "capacity the system's question is asked and only --yes goes on. Holidays always fill\n"
    "the terminal's 32 holiday words.\n"
    "receive: reads the terminal's table by index until its first free record and saves it in\n"
    "FILE; FILE is left untouched when the receive fails.\n"
    "fingerprints: FILE holds 786-byte lines with the templates, or 31-byte lines naming\n"
    "template files beside FILE; receive always writes the 786-byte lines.\n";

std::string tableUsageProblem(const std::vector<std::string>& args) {
  const char* use = "uso: table send NAME FILE [--clear] | table receive NAME FILE";
  if (args.size() < 3 || (args[0] != "send" && args[0] != "receive")) return use;
  if (args[0] == "send" ? (args.size() > 4 || (args.size() == 4 && args[3] != "--clear")) : args.size() != 3)
    return use;
  if (!findTable(args[1]) && args[1] != kFingerprintsName) return "tabella sconosciuta: " + printable(args[1], false);
  if (args[2].empty()) return use;
  return {};
}

bool runTableTransfer(bool send, int total, const std::function<TableEnd(Worker&)>& transfer, const Messages& messages,
                      std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  TableEnd end = TableEnd::Failed;
  auto show = [&](const ProgressUpdate& u) {
    if (progress) err << "\r" << (send ? kSendingText : kReceivingText) << " " << u.second << "/" << total << std::flush;
  };
  bool stopped = runInterruptible([&](Worker& w) { end = transfer(w); }, messages, interrupted, show) ==
                 WorkerEnd::Interrupted;
  if (progress) err << "\n";
  if (!stopped && end == TableEnd::Done) return true;
  if (send)
    err << "cfgctl: invio non completato; i record gia` inviati restano nel terminale.\n";
  else
    err << "cfgctl: ricezione non completata; il file non e` stato scritto.\n";
  return false;
}

int runTable(const std::vector<std::string>& args, Link& link, const Messages& messages, std::ostream& out,
             std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  if (args[1] == kFingerprintsName) return runFingerprintTable(args, link, messages, out, err, progress, interrupted);
  const TableDescriptor& table = *findTable(args[1]);
  const bool send = args[0] == "send";
  const std::filesystem::path file = pathFromUtf8(args[2]);
  if (!tableEnabledFor(table, link.config.model)) {
    err << "cfgctl: il modello " << printable(link.config.model, false) << " non ha la tabella " << table.name
        << ".\n";
    return kFailed;
  }
  std::vector<std::string> list;
  if (send) {
    if (!loadTableFile(table, file, LoadMode::Replace, -1, list)) {
      messages.error(kLoadFailed);
      return kFailed;
    }
    if (!confirmCapacity(table, link.config.model, list.size(), messages)) {
      err << "cfgctl: nulla e` stato inviato.\n";
      return kFailed;
    }
  }
  const bool clearFirst = send && args.size() == 4;
  const int total = send ? (table.id == TableId::Holidays ? 32 : static_cast<int>(list.size()))
                         : recordsToRead(table, link.config.model);
  if (!runTableTransfer(
          send, total,
          [&](Worker& w) {
            return send ? sendTable(w, link, messages, table, list, clearFirst) : receiveTable(w, link, messages, table, list);
          },
          messages, err, progress, interrupted))
    return kFailed;
  if (send) {
    out << "Inviati " << list.size() << " record della tabella " << table.name << ".\n";
    return kOk;
  }
  if (!saveTableFile(table, file, list)) {
    err << "cfgctl: impossibile scrivere " << printable(shownArg(args[2]), false) << ".\n";
    return kFailed;
  }
  out << "Ricevuti " << list.size() << " record della tabella " << table.name << " in "
      << printable(shownArg(args[2]), false) << ".\n";
  return kOk;
}

}  // namespace cfg::cli
