#include "automation/batch_executor.h"

#include "app/text_1252.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "automation/batch_log.h"
#include "link/bt_system.h"
#include "link/bt_vendor.h"
#include "link/commands.h"
#include "link/handheld_connect.h"
#include "link/handheld_scan.h"
#include "link/hid_device.h"
#include "link/progress.h"
#include "link/transaction.h"
#include "records/acquisition.h"
#include "records/archive_choice.h"
#include "tables/table_engine.h"

namespace cfg {

namespace {

constexpr int kStepPauseMs = 25;
constexpr int kAfterOpenMs = 200;
constexpr int kAfterCloseMs = 500;
constexpr std::size_t kReplyCapacity = 128;

std::string stampLine(const char* what) {
  std::tm t = localNow();
  char line[96];
  std::snprintf(line, sizeof line, "----: %s esecuzione batch %02d/%02d/%04d %02d:%02d:%02d", what, t.tm_mday,
                t.tm_mon + 1, t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return line;
}

// A table the run may send: its file, the status codes and log texts.
struct BatchTable {
  std::uint32_t clearBit, sendBit;
  TableId id;
  int unreadableStatus, clearStatus, sendStatus;
  int clearTimeoutMs;
  const char* clearText;  // "%04s: cancella ... %s"
  const char* sendText;   // "%04s: invio ... (%d record) %s"
};

// In the order the executor runs them (records and production records sit between).
const BatchTable kJustifications{batchop::ClearJustifications, batchop::SendJustifications, TableId::Justifications,
                                 batchstatus::JustificationsUnreadable, batchstatus::ClearingJustifications,
                                 batchstatus::SendingJustifications, 1000, "cancella tabella giustificativi",
                                 "invio tabella giustificativi"};
const BatchTable kProgram{batchop::ClearProgram, batchop::SendProgram, TableId::ProductionProgram,
                          batchstatus::ProgramUnreadable, batchstatus::ClearingProgram, batchstatus::SendingProgram,
                          3000, "cancella programma produzione", "invio programma produzione"};
const BatchTable kProductionTables{batchop::ClearProductionTables, batchop::SendProductionTables,
                                   TableId::ProductionTables, batchstatus::ProductionTablesUnreadable,
                                   batchstatus::ClearingProductionTables, batchstatus::SendingProductionTables, 4000,
                                   "cancella tabelle produzione", "invio tabelle produzione"};
const BatchTable kSites{batchop::ClearSites, batchop::SendSites, TableId::Sites, batchstatus::SitesUnreadable,
                        batchstatus::ClearingSites, batchstatus::SendingSites, 1000, "cancella tabella cantieri",
                        "invio tabella cantieri"};
const BatchTable kActivities{batchop::ClearActivities, batchop::SendActivities, TableId::Activities,
                             batchstatus::ActivitiesUnreadable, batchstatus::ClearingActivities,
                             batchstatus::SendingActivities, 1000, "cancella tabella attivit\xE0",
                             "invio tabella attivita"};

enum class Step { Ok, Failed, WriteFailed, Stopped };

// One run of the executor on its worker.
class Executor {
 public:
  Executor(Worker& worker, const BatchJob& job, BatchOutcome& outcome)
      : worker_(worker), job_(job), outcome_(outcome), background_(job.settings.background()) {}

  void run();

 private:
  void log(const std::string& line) {
    std::string error;
    bool written = appendLogLine(job_.workingDirectory, line, &error);
    if (job_.onLog) job_.onLog(line, written);
  }
  // "%04s: TEXT" for the current handheld.
  void logHandheld(const std::string& text) { log(logField(id_) + ": " + text); }
  void failed(const std::string& text) {
    ++outcome_.failures;
    logHandheld(text);
  }
  void show(int field, int code, unsigned number = 0, std::string text = {}) {
    if (!background_) worker_.refresh(field, batchStatusValue(code, number), std::move(text));
  }
  void status(int code, unsigned number = 0) { show(kBatchFieldStatus, code, number); }

  bool wants(std::uint32_t bit) const { return (job_.settings.mask & bit) != 0; }
  void loadTables();
  void runHandheld(const HandheldEntry& entry);
  // False when the handheld's remaining operations are to be left out.
  bool operations();
  bool finish(Step step, const std::string& line, int writeStatus = 0, const char* writeText = nullptr);
  Step acquire(RecordKind kind, int& acquired, int countStatus);
  Step command(const char* code, int timeoutMs);
  Step sendRecords(const BatchTable& table);
  bool tableOperations(const BatchTable& table);

  Worker& worker_;
  const BatchJob& job_;
  BatchOutcome& outcome_;
  const bool background_;
  std::string id_;
  std::vector<std::string> records_[5];  // by the order of kTables
  bool readable_[5] = {};
};

const BatchTable* const kTables[5] = {&kJustifications, &kProgram, &kProductionTables, &kSites, &kActivities};

int tableIndex(const BatchTable& table) {
  for (int i = 0; i < 5; ++i)
    if (kTables[i] == &table) return i;
  return 0;
}

void Executor::loadTables() {
  for (int i = 0; i < 5; ++i) {
    if (!wants(kTables[i]->sendBit)) continue;
    const TableDescriptor& d = tableDescriptor(kTables[i]->id);
    std::filesystem::path file = pathFromUtf8(job_.batchDirectory) / d.batchFile;
    readable_[i] = loadTableFile(d, file, LoadMode::Replace, 0, records_[i]) && !records_[i].empty();
  }
}

void Executor::run() {
  log(stampLine("inizio"));
  loadTables();
  if (job_.settings.mask != 0) {
    for (const HandheldEntry& entry : job_.handhelds.entries()) {
      if (worker_.stopRequested()) {
        outcome_.interrupted = true;
        break;
      }
      runHandheld(entry);
      if (outcome_.interrupted) break;
    }
    if (outcome_.interrupted) log("----: interruzione richiesta dall'utente");
  }
  log(stampLine("fine") + "\r\n");
}

void Executor::runHandheld(const HandheldEntry& entry) {
  // A handheld of another plant: nothing to do and nothing to say.
  if (entry.passwordState == PasswordState::Neither) return;
  id_ = entry.id;
  show(kBatchFieldTerminal, batchstatus::Number, 0, entry.id);
  show(kBatchFieldReference, batchstatus::Name, 0, entry.name);
  status(batchstatus::Opening);
  // The password the search found to work is the one presented.
  HandheldConnectOptions options;
  options.plantPassword = job_.plantPassword;
  options.knownPassword = entry.passwordState;
  options.settleMs = kAfterOpenMs;
  options.pause = [this](int ms) { return worker_.pause(ms); };
  switch (connectHandheld(job_.link, linkConfigOf(entry), job_.messages, job_.ports, options).outcome) {
    case HandheldConnectResult::Outcome::Unlocked:
      operations();
      break;
    case HandheldConnectResult::Outcome::OpenFailed:
      status(batchstatus::LinkOpenFailed);
      failed("ERRORE (apertura collegamento)");
      return;
    case HandheldConnectResult::Outcome::Refused:
      status(batchstatus::CommunicationError);
      failed("ERRORE (Errore di comunicazione)");
      break;
    case HandheldConnectResult::Outcome::Stopped:
      break;
  }
  job_.link.close();
  if (worker_.pause(kAfterCloseMs) || worker_.stopRequested()) outcome_.interrupted = true;
}

// Logs an operation's end. A failure comes after its error line; a stop
// logs the operation as failed with no error (nothing went wrong on the line).
bool Executor::finish(Step step, const std::string& line, int writeStatus, const char* writeText) {
  switch (step) {
    case Step::Ok:
      logHandheld(line + " OK");
      return true;
    case Step::Failed:
      status(batchstatus::CommunicationError);
      failed("ERRORE (Errore di comunicazione)");
      break;
    case Step::WriteFailed:
      status(writeStatus);
      failed(std::string("ERRORE (") + writeText + ")");
      break;
    case Step::Stopped:
      outcome_.interrupted = true;
      break;
  }
  failed(line + " FALLITO");
  return false;
}

Step Executor::command(const char* code, int timeoutMs) {
  if (worker_.stopRequested()) return Step::Stopped;
  std::string reply;
  return exchange(job_.link, job_.messages, code, reply, kReplyCapacity, timeoutMs, 6) ? Step::Ok : Step::Failed;
}

Step Executor::acquire(RecordKind kind, int& acquired, int countStatus) {
  const RecordCommands& c = recordCommands(kind);
  RecordJob job{job_.link, job_.messages, job_.workingDirectory, job_.archive, job_.formats};
  if (worker_.stopRequested()) return Step::Stopped;
  std::optional<int> count = readRecordCount(job_.link, job_.messages, kind);
  if (!count) return Step::Failed;
  int remaining = *count;
  std::string record, ack, failure;
  while (remaining > 0) {
    status(countStatus, static_cast<unsigned>(remaining));
    if (worker_.stopRequested()) return Step::Stopped;
    TxResult r = exchange(job_.link, job_.messages, c.next, record, kReplyCapacity, 750,
                          static_cast<int>(c.recordLength));
    if (!r || static_cast<std::size_t>(r.length) != c.recordLength) return Step::Failed;
    std::string pointer = record.substr(6, 4);
    // A record that cannot be written is not acknowledged: it stays in the handheld.
    if (!archiveRecord(job, kind, record, false, failure)) return Step::WriteFailed;
    if (!exchange(job_.link, job_.messages, std::string(c.acknowledge) + pointer, ack, kReplyCapacity, 750, 6))
      return Step::Failed;
    ++acquired;
    --remaining;
    if (worker_.pause(kStepPauseMs)) return Step::Stopped;
  }
  status(countStatus, 0);
  return Step::Ok;
}

Step Executor::sendRecords(const BatchTable& table) {
  const TableDescriptor& d = tableDescriptor(table.id);
  const std::vector<std::string>& records = records_[tableIndex(table)];
  std::string reply;
  std::size_t left = records.size();
  for (const std::string& record : records) {
    status(table.sendStatus, static_cast<unsigned>(left));
    if (worker_.stopRequested()) return Step::Stopped;
    std::string request = std::string(d.writeCommand) + d.toWire(record);
    if (!exchange(job_.link, job_.messages, request, reply, kReplyCapacity, d.writeTimeoutMs, 6)) return Step::Failed;
    --left;
  }
  return Step::Ok;
}

bool Executor::tableOperations(const BatchTable& table) {
  if (wants(table.clearBit)) {
    status(table.clearStatus);
    if (!finish(command(tableDescriptor(table.id).clearCommand, table.clearTimeoutMs), table.clearText)) return false;
  }
  if (!wants(table.sendBit)) return true;
  const int i = tableIndex(table);
  if (!readable_[i]) {
    status(table.unreadableStatus);
    ++outcome_.failures;
    logHandheld(std::string("lettura file ") + job_.batchDirectory + "\\" +
                tableDescriptor(table.id).batchFile + " FALLITO");
    return true;  // the other operations go on
  }
  Step step = sendRecords(table);
  char count[32];
  std::snprintf(count, sizeof count, " (%d record)", static_cast<int>(records_[i].size()));
  return finish(step, table.sendText + std::string(count));
}

bool Executor::operations() {
  auto acquisition = [&](RecordKind kind, const char* text, int countStatus, int writeStatus, const char* writeText) {
    int acquired = 0;
    Step step;
    if (nothingChosen(job_.archive, kind)) {
      // acqreg.dat stores these records nowhere: none is taken off the handheld.
      failed(std::string(text) + " (0 record) FALLITO");
      return true;
    }
    step = acquire(kind, acquired, countStatus);
    char line[96];
    std::snprintf(line, sizeof line, "%s (%d record)", text, acquired);
    return finish(step, line, writeStatus, writeText);
  };
  auto simple = [&](std::uint32_t bit, int code, const char* command, int timeoutMs, const char* text) {
    if (!wants(bit)) return true;
    status(code);
    return finish(this->command(command, timeoutMs), text);
  };

  if (wants(batchop::Acquire) &&
      !acquisition(RecordKind::Attendance, "acquisizione registrazioni", batchstatus::Acquiring,
                   batchstatus::RecordWriteFailed, "Errore scrittura files registrazione"))
    return false;
  if (wants(batchop::SetClock)) {
    status(batchstatus::SettingClock);
    Step step = Step::Stopped;
    if (!worker_.stopRequested()) {
      std::string reply;
      step = exchange(job_.link, job_.messages, setDateTimeRequest(localNow()), reply, kReplyCapacity, 200, 6)
                 ? Step::Ok
                 : Step::Failed;
    }
    if (!finish(step, "invio data e ora")) return false;
  }
  if (!tableOperations(kJustifications)) return false;
  if (wants(batchop::AcquireProduction) &&
      !acquisition(RecordKind::Production, "acq. registrazioni produzione", batchstatus::AcquiringProduction,
                   batchstatus::ProductionWriteFailed, "Errore scrittura files produzione"))
    return false;
  if (!tableOperations(kProgram)) return false;
  if (!tableOperations(kProductionTables)) return false;
  if (!simple(batchop::EraseRecords, batchstatus::ErasingRecords, "35", 5000, "cancellazione registrazioni"))
    return false;
  if (!tableOperations(kSites)) return false;
  if (!tableOperations(kActivities)) return false;
  if (wants(batchop::ResetDefaults)) {
    status(batchstatus::ResetDefaults);
    Step step = command("31", 200);
    if (step != Step::Ok) return finish(step, "invio reset + default");
    logHandheld("invio reset + default");
  }
  return true;
}

}  // namespace

std::string logField(const std::string& id) {
  return id.size() >= 4 ? id : std::string(4 - id.size(), ' ') + id;
}

std::string batchStatusText(int code, unsigned number, const std::string& batchDirectory, const std::string& text) {
  auto counted = [number](const char* pattern) {
    char line[96];
    std::snprintf(line, sizeof line, pattern, number);
    return std::string(line);
  };
  auto unreadable = [&batchDirectory](const char* file) {
    return "Errore lettura file " + batchDirectory + "\\" + file;
  };
  switch (code) {
    case 1: return {};
    case 2: return text.empty() ? counted("%04u") : text;
    case 3: return text;
    case 4: return "Connessione via modem ...";
    case 5: return "Disconnessione modem ...";
    case 6: return "Porta non disponibile";
    case 7: return "Modem non presente";
    case 8: return "Terminale non risponde";
    case 9: return "Errore di comunicazione";
    case 10: return unreadable("utenti.txt");
    case 11: return unreadable("politica.txt");
    case 12: return unreadable("messaggi.txt");
    case 13: return unreadable("sirene.txt");
    case 14: return unreadable("versousc.txt");
    case 15: return unreadable("parametr.txt");
    case 16: return unreadable("firmware.bin");
    case 17: return counted("Acquisizione registrazioni (%u)");
    case 18: return "Invio data e ora";
    case 19: return "Cancella tabella utenti";
    case 20: return counted("Invio tabella utenti (%u)");
    case 21: return "Cancella tabella politiche";
    case 22: return counted("Invio tabella politiche (%u)");
    case 23: return "Cancella tabella messaggi";
    case 24: return counted("Invio tabella messaggi (%u)");
    case 25: return "Cancella tabella sirene";
    case 26: return counted("Invio tabella sirene (%u)");
    case 27: return "Cancella tabella verso uscita";
    case 28: return counted("Invio tabella verso uscita (%u)");
    case 29: return counted("Invio parametri configurazione (%u)");
    case 30: return counted("Download firmware (blocco %u)");
    case 31: return "Invio reset + default";
    case 32: return "Errore scrittura files registrazione";
    case 33: return "Apertura collegamento ...";
    case 34: return unreadable("giustifi.txt");
    case 35: return "Cancella tabella giustificativi";
    case 36: return counted("Invio tabella giustificativi (%u)");
    case 37: return unreadable("program.txt");
    case 38: return "Cancella programma produzione";
    case 39: return counted("Invio programma produzione (%u)");
    case 40: return unreadable("tabelle.txt");
    case 41: return "Cancella tabelle produzione";
    case 42: return counted("Invio tabelle produzione (%u)");
    case 43: return counted("Acq. registrazioni produzione (%u)");
    case 44: return "Errore scrittura files produzione";
    case 45: return counted("Acq. registrazioni mensa (%u)");
    case 46: return "Errore scrittura files mensa";
    case 47: return "Cancellazione registrazioni";
    case 48: return "Configurazione modem fallita";
    case 49: return "Errore apertura file " + batchDirectory + "\\lasttimb.dat";
    case 50: return "Cancella tabella impronte";
    case 51: return counted("Invio tabella impronte (%u)");
    case 52: return unreadable("impronte.txt");
    case 53: return "Errore apertura/lettura file template";
    case 54: return unreadable("file_sit.txt");
    case 55: return unreadable("file_act.txt");
    case 56: return "Cancella tabella cantieri";
    case 57: return counted("Invio tabella cantieri (%u)");
    case 58: return "Cancella tabella attivit\xE0";
    case 59: return counted("Invio tabella attivit\xE0 (%u)");
    default: return {};
  }
}

void executeBatch(Worker& worker, const BatchJob& job, BatchOutcome& outcome) {
  Executor(worker, job, outcome).run();
}

namespace {

// Runs a worker with no window: waits for its close request, looking every
// 200 ms, and stops it early when `cancel` is set. False when it could not start.
bool runWithoutWindow(Worker& worker, const Messages& messages, Worker::Routine routine,
                      const std::atomic<bool>* cancel, const std::function<void()>& whileWaiting) {
  ProgressQueue owner;
  if (!worker.start(owner, std::move(routine), messages)) return false;
  for (;;) {
    if (whileWaiting) whileWaiting();
    std::optional<ProgressQueue::Event> event = owner.next(kBatchPollMs);
    if (event && event->close) break;
    if (cancel && cancel->load()) break;
    if (!worker.running()) break;  // stopped meanwhile by the program's shutdown
  }
  worker.stop();
  return true;
}

enum class Search { BtSystem, BtVendor, Usb };

// The searches the connection flags ask for, in order. The vendor stack wins
// over the system one when both are set.
std::vector<Search> searchesOf(std::uint16_t flags) {
  std::vector<Search> searches;
  if (flags & kBatchBtVendor) searches.push_back(Search::BtVendor);
  else if (flags & kBatchBtSystem) searches.push_back(Search::BtSystem);
  if (flags & kBatchUsb) searches.push_back(Search::Usb);
  return searches;
}

}  // namespace

BatchRunResult runBatchFile(ProcessState& state, const Messages& messages, const BatchRunHooks& hooks,
                            bool forceBackground, const std::atomic<bool>* cancel,
                            std::function<void(const std::string& line, bool written)> onLog) {
  BatchRunResult result;
  // Each run starts from acqreg.dat's choices.
  state.live = state.archive;
  const BatchLocation where = locateBatch(state.batchPath, state.workingDirectory);
  int lineLength = 0;
  std::optional<BatchSettings> settings = readBatchFile(where.path, &lineLength);
  if (state.diagnostic && lineLength != 0) messages.info("len = " + std::to_string(lineLength));
  if (!settings) {
    std::string line = "----: ERRORE (lettura batch file " + where.path + " fallita)\r\n";
    bool written = appendLogLine(state.workingDirectory, line);
    if (onLog) onLog(line, written);
    result.failures = 1;
    return result;
  }
  result.read = true;
  result.settings = *settings;
  const bool background = forceBackground || settings->background() || !hooks.progressDialog;
  if (state.batchOnStart && settings->background() && hooks.hideWindow) hooks.hideWindow();

  // Each search fills a list of its own; the handhelds of every search asked
  // for are run, one list after the other.
  HandheldList found;
  for (Search search : searchesOf(settings->connection)) {
    HandheldList list;
    std::atomic<bool>* done = background ? &state.handheldScanDone : nullptr;
    UsbScanJob usb{hidBackend(), messages, state.plantPassword, list, done};
    std::optional<BtSystemScanJob> system;
    if (search == Search::BtSystem) system.emplace(BtSystemScanJob{btSystemStack(), messages, state.plantPassword, list, done});
    BtVendorScanJob vendor{messages, state.plantPassword, list, done};
    Worker::Routine scan = [&](Worker& w) {
      switch (search) {
        case Search::Usb: scanUsbHandhelds(w, usb); break;
        case Search::BtSystem: scanBtSystemHandhelds(w, *system); break;
        case Search::BtVendor: scanBtVendorHandhelds(w, vendor); break;
      }
    };
    if (background || !hooks.searchDialog) {
      MessageFlagsGuard quiet(messages.flags, false, false);
      runScanInBackground(state.workers.handheldScan, messages, scan, state.handheldScanDone, cancel);
    } else {
      hooks.searchDialog(search == Search::Usb, scan);
    }
    for (const HandheldEntry& entry : list.entries())
      if (!found.add(entry)) break;
    state.handheldOrigin = search == Search::Usb ? HandheldListOrigin::Usb : HandheldListOrigin::Bluetooth;
  }
  state.handhelds = found;

  BatchOutcome outcome;
  BatchJob job{messages,      state.workingDirectory, where.directory, *settings, state.plantPassword,
               state.handhelds, state.link,           state.ports,     state.archive, state.formats,
               std::move(onLog)};
  Worker::Routine executor = [&job, &outcome](Worker& w) { executeBatch(w, job, outcome); };
  {
    // No box may wait for anyone while the executor works, in either mode.
    MessageFlagsGuard quiet(messages.flags, false, false);
    if (background) runWithoutWindow(state.workers.batch, messages, executor, cancel, hooks.whileWaiting);
    else hooks.progressDialog(executor, where.directory);
  }
  state.handhelds.clear();
  result.failures = outcome.failures.load();
  result.interrupted = outcome.interrupted.load();
  return result;
}

}  // namespace cfg
