#include "cfgctl/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

#include "app/loading.h"
#include "app/process_state.h"
#include "app/registry.h"
#include "app/registry_edit.h"
#include "app/terminal_lock.h"
#include "app/text_1252.h"
#include "cfgctl/acquire_all.h"
#include "cfgctl/cli_support.h"
#include "cfgctl/activity_commands.h"
#include "cfgctl/handheld_commands.h"
#include "cfgctl/modem_call.h"
#include "cfgctl/maintenance_commands.h"
#include "link/commands.h"
#include "link/hex.h"
#include "link/memory_view.h"
#include "cfgctl/params_commands.h"
#include "cfgctl/reader_id_commands.h"
#include "cfgctl/table_commands.h"
#include "cfgctl/batch_commands.h"
#include "cfgctl/user_commands.h"
#include "link/progress.h"
#include "link/status.h"
#include "records/acquisition.h"
#include "records/archive_choice.h"

namespace cfg::cli {

namespace {

const char* const kUsageText =
    "usage: cfgctl [-C DIR] [--trace FILE] [--yes] [--stack system|vendor] TERMINAL COMMAND [ARGS]\n"
    "       cfgctl [-C DIR] [--yes] terminals | terminal add|set|remove ... | archives [set ...]\n"
    "       cfgctl [-C DIR] handhelds usb|bt-system|bt-vendor\n"
    "       cfgctl [-C DIR] batch FILE\n"
    "       cfgctl [-C DIR] activities [--now \"YYYY-MM-DD HH:MM\"]\n"
    "\n"
    "TERMINAL is a terminal number of DIR/config.dat (DIR: the working directory,\n"
    "by default the current one), or usb:ID for the USB handheld with that 4-character id,\n"
    "or bt:ID for the Bluetooth one, found through the stack --stack system|vendor names\n"
    "(system by default); a handheld is unlocked with the plant password of\n"
    "DIR/password.txt, or the default one.\n"
    "A terminal behind a modem is dialled before the command and hung up after it, also\n"
    "when the command fails or is interrupted.\n"
    "Commands on a terminal:\n"
    "  acquire [attendance|production|canteen]   collect new records into the archives of acqreg.dat\n"
    "  retrieve KIND --from YYYY-MM-DD           collect stored records of that day and newer again\n"
    "  count KIND                                records not yet collected\n"
    "  erase --yes                               erase every record in the terminal\n"
    "  time get | time set                       read the terminal's clock, or set it to this PC's\n"
    "  version                                   firmware versions\n"
    "  status                                    status bits\n"
    "  reset [--defaults --yes]                  restart (with --defaults: restore defaults, all data lost)\n"
    "  output CHANNEL on|off|DURATION            switch output 1-4\n"
    "  memory read PAGE                          one 256-byte page, PAGE in hexadecimal\n"
    "  memory write PAGE OFFSET DATA             4 bytes (DATA: 8 hexadecimal digits) at OFFSET\n"
    "  direct TEXT                               send TEXT as command and data, show the reply\n"
    "  params read FILE | params write FILE      configuration parameters to or from a parameter file\n"
    "  table send NAME FILE [--clear]            send a table file (table --help for the names)\n"
    "  table receive NAME FILE                   receive a table into a file\n"
    "  users count                               users in the terminal's white-list (users --help)\n"
    "  reader-id | reader-id set ID DESC1 DESC2  a handheld's reader identification\n"
    "  firmware FILE [--reader 1|2] [--yes]      download a firmware image to the terminal or a reader\n"
    "  logo FILE --slot 1|2                      send a logo bitmap (LX-P2, LX-K5)\n"
    "Every terminal of DIR/config.dat (no TERMINAL):\n"
    "  acquire --all [KIND]                      collect them all, TCP terminals in parallel\n"
    "Settings of DIR (no TERMINAL):\n"
    "  terminals                                 list config.dat\n"
    "  terminal add|set|remove NUMBER [OPTIONS]  edit config.dat (terminal --help)\n"
    "  archives                                  show acqreg.dat\n"
    "  archives set KIND on|off [OPTIONS]        edit acqreg.dat (archives --help)\n"
    "User import (no TERMINAL):\n"
    "  users import SOURCE DESCRIPTION OUT       a foreign user list into a user file (users --help)\n"
    "Handhelds:\n"
    "  handhelds usb|bt-system|bt-vendor         search the handhelds (handhelds --help)\n"
    "  batch FILE                                run a batch file on every handheld found (batch --help)\n"
    "Scheduled activities:\n"
    "  activities [--now \"YYYY-MM-DD HH:MM\"]     list attivita.dat with each next activation\n"
    "\n"
    "COMMAND --help tells more. Exit codes: 0 done, 1 the operation failed or stopped\n"
    "short (no answer, refused, archive not written, interrupted, a question answered No),\n"
    "2 bad command line, 3 setup (unknown or busy terminal, settings, connection, a failed dial).\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"acquire",
     "cfgctl TERMINAL acquire [attendance|production|canteen]\n"
     "Collects the records the terminal has not yet delivered (default: attendance) and appends\n"
     "them to the archives chosen in acqreg.dat. Each record is acknowledged to the terminal\n"
     "only once its lines are on disk. Prints \"Acquisite N registrazioni.\".\n"
     "When acqreg.dat chooses no archive and no copy for the kind, the records would be\n"
     "acknowledged without being stored: the system's question is asked and only --yes goes on.\n"
     "A missing acqreg.dat means its defaults (attendance into file_reg.txt only); an unreadable\n"
     "one stops the run before anything is collected (exit 3). SIGINT or SIGTERM stop the run\n"
     "after the record being handled (exit 1).\n"
     "\n"
     "cfgctl acquire --all [attendance|production|canteen]\n"
     "Collects every terminal of config.dat: the TCP ones in parallel (up to 100 at a time), the\n"
     "ones sharing a serial line one after the other, those behind a modem one at a time. Prints\n"
     "one line per terminal as it ends, its number first (\"0012 Acquisite 25 registrazioni.\" or\n"
     "its error), the details of a failure on standard error. Exit 1 when any terminal failed.\n"},
    {"retrieve",
     "cfgctl TERMINAL retrieve attendance|production|canteen --from YYYY-MM-DD\n"
     "Reads the stored records of that day and newer again (newest first) and appends them to\n"
     "the archives of acqreg.dat. The terminal's memory is unchanged.\n"},
    {"count", "cfgctl TERMINAL count attendance|production|canteen\nRecords not yet collected.\n"},
    {"erase", "cfgctl TERMINAL erase --yes\nErases every record in the terminal; refused without --yes.\n"},
    {"time", "cfgctl TERMINAL time get|set\nReads the terminal's clock, or sets it to this PC's local time.\n"},
    {"version", "cfgctl TERMINAL version\nFirmware version of the terminal and of its reader modules.\n"},
    {"status", "cfgctl TERMINAL status\nThe two status bytes and the name of every bit that is set.\n"},
    {"reset",
     "cfgctl TERMINAL reset [--defaults --yes]\nRestarts the terminal; with --defaults also restores its "
     "defaults (all data lost), which needs --yes.\n"},
    {"output", "cfgctl TERMINAL output CHANNEL on|off|DURATION\nSwitches output CHANNEL (1-4); DURATION 0-255.\n"},
    {"memory",
     "cfgctl TERMINAL memory read PAGE\ncfgctl TERMINAL memory write PAGE OFFSET DATA\n"
     "PAGE up to four hexadecimal digits, OFFSET two (a multiple of 4), DATA eight.\n"},
    {"params", kParamsHelp},
    {"table", kTableHelp},
    {"users", kUsersHelp},
    {"reader-id", kReaderIdHelp},
    {"direct",
     "cfgctl TERMINAL direct TEXT\nSends TEXT (at most 32 characters) as command and data; control bytes of\n"
     "the reply are shown as <XX>.\n"},
    {"firmware", kFirmwareHelp},
    {"logo", kLogoHelp},
};

struct Command {
  std::filesystem::path directory = ".";
  std::string trace;
  bool yes = false;
  bool help = false;
  std::string stack;  // --stack system|vendor, for a bt:ID terminal
  std::string terminal;
  std::string name;
  std::vector<std::string> args;
  // acquire --all: config.dat's unreadable lines and the archive settings
  // were reported, and their question answered, once for the whole run.
  bool settingsReported = false;
};

}  // namespace

std::optional<RecordKind> recordKindOf(const std::string& s) {
  if (s == "attendance") return RecordKind::Attendance;
  if (s == "production") return RecordKind::Production;
  if (s == "canteen") return RecordKind::Canteen;
  return std::nullopt;
}

namespace {

const char* kindText(RecordKind kind) {
  switch (kind) {
    case RecordKind::Production: return "di produzione";
    case RecordKind::Canteen: return "di mensa";
    case RecordKind::Attendance: break;
  }
  return "di presenza";
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "YYYY-MM-DD" of a real day of 2000-2099 (the terminal keeps two digits of
// the year). Empty when it is one, otherwise what is wrong with it.
std::string dayProblem(const std::string& s, int& y, int& m, int& d) {
  std::string shown = "data \"" + printable(shownArg(s), false) + "\"";
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return shown + ": va scritta AAAA-MM-GG";
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (s[static_cast<std::size_t>(i)] < '0' || s[static_cast<std::size_t>(i)] > '9')
      return shown + ": va scritta AAAA-MM-GG, solo cifre";
  y = std::stoi(s.substr(0, 4));
  m = std::stoi(s.substr(5, 2));
  d = std::stoi(s.substr(8, 2));
  if (y < 2000 || y > 2099) return shown + ": anno " + std::to_string(y) + " non valido (2000-2099)";
  if (m < 1 || m > 12) return shown + ": mese " + std::to_string(m) + " non valido (1-12)";
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int last = days[m - 1] + (m == 2 && leapYear(y) ? 1 : 0);
  if (d < 1 || d > last)
    return shown + ": giorno " + std::to_string(d) + " non valido (il mese " + std::to_string(m) + " ha " +
           std::to_string(last) + " giorni)";
  return {};
}

}  // namespace

// A run must never acknowledge records that are stored nowhere without the
// user saying so, and never collect on settings read half way.
int checkArchiveSettings(const ArchiveSettings& archive, RecordKind kind, const FileReport& report,
                         const Messages& messages, const ArchiveCheck& done, std::ostream& err) {
  if (report.outcome == FileReport::Outcome::Unreadable) {
    err << "cfgctl: impostazioni degli archivi illeggibili: " << printable(report.problem()) << "\n"
        << "cfgctl: nessuna registrazione acquisita; correggere il file o riscriverlo con \"cfgctl archives set\".\n";
    return kSetup;
  }
  if (report.outcome == FileReport::Outcome::Missing && !done.missingTold) {
    err << "cfgctl: " << printable(report.path)
        << " non trovato: valgono le impostazioni predefinite (presenze in file_reg.txt, nessun archivio "
           "di produzione o mensa).\n";
  }
  if (nothingChosen(archive, kind) && !done.nothingChosenAccepted) {
    if (!messages.confirm(kNothingChosenQuestion, kNothingChosenTitle, Icon::Warning)) {
      err << "cfgctl: acqreg.dat non sceglie alcun archivio per le registrazioni " << kindText(kind)
          << ": nessuna registrazione acquisita (\"cfgctl archives set\" ne sceglie uno).\n";
      return kFailed;
    }
  }
  return kOk;
}

namespace {

class Session {
 public:
  Session(const Command& c, std::ostream& out, std::ostream& err, bool progress, const std::atomic<bool>* interrupted)
      : cmd_(c),
        out_(out),
        err_(err),
        progress_(progress),
        interrupted_(interrupted),
        prompt_(out, err, c.yes),
        messages_(prompt_) {}

  int run();

 private:
  int usage(const std::string& why) {
    err_ << "cfgctl: " << why << "\n" << (kCommandHelp.count(cmd_.name) ? kCommandHelp.at(cmd_.name) : kUsageText);
    return kUsage;
  }
  int result(bool ok) const { return ok && !prompt_.failed() ? kOk : kFailed; }
  bool interrupted() const { return interrupted_ && interrupted_->load(); }
  // Runs a worker routine to its end, or until an interruption stops it at
  // its next step. True when it was interrupted.
  bool runWorker(Worker::Routine routine, std::function<void(const ProgressUpdate&)> onProgress = {});
  int checkArchiveSettings(RecordKind kind, const FileReport& report);
  int records(bool retrieval, RecordKind kind, const std::string& reference);
  int memory();
  // The command itself, on the open (and dialled) Link.
  int command(std::optional<RecordKind> kind, const std::string& reference);
  void showProgress(const ProgressUpdate& u) {
    if (progress_) err_ << "\rRegistrazioni: " << u.text << std::flush;
  }

  const Command& cmd_;
  std::ostream& out_;
  std::ostream& err_;
  bool progress_;
  const std::atomic<bool>* interrupted_;
  CliPrompt prompt_;
  Messages messages_;
  ProcessState state_;
  Link link_;
  std::unique_ptr<MaintenanceCommand> maintenance_;  // firmware or logo, its file already checked
};

bool Session::runWorker(Worker::Routine routine, std::function<void(const ProgressUpdate&)> onProgress) {
  if (!onProgress) onProgress = [this](const ProgressUpdate& u) { showProgress(u); };
  return runInterruptible(std::move(routine), messages_, interrupted_, onProgress) == WorkerEnd::Interrupted;
}

int Session::checkArchiveSettings(RecordKind kind, const FileReport& report) {
  return cli::checkArchiveSettings(state_.archive, kind, report, messages_,
                                    {cmd_.settingsReported, cmd_.settingsReported && cmd_.yes}, err_);
}

int Session::records(bool retrieval, RecordKind kind, const std::string& reference) {
  // The archives of the batch configuration (acqreg.dat).
  RecordJob job{link_, messages_, state_.workingDirectory, state_.archive, state_.formats};
  RecordRun run;
  bool stopped = runWorker([&](Worker& w) {
    if (retrieval) retrieve(w, job, kind, reference, run);
    else acquire(w, job, kind, run);
  });
  if (progress_) err_ << "\n";
  char text[64];
  std::snprintf(text, sizeof text, retrieval ? "Recuperate %d registrazioni." : "Acquisite %d registrazioni.",
                run.acquired.load());
  out_ << text << "\n";
  if (!run.failure.empty()) err_ << "cfgctl: " << printable(run.failure) << "\n";
  if (stopped) {
    err_ << "cfgctl: interrotto; le registrazioni non ancora confermate restano nel terminale.\n";
    return kFailed;
  }
  if (!run.completed)
    err_ << "cfgctl: la raccolta si e` fermata prima della fine; le registrazioni non confermate restano nel "
            "terminale.\n";
  return result(run.completed);
}

int Session::memory() {
  const auto& a = cmd_.args;
  if (a.empty() || (a[0] == "read" && a.size() != 2) || (a[0] == "write" && a.size() != 4) ||
      (a[0] != "read" && a[0] != "write"))
    return usage("uso: memory read PAGE | memory write PAGE OFFSET DATA");
  std::optional<std::uint16_t> page = parsePageText(messages_, a[1]);
  if (!page) return kUsage;
  MemoryPage view;
  view.page = *page;
  if (a[0] == "write") {
    if (!canWriteMemory(link_.config.model, *page)) {
      err_ << "cfgctl: la pagina " << printable(a[1], false) << " non si puo` scrivere su questo modello.\n";
      return kFailed;
    }
    CommandResult r = writeMemoryGroup(link_, messages_, view, a[2], a[3]);
    if (r.badField != InputField::None) return kUsage;
    return result(r.ok);
  }
  if (runWorker([&](Worker& w) { readMemoryPage(w, link_, messages_, *page, view); })) {
    err_ << "cfgctl: interrotto.\n";
    return kFailed;
  }
  for (int row = 0; row < 16; ++row) {
    char line[16];
    std::snprintf(line, sizeof line, "%04X%02X:", *page, row * 16);
    out_ << line;
    for (int col = 0; col < 16; ++col) {
      int i = row * 16 + col;
      out_ << ' ' << (view.known[static_cast<std::size_t>(i / 4)] ? byteToHex(view.bytes[static_cast<std::size_t>(i)]) : "??");
    }
    out_ << "\n";
  }
  return result(view.groupsRead == 64);
}

int Session::run() {
  if (cmd_.help) {
    out_ << (kCommandHelp.count(cmd_.name) ? kCommandHelp.at(cmd_.name) : kUsageText);
    return kOk;
  }
  if (cmd_.terminal.empty() || cmd_.name.empty()) return usage("servono il numero di un terminale e un comando");
  if (!kCommandHelp.count(cmd_.name)) return usage("comando sconosciuto \"" + printable(shownArg(cmd_.name), false) + "\"");
  std::optional<TerminalName> terminal = parseTerminalName(cmd_.terminal);
  if (!terminal)
    return usage("TERMINAL deve essere il numero di un terminale (1-9999), usb:ID o bt:ID (ID di 4 caratteri)");
  if (!cmd_.stack.empty()) {
    if (terminal->handheldId.empty() || terminal->search == HandheldSearch::Usb)
      return usage("--stack vale solo per un terminale bt:ID");
    if (cmd_.stack == "vendor") terminal->search = HandheldSearch::BtVendor;
  }

  // Check the command line before anything talks to the terminal.
  const auto& a = cmd_.args;
  std::optional<RecordKind> kind;
  std::string reference;
  if (cmd_.name == "acquire") {
    if (std::find(a.begin(), a.end(), "--all") != a.end())
      return usage("acquire --all raccoglie ogni terminale: si scrive senza TERMINAL (cfgctl acquire --all [KIND])");
    if (a.size() > 1) return usage("acquire accetta al massimo un tipo di registrazioni");
    kind = a.empty() ? RecordKind::Attendance : recordKindOf(a[0]);
    if (!kind) return usage("tipo di registrazioni sconosciuto \"" + printable(shownArg(a[0]), false) + "\"");
  } else if (cmd_.name == "retrieve") {
    if (a.size() != 3 || !(kind = recordKindOf(a[0])) || a[1] != "--from") return usage("uso: retrieve KIND --from YYYY-MM-DD");
    int y = 0, m = 0, d = 0;
    std::string problem = dayProblem(a[2], y, m, d);
    if (!problem.empty()) return usage(problem);
    reference = referenceDate(y, m, d);
  } else if (cmd_.name == "count") {
    if (a.size() != 1 || !(kind = recordKindOf(a[0]))) return usage("uso: count attendance|production|canteen");
  } else if (cmd_.name == "erase") {
    if (!a.empty()) return usage("erase non accetta argomenti");
    if (!cmd_.yes) return usage("cancellare tutte le registrazioni richiede --yes");
  } else if (cmd_.name == "time") {
    if (a.size() != 1 || (a[0] != "get" && a[0] != "set")) return usage("uso: time get | time set");
  } else if (cmd_.name == "reset") {
    if (a.size() > 1 || (a.size() == 1 && a[0] != "--defaults")) return usage("uso: reset [--defaults --yes]");
    if (!a.empty() && !cmd_.yes) return usage("ripristinare i valori iniziali cancella tutti i dati: aggiungere --yes");
  } else if (cmd_.name == "output") {
    if (a.size() != 2) return usage("uso: output CHANNEL on|off|DURATION");
  } else if (cmd_.name == "direct") {
    if (a.size() != 1 || a[0].empty()) return usage("uso: direct TEXT");
    if (a[0].size() > kDirectCommandMax)
      return usage("il testo di direct ha " + std::to_string(a[0].size()) + " caratteri, al massimo " +
                   std::to_string(kDirectCommandMax));
  } else if (cmd_.name == "params") {
    if (std::string problem = paramsUsageProblem(a); !problem.empty()) return usage(problem);
  } else if (cmd_.name == "table") {
    std::string problem = isUserTable(a) ? userTableUsageProblem(a) : tableUsageProblem(a);
    if (!problem.empty()) return usage(problem);
  } else if (cmd_.name == "users") {
    if (std::string problem = usersUsageProblem(a); !problem.empty()) return usage(problem);
  } else if (cmd_.name == "reader-id") {
    if (std::string problem = readerIdUsageProblem(a); !problem.empty()) return usage(problem);
  } else if (cmd_.name == "firmware" || cmd_.name == "logo") {
    if (std::string problem = maintenanceUsageProblem(cmd_.name, a); !problem.empty()) return usage(problem);
  } else if ((cmd_.name == "version" || cmd_.name == "status") && !a.empty()) {
    return usage(cmd_.name + " non accetta argomenti");
  }

  std::optional<LoadingReport> read = loadUnattended(cmd_.directory, state_, messages_, err_);
  if (!read) return kSetup;
  const LoadingReport& loaded = *read;
  if (terminal->handheldId.empty() && !cmd_.settingsReported) reportFile(loaded.registry, err_);  // handhelds are not in config.dat

  // Archive settings are checked before a handheld search: it takes time.
  if (!terminal->handheldId.empty() && kind && (cmd_.name == "acquire" || cmd_.name == "retrieve")) {
    if (int rc = checkArchiveSettings(*kind, loaded.archive); rc != kOk) return rc;
  }
  TerminalTarget target;
  if (int rc = resolveTerminal(*terminal, state_, messages_, loaded.registry, target, err_, interrupted_); rc != kOk)
    return rc;
  link_.config = target.link;
  // A firmware or logo file is checked before the connection opens.
  if (cmd_.name == "firmware" || cmd_.name == "logo") {
    int rc = kOk;
    maintenance_ = prepareMaintenance(cmd_.name, a, link_.config, messages_, err_, rc);
    if (!maintenance_) return rc;
  }
  if (terminal->handheldId.empty() && kind && (cmd_.name == "acquire" || cmd_.name == "retrieve")) {
    if (int rc = checkArchiveSettings(*kind, loaded.archive); rc != kOk) return rc;
  }

  // One collector per terminal, from before the connection to the end.
  TerminalLock lock;
  std::string lockError;
  switch (lock.acquire(target.lockPath, &lockError)) {
    case TerminalLock::Result::Held: break;
    case TerminalLock::Result::Busy:
      err_ << kTerminalBusy << "\n";
      return kSetup;
    case TerminalLock::Result::Failed:
      err_ << "cfgctl: impossibile riservare il terminale: " << printable(lockError) << "\n";
      return kSetup;
  }

  if (!cmd_.trace.empty()) {
    std::string error;
    link_.trace = LinkTrace::open(pathFromUtf8(cmd_.trace), &error);
    if (!link_.trace) {
      // The reason is what follows the path in the trace's own text.
      std::string::size_type colon = error.rfind(": ");
      err_ << "cfgctl: impossibile scrivere la traccia " << printable(shownArg(cmd_.trace)) << ": "
           << printable(colon == std::string::npos ? error : error.substr(colon + 2)) << "\n";
      return kSetup;
    }
  }
  if (interrupted()) {
    err_ << "cfgctl: interrotto prima del collegamento.\n";
    return kFailed;
  }
  if (int rc = openTarget(link_, state_, messages_, PortMap::load(state_.workingDirectory), target, err_); rc != kOk)
    return rc;

  // Declared after the lock: the call ends before the terminal is free again.
  ModemCall call(link_, messages_, interrupted_);
  if (link_.config.modem) {
    bool stoppedDial = false;
    if (!call.dial(stoppedDial)) {
      if (!stoppedDial) return kSetup;  // the modem's message was shown
      err_ << "cfgctl: interrotto durante la chiamata.\n";
      return kFailed;
    }
  }
  int rc = command(kind, reference);
  // A call the modem did not confirm closed may still be up: not a clean end.
  if (!call.hangUp() && rc == kOk) rc = kFailed;
  return rc;
}

int Session::command(std::optional<RecordKind> kind, const std::string& reference) {
  const auto& a = cmd_.args;
  const std::string& c = cmd_.name;
  if (c == "acquire") return records(false, *kind, {});
  if (c == "retrieve") return records(true, *kind, reference);
  if (c == "count") return result(showRecordCount(link_, messages_, *kind).has_value());
  if (c == "erase") return result(eraseAllRecords(link_, messages_));
  if (c == "time") {
    if (a[0] == "set") return result(setDateTimeNow(link_, messages_));
    std::string text;
    bool ok = readDateTime(link_, messages_, text);
    if (ok && text.empty()) err_ << "cfgctl: la risposta del terminale non contiene data e ora.\n";
    if (!text.empty()) out_ << printable(text, false) << "\n";
    return result(ok && !text.empty());
  }
  if (c == "version") return result(showFirmwareVersion(link_, messages_));
  if (c == "status") {
    std::optional<StatusBytes> bytes;
    if (!readStatus(link_, messages_, bytes) || !bytes) return kFailed;
    out_ << byteToHex(bytes->first) << " " << byteToHex(bytes->second) << "\n";
    if (auto labels = statusLabels(link_.config.model)) {
      StatusDisplay d = statusDisplay(*labels, *bytes);
      for (const auto& column : d)
        for (const auto& box : column)
          if (box.checked) out_ << "  " << box.label << "\n";
    }
    return result(true);
  }
  if (c == "reset") return result(a.empty() ? resetTerminal(link_, messages_) : resetWithDefaults(link_, messages_));
  if (c == "output") {
    OutputChoice choice = a[1] == "on" ? OutputChoice::On : a[1] == "off" ? OutputChoice::Off : OutputChoice::Duration;
    CommandResult r = sendOutputCommand(link_, messages_, a[0], choice, choice == OutputChoice::Duration ? a[1] : "");
    return r.badField != InputField::None ? kUsage : result(r.ok);
  }
  if (c == "memory") return memory();
  if (c == "params") return runParams(a, link_, messages_, out_, err_, progress_, interrupted_);
  if (c == "table" && isUserTable(a)) return runUserTable(a, link_, messages_, out_, err_, progress_, interrupted_);
  if (c == "table") return runTable(a, link_, messages_, out_, err_, progress_, interrupted_);
  if (c == "users") return runUsers(a, link_, messages_, out_, err_);
  if (c == "reader-id") return runReaderId(a, link_, messages_, out_, err_, progress_, interrupted_);
  if (maintenance_) {
    int rc = maintenance_->run(
        link_, messages_,
        [this](Worker::Routine r, std::function<void(const ProgressUpdate&)> p) { return runWorker(std::move(r), std::move(p)); },
        out_, err_, progress_);
    return rc == kOk ? result(true) : rc;
  }
  prompt_.escapeReplies(true);  // the reply is the terminal's bytes
  return result(sendDirectCommand(link_, messages_, a[0]).has_value());
}

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
                   const std::atomic<bool>* interrupted) {
  if (args.empty()) {
    err << kUsageText;
    return kUsage;
  }
  Command cmd;
  std::size_t i = 0;
  auto needValue = [&](const char* option) -> const std::string* {
    if (i + 1 >= args.size()) {
      err << "cfgctl: " << option << " richiede un valore\n" << kUsageText;
      return nullptr;
    }
    return &args[++i];
  };
  // Options may come before the terminal or after the command.
  std::vector<std::string> positional;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-C") {
      const std::string* v = needValue("-C");
      if (!v) return kUsage;
      cmd.directory = pathFromUtf8(*v);
    } else if (a == "--trace") {
      const std::string* v = needValue("--trace");
      if (!v) return kUsage;
      cmd.trace = *v;
    } else if (a == "--stack") {
      const std::string* v = needValue("--stack");
      if (!v) return kUsage;
      if (*v != "system" && *v != "vendor") {
        err << "cfgctl: --stack vuole system o vendor\n" << kUsageText;
        return kUsage;
      }
      cmd.stack = *v;
    } else if (a == "--yes") {
      cmd.yes = true;
    } else if (a == "--help" || a == "-h") {
      cmd.help = true;
    } else {
      positional.push_back(a);
    }
  }
  if (!positional.empty() && isHandheldsCommand(positional[0])) {
    if (cmd.help) {
      out << handheldsHelp();
      return kOk;
    }
    if (!cmd.trace.empty()) {
      err << "cfgctl: --trace vale solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runHandhelds(positional, cmd.directory.string(), out, err, interrupted);
  }
  if (!positional.empty() && isBatchCommand(positional[0])) {
    if (cmd.help) {
      out << batchHelp();
      return kOk;
    }
    if (!cmd.trace.empty()) {
      err << "cfgctl: --trace vale solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runBatch(positional, cmd.directory.string(), out, err, interrupted);
  }
  if (!positional.empty() && isActivitiesCommand(positional[0])) {
    if (cmd.help) {
      out << activitiesHelp();
      return kOk;
    }
    if (!cmd.trace.empty()) {
      err << "cfgctl: --trace vale solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runActivities(positional, cmd.directory.string(), out, err);
  }
  if (!positional.empty() && isSettingsCommand(positional[0])) {
    if (cmd.help) {
      out << settingsHelp(positional[0]);
      return kOk;
    }
    if (!cmd.trace.empty()) {
      err << "cfgctl: --trace vale solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runSettings(positional, cmd.directory.string(), cmd.yes, out, err);
  }
  if (isUserImportCommand(positional) && !cmd.help) {
    if (!cmd.trace.empty()) {
      err << "cfgctl: --trace vale solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runUserImport(positional, out, err);
  }
  if (isAcquireAllCommand(positional) && !cmd.help) {
    if (!cmd.trace.empty() || !cmd.stack.empty()) {
      err << "cfgctl: --trace e --stack valgono solo per i comandi su un terminale\n";
      return kUsage;
    }
    return runAcquireAll(positional, cmd.directory, cmd.yes, out, err, interrupted);
  }
  if (!positional.empty() && kCommandHelp.count(positional[0])) {
    cmd.name = positional[0];  // "cfgctl acquire --help"
  } else if (positional.size() >= 2) {
    cmd.terminal = positional[0];
    cmd.name = positional[1];
    cmd.args.assign(positional.begin() + 2, positional.end());
  } else if (!positional.empty()) {
    cmd.terminal = positional[0];
  }
  Session session(cmd, out, err, progress, interrupted);
  return session.run();
}

}  // namespace

int acquireTerminal(const std::filesystem::path& directory, unsigned number, const std::string& kind, bool yes,
                    std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupted) {
  Command cmd;
  cmd.directory = directory;
  cmd.yes = yes;
  cmd.terminal = std::to_string(number);
  cmd.name = "acquire";
  cmd.args = {kind};
  cmd.settingsReported = true;
  Session session(cmd, out, err, false, interrupted);
  try {
    return session.run();
  } catch (const std::exception& e) {
    err << "cfgctl: errore interno: " << printable(e.what()) << "\n";
  }
  return kSetup;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
        const std::atomic<bool>* interrupted) {
  // Nothing may end cfgctl without a word: whatever escapes is said and is a setup failure.
  try {
    return runCommandLine(args, out, err, progress, interrupted);
  } catch (const std::exception& e) {
    err << "cfgctl: errore interno: " << printable(e.what()) << "\n";
  }
  return kSetup;
}

}  // namespace cfg::cli
