// "Scheda Utente": the record dialog of the user list, and "Importa Elenco
// Utenti", which fills the list from a foreign file by a field description.
#pragma once

#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "app/ui/grey_dialog.h"
#include "tables/ui/table_list_dialog.h"
#include "link/prompt.h"
#include "tables/user_import.h"
#include "tables/users.h"

namespace cfg::ui {

// Opens or saves a file: title and filter in, the chosen path out (empty on
// Cancel); the list dialogs' chooser, which tests replace.
using UserFileChooser = TableListDialog::FileChooser;

class UserCardDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Add mode without `stored`; modify mode shows the stored user.
  UserCardDialog(const Messages& messages, const std::optional<UserRecord>& stored, QWidget* parent = nullptr);

  // The confirmed user (after exec() returned Accepted).
  const UserRecord& user() const { return user_; }

  QLineEdit* edit(UserField field) const;
  QDateEdit* expiry() const { return expiry_; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  void confirm();

  const Messages& messages_;
  QLineEdit* company_;
  QLineEdit* personnel_;
  QLineEdit* pin_;
  QDateEdit* expiry_;
  QLineEdit* counter_;
  QLineEdit* policy_;
  QLineEdit* extra1_;
  QLineEdit* extra2_;
  QPushButton* confirm_;
  std::string storedExpiry_;  // a stored date the picker cannot show stays unless changed
  bool expiryChanged_ = false;
  UserRecord user_;
};

class UserImportDialog : public GreyDialog {
  Q_OBJECT
 public:
  // `description` is the one kept for the whole run: shown when it holds
  // one, replaced by what "&Esegui" takes. `capacity` gives the users a list
  // may hold (asked when the import runs). Success replaces `list`.
  UserImportDialog(const Messages& messages, ImportDescription& description, std::vector<std::string>& list,
                   std::function<int()> capacity, UserFileChooser choose, QWidget* parent = nullptr);

  QLineEdit* fileEdit() const { return file_; }
  QLineEdit* positionEdit(ImportField f) const { return position_[static_cast<std::size_t>(f)]; }
  QLineEdit* lengthEdit(ImportField f) const { return length_[static_cast<std::size_t>(f)]; }
  QLineEdit* fixedEdit(ImportField f) const { return fixed_[static_cast<std::size_t>(f)]; }
  QLineEdit* totalEdit() const { return total_; }
  QPushButton* runButton() const { return run_; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }

  // The description as the dialog shows it.
  ImportDescription shown() const;
  void show(const ImportDescription& description);

 private:
  // Checks the shown description; on a fault shows it and focuses its field.
  bool checked(ImportDescription& out);
  void loadDescription();
  void saveDescription();
  void run();

  const Messages& messages_;
  ImportDescription& description_;
  std::vector<std::string>& list_;
  std::function<int()> capacity_;
  UserFileChooser choose_;
  QLineEdit* file_;
  std::array<QLineEdit*, kImportFields> position_{};
  std::array<QLineEdit*, kImportFields> length_{};
  std::array<QLineEdit*, kImportFields> fixed_{};
  QLineEdit* total_;
  QPushButton* load_;
  QPushButton* save_;
  QPushButton* run_;
};

}  // namespace cfg::ui
