#include "records/acquisition.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"
#include "records/archive_lines.h"
#include "records/archive_writer.h"

namespace cfg {

namespace {

constexpr int kCountTimeoutMs = 250;
constexpr int kRecordTimeoutMs = 750;
constexpr int kStepPauseMs = 25;
constexpr unsigned kDefaultRingSize = 16384;

std::string countdown(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%05d", value);
  return buf;
}

std::string hex4(unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFF);
  return buf;
}

// 16 bits from two hex pairs at pos (high first); nothing when not hex.
std::optional<unsigned> hex16At(std::string_view reply, std::size_t pos) {
  if (reply.size() < pos + 4) return std::nullopt;
  auto v = hex4ToU16(reply.substr(pos, 4));
  if (!v) return std::nullopt;
  return *v;
}

}  // namespace

const RecordCommands& recordCommands(RecordKind kind) {
  static const RecordCommands attendance{"00", "01", "02", "03", 43, 22};
  static const RecordCommands production{"60", "61", "62", "63", 61, 10};
  static const RecordCommands canteen{"80", "81", "82", "83", 91, 22};
  switch (kind) {
    case RecordKind::Production: return production;
    case RecordKind::Canteen: return canteen;
    case RecordKind::Attendance: break;
  }
  return attendance;
}

bool archiveRecord(const RecordJob& job, RecordKind kind, std::string_view record, bool retrieval,
                   std::string& failure) {
  ArchiveContext ctx{job.directory, job.live, job.formats, job.link.config, job.messages, retrieval};
  ArchiveResult r;
  switch (kind) {
    case RecordKind::Production: r = writeProduction(ctx, record); break;
    case RecordKind::Canteen: r = writeCanteen(ctx, record); break;
    case RecordKind::Attendance: r = writeAttendance(ctx, record); break;
  }
  failure = std::move(r.failure);
  return r.ok;
}

std::optional<int> readRecordCount(Link& link, const Messages& messages, RecordKind kind, int timeoutMs) {
  std::string reply;
  TxResult r = exchange(link, messages, recordCommands(kind).count, reply, 64, timeoutMs, 13);
  if (!r || r.length < 13) return std::nullopt;
  int high = hexPairAt(reply, 6), low = hexPairAt(reply, 8);
  if (high < 0 || low < 0) return std::nullopt;
  return 256 * high + low;
}

std::optional<unsigned> readRingStatus(Link& link, const Messages& messages) {
  std::string reply;
  TxResult r = exchange(link, messages, "3801", reply, 64, 2000, 19);
  if (!r || r.length < 19 || hexPairAt(reply, 6) != 1) return std::nullopt;
  return hex16At(reply, 8);
}

unsigned readRingSize(Link& link, const Messages& messages) { return readRingStatus(link, messages).value_or(0); }

bool useStreaming(const LinkConfig& link) {
  return (sameModel(link.model, "LX-P2") || sameModel(link.model, "LX-K5")) && link.modem &&
         link.continuousModemDownload;
}

void acquireStandard(Worker& worker, const RecordJob& job, RecordKind kind, RecordRun& run) {
  const RecordCommands& c = recordCommands(kind);
  run.acquired = 0;
  run.completed = false;
  run.failure.clear();
  std::optional<int> count = readRecordCount(job.link, job.messages, kind, kCountTimeoutMs);
  if (!count) return;
  int remaining = *count;
  worker.refresh(countdown(remaining));
  std::string record, ack;
  while (remaining > 0) {
    if (worker.stopRequested()) return;
    TxResult r = exchange(job.link, job.messages, c.next, record, 128, kRecordTimeoutMs,
                          static_cast<int>(c.recordLength));
    // Only a reply of the record's full length is a record.
    if (!r || static_cast<std::size_t>(r.length) != c.recordLength) break;
    std::string pointer = record.substr(6, 4);
    if (!archiveRecord(job, kind, record, false, run.failure)) break;  // stays in the terminal
    if (!exchange(job.link, job.messages, std::string(c.acknowledge) + pointer, ack, 64, kRecordTimeoutMs, 6))
      break;
    ++run.acquired;
    --remaining;
    worker.refresh(countdown(remaining));
    if (worker.pause(kStepPauseMs)) return;
  }
  run.completed = remaining == 0;
}

namespace {

// Waits for a record the terminal sends by itself: only a valid 43-byte Frame counts.
enum class Wait { Got, Nothing, Stopped };

Wait receiveRecord(Worker& worker, Link& link, std::string& record, int attempts, int timeoutMs,
                   std::optional<unsigned> wantedPointer) {
  for (int i = 0; i < attempts; ++i) {
    if (worker.stopRequested()) return Wait::Stopped;
    int n = link.receiveFrame(record, kAttendanceRecordLength, timeoutMs);
    if (n != static_cast<int>(kAttendanceRecordLength)) continue;
    if (wantedPointer && hex16At(record, 6) != wantedPointer) continue;
    return Wait::Got;
  }
  return Wait::Nothing;
}

}  // namespace

void acquireStreaming(Worker& worker, const RecordJob& job, RecordRun& run) {
  run.acquired = 0;
  run.completed = false;
  run.failure.clear();
  unsigned ring;
  {
    AskOnFailureGuard quiet(job.messages.flags, false);
    ring = readRingSize(job.link, job.messages);
  }
  if (ring == 0) ring = kDefaultRingSize;

  std::string reply;
  TxResult started = exchange(job.link, job.messages, "40", reply, 64, 250, 17);
  // A streamed record may come in place of the answer: only "40" + pointer + count is one.
  bool answer = started && started.length == 17 && reply.compare(4, 2, "40") == 0;
  std::optional<unsigned> first = answer ? hex16At(reply, 6) : std::nullopt;
  std::optional<unsigned> announced = answer ? hex16At(reply, 10) : std::nullopt;
  if (!first || !announced) return;  // nothing started: no "42" either
  const unsigned start = *first;
  unsigned pointer = start;
  int remaining = static_cast<int>(*announced);
  worker.refresh(countdown(remaining));

  bool resync = false;
  std::string record;
  while (remaining > 0) {
    if (worker.stopRequested()) return;  // no "42": the run's records come again next time
    bool have = false;
    if (!resync) {
      Wait w = receiveRecord(worker, job.link, record, 5, 1000, std::nullopt);
      if (w == Wait::Stopped) return;
      if (w == Wait::Nothing || hex16At(record, 6) != pointer) resync = true;  // an unexpected record is dropped
      else have = true;
    } else {
      resync = false;
      // Ask for the expected record: plain-XOR check byte, sent without the transaction.
      std::string request = buildRequest(job.link.config.address, "41" + hex4(pointer));
      sealXor(request);
      for (int ask = 0; ask < 5 && !have; ++ask) {
        if (worker.stopRequested()) return;
        job.link.send(request);
        Wait w = receiveRecord(worker, job.link, record, 20, 250, pointer);
        if (w == Wait::Stopped) return;
        have = w == Wait::Got;
      }
      if (!have) break;
    }
    if (worker.stopRequested()) return;
    if (!have) continue;
    if (!archiveRecord(job, RecordKind::Attendance, record, false, run.failure)) break;
    pointer = (*hex16At(record, 6) + 1) % ring;
    ++run.acquired;
    --remaining;
    worker.refresh(countdown(remaining));
    if (worker.pause(kStepPauseMs)) return;
  }
  if (worker.stopRequested()) return;
  bool closed = true;
  if (start != pointer) {
    // Acknowledges exactly the records archived in this run, also after a failure.
    closed = static_cast<bool>(exchange(job.link, job.messages, "42" + hex4(start) + hex4(pointer), reply, 64, 250, 6));
  }
  run.completed = remaining == 0 && closed;
}

void acquire(Worker& worker, const RecordJob& job, RecordKind kind, RecordRun& run) {
  if (kind == RecordKind::Attendance && useStreaming(job.link.config))
    acquireStreaming(worker, job, run);
  else
    acquireStandard(worker, job, kind, run);
}

std::string referenceDate(int year, int month, int day) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", ((year % 100) + 100) % 100, month % 100, day % 100);
  return buf;
}

void retrieve(Worker& worker, const RecordJob& job, RecordKind kind, std::string reference, RecordRun& run) {
  const RecordCommands& c = recordCommands(kind);
  run.acquired = 0;
  run.completed = false;
  run.failure.clear();
  worker.refresh(countdown(0));
  std::string record;
  unsigned index = 1;
  for (; index <= 0xFFFF; ++index) {
    if (worker.stopRequested()) return;
    TxResult r = exchange(job.link, job.messages, c.byIndex + hex4(index), record, 128, kRecordTimeoutMs,
                          static_cast<int>(c.recordLength));
    if (!r || static_cast<std::size_t>(r.length) != c.recordLength) return;
    std::string date = record.substr(c.datePosition, 6);
    // An empty slot: nothing older is stored. Newest first: the first older record ends the run.
    if (date == "000000" || date < reference) break;
    if (!archiveRecord(job, kind, record, true, run.failure)) return;
    ++run.acquired;
    worker.refresh(countdown(static_cast<int>(index)));
    if (worker.pause(kStepPauseMs)) return;
  }
  run.completed = true;
}

void showRunEnd(const Messages& messages, int count, bool retrieval, std::string_view failure) {
  if (!messages.flags.showLinkErrors.load()) return;
  char text[64];
  if (retrieval) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::snprintf(text, sizeof text, "Recuperate %d registrazioni.", count);
  } else {
    std::snprintf(text, sizeof text, "Acquisite %d registrazioni.", count);
  }
  std::string shown = text;
  if (!failure.empty()) {
    shown += '\n';
    shown += failure;
  }
  messages.info(shown);
}

std::optional<int> showRecordCount(Link& link, const Messages& messages, RecordKind kind) {
  std::optional<int> n = readRecordCount(link, messages, kind, 200);
  if (!n) return n;
  const char* format = kind == RecordKind::Production ? "Reg. produzione presenti = %d"
                       : kind == RecordKind::Canteen  ? "Registrazioni mensa presenti = %d"
                                                      : "Registrazioni presenti = %d";
  char text[64];
  std::snprintf(text, sizeof text, format, *n);
  messages.info(text);
  return n;
}

std::optional<int> showRecoverableCount(Link& link, const Messages& messages) {
  std::optional<unsigned> n = readRingStatus(link, messages);
  if (!n) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "Registrazioni recuperabili = %d", static_cast<int>(*n));
  messages.info(text);
  return static_cast<int>(*n);
}

bool eraseAllRecords(Link& link, const Messages& messages) {
  if (!messages.confirm("ATTENZIONE! Tutte le registrazioni presenti verranno perse. Continuare ?",
                        "Cancellazione Registrazioni", Icon::Warning))
    return false;
  std::string reply;
  if (!exchange(link, messages, "35", reply, 64, 5000, 6)) return false;
  messages.info("Operazione completata con successo.");
  return true;
}

}  // namespace cfg
