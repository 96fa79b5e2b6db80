#include "tables/ui/record_dialogs.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/text.h"
#include "tables/ui/reader_id_dialog.h"

namespace cfg::ui {

namespace {

std::string typed(const QLineEdit* edit) { return toCp1252(edit->text()); }
void show(QLineEdit* edit, const std::string& text) { edit->setText(fromCp1252(text)); }

DayFlags daysOf(const std::vector<QCheckBox*>& boxes) {
  DayFlags d{};
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = boxes[i]->isChecked();
  return d;
}
void showDays(const std::vector<QCheckBox*>& boxes, const DayFlags& d) {
  for (std::size_t i = 0; i < d.size(); ++i) boxes[i]->setChecked(d[i]);
}

std::optional<std::string> run(RecordDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.record();
}

// --- one function per dialog ---

std::optional<std::string> policyDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Fascia Oraria"), messages, parent);
  QLineEdit* code = d.addEdit(QStringLiteral("Politica:"), 3, "code");
  QLineEdit* from = d.addEdit(QStringLiteral("Dalle:"), 5, "from");
  QLineEdit* to = d.addEdit(QStringLiteral("alle:"), 5, "to");
  auto days = d.addDays();
  if (!current.empty()) {
    PolicyForm f = policyFormOf(current);
    show(code, f.code);
    show(from, f.from);
    show(to, f.to);
    showDays(days, f.days);
  }
  d.finish([=] { return checkPolicy(PolicyForm{typed(code), typed(from), typed(to), daysOf(days)}); },
           {code, from, to, days[0]});
  return run(d);
}

std::optional<std::string> sirenDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Fascia Oraria"), messages, parent);
  QLineEdit* channel = d.addEdit(QStringLiteral("Canale:"), 1, "channel");
  QLineEdit* time = d.addEdit(QStringLiteral("Ora:"), 5, "time");
  auto days = d.addDays();
  QLineEdit* duration = d.addEdit(QStringLiteral("Durata:"), 2, "duration");
  // "ON" and "OFF": at most one, and a second click takes it back (the duration counts).
  auto* on = new QRadioButton(QStringLiteral("ON"), &d);
  auto* off = new QRadioButton(QStringLiteral("OFF"), &d);
  on->setObjectName(QStringLiteral("on"));
  off->setObjectName(QStringLiteral("off"));
  for (QRadioButton* r : {on, off}) r->setAutoExclusive(false);
  QObject::connect(on, &QRadioButton::toggled, off, [off](bool checked) {
    if (checked) off->setChecked(false);
  });
  QObject::connect(off, &QRadioButton::toggled, on, [on](bool checked) {
    if (checked) on->setChecked(false);
  });
  auto* actions = new QHBoxLayout;
  actions->addWidget(on);
  actions->addWidget(off);
  actions->addStretch();
  d.grid()->addLayout(actions, d.grid()->rowCount(), 1);
  if (!current.empty()) {
    SirenForm f = sirenFormOf(current);
    show(channel, f.channel);
    show(time, f.time);
    showDays(days, f.days);
    show(duration, f.duration);
    on->setChecked(f.on);
    off->setChecked(f.off);
  }
  d.finish(
      [=] {
        SirenForm f;
        f.channel = typed(channel);
        f.time = typed(time);
        f.days = daysOf(days);
        f.duration = typed(duration);
        f.on = on->isChecked();
        f.off = off->isChecked();
        return checkSiren(f);
      },
      {channel, time, days[0], duration});
  return run(d);
}

std::optional<std::string> messageDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Messaggio Utente"), messages, parent);
  QLineEdit* company = d.addEdit(QStringLiteral("Azienda:"), 2, "company");
  QLineEdit* person = d.addEdit(QStringLiteral("Matricola:"), 9, "person");
  QLineEdit* text = d.addEdit(QStringLiteral("Messaggio:"), 16, "text");
  if (!current.empty()) {
    MessageForm f = messageFormOf(current);
    show(company, f.company);
    show(person, f.person);
    show(text, f.text);
  }
  d.finish([=] { return checkMessage(MessageForm{typed(company), typed(person), typed(text)}); },
           {company, person, text});
  return run(d);
}

std::optional<std::string> exitDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Verso Timbratura di Uscita"), messages, parent);
  QLineEdit* from = d.addEdit(QStringLiteral("Dalle:"), 5, "from");
  QLineEdit* to = d.addEdit(QStringLiteral("alle:"), 5, "to");
  auto days = d.addDays();
  if (!current.empty()) {
    ExitForm f = exitFormOf(current);
    show(from, f.from);
    show(to, f.to);
    showDays(days, f.days);
  }
  d.finish([=] { return checkExit(ExitForm{typed(from), typed(to), daysOf(days)}); }, {from, to, days[0]});
  return run(d);
}

std::optional<std::string> codeDialog(const QString& title, int codeLength, bool site, const std::string& current,
                                      const Messages& messages, QWidget* parent) {
  RecordDialog d(title, messages, parent);
  QLineEdit* code = d.addEdit(QStringLiteral("Codice:"), codeLength, "code");
  QLineEdit* text = d.addEdit(QStringLiteral("Descrizione:"), 16, "text");
  if (!current.empty()) {
    CodeForm f = site ? siteFormOf(current) : justificationFormOf(current);
    show(code, f.code);
    show(text, f.text);
  }
  d.finish(
      [=] {
        CodeForm f{typed(code), typed(text)};
        return site ? checkSite(f) : checkJustification(f);
      },
      {code, text});
  return run(d);
}

std::optional<std::string> holidayDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Festivita`"), messages, parent);
  QLineEdit* day = d.addEdit(QStringLiteral("Giorno:"), 5, "day");
  show(day, current);
  d.finish([=] { return checkHoliday(typed(day)); }, {day});
  return run(d);
}

std::optional<std::string> itemDialog(const std::string& current, const Messages& messages, QWidget* parent) {
  RecordDialog d(QStringLiteral("Elemento in Tabella"), messages, parent);
  QLineEdit* code = d.addEdit(QStringLiteral("Codice:"), 3, "1330");
  QLineEdit* text = d.addEdit(QStringLiteral("Testo:"), 16, "1544");
  QLineEdit* value = d.addEdit(QStringLiteral("Valore:"), 15, "1331");
  if (!current.empty()) {
    ItemForm f = itemFormOf(current);
    show(code, f.code);
    show(text, f.text);
    show(value, f.value);
  }
  d.finish([=] { return checkItem(ItemForm{typed(code), typed(text), typed(value)}); }, {code, text, value});
  return run(d);
}

std::optional<std::string> programDialog(const std::string& current, const DescriptorList& list, int index,
                                         const Messages& messages, QWidget* parent,
                                         const std::function<void(QWidget*)>& openItems) {
  using Op = ProgramOperation;
  RecordDialog d(QStringLiteral("Linea di Programma"), messages, parent);
  QLineEdit* line = d.addEdit(QStringLiteral("Linea:"), 5, "1543");
  QLineEdit* text = d.addEdit(QStringLiteral("Testo:"), 16, "1544");

  QGridLayout* grid = d.grid();
  auto* group = new QButtonGroup(&d);
  struct Choice {
    Op op;
    const char* text;
  };
  const Choice choices[] = {{Op::Constant, "costante"},     {Op::Marker, "marker 'a capo'"},
                            {Op::Reader, "lettore"},        {Op::GotoList, "goto-list"},
                            {Op::Table, "tabella"},         {Op::Goto, "goto diretto"},
                            {Op::Buzzer, "buzzer"},         {Op::Display, "display"}};
  std::vector<std::pair<QRadioButton*, Op>> radios;
  auto sideEdit = [&d](const char* label, int maxLength, const char* name, QHBoxLayout* row) {
    row->addWidget(new QLabel(QString::fromLatin1(label), &d));
    QLineEdit* e = textEdit(maxLength, &d);
    e->setObjectName(QString::fromLatin1(name));
    row->addWidget(e);
    return e;
  };
  QLineEdit* tableCode = nullptr;
  QLineEdit* gotoLine = nullptr;
  QLineEdit* time = nullptr;
  for (const Choice& c : choices) {
    auto* row = new QHBoxLayout;
    auto* radio = new QRadioButton(QString::fromLatin1(c.text), &d);
    group->addButton(radio);
    radios.emplace_back(radio, c.op);
    row->addWidget(radio);
    if (c.op == Op::Table) tableCode = sideEdit("codice tabella", 3, "1545", row);
    if (c.op == Op::Goto) gotoLine = sideEdit("linea", 5, "1549", row);
    if (c.op == Op::Display) time = sideEdit("tempo (dec)", 5, "1261", row);
    row->addStretch();
    grid->addLayout(row, grid->rowCount(), 1);
  }
  // "tabella" and "goto-list" share the table code.
  QPushButton* tables = new QPushButton(QStringLiteral("&Tabelle"), &d);
  tables->setAutoDefault(false);
  grid->addWidget(tables, grid->rowCount(), 1, Qt::AlignLeft);
  QObject::connect(tables, &QPushButton::clicked, &d, [&d, openItems] {
    if (openItems) openItems(&d);
  });

  if (!current.empty()) {
    ProgramForm f = programFormOf(current);
    show(line, f.line);
    show(text, f.text);
    show(tableCode, f.tableCode);
    show(gotoLine, f.gotoLine);
    show(time, f.time);
    for (auto& [radio, op] : radios) radio->setChecked(op == f.operation);
  }
  const std::vector<std::string>& program = list.records();
  QRadioButton* firstRadio = radios.front().first;
  d.finish(
      [=, &program] {
        ProgramForm f;
        f.line = typed(line);
        f.text = typed(text);
        f.tableCode = typed(tableCode);
        f.gotoLine = typed(gotoLine);
        f.time = typed(time);
        for (const auto& choice : radios)
          if (choice.first->isChecked()) f.operation = choice.second;
        return checkProgramLine(f, program, index);
      },
      {line, text, firstRadio, tableCode, gotoLine, time});
  return run(d);
}

}  // namespace

// --- RecordDialog ---

RecordDialog::RecordDialog(const QString& title, const Messages& messages, QWidget* parent)
    : GreyDialog(title, parent), messages_(messages), grid_(new QGridLayout) {
  setModal(true);
}

QLineEdit* RecordDialog::addEdit(const QString& label, int maxLength, const char* name) {
  QLineEdit* edit = textEdit(maxLength, this);
  edit->setObjectName(QString::fromLatin1(name));
  const int row = grid_->rowCount();
  grid_->addWidget(new QLabel(label, this), row, 0);
  grid_->addWidget(edit, row, 1);
  return edit;
}

std::vector<QCheckBox*> RecordDialog::addDays() {
  static const char* const kDays[] = {"L", "M", "M", "G", "V", "S", "D", "F"};
  std::vector<QCheckBox*> boxes;
  auto* row = new QHBoxLayout;
  for (int i = 0; i < 8; ++i) {
    auto* box = new QCheckBox(QString::fromLatin1(kDays[i]), this);
    box->setObjectName(QStringLiteral("day%1").arg(i));
    row->addWidget(box);
    boxes.push_back(box);
  }
  row->addStretch();
  const int at = grid_->rowCount();
  grid_->addWidget(new QLabel(QStringLiteral("Attiva:"), this), at, 0);
  grid_->addLayout(row, at, 1);
  return boxes;
}

void RecordDialog::finish(std::function<RecordCheck()> check, std::vector<QWidget*> fields) {
  check_ = std::move(check);
  fields_ = std::move(fields);
  CardButtons buttons = layOutCard(this, grid_);
  confirm_ = buttons.confirm;
  connect(confirm_, &QPushButton::clicked, this, &RecordDialog::confirm);
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RecordDialog::confirm() {
  RecordCheck c = check_();
  if (!c.ok()) {
    messages_.error(c.error);
    if (c.field >= 0 && static_cast<std::size_t>(c.field) < fields_.size() && fields_[c.field]) {
      fields_[static_cast<std::size_t>(c.field)]->setFocus();
      if (auto* edit = qobject_cast<QLineEdit*>(fields_[static_cast<std::size_t>(c.field)])) edit->selectAll();
    }
    return;
  }
  record_ = std::move(c.record);
  accept();
}

// --- the editors and lists ---

std::optional<std::string> editRecord(TableId table, const std::string& current, const DescriptorList& list,
                                      int index, const Messages& messages, QWidget* parent,
                                      std::function<void(QWidget*)> openItems) {
  switch (table) {
    case TableId::Policies: return policyDialog(current, messages, parent);
    case TableId::Sirens: return sirenDialog(current, messages, parent);
    case TableId::Messages: return messageDialog(current, messages, parent);
    case TableId::ExitDirection: return exitDialog(current, messages, parent);
    case TableId::Justifications:
      return codeDialog(QStringLiteral("Giustificativo"), 5, false, current, messages, parent);
    case TableId::Holidays: return holidayDialog(current, messages, parent);
    case TableId::Sites: return codeDialog(QStringLiteral("Cantiere"), 10, true, current, messages, parent);
    case TableId::Activities:
      return codeDialog(fromCp1252("Attivit\xE0 commessa"), 10, true, current, messages, parent);
    case TableId::ProductionProgram: return programDialog(current, list, index, messages, parent, openItems);
    case TableId::ProductionTables: return itemDialog(current, messages, parent);
    case TableId::Users: break;  // "Scheda Utente" (user_dialogs.h), on its own list
  }
  return std::nullopt;
}

TableListDialog::RecordEditor recordEditor(TableId table, ProcessState& state, const Messages& messages,
                                           const TableListDialog::FileChooser& chooser) {
  return [table, &state, &messages, chooser](QWidget* parent, int index, RecordMode mode) {
    DescriptorList& list = processList(table);
    if (index < 0 || index > list.count() || (mode == RecordMode::Modify && index == list.count())) return false;
    const std::string current =
        mode == RecordMode::Modify ? list.records()[static_cast<std::size_t>(index)] : std::string();
    auto openItems = [&state, &messages, chooser](QWidget* owner) {
      openTableList(TableId::ProductionTables, state, messages, owner, chooser);
    };
    auto record = editRecord(table, current, list, index, messages, parent, openItems);
    if (!record) return false;
    list.store(index, std::move(*record));
    return true;
  };
}

void openTableList(TableId table, ProcessState& state, const Messages& messages, QWidget* parent,
                   const TableListDialog::FileChooser& chooser) {
  TableListDialog dialog(processList(table), recordEditor(table, state, messages, chooser), state, messages, parent);
  dialog.setFileChooser(chooser);
  dialog.exec();
}

void registerTableCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  QWidget* parent = &window;
  const std::pair<int, TableId> lists[] = {
      {cmd::AccessPolicies, TableId::Policies},
      {cmd::Sirens, TableId::Sirens},
      {cmd::ExitDirection, TableId::ExitDirection},
      {cmd::UserMessages, TableId::Messages},
      {cmd::Justifications, TableId::Justifications},
      {cmd::ProductionProgram, TableId::ProductionProgram},
      {cmd::ProductionTables, TableId::ProductionTables},
      {cmd::Holidays, TableId::Holidays},
      {cmd::Sites, TableId::Sites},
      {cmd::JobActivities, TableId::Activities},
  };
  for (const auto& entry : lists) {
    const TableId table = entry.second;
    window.setHandler(entry.first, [table, &state, &messages, parent] { openTableList(table, state, messages, parent); });
  }
  window.setHandler(cmd::ReaderId, [&state, &messages, parent] {
    if (!state.connected || !state.link.isOpen()) return;
    ReaderIdDialog dialog(state, messages, parent);
    dialog.exec();
  });
}

}  // namespace cfg::ui
