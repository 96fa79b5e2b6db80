// "Elenco Utenti" (command 40041) and "Seleziona Utente", the user list on
// the list dialog every table shares, with the user list's own buttons.
#pragma once

#include <QPushButton>
#include <optional>

#include "app/process_state.h"
#include "tables/ui/table_list_dialog.h"
#include "tables/ui/user_card.h"
#include "tables/user_list.h"

namespace cfg::ui {

class MainWindow;

// Points the list's capacity at the connected terminal ("3802" without a
// message, once per call; nothing connected: 0) and its file loads at the
// "-d" mode. Called each time a user list dialog opens.
void connectUserList(UserList& users, ProcessState& state, const Messages& messages);
// Undoes connectUserList when the dialog has closed: the process's list
// keeps no reference to a connection.
void disconnectUserList(UserList& users);

// The record editor of the user list: "Scheda Utente" on record `index`.
TableListDialog::RecordEditor userEditor(UserList& users, const Messages& messages);

class UserListDialog : public TableListDialog {
  Q_OBJECT
 public:
  UserListDialog(UserList& users, ProcessState& state, const Messages& messages, QWidget* parent = nullptr);

  // The chooser of every file dialog, the import's included.
  void setChooser(FileChooser chooser);

  QPushButton* importButton() const { return import_; }
  QPushButton* countButton() const { return count_; }

  // "Im&porta": "Importa Elenco Utenti", then refill.
  void importUsers();
  // "Le&ggi numero": the users stored in the terminal.
  void readCount();

 private:
  UserList& users_;
  ProcessState& state_;
  const Messages& messages_;
  FileChooser choose_;
  QPushButton* import_;
  QPushButton* count_;
};

// "Seleziona Utente": the list without send and receive, with "&Conferma"
// and "&Annulla". Opens with the user chosen last selected.
class UserChoiceDialog : public UserListDialog {
  Q_OBJECT
 public:
  UserChoiceDialog(UserList& users, ProcessState& state, const Messages& messages, QWidget* parent = nullptr);

  QPushButton* confirmButton() const { return confirm_; }
  QPushButton* cancelButton() const { return cancel_; }
  // The index chosen on "&Conferma" (or a double click); -1 before.
  int chosenIndex() const { return chosen_; }

  void confirmChoice();

 private:
  UserList& list_;
  const Messages& messages_;
  QPushButton* confirm_;
  QPushButton* cancel_;
  int chosen_ = -1;
};

struct ChosenUser {
  int index;  // in processUserList()
  UserRecord user;
};

// Opens "Seleziona Utente" on the process's user list; the chosen user, or
// nothing when the dialog was cancelled. The choice is remembered for the
// next time.
std::optional<ChosenUser> selectUser(ProcessState& state, const Messages& messages, QWidget* parent,
                                     TableListDialog::FileChooser choose = chooseDataFile);

// 40041 "Elenco Utenti", with or without a connected terminal.
void registerUserCommands(MainWindow& window, ProcessState& state, Messages& messages,
                          TableListDialog::FileChooser choose = chooseDataFile);

}  // namespace cfg::ui
