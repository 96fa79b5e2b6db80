#include "tables/ui/user_dialogs.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

#include "app/command_ids.h"
#include "app/ui/main_window.h"

namespace cfg::ui {

namespace {

QBoxLayout* rows(QDialog* dialog) { return qobject_cast<QBoxLayout*>(dialog->layout()); }

}  // namespace

void connectUserList(UserList& users, ProcessState& state, const Messages& messages) {
  // Read once per dialog: the connection cannot change while it is open, and
  // a terminal that does not answer "3802" costs its timeouts only once.
  auto read = std::make_shared<std::optional<int>>();
  users.setCapacityReader([&state, &messages, read] {
    if (!*read) *read = state.connected ? readUserCapacity(state.link, messages) : 0;
    return **read;
  });
  users.setDiagnostic(state.diagnostic ? &messages : nullptr);
}

void disconnectUserList(UserList& users) {
  users.setCapacityReader({});
  users.setDiagnostic(nullptr);
}

TableListDialog::RecordEditor userEditor(UserList& users, const Messages& messages) {
  return [&users, &messages](QWidget* parent, int index, RecordMode mode) {
    std::optional<UserRecord> stored = mode == RecordMode::Modify ? users.user(index) : std::nullopt;
    UserCardDialog card(messages, stored, parent);
    if (card.exec() != QDialog::Accepted) return false;
    return users.store(index, card.user());
  };
}

// --- "Elenco Utenti" ---

UserListDialog::UserListDialog(UserList& users, ProcessState& state, const Messages& messages, QWidget* parent)
    : TableListDialog(users, userEditor(users, messages), state, messages, parent),
      users_(users),
      state_(state),
      messages_(messages),
      choose_(chooseDataFile) {
  auto* extra = new QHBoxLayout;
  import_ = ui::addButton(extra, QStringLiteral("Im&porta"), this);
  import_->setObjectName(QStringLiteral("1063"));
  count_ = ui::addButton(extra, QStringLiteral("Le&ggi numero"), this);
  count_->setObjectName(QStringLiteral("1700"));
  extra->addStretch();
  if (QBoxLayout* layout = rows(this)) layout->insertLayout(layout->count() - 1, extra);
  count_->setEnabled(state.connected);
  connect(import_, &QPushButton::clicked, this, &UserListDialog::importUsers);
  connect(count_, &QPushButton::clicked, this, &UserListDialog::readCount);
}

void UserListDialog::setChooser(FileChooser chooser) {
  choose_ = chooser;
  setFileChooser(std::move(chooser));
}

void UserListDialog::importUsers() {
  UserImportDialog dialog(messages_, users_.description, users_.records(), [this] { return users_.capacity(); },
                          choose_, this);
  dialog.exec();
  refill();
}

void UserListDialog::readCount() {
  auto count = queryUserCount(state_.link, messages_);
  if (!count) return;  // the transaction has said why
  char text[96];
  std::snprintf(text, sizeof text, kUserCountText, count->stored);
  messages_.info(text);
}

// --- "Seleziona Utente" ---

UserChoiceDialog::UserChoiceDialog(UserList& users, ProcessState& state, const Messages& messages, QWidget* parent)
    : UserListDialog(users, state, messages, parent), list_(users), messages_(messages) {
  setWindowTitle(QStringLiteral("Seleziona Utente"));
  for (QPushButton* b : {receiveButton(), sendButton(), closeButton(), countButton()}) b->hide();
  auto* row = new QHBoxLayout;
  row->addStretch();
  confirm_ = ui::addButton(row, QStringLiteral("&Conferma"), this);
  cancel_ = ui::addButton(row, QStringLiteral("&Annulla"), this);
  if (QBoxLayout* layout = rows(this)) layout->addLayout(row);
  // A double click chooses instead of opening the record.
  disconnect(listBox(), &QTreeWidget::itemDoubleClicked, nullptr, nullptr);
  connect(listBox(), &QTreeWidget::itemDoubleClicked, this, &UserChoiceDialog::confirmChoice);
  connect(confirm_, &QPushButton::clicked, this, &UserChoiceDialog::confirmChoice);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  refill(users.chosen);
}

void UserChoiceDialog::confirmChoice() {
  const int index = selectedIndex();
  if (index < 0) {
    messages_.error(kNoSelection);
    return;
  }
  chosen_ = index;
  list_.chosen = index;
  accept();
}

std::optional<ChosenUser> selectUser(ProcessState& state, const Messages& messages, QWidget* parent,
                                     TableListDialog::FileChooser choose) {
  UserList& users = processUserList();
  connectUserList(users, state, messages);
  UserChoiceDialog dialog(users, state, messages, parent);
  dialog.setChooser(std::move(choose));
  const bool chosen = dialog.exec() == QDialog::Accepted;
  disconnectUserList(users);
  if (!chosen) return std::nullopt;
  auto user = users.user(dialog.chosenIndex());
  if (!user) return std::nullopt;
  return ChosenUser{dialog.chosenIndex(), *user};
}

void registerUserCommands(MainWindow& window, ProcessState& state, Messages& messages,
                          TableListDialog::FileChooser choose) {
  window.setHandler(cmd::Users, [&window, &state, &messages, choose] {
    UserList& users = processUserList();
    connectUserList(users, state, messages);
    UserListDialog dialog(users, state, messages, &window);
    dialog.setChooser(choose);
    dialog.exec();
    disconnectUserList(users);
  });
}

}  // namespace cfg::ui
