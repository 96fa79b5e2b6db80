#include "cfgctl/user_commands.h"

#include <cstdio>
#include <ostream>

#include "app/text_1252.h"
#include "cfgctl/cli.h"
#include "cfgctl/cli_support.h"
#include "link/worker.h"
#include "tables/user_import.h"
#include "tables/users.h"

namespace cfg::cli {

const char* const kUsersHelp =
    "cfgctl TERMINAL users count\n"
    "cfgctl TERMINAL table send users FILE [--clear]\n"
    "cfgctl TERMINAL table receive users FILE\n"
    "cfgctl users import SOURCE DESCRIPTION OUT\n"
    "count: asks the terminal (3802) and prints \"Numero utenti nella white-list del terminale = N\".\n"
    "table send users: loads the user file FILE (47-byte lines, or the older 39-byte ones) and\n"
    "writes every user; with --clear the terminal's white-list is emptied first. When the file\n"
    "holds more users than the terminal can take (the capacity it reports, or 2880 when it\n"
    "cannot tell; LX-P2 and LX-K5 are never asked) the system's question is asked and only\n"
    "--yes goes on.\n"
    "table receive users: reads as many indices as the terminal's capacity (5850 on LX-P2 and\n"
    "LX-K5, 2880 on the others when it cannot tell), stopping at the first free one, and saves\n"
    "the users in FILE; FILE is left untouched when the receive fails.\n"
    "import: reads SOURCE, a fixed-column text file, by the field description DESCRIPTION (a\n"
    ".dat file saved by \"Importa Elenco Utenti\") and writes the users to the user file OUT\n"
    "(at most 5850). No terminal is needed.\n"
    "Exit codes: 0 done; 1 the terminal failed or refused, the import or a file failed, a\n"
    "question answered No; 2 bad command line; 3 setup (terminal, connection, an unreadable or\n"
    "invalid description).\n";

namespace {

std::string shown(const std::string& path) { return printable(shownArg(path), false); }

}  // namespace

bool isUserImportCommand(const std::vector<std::string>& positional) {
  return positional.size() >= 2 && positional[0] == "users" && positional[1] == "import";
}

int runUserImport(const std::vector<std::string>& p, std::ostream& out, std::ostream& err) {
  if (p.size() != 5 || p[2].empty() || p[3].empty() || p[4].empty()) {
    err << "cfgctl: uso: users import SOURCE DESCRIPTION OUT\n";
    return kUsage;
  }
  CliPrompt prompt(out, err, false);
  Messages messages(prompt);
  auto description = loadImportDescription(pathFromUtf8(p[3]));
  if (!description) {
    err << "cfgctl: descrizione illeggibile: " << shown(p[3]) << "\n";
    return kSetup;
  }
  if (ImportDescriptionCheck check = checkImportDescription(*description); !check.ok) {
    messages.error(check.message);
    return kSetup;
  }
  std::vector<std::string> list;
  if (!importUsers(pathFromUtf8(p[2]), *description, kDefaultUserCapacity, list)) {
    messages.error(kImportFailed);
    return kFailed;
  }
  if (!saveUserFile(p[4], list)) {
    err << "cfgctl: impossibile scrivere " << shown(p[4]) << ".\n";
    return kFailed;
  }
  out << "Importati " << list.size() << " utenti in " << shown(p[4]) << ".\n";
  return kOk;
}

std::string usersUsageProblem(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0] != "count") return "uso: users count (users import non vuole un terminale)";
  return {};
}

int runUsers(const std::vector<std::string>&, Link& link, const Messages& messages, std::ostream&, std::ostream&) {
  auto count = queryUserCount(link, messages);
  if (!count) return kFailed;
  char text[96];
  std::snprintf(text, sizeof text, kUserCountText, count->stored);
  messages.info(text);
  return kOk;
}

bool isUserTable(const std::vector<std::string>& a) { return a.size() >= 2 && a[1] == "users"; }

std::string userTableUsageProblem(const std::vector<std::string>& a) {
  const char* use = "uso: table send users FILE [--clear] | table receive users FILE";
  if (a.size() < 3 || (a[0] != "send" && a[0] != "receive") || a[2].empty()) return use;
  if (a[0] == "send" ? (a.size() > 4 || (a.size() == 4 && a[3] != "--clear")) : a.size() != 3) return use;
  return {};
}

int runUserTable(const std::vector<std::string>& a, Link& link, const Messages& messages, std::ostream& out,
                 std::ostream& err, bool progress, const std::atomic<bool>* interrupted) {
  const bool send = a[0] == "send";
  const std::string& model = link.config.model;
  const int capacity = readUserCapacity(link, messages);
  std::vector<std::string> list;
  if (send) {
    // The whole file: a file that does not fit is asked about, never cut short.
    if (!loadUserFile(a[2], LoadMode::Replace, -1, kMaxUserCapacity, list)) {
      messages.error(kLoadFailed);
      return kFailed;
    }
    if (!confirmUserCapacity(capacity, model, list.size(), messages)) {
      err << "cfgctl: nulla e` stato inviato.\n";
      return kFailed;
    }
  }
  const int total = send ? static_cast<int>(list.size()) : usersToRead(capacity, model);
  TableEnd end = TableEnd::Failed;
  auto show = [&](const ProgressUpdate& u) {
    if (progress) err << "\r" << (send ? kSendingText : kReceivingText) << " " << u.second << "/" << total << std::flush;
  };
  const bool clearFirst = send && a.size() == 4;
  bool stopped = runInterruptible(
                     [&](Worker& w) {
                       end = send ? sendUsers(w, link, messages, list, clearFirst)
                                  : receiveUsers(w, link, messages, list, total);
                     },
                     messages, interrupted, show) == WorkerEnd::Interrupted;
  if (progress) err << "\n";
  if (stopped || end != TableEnd::Done) {
    if (send)
      err << "cfgctl: invio non completato; gli utenti gia` inviati restano nel terminale.\n";
    else
      err << "cfgctl: ricezione non completata; il file non e` stato scritto.\n";
    return kFailed;
  }
  if (send) {
    out << "Inviati " << list.size() << " utenti.\n";
    return kOk;
  }
  if (!saveUserFile(a[2], list)) {
    err << "cfgctl: impossibile scrivere " << shown(a[2]) << ".\n";
    return kFailed;
  }
  out << "Ricevuti " << list.size() << " utenti in " << shown(a[2]) << ".\n";
  return kOk;
}

}  // namespace cfg::cli
