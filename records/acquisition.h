// Record acquisition, retrieval and erase.
//
// A record leaves the terminal only after it is on disk: each one fetched is
// handed to the archive writer of its kind, and only when the writer says
// yes is it acknowledged. A record whose write fails stays in the terminal
// and is fetched again next time; so acquisition is at-least-once: a record
// written and then not acknowledged (a lost reply, a killed process) is
// written again, never lost.
//
//   kind         count next acknowledge by-index  record bytes
//   attendance   00    01   02 + pointer 03 + %04X  43
//   production   60    61   62           63         61
//   canteen      80    81   82           83         91
//
// Attendance over a modem from an LX-P2 or LX-K5 with continuous download
// streams instead: "40" starts it, the terminal sends its records unasked,
// "41" (plain-XOR check byte, sent raw) asks for a missing one, and "42"
// closes the run acknowledging exactly the records archived.
//
// The loops are worker routines: they look at the stop request between two
// exchanges, write the countdown ("%05d") into the progress text, and return;
// the worker record does the closing handshake.
#pragma once

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/archive_settings.h"
#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "records/formats.h"

namespace cfg {

enum class RecordKind { Attendance, Production, Canteen };

struct RecordCommands {
  const char* count;
  const char* next;
  const char* acknowledge;
  const char* byIndex;
  std::size_t recordLength;
  std::size_t datePosition;  // yymmdd of the record, for retrieval
};
const RecordCommands& recordCommands(RecordKind kind);

// What a record loop works with. The archive settings are a copy taken before
// the worker starts; the format list is not changed while a run lasts.
struct RecordJob {
  Link& link;
  const Messages& messages;
  std::filesystem::path directory;  // fixed archives and item files
  ArchiveSettings live;
  const FormatList& formats;
};

// Written by the worker, read by the owner once the worker has stopped.
struct RecordRun {
  std::atomic<int> acquired{0};
  // The run got to its natural end: every announced record archived, or
  // retrieval reached an older record, an empty slot or the last index.
  // False after a failure or a stop.
  std::atomic<bool> completed{false};
  // Why the last record could not be archived: the file and the system's
  // reason ("/srv/copia/file_reg.txt: Permission denied"), or the format that
  // is missing; Windows-1252. Empty when no archive write failed. Read only
  // once the worker has stopped.
  std::string failure;
};

// Hands one record to the archive writer of its kind. A retrieved production
// record goes to file_prd.txt and its copies only. On failure the writer's
// reason is in `failure`.
bool archiveRecord(const RecordJob& job, RecordKind kind, std::string_view record, bool retrieval,
                   std::string& failure);

// Count of records not yet acknowledged, or nothing when the exchange failed.
std::optional<int> readRecordCount(Link& link, const Messages& messages, RecordKind kind, int timeoutMs = 250);
// The terminal's record ring size ("3801"); nothing when the exchange fails
// or the terminal's status is not 1. A terminal may answer status 1 with 0.
std::optional<unsigned> readRingStatus(Link& link, const Messages& messages);
// The same, 0 for nothing.
unsigned readRingSize(Link& link, const Messages& messages);

// Streaming is for LX-P2 and LX-K5 behind a modem with continuous download.
bool useStreaming(const LinkConfig& link);

void acquireStandard(Worker& worker, const RecordJob& job, RecordKind kind, RecordRun& run);
void acquireStreaming(Worker& worker, const RecordJob& job, RecordRun& run);
// Attendance chooses streaming or the standard loop; the other kinds are standard.
void acquire(Worker& worker, const RecordJob& job, RecordKind kind, RecordRun& run);

// "%02d%02d%02d" of year modulo 100, month and day: the records of that day
// and newer are retrieved.
std::string referenceDate(int year, int month, int day);
// Reads stored records from index 1 (the newest) back to the first older
// than the reference date, an empty slot or index 0xFFFF. Nothing is
// acknowledged; the records are appended to the archives again.
void retrieve(Worker& worker, const RecordJob& job, RecordKind kind, std::string referenceDate, RecordRun& run);

// "Acquisite %d registrazioni." / "Recuperate %d registrazioni." (the latter
// after 500 ms), only while showLinkErrors is set. When a record could not be
// archived, why follows on its own line (RecordRun::failure).
void showRunEnd(const Messages& messages, int count, bool retrieval, std::string_view failure = {});

// Menu commands on the caller's thread.
// "Registrazioni presenti = %d", "Reg. produzione presenti = %d",
// "Registrazioni mensa presenti = %d" (capacity 64, 200 ms).
std::optional<int> showRecordCount(Link& link, const Messages& messages, RecordKind kind);
// "Registrazioni recuperabili = %d" only when the terminal's status is 1
// (also for a size of 0).
std::optional<int> showRecoverableCount(Link& link, const Messages& messages);
// Asks first ("Cancellazione Registrazioni", No preselected); then "35" and the success message.
bool eraseAllRecords(Link& link, const Messages& messages);

}  // namespace cfg
