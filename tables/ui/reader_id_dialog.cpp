#include "tables/ui/reader_id_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/operation_dialog.h"
#include "app/ui/text.h"

namespace cfg::ui {

ReaderIdDialog::ReaderIdDialog(ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Scheda Identificazione Lettore"), parent), state_(state), messages_(messages) {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  auto field = [this, grid](const QString& label, int maxLength, const char* id) {
    QLineEdit* e = textEdit(maxLength, this);
    e->setObjectName(QString::fromLatin1(id));
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(e, row, 1);
    return e;
  };
  id_ = field(QStringLiteral("ID lettore:"), 10, "1729");
  description1_ = field(QStringLiteral("Descrizione 1:"), 20, "1732");
  description2_ = field(QStringLiteral("Descrizione 2:"), 20, "1733");
  layout->addLayout(grid);
  auto* row = new QHBoxLayout;
  receive_ = addButton(row, QStringLiteral("&Ricevi da ..."), this);
  send_ = addButton(row, QStringLiteral("&Invia a ..."), this);
  QPushButton* close = addButton(row, QStringLiteral("&Chiudi"), this);
  layout->addLayout(row);
  const bool connected = state_.connected;
  receive_->setEnabled(connected);
  send_->setEnabled(connected);
  connect(receive_, &QPushButton::clicked, this, &ReaderIdDialog::receive);
  connect(send_, &QPushButton::clicked, this, &ReaderIdDialog::send);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

TableEnd ReaderIdDialog::transfer(bool sending, bool& slotFound) {
  Link& link = state_.link;
  const Messages& messages = messages_;
  ReaderIdentity& identity = identity_;
  // Written by the worker, read here after the dialog has stopped it.
  TableEnd end = TableEnd::Stopped;
  OperationDialog dialog(
      state_.workers.general, messages,
      [&end, &slotFound, &identity, &link, &messages, sending](Worker& w) {
        if (sending) {
          end = sendReaderIdentity(w, link, messages, identity, slotFound);
        } else {
          end = receiveReaderIdentity(w, link, messages, identity);
          slotFound = identity.found;
        }
      },
      QString::fromLatin1(kTransferTitle), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar, this);
  dialog.progressBar()->setRange(0, kIdentitySlots);
  dialog.progressBar()->setValue(0);
  dialog.body()->insertWidget(0, new QLabel(QString::fromLatin1(sending ? kSendingText : kReceivingText), &dialog));
  dialog.exec();
  return end;
}

void ReaderIdDialog::receive() {
  const ReaderIdentity before = identity_;
  bool found = false;
  if (transfer(false, found) != TableEnd::Done || !found) {
    identity_ = before;  // a read cut short shows nothing half-read
    return;
  }
  id_->setText(QString::fromLatin1(identity_.id()));
  description1_->setText(fromCp1252(identity_.description1()));
  description2_->setText(fromCp1252(identity_.description2()));
}

void ReaderIdDialog::send() {
  if (!identity_.set(toCp1252(id_->text()), toCp1252(description1_->text()), toCp1252(description2_->text()))) {
    messages_.error(kBadReaderId);
    id_->setFocus();
    id_->selectAll();
    return;
  }
  bool found = false;
  transfer(true, found);
}

}  // namespace cfg::ui
