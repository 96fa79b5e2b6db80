// The process-wide user list as the list dialogs see it ("Elenco Utenti",
// "Seleziona Utente"): a TableList whose limits come from the connected
// terminal's capacity (users.h), with the import description and the user
// chosen last kept beside it for the whole run.
#pragma once

#include <functional>
#include <optional>

#include "tables/table_list.h"
#include "tables/user_import.h"
#include "tables/users.h"

namespace cfg {

class UserList : public TableList {
 public:
  // The capacity the connected terminal reports ("3802", quietly), 0 when
  // none is connected or it cannot tell.
  using CapacityReader = std::function<int()>;

  std::vector<std::string>& records() { return records_; }
  const std::vector<std::string>& records() const { return records_; }
  std::optional<UserRecord> user(int index) const;
  // Stores a user at `index` (== count appends); false when out of range.
  bool store(int index, const UserRecord& user);

  void setCapacityReader(CapacityReader reader) { reader_ = std::move(reader); }
  // "-d": a file load shows the length of its first line.
  void setDiagnostic(const Messages* messages) { diagnostic_ = messages; }

  // The import by `description` with the capacity of the list.
  bool import(const std::filesystem::path& source, const ImportDescription& description);

  ImportDescription description;  // kept between imports
  int chosen = -1;                // the user "Seleziona Utente" returned last

  std::string title() const override { return kUsersTitle; }
  // Asks the terminal each time: the capacity read, or 5850.
  int capacity() const override;
  int count() const override { return static_cast<int>(records_.size()); }
  std::vector<std::string> rowFields(int index) const override;
  void erase(int index) override;
  void clear() override { records_.clear(); }
  bool load(const std::filesystem::path& path, LoadMode mode, int selected) override;
  bool save(const std::filesystem::path& path) const override { return saveUserFile(path, records_); }
  bool transferEnabled(std::string_view) const override { return true; }
  int recordsToRead(std::string_view model) const override;
  bool confirmSend(Link& link, const Messages& messages) override;
  TableEnd send(Worker& worker, Link& link, const Messages& messages, bool clearFirst) override;
  TableEnd receive(Worker& worker, Link& link, const Messages& messages) override;

 private:
  int capacityRead() const { return reader_ ? reader_() : 0; }

  std::vector<std::string> records_;
  CapacityReader reader_;
  const Messages* diagnostic_ = nullptr;
};

// The user list of the process: from its first use to the end of the run.
UserList& processUserList();

}  // namespace cfg
