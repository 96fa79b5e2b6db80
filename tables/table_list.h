// The in-memory lists that the table dialogs edit, and the rules every list
// dialog shares.
//
// A list dialog holds no records itself: it shows a TableList and turns its
// buttons into calls on it. TableList is the interface every table supplies
// (the ten tables of table_engine.h through DescriptorList; the users list
// supplies its own). The rules of the buttons (room for one more, where the
// selection goes after a delete, what "insert" needs) are functions here, so
// that a list of another shape gets them unchanged.
//
// Lists are process-wide: processList(id) lives from the first use to the
// end of the program and survives its dialog. So do the file-load mode and
// the clear-first answer (tableSession()).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "tables/table_engine.h"

namespace cfg {

// The record dialog's mode.
enum class RecordMode { Add = 0, Modify = 1 };

inline constexpr const char* kDeleteQuestion = "Il record selezionato verra` eliminato. Continuare ?";
inline constexpr const char* kDeleteTitle = "Elimina";
inline constexpr const char* kDeleteAllQuestion = "Tutti i record verranno eliminati. Continuare ?";
inline constexpr const char* kDeleteAllTitle = "Elimina tutti";
inline constexpr const char* kNothingToDelete = "Nessun record da eliminare !";
// A file that cannot be written.
inline constexpr const char* kSaveFailed = "Errore: scrittura dati non riuscita.";
inline constexpr const char* kLoadModeTitle = "Modalit\xE0 Leggi File";

// State shared by every list dialog of the process.
struct TableSession {
  LoadMode loadMode = LoadMode::Replace;  // kept between uses
  bool clearFirst = false;                // the last answer to the clear question
};
TableSession& tableSession();

class TableList {
 public:
  virtual ~TableList() = default;

  // The list dialog's title (Windows-1252).
  virtual std::string title() const = 0;
  virtual int capacity() const = 0;
  virtual int count() const = 0;
  // The fields of record `index` as the list row shows them, one per column.
  virtual std::vector<std::string> rowFields(int index) const = 0;

  // Removes record `index`; the records after it move down by one.
  virtual void erase(int index) = 0;
  virtual void clear() = 0;

  // The file operations; false on failure (the list is then as the table's
  // loader leaves it).
  virtual bool load(const std::filesystem::path& path, LoadMode mode, int selected) = 0;
  virtual bool save(const std::filesystem::path& path) const = 0;

  // Send and receive are enabled for a terminal of this model.
  virtual bool transferEnabled(std::string_view model) const = 0;
  // The receive's progress range for this model.
  virtual int recordsToRead(std::string_view model) const = 0;
  // The send's progress range.
  virtual int sendSteps() const { return count(); }
  // Asked on the user's thread before a send, before the clear question:
  // false sends nothing (the capacity question answered No).
  virtual bool confirmSend(Link& link, const Messages& messages) = 0;
  // Worker routines (table_engine.h's sendTable / receiveTable contract).
  virtual TableEnd send(Worker& worker, Link& link, const Messages& messages, bool clearFirst) = 0;
  virtual TableEnd receive(Worker& worker, Link& link, const Messages& messages) = 0;
};

// --- the rules of the list dialog ---

// "&Nuovo" may add one more record.
inline bool hasRoom(const TableList& list) { return list.count() < list.capacity(); }
// The row to select after row `erased` was deleted from a list that now has
// `countAfter` rows: the same row, or the new last one; -1 when empty.
inline int rowAfterErase(int erased, int countAfter) {
  if (countAfter <= 0) return -1;
  return erased < countAfter ? erased : countAfter - 1;
}
// A load in this mode needs a selected row.
inline bool loadNeedsSelection(LoadMode mode) { return mode == LoadMode::Insert; }

// --- the ten tables of table_engine.h ---

// The fields of a record of `table` (its file line without CR LF), trimmed
// on the right.
std::vector<std::string> recordFields(const TableDescriptor& table, const std::string& record);

// A table of table_engine.h: records kept as their file lines.
class DescriptorList : public TableList {
 public:
  explicit DescriptorList(const TableDescriptor& table) : table_(table) {}

  const TableDescriptor& table() const { return table_; }
  std::vector<std::string>& records() { return records_; }
  const std::vector<std::string>& records() const { return records_; }
  // Stores a validated record at `index` (== count appends) and keeps an
  // ordered table in order; returns the record's index afterwards.
  int store(int index, std::string record);

  std::string title() const override { return table_.title; }
  int capacity() const override { return table_.capacity; }
  int count() const override { return static_cast<int>(records_.size()); }
  std::vector<std::string> rowFields(int index) const override;
  void erase(int index) override;
  void clear() override { records_.clear(); }
  bool load(const std::filesystem::path& path, LoadMode mode, int selected) override;
  bool save(const std::filesystem::path& path) const override;
  bool transferEnabled(std::string_view model) const override { return tableEnabledFor(table_, model); }
  int recordsToRead(std::string_view model) const override { return cfg::recordsToRead(table_, model); }
  int sendSteps() const override { return table_.id == TableId::Holidays ? 32 : count(); }
  bool confirmSend(Link& link, const Messages& messages) override;
  TableEnd send(Worker& worker, Link& link, const Messages& messages, bool clearFirst) override;
  TableEnd receive(Worker& worker, Link& link, const Messages& messages) override;

 private:
  const TableDescriptor& table_;
  std::vector<std::string> records_;
};

// The process-wide list of a table.
DescriptorList& processList(TableId id);

}  // namespace cfg
