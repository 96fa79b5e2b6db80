// The tables sent to terminals and the one engine that edits, files, sends
// and receives them.
//
// Each table is described by a TableDescriptor: its capacity, file line
// length(s), write/clear/read commands with their frame lengths and
// timeouts, the pattern that marks a free record on receive, the models
// that take it, and four codec functions. In memory a record is kept as its
// file line without CR LF, always in the newest line form, so that a list
// can be saved, sent and compared without a second representation.
//
// Holidays are not table commands: they are written into parameter memory,
// 32 words of two holidays each (sendHolidays / receiveHolidays).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

enum class TableId {
  Users,  // users.h: the terminal's capacity decides its limits
  Policies,
  Sirens,
  Messages,
  ExitDirection,
  Justifications,
  Holidays,
  Sites,
  Activities,
  ProductionProgram,
  ProductionTables,
};

struct TableDescriptor {
  TableId id;
  const char* name;        // cfgctl's name: "policies", "sirens", ...
  const char* title;       // the list dialog's title
  const char* batchFile;   // "politica.txt", ... ("" when batches do not send it)
  int capacity;            // records the list holds
  int lineLength;          // file line, CR LF included
  int oldLineLength;       // the older, shorter line form; 0 when there is none
  int wireLength;          // characters of a record's wire data
  const char* writeCommand;
  int writeTimeoutMs;
  const char* clearCommand;
  int clearTimeoutMs;
  const char* readCommand;  // two characters; the request adds the index as "%04X"
  const char* emptyPattern;
  const char* emptyPattern2;  // a second pattern that also marks a free record, or nullptr
  std::vector<const char*> models;  // models whose send and receive are enabled

  // Validates a file line (without CR LF, in either form) and gives the
  // record in the newest form; nothing when a field is not valid.
  std::optional<std::string> (*parseLine)(std::string_view line);
  // The record's wire data (wireLength characters).
  std::string (*toWire)(const std::string& record);
  // The record of a read reply's data; nothing when it cannot be decoded.
  std::optional<std::string> (*fromWire)(std::string_view data);
};

// Every table, in menu order.
const std::vector<TableDescriptor>& allTables();
const TableDescriptor& tableDescriptor(TableId id);
const TableDescriptor* findTable(std::string_view name);

// Send and receive are enabled for this model.
bool tableEnabledFor(const TableDescriptor& table, std::string_view model);
// Records the receive reads from a terminal of this model.
int recordsToRead(const TableDescriptor& table, std::string_view model);
// The terminal's capacity where the list may exceed it (access policies and
// user messages on models other than LX-P2 and LX-K5); 0 when no question.
int capacityWarningLimit(const TableDescriptor& table, std::string_view model);

// --- file load and save ---

enum class LoadMode : std::uint8_t { Replace = 0, Insert = 1, Append = 2 };

inline constexpr const char* kLoadFailed = "Errore: lettura dati non riuscita.";
inline constexpr const char* kNoSelection = "Nessun record selezionato !";
inline constexpr const char* kListFull = "Spazio esaurito!";

// Reads `path` into the list. Replace: the file's records replace the list;
// Append: they follow it; Insert: they go before record `selected` (needs
// 0 <= selected < size). Reading stops when the list is full, at the end of
// the file, and at a partial last line. A file that cannot be opened or has
// an invalid line leaves the list as it was and returns false.
bool loadTableFile(const TableDescriptor& table, const std::filesystem::path& path, LoadMode mode, int selected,
                   std::vector<std::string>& list);
// Writes one line per record with CR LF; false when the file cannot be written.
bool saveTableFile(const TableDescriptor& table, const std::filesystem::path& path,
                   const std::vector<std::string>& list);

// The production program is kept in ascending order of line number.
void sortIfOrdered(const TableDescriptor& table, std::vector<std::string>& list);

// --- send and receive ---

inline constexpr const char* kClearQuestion = "Cancellare la tabella prima dell'invio dei dati ?";
inline constexpr const char* kCapacityQuestion = "Numero di record superiore alla capacita` del lettore. Continuare?";
inline constexpr const char* kEmptyRecordQuestion = "Rilevato record vuoto. Continuare ?";
inline constexpr const char* kTransferTitle = "Aggiornamento Dati";
inline constexpr const char* kSendingText = "Invio dati in corso ...";
inline constexpr const char* kReceivingText = "Ricezione dati in corso ...";

enum class TableEnd {
  Done,     // every record sent, or the receive reached its end
  Stopped,  // the stop request
  Failed,   // a transaction failed; what was done stays done
};

// Asked on the user's thread before a send: true when the send may go on
// (the list fits, or the user answered Yes).
bool confirmCapacity(const TableDescriptor& table, std::string_view model, std::size_t count,
                     const Messages& messages);
// The clear-first question; true on Yes.
bool askClearFirst(const Messages& messages);

// Worker routine: clears the terminal's table when `clearFirst`, then writes
// every record in list order. Progress: records sent so far.
TableEnd sendTable(Worker& worker, Link& link, const Messages& messages, const TableDescriptor& table,
                   const std::vector<std::string>& list, bool clearFirst);
// Worker routine: replaces the list with the terminal's records, read by
// index. At a free record: unattended runs (showLinkErrors cleared) stop at
// once; otherwise the user is asked once whether to go on (No ends the
// table there, Done), and later free records are skipped. Progress: index + 1.
TableEnd receiveTable(Worker& worker, Link& link, const Messages& messages, const TableDescriptor& table,
                      std::vector<std::string>& list);

// The parameter-memory word (8 characters mmddmmdd) of holidays 2i and 2i+1.
std::string holidayWord(const std::vector<std::string>& list, int i);

// --- validation shared by the record dialogs and the file reader ---

// "hh:mm", hours 0-24 (24 only with 00), minutes 0-59.
bool validTime(std::string_view time);
// "gg/mm", month 1-12, day 1 to the month's length (February 29).
bool validHoliday(std::string_view day);
// Ten upper-case hexadecimal digits, not all zeros.
bool validSiteCode(std::string_view code);
// A typed site code zero-padded on the left to ten characters; nothing when
// it is longer than ten characters.
std::optional<std::string> padSiteCode(std::string_view typed);

}  // namespace cfg
