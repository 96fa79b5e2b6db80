// The batch executor: a batch file's operations on every handheld found.
//
// A run (runBatchFile) reads the batch file, searches the handhelds over the
// connections the file names, then runs the executor worker: for each
// handheld in list order it opens a Link, unlocks the handheld with the
// plant password, carries out the chosen operations in their fixed order and
// closes the Link. Every outcome is a line of file_log.txt:
//
//   ----: inizio esecuzione batch 09/12/2026 06:00:02
//   0001: acquisizione registrazioni (12 record) OK
//   0001: invio data e ora OK
//   0002: ERRORE (apertura collegamento)
//   ----: fine esecuzione batch 09/12/2026 06:00:40      (then an empty line)
//
// A failed operation is logged after its error line ("Errore di
// comunicazione" or the archive write error) and ends that handheld's work;
// a table file that cannot be read is logged per handheld and only its send
// is left out. No message box appears during a run: both message flags are
// off while the searches and the executor work.
//
// With a window the executor reports to the progress dialog "Esecuzione
// Batch-File" (refresh: the control, the status code and a number, see
// batchStatusText); in background mode there is no window at all and the
// caller waits for the worker, looking every 200 ms.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/archive_settings.h"
#include "app/process_state.h"
#include "automation/batch_file.h"
#include "link/handheld_list.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "records/formats.h"

namespace cfg {

inline constexpr const char* kBatchProgressTitle = "Esecuzione Batch-File";
// The progress dialog's fields, named by the first value of a refresh.
inline constexpr int kBatchFieldTerminal = 1330;   // "Terminale:"
inline constexpr int kBatchFieldReference = 1365;  // "Riferimento:"
inline constexpr int kBatchFieldStatus = 1468;     // "Stato:"
// A background run looks at its search and its executor this often.
inline constexpr int kBatchPollMs = 200;

// The status codes of the progress dialog that the executor uses.
namespace batchstatus {
inline constexpr int Empty = 1;
inline constexpr int Number = 2;           // the handheld id
inline constexpr int Name = 3;             // the handheld's name (in the refresh text)
inline constexpr int LinkOpenFailed = 6;
inline constexpr int CommunicationError = 9;
inline constexpr int Acquiring = 17;
inline constexpr int SettingClock = 18;
inline constexpr int ResetDefaults = 31;
inline constexpr int RecordWriteFailed = 32;
inline constexpr int Opening = 33;
inline constexpr int JustificationsUnreadable = 34;
inline constexpr int ClearingJustifications = 35;
inline constexpr int SendingJustifications = 36;
inline constexpr int ProgramUnreadable = 37;
inline constexpr int ClearingProgram = 38;
inline constexpr int SendingProgram = 39;
inline constexpr int ProductionTablesUnreadable = 40;
inline constexpr int ClearingProductionTables = 41;
inline constexpr int SendingProductionTables = 42;
inline constexpr int AcquiringProduction = 43;
inline constexpr int ProductionWriteFailed = 44;
inline constexpr int ErasingRecords = 47;
inline constexpr int SitesUnreadable = 54;
inline constexpr int ActivitiesUnreadable = 55;
inline constexpr int ClearingSites = 56;
inline constexpr int SendingSites = 57;
inline constexpr int ClearingActivities = 58;
inline constexpr int SendingActivities = 59;
}  // namespace batchstatus

// The second value of a refresh: the code in the low 16 bits, a number
// (records still to do) in the high 16 bits.
inline int batchStatusValue(int code, unsigned number = 0) {
  return static_cast<int>((number & 0xFFFFu) << 16 | (static_cast<unsigned>(code) & 0xFFFFu));
}

// The text a field shows for a status code. The table files are named with
// the batch directory; `text` is the handheld's name (code 3) or id (code 2).
// Windows-1252.
std::string batchStatusText(int code, unsigned number, const std::string& batchDirectory,
                            const std::string& text = {});

// "%04s": the text right-aligned in four characters (ids are four long).
std::string logField(const std::string& id);

// What the executor works with. The archive settings are acqreg.dat's, the
// list is the one the searches just filled.
struct BatchJob {
  const Messages& messages;
  std::filesystem::path workingDirectory;  // file_log.txt and the archives
  std::string batchDirectory;              // the table files
  BatchSettings settings;
  std::string plantPassword;
  const HandheldList& handhelds;
  Link& link;
  const PortMap& ports;
  ArchiveSettings archive;
  const FormatList& formats;
  // Each log line as it is appended (on the worker's thread), and whether it
  // reached the file. A line that cannot be written is otherwise lost.
  std::function<void(const std::string& line, bool written)> onLog;
};

// Filled by the executor; read once the worker has stopped.
struct BatchOutcome {
  std::atomic<int> failures{0};         // FALLITO and ERRORE lines
  std::atomic<bool> interrupted{false}; // the stop request ended the run
};

// The executor worker's routine (start line, tables, handhelds, end line).
void executeBatch(Worker& worker, const BatchJob& job, BatchOutcome& outcome);

// How a run meets the screen. Empty hooks: no window (background mode,
// cfgctl); a background batch never uses them.
struct BatchRunHooks {
  // The search dialog ("Ricerca dispositivi USB" or "... bluetooth") running
  // the scan routine on the handheld-scan worker record.
  std::function<void(bool usb, Worker::Routine scan)> searchDialog;
  // The progress dialog "Esecuzione Batch-File" running the executor on the
  // batch worker record; it returns when the dialog has closed.
  std::function<void(Worker::Routine executor, const std::string& batchDirectory)> progressDialog;
  // A command-line batch in background mode hides the main window.
  std::function<void()> hideWindow;
  // Called at each 200 ms look of a windowless run at its executor (the
  // window keeps painting and takes posted commands meanwhile).
  std::function<void()> whileWaiting;
};

struct BatchRunResult {
  bool read = false;        // the batch file could be read
  BatchSettings settings;
  int failures = 0;         // FALLITO and ERRORE lines of the run
  bool interrupted = false;
};

// Runs the batch file in state.batchPath from start to end: the live archive
// settings become acqreg.dat's, the file is read (an unreadable one is one
// log line and nothing else), the handhelds are searched and the executor
// runs; then the handheld list is emptied. `forceBackground` runs without a
// window whatever the file says (cfgctl). `cancel` (optional) stops a
// windowless run at its next step.
BatchRunResult runBatchFile(ProcessState& state, const Messages& messages, const BatchRunHooks& hooks,
                            bool forceBackground = false, const std::atomic<bool>* cancel = nullptr,
                            std::function<void(const std::string& line, bool written)> onLog = {});

}  // namespace cfg
