#include "tables/ui/fingerprint_dialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "app/command_ids.h"
#include "app/registry.h"
#include "app/ui/registry_dialogs.h"
#include "tables/fingerprints_capture.h"
#include "app/ui/main_window.h"
#include "app/ui/operation_dialog.h"
#include "app/ui/text.h"
#include "tables/table_list.h"
#include "tables/users.h"

namespace cfg::ui {

namespace {

const QString kOpenTitle = QStringLiteral("Open Data File");
const QString kSaveTitle = QStringLiteral("Save Data File");
const QString kTextFilter = QStringLiteral("Text File (*.txt)");
constexpr const char* kSortSendWarning =
    "Attenzione: questo comando ordina, salva e invia al terminale tutte le impronte della lista. La tabella delle "
    "impronte presente nel terminale verr\xE0 rimpiazzata con i nuovi dati.\n"
    "Se l'operazione viene interrotta si pu\xF2 verificare un disallineamento tra i dati nel terminale e il "
    "contenuto del file delle impronte.\nContinuare ?";

QPushButton* idButton(QBoxLayout* row, const QString& text, const char* id, QWidget* parent) {
  QPushButton* b = addButton(row, text, parent);
  b->setObjectName(QString::fromLatin1(id));
  return b;
}

std::filesystem::path localPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

long long typedNumber(const QString& text) {
  const std::string s = text.trimmed().toStdString();
  if (s.empty() || s.size() > 10 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  return std::atoll(s.c_str());
}

// "Cattura Impronta": "&Annulla" says that the capture is being stopped
// while the worker finishes its exchange with the module and ends it.
class CaptureDialog : public OperationDialog {
 public:
  CaptureDialog(Worker& worker, const Messages& messages, Worker::Routine routine, QWidget* parent)
      : OperationDialog(worker, messages, std::move(routine), QStringLiteral("Cattura Impronta"),
                        QStringLiteral("&Annulla"), OperationDialog::Display::Text, parent) {
    setObjectName(QStringLiteral("CaptureDialog"));
    progressText()->setText(QString::fromLatin1(kCaptureConnecting));
    disconnect(cancelButton(), &QPushButton::clicked, this, nullptr);
    connect(cancelButton(), &QPushButton::clicked, this, &CaptureDialog::reject);
  }

  void reject() override {
    if (workerRunning() && !cancelling_) {
      cancelling_ = true;
      cancelButton()->setEnabled(false);
      progressText()->setText(QString::fromLatin1(kCaptureCancelling));
    }
    OperationDialog::reject();
  }

 private:
  bool cancelling_ = false;
};

}  // namespace

std::optional<std::string> captureWithDeskReader(ProcessState& state, const Messages& messages, QWidget* parent) {
  if (!state.deskReaderReady) {
    DeskReaderDialog settings(state.deskReader, parent);
    if (settings.exec() != QDialog::Accepted) return std::nullopt;
    state.deskReaderReady = true;
  }
  Link link;
  if (!fillLinkFromRecord(state.deskReader, link.config, messages) || !link.open(messages, state.ports)) {
    state.deskReaderReady = false;
    return std::nullopt;
  }
  PortMap& ports = state.ports;
  auto reopenFast = [&messages, &ports](Link& l) {
    l.close();
    l.config.speed = 38400;
    return l.open(messages, ports);
  };
  CaptureResult result;
  CaptureDialog dialog(
      state.workers.general, messages, [&](Worker& w) { result = captureFingerprint(w, link, messages, reopenFast); },
      parent);
  dialog.exec();
  link.close();
  if (result.end == CaptureEnd::Failed) state.deskReaderReady = false;
  if (result.end != CaptureEnd::Captured) return std::nullopt;
  return result.digits;
}

// --- "Impronta Digitale" ---

FingerprintRecordDialog::FingerprintRecordDialog(FingerprintList& list, std::size_t index, const Messages& messages,
                                                 TemplateCapture capture, QWidget* parent)
    : GreyDialog(QStringLiteral("Impronta Digitale"), parent),
      list_(list),
      index_(index),
      messages_(messages),
      captureFn_(std::move(capture)) {
  auto* form = new QVBoxLayout;
  auto* row1 = new QHBoxLayout;
  row1->addWidget(new QLabel(QStringLiteral("Azienda:"), this));
  company_ = textEdit(2, this);
  row1->addWidget(company_);
  row1->addWidget(new QLabel(QStringLiteral("Matricola:"), this));
  personnel_ = textEdit(9, this);
  row1->addWidget(personnel_);
  form->addLayout(row1);
  auto* row2 = new QHBoxLayout;
  capture_ = addButton(row2, QStringLiteral("Cattura impronta"), this);
  form->addLayout(row2);
  CardButtons buttons = layOutCard(this, form);
  confirm_ = buttons.confirm;
  if (index_ < list_.size()) {
    const std::string& badge = list_.records()[index_].badge;
    company_->setText(QString::number(std::strtol(badge.substr(0, 2).c_str(), nullptr, 16)));
    personnel_->setText(QString::number(std::strtol(badge.substr(2).c_str(), nullptr, 16)));
  }
  connect(capture_, &QPushButton::clicked, this, &FingerprintRecordDialog::captureClicked);
  connect(confirm_, &QPushButton::clicked, this, &FingerprintRecordDialog::confirmClicked);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FingerprintRecordDialog::captureClicked() {
  auto digits = captureFn_(this);
  if (!digits || !validTemplate(*digits)) return;
  captured_ = std::move(digits);
  capture_->setText(QStringLiteral("Impronta presente"));
  capture_->setEnabled(false);
}

void FingerprintRecordDialog::confirmClicked() {
  const bool adding = index_ >= list_.size();
  if (adding && !captured_) {
    messages_.error(kNoCapturedTemplate);
    return;
  }
  const long long company = typedNumber(company_->text()), personnel = typedNumber(personnel_->text());
  if (company < 0 || company > 99) {
    messages_.error(kBadCompany);
    company_->setFocus();
    return;
  }
  if (personnel < 1 || personnel > 999999999) {
    messages_.error(kBadPersonnel);
    personnel_->setFocus();
    return;
  }
  std::string badge = badgeCode(static_cast<int>(company), static_cast<long>(personnel));
  const bool stored = adding ? list_.append(std::move(badge), *captured_)
                             : list_.update(index_, std::move(badge),
                                            captured_ ? std::optional<std::string_view>(*captured_) : std::nullopt);
  if (!stored) {
    messages_.error(kSaveFailed);
    return;
  }
  accept();
}

// --- "Elenco Impronte Digitali" ---

FingerprintListDialog::FingerprintListDialog(FingerprintList& list, ProcessState& state, const Messages& messages,
                                             QWidget* parent)
    : GreyDialog(QString::fromLatin1(kFingerprintsTitle), parent),
      list_(list),
      state_(state),
      messages_(messages),
      chooser_(chooseDataFile),
      capture_([this](QWidget* parent) { return captureWithDeskReader(state_, messages_, parent); }) {
  auto* layout = new QVBoxLayout(this);
  box_ = new QTreeWidget(this);
  box_->setObjectName(QStringLiteral("1054"));
  box_->setRootIsDecorated(false);
  box_->setColumnCount(2);
  box_->setHeaderLabels({QStringLiteral("Matricola"), QStringLiteral("Az.")});
  box_->setSelectionMode(QAbstractItemView::SingleSelection);
  box_->setMinimumSize(360, 260);
  layout->addWidget(box_);
  auto* edit = new QHBoxLayout;
  QPushButton* add = idButton(edit, QStringLiteral("&Nuovo"), "1055", this);
  QPushButton* modify = idButton(edit, QStringLiteral("&Modifica"), "1056", this);
  QPushButton* remove = idButton(edit, QStringLiteral("&Elimina"), "1057", this);
  QPushButton* removeAll = idButton(edit, QStringLiteral("Elimina &tutti"), "1061", this);
  layout->addLayout(edit);
  auto* files = new QHBoxLayout;
  QPushButton* load = idButton(files, QStringLiteral("&Leggi file"), "1058", this);
  QPushButton* save = idButton(files, QStringLiteral("&Salva file"), "1059", this);
  QPushButton* receive = idButton(files, QStringLiteral("&Ricevi da ..."), "1062", this);
  QPushButton* send = idButton(files, QStringLiteral("&Invia a ..."), "1060", this);
  layout->addLayout(files);
  auto* last = new QHBoxLayout;
  QPushButton* sortSend = idButton(last, QStringLiteral("&Ordina, salva e invia"), "1063", this);
  QPushButton* close = idButton(last, QStringLiteral("&Chiudi"), "2", this);
  layout->addLayout(last);

  const bool transfer = state_.connected && fingerprintsEnabledFor(state_.link.config.model);
  receive->setEnabled(transfer);
  send->setEnabled(transfer);
  sortSend->setEnabled(transfer);

  connect(add, &QPushButton::clicked, this, &FingerprintListDialog::addRecord);
  connect(modify, &QPushButton::clicked, this, &FingerprintListDialog::modifyRecord);
  connect(box_, &QTreeWidget::itemDoubleClicked, this, [this] { modifyRecord(); });
  connect(remove, &QPushButton::clicked, this, &FingerprintListDialog::removeRecord);
  connect(removeAll, &QPushButton::clicked, this, &FingerprintListDialog::removeAll);
  connect(load, &QPushButton::clicked, this, &FingerprintListDialog::loadFile);
  connect(save, &QPushButton::clicked, this, &FingerprintListDialog::saveFile);
  connect(receive, &QPushButton::clicked, this, &FingerprintListDialog::receive);
  connect(send, &QPushButton::clicked, this, [this] { this->send(false); });
  connect(sortSend, &QPushButton::clicked, this, &FingerprintListDialog::sortSaveSend);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  refill();
}

QPushButton* FingerprintListDialog::button(const char* id) const {
  return findChild<QPushButton*>(QString::fromLatin1(id));
}

void FingerprintListDialog::done(int result) {
  // The template files are temporary: closing removes them with the list.
  list_.clear();
  GreyDialog::done(result);
}

void FingerprintListDialog::refill(int row) {
  box_->clear();
  for (std::size_t i = 0; i < list_.size(); ++i) {
    const std::string& badge = list_.records()[i].badge;
    auto* item = new QTreeWidgetItem;
    item->setText(0, QStringLiteral("%1").arg(std::strtol(badge.substr(2).c_str(), nullptr, 16), 9, 10, QLatin1Char('0')));
    item->setText(1, QStringLiteral("%1").arg(std::strtol(badge.substr(0, 2).c_str(), nullptr, 16), 2, 10, QLatin1Char('0')));
    item->setData(0, Qt::UserRole, static_cast<int>(i));
    box_->addTopLevelItem(item);
  }
  if (row >= 0 && row < box_->topLevelItemCount()) box_->setCurrentItem(box_->topLevelItem(row));
}

int FingerprintListDialog::selectedIndex() const {
  const QModelIndexList rows = box_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  const int index = rows.front().data(Qt::UserRole).toInt();
  return index >= 0 && static_cast<std::size_t>(index) < list_.size() ? index : -1;
}

void FingerprintListDialog::addRecord() {
  if (list_.size() >= static_cast<std::size_t>(kFingerprintCapacity)) {
    messages_.error(kListFull);
    return;
  }
  FingerprintRecordDialog dialog(list_, list_.size(), messages_, capture_, this);
  if (dialog.exec() == QDialog::Accepted) refill(static_cast<int>(list_.size()) - 1);
}

void FingerprintListDialog::modifyRecord() {
  const int index = selectedIndex();
  if (index < 0) {
    messages_.error(kNoSelection);
    return;
  }
  FingerprintRecordDialog dialog(list_, static_cast<std::size_t>(index), messages_, capture_, this);
  if (dialog.exec() == QDialog::Accepted) refill(index);
}

void FingerprintListDialog::removeRecord() {
  const int index = selectedIndex();
  if (index < 0) {
    messages_.error(kNoSelection);
    return;
  }
  if (!messages_.confirm(kDeleteQuestion, kDeleteTitle, Icon::Warning)) return;
  list_.remove(static_cast<std::size_t>(index));
  refill(std::min(index, static_cast<int>(list_.size()) - 1));
}

void FingerprintListDialog::removeAll() {
  if (list_.empty()) {
    messages_.error(kNothingToDelete);
    return;
  }
  if (!messages_.confirm(kDeleteAllQuestion, kDeleteAllTitle, Icon::Warning)) return;
  list_.clear();
  refill();
}

void FingerprintListDialog::loadFile() {
  static LoadMode mode = LoadMode::Replace;
  LoadModeDialog choice(mode, this);
  if (choice.exec() != QDialog::Accepted) return;
  const int selected = selectedIndex();
  if (mode == LoadMode::Insert && selected < 0) {
    messages_.error(kNoSelection);
    return;
  }
  const QString path = chooser_(this, kOpenTitle, kTextFilter, false);
  if (path.isEmpty()) return;
  if (!loadFingerprintFile(localPath(path), state_.workingDirectory, mode, selected, list_, messages_,
                           state_.diagnostic))
    messages_.error(kLoadFailed);
  refill();
}

void FingerprintListDialog::saveFile() {
  const QString path = chooser_(this, kSaveTitle, kTextFilter, true);
  if (path.isEmpty()) return;
  if (!saveFingerprintFile(localPath(path), list_, messages_)) messages_.error(kSaveFailed);
}

void FingerprintListDialog::send(bool forcedClear) {
  Link& link = state_.link;
  const Messages& messages = messages_;
  if (!confirmFingerprintCapacity(link.config.model, list_.size(), messages)) return;
  const bool clearFirst = forcedClear || askClearFirst(messages);
  FingerprintList& list = list_;
  OperationDialog dialog(
      state_.workers.general, messages,
      [&list, &link, &messages, clearFirst](Worker& w) { sendFingerprints(w, link, messages, list, clearFirst); },
      QString::fromLatin1(kTransferTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setRange(0, std::max<int>(1, static_cast<int>(list_.size())));
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(QString::fromLatin1(kSendingText), &dialog));
  dialog.exec();
}

void FingerprintListDialog::receive() {
  Link& link = state_.link;
  const Messages& messages = messages_;
  FingerprintList& list = list_;
  OperationDialog dialog(
      state_.workers.general, messages, [&list, &link, &messages](Worker& w) { receiveFingerprints(w, link, messages, list); },
      QString::fromLatin1(kTransferTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setRange(0, kFingerprintsToRead + 1);
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(QString::fromLatin1(kReceivingText), &dialog));
  dialog.exec();
  refill();
}

void FingerprintListDialog::sortSaveSend() {
  if (list_.empty()) {
    messages_.error(kNoFingerprints);
    return;
  }
  PromptRequest q{kSortSendWarning, "Warning Message", Icon::Warning, Buttons::YesNo, Answer::No};
  if (messages_.ask(q) != Answer::Yes) return;
  list_.sortByPersonnel();
  refill();
  const QString path = chooser_(this, kSaveTitle, kTextFilter, true);
  if (path.isEmpty()) return;
  if (!saveFingerprintFile(localPath(path), list_, messages_)) {
    messages_.error(kSaveFailed);
    return;
  }
  send(true);
}

void registerFingerprintCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  window.setHandler(cmd::Fingerprints, [&window, &state, &messages] {
    FingerprintList list(state.workingDirectory);
    FingerprintListDialog dialog(list, state, messages, &window);
    dialog.exec();
  });
}

}  // namespace cfg::ui
