#include "maintenance/ui/maintenance_dialogs.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QPixmap>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/ui/main_window.h"

namespace cfg::ui {

QString chooseFileToOpen(QWidget* parent, const QString& title, const QString& filter) {
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

FirmwareDialog::FirmwareDialog(Worker& worker, const Messages& messages, const FirmwareJob& job, FirmwareRun& run,
                               QWidget* parent)
    : OperationDialog(
          worker, messages, [job, &run](Worker& w) { downloadFirmware(w, job, run); },
          QString::fromLatin1(kFirmwareDialogTitle), QStringLiteral("&Annulla"), Display::Bar, parent) {
  progressBar()->setRange(0, static_cast<int>(transferBlockCount(job.link.config, job.image)));
  progressBar()->setValue(0);
}

void runFirmwareDownload(ProcessState& state, const Messages& messages, FirmwareTarget target, QWidget* parent,
                         const FileChooser& choose) {
  QString path = choose(parent, QString::fromLatin1(kFirmwareFileTitle), QString::fromLatin1(kFirmwareFileFilter));
  if (path.isEmpty()) return;
  // Loaded afresh for every download, so a logo read meanwhile never mixes in.
  FirmwareImage image;
  if (!loadFirmwareFile(path.toStdString(), state.link.config.model, target, image)) {
    messages.error(kBadFirmwareFile);
    return;
  }
  FirmwareRun run;
  FirmwareJob job{state.link, messages, image, target};
  FirmwareDialog dialog(state.workers.general, messages, job, run, parent);
  dialog.exec();
}

LogoDialog::LogoDialog(ProcessState& state, const Messages& messages, LogoModel model, FileChooser choose,
                       QWidget* parent)
    : GreyDialog(QString::fromLatin1(kLogoDialogTitle), parent),
      state_(state),
      messages_(messages),
      model_(model),
      choose_(std::move(choose)) {
  const LogoGeometry& g = logoGeometry(model);
  auto* layout = new QVBoxLayout(this);
  picture_ = new QLabel(this);
  // The LX-K5's small display is shown twice as large.
  int scale = model == LogoModel::K5 ? 2 : 1;
  picture_->setFixedSize(g.width * scale, g.height * scale);
  picture_->setFrameShape(QFrame::Box);
  layout->addWidget(picture_, 0, Qt::AlignHCenter);
  auto* slotRow = new QHBoxLayout;
  slot1_ = new QRadioButton(QStringLiteral("Logo 1"), this);
  slot2_ = new QRadioButton(QStringLiteral("Logo 2"), this);
  slot1_->setChecked(true);
  slotRow->addWidget(slot1_);
  slotRow->addWidget(slot2_);
  layout->addLayout(slotRow);
  auto* buttons = new QHBoxLayout;
  read_ = addButton(buttons, QStringLiteral("&Leggi file"), this);
  send_ = addButton(buttons, QStringLiteral("&Invia a ..."), this);
  QPushButton* close = addButton(buttons, QStringLiteral("&Chiudi"), this);
  layout->addLayout(buttons);
  // Nothing to send until a bitmap is read: an empty buffer would write a black logo.
  send_->setEnabled(false);
  connect(read_, &QPushButton::clicked, this, [this] { readFile(); });
  connect(send_, &QPushButton::clicked, this, [this] { sendLogo(); });
  connect(close, &QPushButton::clicked, this, [this] { reject(); });
}

void LogoDialog::readFile() {
  const LogoGeometry& g = logoGeometry(model_);
  QString path = choose_(this, QString::fromLatin1(kLogoFileTitle), QString::fromLatin1(g.fileFilter));
  if (path.isEmpty()) return;
  LogoFile file;
  if (!readLogoFile(path.toStdString(), model_, file)) {
    messages_.error(kLogoReadFailed);
    return;
  }
  file_ = std::move(file);
  QImage image = QImage::fromData(file_.bytes.data(), static_cast<int>(file_.bytes.size()), "BMP");
  picture_->setPixmap(QPixmap::fromImage(image.scaled(picture_->size())));
  send_->setEnabled(true);
}

void LogoDialog::sendLogo() {
  if (!file_.loaded() || !state_.link.isOpen()) return;
  int slot = slot2_->isChecked() ? 2 : 1;
  LogoRun run;
  Link& link = state_.link;
  const Messages& messages = messages_;
  LogoModel model = model_;
  const LogoFile& file = file_;
  OperationDialog dialog(
      state_.workers.general, messages_,
      [&link, &messages, model, &file, slot, &run](Worker& w) { cfg::sendLogo(w, link, messages, model, file, slot, run); },
      QString::fromLatin1(kLogoSendTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  auto* text = new QLabel(QString::fromLatin1(kLogoSendText), &dialog);
  dialog.body()->insertWidget(0, text);
  dialog.progressBar()->setRange(0, logoGeometry(model_).progressRange);
  dialog.progressBar()->setValue(0);
  dialog.exec();
}

void registerMaintenanceCommands(MainWindow& window, ProcessState& state, Messages& messages, FileChooser choose) {
  QWidget* parent = &window;
  auto connected = [&state] { return state.connected && state.link.isOpen(); };
  const std::pair<int, FirmwareTarget> firmware[] = {{cmd::DownloadFirmware, FirmwareTarget::Terminal},
                                                     {cmd::FirmwareReader1, FirmwareTarget::Reader1},
                                                     {cmd::FirmwareReader2, FirmwareTarget::Reader2}};
  for (auto [id, target] : firmware)
    window.setHandler(id, [&state, &messages, parent, target, connected, choose] {
      if (connected()) runFirmwareDownload(state, messages, target, parent, choose);
    });
  window.setHandler(cmd::Logo, [&state, &messages, parent, connected, choose] {
    if (!connected()) return;
    std::optional<LogoModel> model = logoModelOf(state.link.config.model);
    if (!model) return;  // the menu offers the logo only to the LX-P2 and LX-K5
    LogoDialog dialog(state, messages, *model, choose, parent);
    dialog.exec();
  });
}

}  // namespace cfg::ui
