#include "cards/ui/card_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <cstdio>

#include "app/command_ids.h"
#include "app/registry.h"
#include "app/ui/main_window.h"
#include "app/ui/registry_dialogs.h"
#include "app/ui/text.h"
#include "cards/card_forms.h"
#include "tables/ui/user_dialogs.h"

namespace cfg::ui {

namespace {

using cards::FormField;

QString title(char letter) { return QStringLiteral("Inizializza Tessere MF - \"%1\"").arg(QChar(letter)); }

QLineEdit* readOnly(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setReadOnly(true);
  return e;
}

QString formatted(const char* format, auto value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, value);
  return QString::fromLatin1(buf);
}

QString trimmedName(const std::string& name) {
  std::string n = name;
  while (!n.empty() && n.back() == ' ') n.pop_back();
  return fromCp1252(n);
}

}  // namespace

CardDialog::CardDialog(char letter, ProcessState& state, const Messages& messages, QWidget* parent)
    : GreyDialog(title(letter), parent),
      letter_(letter),
      state_(state),
      messages_(messages),
      session_(std::make_unique<cards::CardSession>(letter)) {
  capture_ = [this](QWidget* parent) { return captureWithDeskReader(state_, messages_, parent); };
  chooser_ = [this](QWidget* parent) -> std::optional<std::pair<int, long>> {
    auto chosen = selectUser(state_, messages_, parent);
    if (!chosen) return std::nullopt;
    return std::make_pair(chosen->user.company, chosen->user.personnel);
  };
  auto* top = new QVBoxLayout(this);

  // " Dati letti "
  auto* readBox = new QGroupBox(QStringLiteral(" Dati letti "), this);
  auto* readGrid = new QGridLayout(readBox);
  QStringList readLabels;
  if (letter == '@') readLabels = {QStringLiteral("Tessera:")};
  if (letter == 'A')
    readLabels = {QStringLiteral("Impianto:"), QStringLiteral("Azienda matricola:"), QString(), QStringLiteral("Nome:"),
                  QStringLiteral("Info:")};
  if (letter == 'B')
    readLabels = {QStringLiteral("Tipo:"), QStringLiteral("Impianto:"), QStringLiteral("Matricola:"),
                  QStringLiteral("Nome:"), QStringLiteral("Dati:")};
  for (int i = 0; i < readLabels.size(); ++i) {
    read_.push_back(readOnly(readBox));
    readGrid->addWidget(new QLabel(readLabels[i], readBox), i, 0);
    readGrid->addWidget(read_.back(), i, 1);
  }
  top->addWidget(readBox);

  // " Impronte "
  auto* printBox = new QGroupBox(QStringLiteral(" Impronte "), this);
  auto* printRow = new QHBoxLayout(printBox);
  printRow->addWidget(new QLabel(QStringLiteral("Presenti:"), printBox));
  for (int i = 0; i < 5; ++i) {
    present_[i] = new QCheckBox(QString::number(i + 1), printBox);
    present_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    present_[i]->setFocusPolicy(Qt::NoFocus);
    present_[i]->setEnabled(i == 0);
    printRow->addWidget(present_[i]);
  }
  add_ = ui::addButton(printRow, QStringLiteral("&Aggiungi"), printBox);
  erase_ = ui::addButton(printRow, QStringLiteral("Elimina &tutte"), printBox);
  top->addWidget(printBox);

  // " Dati da scrivere "
  if (letter == 'A' || letter == 'B') {
    auto* writeBox = new QGroupBox(QStringLiteral(" Dati da scrivere "), this);
    auto* grid = new QGridLayout(writeBox);
    struct Field {
      const char* label;
      int length;
    };
    std::vector<Field> fields;
    if (letter == 'A')
      fields = {{"Impianto:", 4}, {"Azienda:", 2}, {"Matricola:", 9}, {"Nome:", 20}, {"Info:", 5}};
    else
      fields = {{"Tipo:", 3}, {"Impianto:", 4}, {"Matricola:", 10}, {"Nome:", 16}, {"Dati:", 12}};
    for (std::size_t i = 0; i < fields.size(); ++i) {
      write_.push_back(textEdit(fields[i].length, writeBox));
      grid->addWidget(new QLabel(QString::fromLatin1(fields[i].label), writeBox), static_cast<int>(i), 0);
      grid->addWidget(write_.back(), static_cast<int>(i), 1);
    }
    auto* row = new QHBoxLayout;
    if (letter == 'A') list_ = ui::addButton(row, QStringLiteral("&Elenco"), writeBox);
    writeButton_ = ui::addButton(row, QStringLiteral("&Scrivi"), writeBox);
    grid->addLayout(row, static_cast<int>(fields.size()), 0, 1, 2);
    top->addWidget(writeBox);
  }

  status_ = new QLabel(this);
  top->addWidget(status_);
  auto* bottom = new QHBoxLayout;
  if (letter == '@') writeButton_ = ui::addButton(bottom, QStringLiteral("&Inizializza"), this);
  QPushButton* close = ui::addButton(bottom, QStringLiteral("&Chiudi"), this);
  top->addLayout(bottom);

  connect(close, &QPushButton::clicked, this, &CardDialog::reject);
  connect(writeButton_, &QPushButton::clicked, this, &CardDialog::writeClicked);
  connect(add_, &QPushButton::clicked, this, &CardDialog::addClicked);
  connect(erase_, &QPushButton::clicked, this, &CardDialog::eraseClicked);
  if (list_) connect(list_, &QPushButton::clicked, this, &CardDialog::listClicked);
  progress_ = std::make_unique<QtProgress>(
      this, [this](const ProgressUpdate& u) { onRefresh(u); },
      [this] {
        // The worker ended by itself: the reader no longer answers.
        stopReader();
        if (session_->readerFailed()) state_.deskReaderReady = false;
        QDialog::reject();
      });
}

CardDialog::~CardDialog() { stopReader(); }

bool CardDialog::startReader() {
  if (!link_.isOpen()) {
    if (!fillLinkFromRecord(state_.deskReader, link_.config, messages_)) return false;
    if (!link_.open(messages_, state_.ports)) return false;
  }
  return state_.workers.general.start(
      *progress_, [this](Worker& w) { cards::runCardWorker(w, link_, messages_, *session_); }, messages_);
}

void CardDialog::stopReader() {
  stopWorker(state_.workers.general);
  link_.close();
}

void CardDialog::reject() {
  stopReader();
  QDialog::reject();
}

void CardDialog::onRefresh(const ProgressUpdate& update) {
  if (update.first == cards::kRefreshNoCard) clearCard();
  if (update.first == cards::kRefreshCardRead) showCard();
  if (update.first == cards::kRefreshStatus) status_->setText(fromCp1252(session_->status()));
}

void CardDialog::clearCard() {
  for (QLineEdit* e : read_) e->clear();
  for (int i = 0; i < 5; ++i) {
    present_[i]->setChecked(false);
    present_[i]->setEnabled(i == 0);
  }
}

void CardDialog::showCard() {
  const cards::CardView v = session_->view();
  clearCard();
  if (letter_ == '@') {
    const unsigned long number = std::strtoul(v.serial.c_str(), nullptr, 16);
    read_[0]->setText(formatted("%010lu", number));
  } else if (letter_ == 'A' && v.a) {
    read_[0]->setText(formatted("%04d", static_cast<int>(v.a->plant)));
    read_[1]->setText(formatted("%02d", static_cast<int>(v.a->company)));
    read_[2]->setText(formatted("%09lu", v.a->user));
    read_[3]->setText(trimmedName(v.a->name));
    read_[4]->setText(formatted("%05d", static_cast<int>(v.a->info)));
  } else if (letter_ == 'B' && v.b) {
    read_[0]->setText(formatted("%03d", static_cast<int>(v.b->type)));
    read_[1]->setText(formatted("%04d", static_cast<int>(v.b->plant)));
    read_[2]->setText(QString::fromStdString(v.b->code));
    read_[3]->setText(trimmedName(v.b->name));
    read_[4]->setText(QString::fromStdString(v.b->data));
  }
  for (int i = 0; i < 5; ++i) {
    present_[i]->setEnabled(i < v.offered);
    present_[i]->setChecked(i < v.present);
  }
}

void CardDialog::focusField(FormField field) {
  int i = 0;
  if (letter_ == 'A') {
    switch (field) {
      case FormField::Plant: i = 0; break;
      case FormField::Company: i = 1; break;
      case FormField::User: i = 2; break;
      case FormField::Info: i = 4; break;
      default: i = 3; break;
    }
  } else {
    switch (field) {
      case FormField::Type: i = 0; break;
      case FormField::Plant: i = 1; break;
      case FormField::Code: i = 2; break;
      case FormField::Data: i = 4; break;
      default: i = 3; break;
    }
  }
  write_[static_cast<std::size_t>(i)]->setFocus();
}

void CardDialog::writeClicked() {
  if (session_->pending() != cards::Operation::None) return;
  cards::Operation op = cards::Operation::Write;
  auto text = [this](int i) { return toCp1252(write_[static_cast<std::size_t>(i)]->text()); };
  if (letter_ == 'A') {
    cards::HolderA a;
    cards::FormCheck c = cards::checkFormA({text(0), text(1), text(2), text(4), text(3)}, a);
    if (!c.ok) {
      messages_.error(c.message);
      focusField(c.field);
      return;
    }
    session_->writeA = a;
  } else if (letter_ == 'B') {
    cards::HolderB b;
    cards::FormCheck c = cards::checkFormB({text(0), text(1), text(2), text(3), text(4)}, b);
    if (!c.ok) {
      messages_.error(c.message);
      focusField(c.field);
      return;
    }
    session_->writeB = b;
  }
  if (session_->view().serial.empty()) {
    messages_.error(cards::kNoCardPresent);
    return;
  }
  if (letter_ == 'A' && session_->view().family == cards::Family::F4x) {
    PromptRequest q{cards::kEraseRecordsQuestion, "Question Message", Icon::Question, Buttons::YesNo, Answer::No};
    if (messages_.ask(q) == Answer::Yes) op = cards::Operation::WriteAndEraseRecords;
  }
  if (!session_->request(op)) messages_.error(cards::kNoCardPresent);
}

void CardDialog::addClicked() {
  if (session_->pending() != cards::Operation::None) return;
  if (std::string refusal = session_->addRefusal(); !refusal.empty()) {
    messages_.error(refusal);
    return;
  }
  // The fingerprint module has a Link of its own: the card worker stops and
  // the reader's Link is closed while it works. The card is remembered
  // first: the template goes onto it, not onto one laid on the reader since.
  const std::string serial = session_->view().serial;
  stopReader();
  std::optional<std::string> digits = capture_(this);
  if (!startReader()) {
    state_.deskReaderReady = false;
    QDialog::reject();
    return;
  }
  if (!digits) return;
  session_->templateDigits = *digits;
  session_->request(cards::Operation::AddTemplate, serial);
}

void CardDialog::eraseClicked() {
  if (session_->pending() != cards::Operation::None) return;
  if (std::string refusal = session_->eraseRefusal(); !refusal.empty()) {
    messages_.error(refusal);
    return;
  }
  PromptRequest q{cards::kEraseAllQuestion, "Elimina tutte", Icon::Warning, Buttons::YesNo, Answer::No};
  if (messages_.ask(q) != Answer::Yes) return;
  session_->request(cards::Operation::EraseTemplates);
}

void CardDialog::listClicked() {
  auto chosen = chooser_(this);
  if (!chosen) return;
  write_[0]->setText(QStringLiteral("0001"));
  write_[1]->setText(formatted("%02d", chosen->first));
  write_[2]->setText(formatted("%09ld", chosen->second));
  write_[3]->clear();
  write_[4]->setText(QStringLiteral("00000"));
}

void registerCardCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  const std::pair<int, char> commands[] = {{cmd::CardsAt, '@'}, {cmd::CardsA, 'A'}, {cmd::CardsB, 'B'}};
  for (const auto& [id, letterValue] : commands) {
    const char letter = letterValue;
    window.setHandler(id, [&window, &state, &messages, letter] {
      if (!state.deskReaderReady) {
        DeskReaderDialog settings(state.deskReader, &window);
        if (settings.exec() != QDialog::Accepted) return;
        state.deskReaderReady = true;
      }
      CardDialog dialog(letter, state, messages, &window);
      if (!dialog.startReader()) {
        state.deskReaderReady = false;
        return;
      }
      dialog.exec();
      if (dialog.readerFailed()) state.deskReaderReady = false;
    });
  }
}

}  // namespace cfg::ui
