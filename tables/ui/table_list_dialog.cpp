#include "tables/ui/table_list_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/operation_dialog.h"
#include "app/ui/text.h"

namespace cfg::ui {

namespace {

const QString kOpenTitle = QStringLiteral("Open Data File");
const QString kSaveTitle = QStringLiteral("Save Data File");
const QString kTextFilter = QStringLiteral("Text File (*.txt)");

QPushButton* button(QBoxLayout* row, const QString& text, const char* id, QWidget* parent) {
  QPushButton* b = cfg::ui::addButton(row, text, parent);
  b->setObjectName(QString::fromLatin1(id));
  return b;
}

std::filesystem::path localPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

}  // namespace

QString chooseDataFile(QWidget* parent, const QString& title, const QString& filter, bool save) {
  return save ? QFileDialog::getSaveFileName(parent, title, QString(), filter)
              : QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

// --- "Modalità Leggi File" ---

LoadModeDialog::LoadModeDialog(LoadMode& mode, QWidget* parent)
    : GreyDialog(fromCp1252(kLoadModeTitle), parent), mode_(mode) {
  auto* layout = new QVBoxLayout(this);
  const char* texts[3] = {"Sostituzione elenco", "Inserimento nell'elenco", "Aggiunta all'elenco"};
  for (int i = 0; i < 3; ++i) {
    buttons_[i] = new QRadioButton(QString::fromLatin1(texts[i]), this);
    layout->addWidget(buttons_[i]);
  }
  buttons_[static_cast<int>(mode)]->setChecked(true);
  auto* row = new QHBoxLayout;
  run_ = cfg::ui::addButton(row, QStringLiteral("&Esegui"), this);
  QPushButton* cancel = cfg::ui::addButton(row, QStringLiteral("&Annulla"), this);
  layout->addLayout(row);
  connect(run_, &QPushButton::clicked, this, [this] {
    for (int i = 0; i < 3; ++i)
      if (buttons_[i]->isChecked()) mode_ = static_cast<LoadMode>(i);
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// --- the list dialog ---

TableListDialog::TableListDialog(TableList& list, RecordEditor editor, ProcessState& state, const Messages& messages,
                                 QWidget* parent)
    : GreyDialog(fromCp1252(list.title()), parent),
      table_(list),
      editor_(std::move(editor)),
      state_(state),
      messages_(messages),
      chooser_(chooseDataFile) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("1054"));
  list_->setRootIsDecorated(false);
  list_->setHeaderHidden(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setMinimumSize(520, 260);
  layout->addWidget(list_);

  auto* edit = new QHBoxLayout;
  add_ = button(edit, QStringLiteral("&Nuovo"), "1055", this);
  modify_ = button(edit, QStringLiteral("&Modifica"), "1056", this);
  remove_ = button(edit, QStringLiteral("&Elimina"), "1057", this);
  removeAll_ = button(edit, QStringLiteral("Elimina &tutti"), "1061", this);
  layout->addLayout(edit);
  auto* files = new QHBoxLayout;
  load_ = button(files, QStringLiteral("&Leggi file"), "1058", this);
  save_ = button(files, QStringLiteral("&Salva file"), "1059", this);
  receive_ = button(files, QStringLiteral("&Ricevi da ..."), "1062", this);
  send_ = button(files, QStringLiteral("&Invia a ..."), "1060", this);
  close_ = button(files, QStringLiteral("&Chiudi"), "2", this);
  layout->addLayout(files);

  // A modal dialog: the connection cannot change while it is open.
  const bool transfer = state_.connected && table_.transferEnabled(state_.link.config.model);
  receive_->setEnabled(transfer);
  send_->setEnabled(transfer);

  connect(add_, &QPushButton::clicked, this, &TableListDialog::addRecord);
  connect(modify_, &QPushButton::clicked, this, &TableListDialog::modifyRecord);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { modifyRecord(); });
  connect(remove_, &QPushButton::clicked, this, &TableListDialog::removeRecord);
  connect(removeAll_, &QPushButton::clicked, this, &TableListDialog::removeAll);
  connect(load_, &QPushButton::clicked, this, &TableListDialog::loadFile);
  connect(save_, &QPushButton::clicked, this, &TableListDialog::saveFile);
  connect(receive_, &QPushButton::clicked, this, &TableListDialog::receive);
  connect(send_, &QPushButton::clicked, this, &TableListDialog::send);
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  refill();
}

void TableListDialog::refill(int row) {
  list_->clear();
  const int n = table_.count();
  int columns = 1;
  QList<QTreeWidgetItem*> items;
  items.reserve(n);
  for (int i = 0; i < n; ++i) {
    auto* item = new QTreeWidgetItem;
    std::vector<std::string> fields = table_.rowFields(i);
    for (std::size_t c = 0; c < fields.size(); ++c) item->setText(static_cast<int>(c), fromCp1252(fields[c]));
    columns = std::max(columns, static_cast<int>(fields.size()));
    item->setData(0, Qt::UserRole, i);
    items.append(item);
  }
  list_->setColumnCount(columns);
  list_->addTopLevelItems(items);
  for (int c = 0; c < columns; ++c) list_->resizeColumnToContents(c);
  if (row >= 0 && row < n) {
    list_->setCurrentItem(list_->topLevelItem(row));
    list_->scrollToItem(list_->topLevelItem(row));
  }
}

int TableListDialog::selectedIndex() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return -1;
  bool ok = false;
  int index = selected.front()->data(0, Qt::UserRole).toInt(&ok);
  return ok && index >= 0 && index < table_.count() ? index : -1;
}

QString TableListDialog::rowText(int row) const {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  if (!item) return {};
  QStringList fields;
  for (int c = 0; c < list_->columnCount(); ++c)
    if (!item->text(c).isNull() || c == 0) fields << item->text(c);
  return fields.join(QLatin1Char('\t'));
}

void TableListDialog::addRecord() {
  if (!hasRoom(table_)) {
    messages_.error(kListFull);
    return;
  }
  if (editor_(this, table_.count(), RecordMode::Add)) refill();
}

void TableListDialog::modifyRecord() {
  const int index = selectedIndex();
  if (index < 0) {
    messages_.error(kNoSelection);
    return;
  }
  const int row = list_->indexOfTopLevelItem(list_->selectedItems().front());
  if (editor_(this, index, RecordMode::Modify)) refill(row);
}

void TableListDialog::removeRecord() {
  const int index = selectedIndex();
  if (index < 0) {
    messages_.error(kNoSelection);
    return;
  }
  if (!messages_.confirm(kDeleteQuestion, kDeleteTitle, Icon::Warning)) return;
  table_.erase(index);
  refill(rowAfterErase(index, table_.count()));
}

void TableListDialog::removeAll() {
  if (table_.count() == 0) {
    messages_.error(kNothingToDelete);
    return;
  }
  if (!messages_.confirm(kDeleteAllQuestion, kDeleteAllTitle, Icon::Warning)) return;
  table_.clear();
  refill();
}

void TableListDialog::loadFile() {
  LoadMode& mode = tableSession().loadMode;
  LoadModeDialog choice(mode, this);
  if (choice.exec() != QDialog::Accepted) return;
  const int selected = selectedIndex();
  if (loadNeedsSelection(mode) && selected < 0) {
    messages_.error(kNoSelection);
    return;
  }
  const QString path = chooser_(this, kOpenTitle, kTextFilter, false);
  if (path.isEmpty()) return;
  if (!table_.load(localPath(path), mode, selected)) messages_.error(kLoadFailed);
  refill();
}

void TableListDialog::saveFile() {
  const QString path = chooser_(this, kSaveTitle, kTextFilter, true);
  if (path.isEmpty()) return;
  if (!table_.save(localPath(path))) messages_.error(kSaveFailed);
}

void TableListDialog::send() {
  Link& link = state_.link;
  const Messages& messages = messages_;
  if (!table_.confirmSend(link, messages)) return;
  const bool clearFirst = askClearFirst(messages);
  tableSession().clearFirst = clearFirst;
  TableList& list = table_;
  OperationDialog dialog(
      state_.workers.general, messages,
      [&list, &link, &messages, clearFirst](Worker& w) { list.send(w, link, messages, clearFirst); },
      QString::fromLatin1(kTransferTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setRange(0, std::max(1, table_.sendSteps()));
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(QString::fromLatin1(kSendingText), &dialog));
  dialog.exec();
}

void TableListDialog::receive() {
  Link& link = state_.link;
  const Messages& messages = messages_;
  TableList& list = table_;
  OperationDialog dialog(
      state_.workers.general, messages, [&list, &link, &messages](Worker& w) { list.receive(w, link, messages); },
      QString::fromLatin1(kTransferTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setRange(0, std::max(1, table_.recordsToRead(link.config.model)));
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(QString::fromLatin1(kReceivingText), &dialog));
  dialog.exec();
  refill();
}

}  // namespace cfg::ui
