#include "automation/ui/batch_dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/text.h"
#include "link/bt_system.h"
#include "link/handheld_scan.h"
#include "tables/table_engine.h"

namespace cfg::ui {

namespace {

inline constexpr const char* kEraseWarning =
    "ATTENZIONE !\nTutte le registrazioni presenti nella memoria dei terminali verranno eliminate.\n"
    "Le registrazioni cancellate non saranno pi\xF9 recuperabili !\n\nContinuare ?";
inline constexpr const char* kWriteFailed = "Errore: scrittura file non riuscita.";

// The editor's operations, in the order of their check boxes.
struct Operation {
  std::uint32_t bit;
  const char* label;
};
const Operation kOperations[] = {
    {batchop::Acquire, "Acquisizione registrazioni"},
    {batchop::SetClock, "Invio data e ora"},
    {batchop::EraseRecords, "Cancellazione registrazioni"},
    {batchop::ClearJustifications, "Cancella tabella giustificativi"},
    {batchop::SendJustifications, "Invio tabella giustificativi"},
    {batchop::ClearSites, "Cancella tabella cantieri"},
    {batchop::SendSites, "Invio tabella cantieri"},
    {batchop::ClearActivities, "Cancella tabella attivit\xE0"},
    {batchop::SendActivities, "Invio tabella attivit\xE0"},
    {batchop::AcquireProduction, "Acq. registrazioni produzione"},
    {batchop::ClearProgram, "Cancella programma prod."},
    {batchop::SendProgram, "Invio programma produzione"},
    {batchop::ClearProductionTables, "Cancella tabelle produzione"},
    {batchop::SendProductionTables, "Invio tabelle produzione"},
};

QLabel* field(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);  // names come from the handhelds
  label->setMinimumWidth(260);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Sunken);
  return label;
}

}  // namespace

QString chooseBatchFile(QWidget* parent, bool save, const QString& title, const QString& filter) {
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("cmd"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

// --- the editor ---

BatchEditorDialog::BatchEditorDialog(BatchSettings& settings, const Messages& messages, BatchFileChooser choose,
                                     QWidget* parent)
    : GreyDialog(QStringLiteral("Imposta per Tutti"), parent),
      settings_(settings),
      messages_(messages),
      choose_(std::move(choose)) {
  auto* layout = new QVBoxLayout(this);
  auto* connection = new QGroupBox(QStringLiteral("Collegamento"), this);
  auto* radios = new QHBoxLayout(connection);
  btSystem_ = new QRadioButton(QStringLiteral("Bluetooth Microsoft"), connection);
  btVendor_ = new QRadioButton(QStringLiteral("Bluetooth Widcomm"), connection);
  usb_ = new QRadioButton(QStringLiteral("USB"), connection);
  for (QRadioButton* r : {btSystem_, btVendor_, usb_}) radios->addWidget(r);
  layout->addWidget(connection);

  auto* operations = new QGroupBox(QStringLiteral("Operazioni"), this);
  auto* grid = new QGridLayout(operations);
  int i = 0;
  for (const Operation& op : kOperations) {
    auto* box = new QCheckBox(fromCp1252(op.label), operations);
    grid->addWidget(box, i % 7, i / 7);
    operations_.emplace_back(op.bit, box);
    ++i;
  }
  layout->addWidget(operations);
  background_ = new QCheckBox(QStringLiteral("Background"), this);
  layout->addWidget(background_);

  auto* row = new QHBoxLayout;
  read_ = addButton(row, QStringLiteral("&Leggi file"), this);
  save_ = addButton(row, QStringLiteral("&Salva file"), this);
  close_ = addButton(row, QStringLiteral("&Chiudi"), this);
  layout->addLayout(row);
  connect(read_, &QPushButton::clicked, this, [this] { readFile(); });
  connect(save_, &QPushButton::clicked, this, [this] { saveFile(); });
  connect(close_, &QPushButton::clicked, this, [this] { reject(); });
  show(settings_);
}

QCheckBox* BatchEditorDialog::operationBox(std::uint32_t bit) const {
  for (const auto& [b, box] : operations_)
    if (b == bit) return box;
  return nullptr;
}

void BatchEditorDialog::show(const BatchSettings& s) {
  if (s.connection & kBatchUsb) usb_->setChecked(true);
  else if (s.connection & kBatchBtVendor) btVendor_->setChecked(true);
  else btSystem_->setChecked(true);  // also when no connection is set
  for (const auto& [bit, box] : operations_) box->setChecked((s.mask & bit) != 0);
  background_->setChecked(s.background());
}

BatchSettings BatchEditorDialog::fromControls() const {
  BatchSettings s;
  s.connection = usb_->isChecked() ? kBatchUsb : btVendor_->isChecked() ? kBatchBtVendor : kBatchBtSystem;
  if (background_->isChecked()) s.connection |= kBatchBackground;
  for (const auto& [bit, box] : operations_)
    if (box->isChecked()) s.mask |= bit;
  return s;
}

void BatchEditorDialog::readFile() {
  QString path = choose_(this, false, QString::fromLatin1(kOpenBatchTitle), QString::fromLatin1(kBatchFilter));
  if (path.isEmpty()) return;
  std::optional<BatchSettings> read = readBatchFile(path.toStdString());
  if (!read) {
    settings_.mask = 0;  // reading clears the mask first
    messages_.error(kLoadFailed);
    return;
  }
  settings_ = *read;
  show(settings_);
}

void BatchEditorDialog::saveFile() {
  BatchSettings s = fromControls();
  if ((s.mask & batchop::EraseRecords) &&
      !messages_.confirm(kEraseWarning, kWarningTitle, Icon::Warning))
    return;
  QString path = choose_(this, true, QString::fromLatin1(kSaveBatchTitle), QString::fromLatin1(kBatchFilter));
  if (path.isEmpty()) return;
  settings_ = s;
  if (!writeBatchFile(path.toStdString(), s)) {
    messages_.error(kWriteFailed);
    return;
  }
  accept();
}

// --- the progress dialog ---

BatchProgressDialog::BatchProgressDialog(Worker& worker, const Messages& messages, Worker::Routine executor,
                                         std::string batchDirectory, QWidget* parent)
    : OperationDialog(worker, messages, std::move(executor), QString::fromLatin1(kBatchProgressTitle),
                      QStringLiteral("&Annulla"), Display::Custom, parent),
      directory_(std::move(batchDirectory)) {
  auto* form = new QFormLayout;
  terminal_ = field(this);
  reference_ = field(this);
  status_ = field(this);
  form->addRow(QStringLiteral("Terminale:"), terminal_);
  form->addRow(QStringLiteral("Riferimento:"), reference_);
  form->addRow(QStringLiteral("Stato:"), status_);
  body()->addLayout(form);
}

void BatchProgressDialog::showProgress(const ProgressUpdate& update) {
  QLabel* target = update.first == kBatchFieldTerminal    ? terminal_
                   : update.first == kBatchFieldReference ? reference_
                   : update.first == kBatchFieldStatus    ? status_
                                                          : nullptr;
  if (!target) return;
  const unsigned value = static_cast<unsigned>(update.second);
  target->setText(fromCp1252(batchStatusText(static_cast<int>(value & 0xFFFF), value >> 16, directory_, update.text)));
}

// --- the commands ---

void registerBatchCommands(MainWindow& window, ProcessState& state, Messages& messages, BatchFileChooser choose) {
  // The settings the editor shows: the last ones read, saved or run.
  auto settings = std::make_shared<BatchSettings>();
  MainWindow* w = &window;

  window.setHandler(cmd::BatchEditor, [w, settings, &messages, choose] {
    BatchEditorDialog editor(*settings, messages, choose, w);
    editor.exec();
  });
  window.setHandler(cmd::ChooseBatch, [w, &state, choose] {
    QString path = choose(w, false, QString::fromLatin1(kOpenBatchTitle), QString::fromLatin1(kBatchFilter));
    if (path.isEmpty()) return;
    state.batchPath = path.toStdString();  // before the run is posted
    w->postCommand(cmd::RunBatch);
  });
  // Only one batch runs at a time: a run posted while one waits in the
  // background (the scheduler's) is not started inside it.
  auto running = std::make_shared<bool>(false);
  window.hooks().runBatch = [w, settings, running, &state, &messages] {
    if (*running) return;
    *running = true;
    BatchRunHooks hooks;
    hooks.searchDialog = [w, &state, &messages](bool usb, Worker::Routine scan) {
      OperationDialog search(state.workers.handheldScan, messages, std::move(scan),
                             QString::fromLatin1(usb ? kUsbScanTitle : kBtScanTitle), QStringLiteral("&Annulla"),
                             OperationDialog::Display::Text, w);
      search.progressText()->setText(QString::fromLatin1(usb ? kUsbScanText : kBtScanText));
      search.exec();
    };
    hooks.progressDialog = [w, &state, &messages](Worker::Routine executor, const std::string& directory) {
      BatchProgressDialog progress(state.workers.batch, messages, std::move(executor), directory, w);
      progress.exec();
    };
    hooks.hideWindow = [w] { w->hide(); };
    hooks.whileWaiting = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    BatchRunResult result = runBatchFile(state, messages, hooks);
    if (result.read) *settings = result.settings;
    *running = false;
  };
}

}  // namespace cfg::ui
