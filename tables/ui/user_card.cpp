#include "tables/ui/user_card.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cstdio>

#include "app/ui/text.h"

namespace cfg::ui {

namespace {

QLineEdit* digitsEdit(int maxLength, QWidget* parent) {
  QLineEdit* edit = textEdit(maxLength, parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  return edit;
}

std::string text(const QLineEdit* edit) { return toCp1252(edit->text()); }

unsigned number(const QLineEdit* edit) {
  bool ok = false;
  unsigned v = edit->text().trimmed().toUInt(&ok);
  return ok ? v : 0;
}

QString numberText(unsigned v) { return QString::number(v); }

// "dd/mm/yyyy" as a date the picker can show.
QDate dateOf(const std::string& stored) {
  if (stored.size() != 10) return {};
  return QDate::fromString(QString::fromStdString(stored), QStringLiteral("dd/MM/yyyy"));
}

const char* const kFieldNames[kImportFields] = {"Matricola:", "Pin-code:", "Scadenza:", "Scalare:",
                                                "Politica:",  "Dati extra 1:", "Dati extra 2:", "Azienda:"};
const int kFixedLimits[kImportFields] = {9, 4, 10, 4, 3, 3, 3, 2};
// The dialog's rows: company first, then the description's order.
const ImportField kRows[kImportFields] = {ImportField::Company, ImportField::Personnel, ImportField::Pin,
                                          ImportField::Expiry,  ImportField::Counter,   ImportField::Policy,
                                          ImportField::Extra1,  ImportField::Extra2};

}  // namespace

// --- "Scheda Utente" ---

UserCardDialog::UserCardDialog(const Messages& messages, const std::optional<UserRecord>& stored, QWidget* parent)
    : GreyDialog(QString::fromLatin1(kUserCardTitle), parent), messages_(messages) {
  company_ = digitsEdit(2, this);
  personnel_ = digitsEdit(9, this);
  pin_ = digitsEdit(4, this);
  expiry_ = new QDateEdit(this);
  expiry_->setCalendarPopup(true);
  expiry_->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
  counter_ = digitsEdit(4, this);
  policy_ = digitsEdit(3, this);
  extra1_ = digitsEdit(3, this);
  extra2_ = digitsEdit(3, this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Azienda:"), company_);
  form->addRow(QStringLiteral("Matricola:"), personnel_);
  form->addRow(QStringLiteral("Pin-code:"), pin_);
  form->addRow(QStringLiteral("Scadenza:"), expiry_);
  form->addRow(QStringLiteral("Scalare:"), counter_);
  form->addRow(QStringLiteral("Politica:"), policy_);
  auto* extras = new QHBoxLayout;
  extras->addWidget(extra1_);
  extras->addWidget(extra2_);
  form->addRow(QStringLiteral("Dati extra:"), extras);
  CardButtons buttons = layOutCard(this, form);
  confirm_ = buttons.confirm;

  expiry_->setDate(QDate::currentDate());
  if (stored) {
    UserForm f = formOfUser(*stored);
    company_->setText(QString::fromStdString(f.company));
    personnel_->setText(QString::fromStdString(f.personnel));
    pin_->setText(QString::fromStdString(f.pin));
    counter_->setText(QString::fromStdString(f.counter));
    policy_->setText(QString::fromStdString(f.policy));
    extra1_->setText(QString::fromStdString(f.extra1));
    extra2_->setText(QString::fromStdString(f.extra2));
    storedExpiry_ = stored->expiry;
    QDate date = dateOf(stored->expiry);
    if (date.isValid()) expiry_->setDate(date);
  }
  connect(expiry_, &QDateEdit::dateChanged, this, [this] { expiryChanged_ = true; });
  connect(buttons.confirm, &QPushButton::clicked, this, &UserCardDialog::confirm);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QLineEdit* UserCardDialog::edit(UserField field) const {
  switch (field) {
    case UserField::Company: return company_;
    case UserField::Personnel: return personnel_;
    case UserField::Pin: return pin_;
    case UserField::Counter: return counter_;
    case UserField::Policy: return policy_;
    case UserField::Extra1: return extra1_;
    case UserField::Extra2: return extra2_;
    case UserField::Expiry: break;
  }
  return nullptr;
}

void UserCardDialog::confirm() {
  UserForm f{text(company_), text(personnel_), text(pin_), text(counter_), text(policy_), text(extra1_),
             text(extra2_), {}};
  // A stored date the picker could not show (such as 31/02/2010) is kept as
  // it is unless the user picks another one.
  if (!storedExpiry_.empty() && !expiryChanged_ && !dateOf(storedExpiry_).isValid()) {
    f.expiry = storedExpiry_;
  } else {
    QDate d = expiry_->date();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day(), d.month(), d.year());
    f.expiry = buf;
  }
  UserFormCheck check = checkUserForm(f);
  if (!check.user) {
    messages_.error(check.message);
    if (check.field == UserField::Expiry)
      expiry_->setFocus();
    else
      edit(check.field)->setFocus();
    return;
  }
  user_ = *check.user;
  accept();
}

// --- "Importa Elenco Utenti" ---

UserImportDialog::UserImportDialog(const Messages& messages, ImportDescription& description,
                                   std::vector<std::string>& list, std::function<int()> capacity,
                                   UserFileChooser choose, QWidget* parent)
    : GreyDialog(QString::fromLatin1(kImportTitle), parent),
      messages_(messages),
      description_(description),
      list_(list),
      capacity_(std::move(capacity)),
      choose_(std::move(choose)) {
  auto* layout = new QVBoxLayout(this);
  auto* fileRow = new QHBoxLayout;
  file_ = new QLineEdit(this);
  fileRow->addWidget(new QLabel(QStringLiteral("File:"), this));
  fileRow->addWidget(file_);
  QPushButton* browse = addButton(fileRow, QStringLiteral("..."), this);
  layout->addLayout(fileRow);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Posizione"), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Lunghezza"), this), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Valore fisso"), this), 0, 3);
  int row = 1;
  for (ImportField f : kRows) {
    const auto i = static_cast<std::size_t>(f);
    position_[i] = digitsEdit(3, this);
    length_[i] = digitsEdit(3, this);
    fixed_[i] = textEdit(kFixedLimits[i], this);
    grid->addWidget(new QLabel(QString::fromLatin1(kFieldNames[i]), this), row, 0);
    grid->addWidget(position_[i], row, 1);
    grid->addWidget(length_[i], row, 2);
    grid->addWidget(fixed_[i], row, 3);
    ++row;
  }
  total_ = digitsEdit(3, this);
  grid->addWidget(new QLabel(QStringLiteral("Lunghezza totale riga:"), this), row, 0);
  grid->addWidget(total_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("(+CrLf)"), this), row, 2);
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  load_ = addButton(buttons, QStringLiteral("&Leggi Descr."), this);
  save_ = addButton(buttons, QStringLiteral("&Salva Descr."), this);
  run_ = addButton(buttons, QStringLiteral("&Esegui"), this);
  QPushButton* cancel = addButton(buttons, QStringLiteral("&Annulla"), this);
  layout->addLayout(buttons);

  if (description_.totalLength != 0) show(description_);
  connect(browse, &QPushButton::clicked, this, [this] {
    QString path = choose_(this, QString::fromLatin1(kImportFileTitle), QStringLiteral("Text File (*.txt)"), false);
    if (!path.isEmpty()) file_->setText(path);
  });
  connect(load_, &QPushButton::clicked, this, &UserImportDialog::loadDescription);
  connect(save_, &QPushButton::clicked, this, &UserImportDialog::saveDescription);
  connect(run_, &QPushButton::clicked, this, &UserImportDialog::run);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ImportDescription UserImportDialog::shown() const {
  ImportDescription d;
  for (std::size_t i = 0; i < kImportFields; ++i)
    d.fields[i] = {number(position_[i]), number(length_[i]), text(fixed_[i]).substr(0, kFixedValueMemory)};
  d.totalLength = number(total_);
  return d;
}

void UserImportDialog::show(const ImportDescription& d) {
  for (std::size_t i = 0; i < kImportFields; ++i) {
    position_[i]->setText(numberText(d.fields[i].position));
    length_[i]->setText(numberText(d.fields[i].length));
    fixed_[i]->setText(fromCp1252(d.fields[i].fixed));
  }
  total_->setText(numberText(d.totalLength));
}

bool UserImportDialog::checked(ImportDescription& out) {
  out = shown();
  ImportDescriptionCheck check = checkImportDescription(out);
  if (check.ok) return true;
  messages_.error(check.message);
  (check.total ? total_ : lengthEdit(check.field))->setFocus();
  return false;
}

void UserImportDialog::loadDescription() {
  QString path = choose_(this, QString::fromLatin1(kOpenDescriptionTitle), QString::fromLatin1(kDescriptionFilter), false);
  if (path.isEmpty()) return;
  auto d = loadImportDescription(path.toStdString());
  if (!d) {
    messages_.error(kLoadFailed);
    return;
  }
  description_ = *d;
  show(*d);
}

void UserImportDialog::saveDescription() {
  ImportDescription d;
  if (!checked(d)) return;
  QString path = choose_(this, QString::fromLatin1(kSaveDescriptionTitle), QString::fromLatin1(kDescriptionFilter), true);
  if (path.isEmpty()) return;
  if (!saveImportDescription(path.toStdString(), d)) messages_.error(kDescriptionNotSaved);
}

void UserImportDialog::run() {
  ImportDescription d;
  if (!checked(d)) return;
  description_ = d;
  if (!importUsers(file_->text().toStdString(), d, capacity_ ? capacity_() : kDefaultUserCapacity, list_)) {
    messages_.error(kImportFailed);
    return;
  }
  accept();
}

}  // namespace cfg::ui
