#include "link/ui/basic_dialogs.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/connection.h"
#include "app/ui/text.h"
#include "link/address_speed.h"
#include "link/commands.h"

namespace cfg::ui {

namespace {


// A check box that shows a bit and cannot be changed by the user.
QCheckBox* displayBox(const QString& text, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setAttribute(Qt::WA_TransparentForMouseEvents);
  box->setFocusPolicy(Qt::NoFocus);
  return box;
}

void focusField(QLineEdit* edit) {
  edit->setFocus();
  edit->selectAll();
}

}  // namespace

// --- "Lettura Stato Terminale" ---

StatusDialog::StatusDialog(Worker& worker, Link& link, const Messages& messages, StatusLabels labels,
                           QWidget* parent)
    : OperationDialog(
          worker, messages, [&link, &messages](Worker& w) { statusWorker(w, link, messages); },
          QStringLiteral("Lettura Stato Terminale"), QStringLiteral("&Chiudi"), Display::Custom, parent),
      labels_(std::move(labels)) {
  auto* grid = new QGridLayout;
  StatusDisplay shown = statusDisplay(labels_, StatusBytes{});
  for (int column = 0; column < 2; ++column)
    for (int row = 0; row < 8; ++row) {
      boxes_[column][row] = displayBox(fromCp1252(shown[column][row].label), this);
      grid->addWidget(boxes_[column][row], row, column);
    }
  body()->addLayout(grid);
}

void StatusDialog::showProgress(const ProgressUpdate& update) {
  auto bytes = parseStatusText(update.text);
  if (!bytes) return;
  StatusDisplay shown = statusDisplay(labels_, *bytes);
  for (int column = 0; column < 2; ++column)
    for (int row = 0; row < 8; ++row) boxes_[column][row]->setChecked(shown[column][row].checked);
}

// --- "Invio Comando Output" ---

OutputCommandDialog::OutputCommandDialog(Link& link, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Invio Comando Output"), parent), link_(link), messages_(messages) {
  channel_ = textEdit(2, this);
  duration_ = textEdit(3, this);
  on_ = new QRadioButton(QStringLiteral("ON"), this);
  off_ = new QRadioButton(QStringLiteral("OFF"), this);
  choice_ = new QButtonGroup(this);
  choice_->addButton(on_);
  choice_->addButton(off_);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Canale:"), channel_);
  form->addRow(QStringLiteral("Durata:"), duration_);
  auto* radios = new QHBoxLayout;
  radios->addWidget(on_);
  radios->addWidget(off_);
  form->addRow(radios);
  auto* buttons = new QHBoxLayout;
  send_ = addButton(buttons, QStringLiteral("&Invia"), this);
  QPushButton* close = addButton(buttons, QStringLiteral("&Chiudi"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);

  // ON/OFF and a duration exclude each other.
  connect(choice_, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool checked) {
    if (checked) duration_->clear();
  });
  connect(duration_, &QLineEdit::textEdited, this, [this] { clearChoice(); });
  connect(send_, &QPushButton::clicked, this, [this] { sendCommand(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void OutputCommandDialog::clearChoice() {
  choice_->setExclusive(false);
  on_->setChecked(false);
  off_->setChecked(false);
  choice_->setExclusive(true);
}

void OutputCommandDialog::sendCommand() {
  OutputChoice choice = on_->isChecked() ? OutputChoice::On : off_->isChecked() ? OutputChoice::Off
                                                                                : OutputChoice::Duration;
  CommandResult result =
      sendOutputCommand(link_, messages_, toCp1252(channel_->text()), choice, toCp1252(duration_->text()));
  if (result.badField == InputField::Channel) focusField(channel_);
  if (result.badField == InputField::Duration) focusField(duration_);
}

// --- "Cambia Indirizzo/Velocita`" ---

AddressSpeedDialog::AddressSpeedDialog(ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Cambia Indirizzo/Velocita`"), parent), state_(state), messages_(messages) {
  address_ = textEdit(3, this);
  speed_ = new QComboBox(this);
  for (const char* text : kSpeedTexts) speed_->addItem(QString::fromLatin1(text));

  const Registry& registry = state_.registry;
  if (registry.current >= 0 && static_cast<std::size_t>(registry.current) < registry.rows.size()) {
    const TerminalRecord& row = registry.rows[static_cast<std::size_t>(registry.current)];
    address_->setText(QString::fromStdString(addressFieldText(row.address)));
    // A speed outside the list selects nothing: "Modifica" then asks for one.
    speed_->setCurrentIndex(speedIndexOfText(row.speed).value_or(-1));
  }

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Indirizzo:"), address_);
  form->addRow(QStringLiteral("Velocita`:"), speed_);
  CardButtons cardButtons = layOutCard(this, form);
  confirm_ = cardButtons.confirm;
  QPushButton* cancel = cardButtons.cancel;
  connect(confirm_, &QPushButton::clicked, this, [this] { confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AddressSpeedDialog::confirm() {
  Registry& registry = state_.registry;
  if (registry.current < 0 || static_cast<std::size_t>(registry.current) >= registry.rows.size()) return;
  AddressSpeedResult result =
      changeAddressAndSpeed(state_.link, messages_, toCp1252(address_->text()), speed_->currentIndex());
  if (result.badField == InputField::Address) focusField(address_);
  if (result.badField == InputField::Speed) speed_->setFocus();
  if (!result) return;
  recordAddressSpeedChange(state_, messages_, result.address, result.speedIndex);
  done(1);
}

// --- "Polling Terminale" ---

PollingDialog::PollingDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent)
    : OperationDialog(
          worker, messages, [this, &link, &messages](Worker& w) { pollingWorker(w, link, messages, control_); },
          QStringLiteral("Polling Terminale"), QStringLiteral("&Chiudi"), Display::Custom, parent) {
  auto* bitsColumn = new QVBoxLayout;
  for (int bit = 7; bit >= 0; --bit) {
    bits_[bit] = displayBox(QString::fromLatin1(kPollBitLabels[bit]), this);
    bitsColumn->addWidget(bits_[bit]);
  }

  auto* receivedGroup = new QGroupBox(QStringLiteral(" Dati ricevuti "), this);
  received_ = new QLineEdit(receivedGroup);
  received_->setReadOnly(true);
  received_->setMinimumWidth(220);
  (new QVBoxLayout(receivedGroup))->addWidget(received_);

  auto* replyGroup = new QGroupBox(QStringLiteral(" Risposta "), this);
  replies_ = new QListWidget(replyGroup);
  for (const char* reply : kPollReplies) replies_->addItem(QString::fromLatin1(reply));
  replies_->setCurrentRow(0);
  (new QVBoxLayout(replyGroup))->addWidget(replies_);
  connect(replies_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) control_.selectReply(static_cast<std::size_t>(row));
  });

  auto* commandGroup = new QGroupBox(QStringLiteral(" Comandi "), this);
  auto* commandGrid = new QGridLayout(commandGroup);
  const PollButton all[] = {PollButton::Entry, PollButton::Exit,   PollButton::Open,
                            PollButton::Close, PollButton::Enable, PollButton::Disable};
  for (int i = 0; i < 6; ++i) {
    PollButton which = all[i];
    auto* button = new QPushButton(QString::fromLatin1(pollButtonText(which)), commandGroup);
    button->setAutoDefault(false);
    commandGrid->addWidget(button, i / 2, i % 2);
    commands_[i] = button;
    connect(button, &QPushButton::clicked, this, [this, which] { control_.press(which); });
  }

  auto* right = new QVBoxLayout;
  right->addWidget(receivedGroup);
  right->addWidget(replyGroup);
  right->addWidget(commandGroup);
  auto* row = new QHBoxLayout;
  row->addLayout(bitsColumn);
  row->addLayout(right);
  body()->addLayout(row);
}

void PollingDialog::showProgress(const ProgressUpdate& update) {
  auto shown = parsePollProgress(update.text);
  if (!shown) return;
  for (int bit = 0; bit < 8; ++bit) bits_[bit]->setChecked((shown->status >> bit) & 1);
  received_->setText(fromCp1252(shown->received));
}

// --- "Lettura/scrittura memoria" ---

MemoryViewDialog::MemoryViewDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Lettura/scrittura memoria"), parent),
      worker_(worker),
      link_(link),
      messages_(messages) {
  grid_ = new QTableWidget(16, 16, this);
  QStringList columns, rows;
  for (int i = 0; i < 16; ++i) {
    columns << QStringLiteral("%1").arg(i, 0, 16).toUpper();
    rows << QStringLiteral("%1").arg(i * 16, 2, 16, QLatin1Char('0')).toUpper();
  }
  grid_->setHorizontalHeaderLabels(columns);
  grid_->setVerticalHeaderLabels(rows);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  grid_->setMinimumSize(560, 420);

  pageEdit_ = textEdit(4, this);
  pageEdit_->setText(QStringLiteral("0000"));
  offset_ = textEdit(2, this);
  data_ = textEdit(8, this);

  auto* goRow = new QHBoxLayout;
  goRow->addWidget(new QLabel(QStringLiteral("Pagina:"), this));
  goRow->addWidget(pageEdit_);
  go_ = addButton(goRow, QStringLiteral("Vai a ..."), this);
  goRow->addStretch();
  auto* writeRow = new QHBoxLayout;
  writeRow->addWidget(new QLabel(QStringLiteral("Offset:"), this));
  writeRow->addWidget(offset_);
  writeRow->addWidget(new QLabel(QStringLiteral("Dato:"), this));
  writeRow->addWidget(data_);
  write_ = addButton(writeRow, QStringLiteral("Modifica"), this);
  writeRow->addStretch();
  QPushButton* close = addButton(writeRow, QStringLiteral("&Chiudi"), this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(grid_);
  layout->addLayout(goRow);
  layout->addLayout(writeRow);
  connect(go_, &QPushButton::clicked, this, [this] { goTo(); });
  connect(write_, &QPushButton::clicked, this, [this] { writeGroup(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  showPage();
  QMetaObject::invokeMethod(this, [this] { readPage(0); }, Qt::QueuedConnection);
}

void MemoryViewDialog::readPage(std::uint16_t page) {
  // The worker fills its own page; the grid takes it once the worker has stopped.
  MemoryPage read;
  read.page = page;
  OperationDialog progress(
      worker_, messages_, [this, page, &read](Worker& w) { readMemoryPage(w, link_, messages_, page, read); },
      windowTitle(), QStringLiteral("&Annulla"), OperationDialog::Display::Bar, this);
  progress.progressBar()->setRange(0, 64);
  progress.exec();
  page_ = read;
  pageEdit_->setText(QStringLiteral("%1").arg(page, 4, 16, QLatin1Char('0')).toUpper());
  showPage();
}

void MemoryViewDialog::goTo() {
  auto page = parsePageText(messages_, toCp1252(pageEdit_->text()));
  if (!page) {
    focusField(pageEdit_);
    return;
  }
  readPage(*page);
}

void MemoryViewDialog::writeGroup() {
  CommandResult result =
      writeMemoryGroup(link_, messages_, page_, toCp1252(offset_->text()), toCp1252(data_->text()));
  if (result.badField == InputField::Offset) focusField(offset_);
  if (result.badField == InputField::Data) focusField(data_);
  if (result) showPage();
}

void MemoryViewDialog::showPage() {
  for (int i = 0; i < 256; ++i) {
    // A group that was not read (a failed or stopped reading) shows "--".
    QString text = page_.known[static_cast<std::size_t>(i / 4)]
                       ? QStringLiteral("%1").arg(page_.bytes[static_cast<std::size_t>(i)], 2, 16, QLatin1Char('0')).toUpper()
                       : QStringLiteral("--");
    QTableWidgetItem* item = grid_->item(i / 16, i % 16);
    if (!item) {
      item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      grid_->setItem(i / 16, i % 16, item);
    }
    item->setText(text);
  }
}

// --- "Comando diretto" ---

DirectCommandDialog::DirectCommandDialog(Link& link, const Messages& messages, QWidget* parent)
    : GreyDialog(QStringLiteral("Comando diretto"), parent), link_(link), messages_(messages) {
  command_ = textEdit(static_cast<int>(kDirectCommandMax), this);
  command_->setMinimumWidth(260);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Comando:"), command_);
  auto* buttons = new QHBoxLayout;
  send_ = addButton(buttons, QStringLiteral("&Invia a ..."), this);
  QPushButton* close = addButton(buttons, QStringLiteral("&Chiudi"), this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  connect(send_, &QPushButton::clicked, this, [this] {
    sendDirectCommand(link_, messages_, toCp1252(command_->text()));
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace cfg::ui
