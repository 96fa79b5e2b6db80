#include "automation/ui/activity_dialogs.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/text.h"

namespace cfg::ui {

namespace {

inline constexpr const char* kNoActivitySelected = "Nessuna attivita` selezionata !";
inline constexpr const char* kDeleteQuestion = "Il record selezionato verra` eliminato. Continuare ?";
inline constexpr const char* kTableFull = "Spazio esaurito!";
inline constexpr const char* kWeekdayLetters[7] = {"L", "M", "M", "G", "V", "S", "D"};

}  // namespace

QString chooseProgramFile(QWidget* parent, const QString& title, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

// --- the card ---

ActivityCardDialog::ActivityCardDialog(const ActivityCard& card, ScheduledActivity& activity, LocalClock clock,
                                       const Messages& messages, ProgramChooser chooser, QWidget* parent)
    : GreyDialog(fromCp1252("Scheda Attivita` Programmata"), parent),
      activity_(activity),
      clock_(std::move(clock)),
      messages_(messages),
      chooser_(std::move(chooser)) {
  auto* form = new QGridLayout;
  int row = 0;
  description_ = textEdit(static_cast<int>(kDescriptionWidth), this);
  description_->setText(fromCp1252(card.description));
  form->addWidget(new QLabel(QStringLiteral("Descrizione:"), this), row, 0);
  form->addWidget(description_, row++, 1, 1, 2);

  disabled_ = new QCheckBox(QStringLiteral("Disattiva:"), this);
  disabled_->setChecked(card.disabled);
  form->addWidget(disabled_, row++, 1);

  static constexpr const char* kTimeLabels[4] = {"Minuti:", "Ore:", "Giorni:", "Mesi:"};
  for (std::size_t i = 0; i < 4; ++i) {
    times_[i] = textEdit(static_cast<int>(kTimeTextWidth), this);
    times_[i]->setText(fromCp1252(card.times[i]));
    form->addWidget(new QLabel(QString::fromLatin1(kTimeLabels[i]), this), row, 0);
    form->addWidget(times_[i], row++, 1, 1, 2);
  }

  auto* days = new QHBoxLayout;
  for (std::size_t d = 0; d < 7; ++d) {
    weekdays_[d] = new QCheckBox(QString::fromLatin1(kWeekdayLetters[d]), this);
    weekdays_[d]->setChecked(d < card.weekdays.size() && card.weekdays[d] == 'S');
    days->addWidget(weekdays_[d]);
  }
  form->addLayout(days, row++, 1, 1, 2);

  form->addWidget(new QLabel(QStringLiteral("Programmi da eseguire:"), this), row++, 0, 1, 3);
  for (std::size_t i = 0; i < 3; ++i) {
    programs_[i] = textEdit(static_cast<int>(kProgramWidth), this);
    programs_[i]->setText(fromCp1252(card.programs[i]));
    programs_[i]->setMinimumWidth(360);
    browse_[i] = new QPushButton(QStringLiteral("..."), this);
    browse_[i]->setAutoDefault(false);
    int index = static_cast<int>(i);
    connect(browse_[i], &QPushButton::clicked, this, [this, index] { browse(index); });
    form->addWidget(programs_[i], row, 0, 1, 2);
    form->addWidget(browse_[i], row++, 2);
  }

  CardButtons buttons = layOutCard(this, form);
  confirm_ = buttons.confirm;
  connect(buttons.confirm, &QPushButton::clicked, this, [this] { confirm(); });
  connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

ActivityCard ActivityCardDialog::fields() const {
  ActivityCard card;
  card.description = toCp1252(description_->text());
  card.disabled = disabled_->isChecked();
  for (std::size_t i = 0; i < 4; ++i) card.times[i] = toCp1252(times_[i]->text());
  card.weekdays.clear();
  for (QCheckBox* box : weekdays_) card.weekdays += box->isChecked() ? 'S' : 'N';
  for (std::size_t i = 0; i < 3; ++i) card.programs[i] = toCp1252(programs_[i]->text());
  return card;
}

void ActivityCardDialog::confirm() {
  QWidget* focus = nullptr;
  switch (storeCard(fields(), activity_, clock_(), messages_)) {
    case ActivityCardError::None:
      accept();
      return;
    case ActivityCardError::Minutes:
      focus = times_[0];
      break;
    case ActivityCardError::Hours:
      focus = times_[1];
      break;
    case ActivityCardError::Days:
      focus = times_[2];
      break;
    case ActivityCardError::Months:
      focus = times_[3];
      break;
    case ActivityCardError::Weekdays:
      focus = weekdays_[0];
      break;
    case ActivityCardError::Programs:
      focus = programs_[0];
      break;
  }
  focus->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
}

void ActivityCardDialog::browse(int index) {
  QString path = chooser_(this, QStringLiteral("Open Program File"),
                          QStringLiteral("Program File (*.exe);;All Files (*)"));
  if (path.isEmpty()) return;
  // A path with blanks is one word of the command line only within quotes.
  if (path.contains(QLatin1Char(' '))) path = QLatin1Char('"') + path + QLatin1Char('"');
  programs_[static_cast<std::size_t>(index)]->setText(path);
}

// --- the list ---

ActivityListDialog::ActivityListDialog(ActivityTable& table, const FileContext& files, LocalClock clock,
                                       const Messages& messages, ProgramChooser chooser, QWidget* parent)
    : GreyDialog(fromCp1252("Attivita` Programmate"), parent),
      table_(table),
      files_(files),
      clock_(std::move(clock)),
      messages_(messages),
      chooser_(std::move(chooser)) {
  view_ = new QTreeWidget(this);
  view_->setColumnCount(2);
  view_->setHeaderLabels({QStringLiteral("Prossima attiv."), QStringLiteral("Descrizione")});
  view_->setRootIsDecorated(false);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->header()->setStretchLastSection(true);
  view_->setColumnWidth(0, 130);
  view_->setMinimumSize(420, 220);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  auto* buttons = new QHBoxLayout;
  QPushButton* add = addButton(buttons, QStringLiteral("&Nuovo"), this);
  QPushButton* modify = addButton(buttons, QStringLiteral("&Modifica"), this);
  QPushButton* remove = addButton(buttons, QStringLiteral("&Elimina"), this);
  QPushButton* save = addButton(buttons, QStringLiteral("&Salva ed esci"), this);
  QPushButton* close = addButton(buttons, QStringLiteral("&Chiudi"), this);
  layout->addLayout(buttons);

  connect(add, &QPushButton::clicked, this, [this] { addActivity(); });
  connect(modify, &QPushButton::clicked, this, [this] { modifyActivity(); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this, [this] { modifyActivity(); });
  connect(remove, &QPushButton::clicked, this, [this] { deleteActivity(); });
  connect(save, &QPushButton::clicked, this, [this] { saveAndExit(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  refresh();
}

QPushButton* ActivityListDialog::button(const QString& text) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

void ActivityListDialog::refresh() {
  view_->clear();
  std::lock_guard<std::mutex> guard(table_.mutex());
  table_.sortByNext();
  const std::vector<ScheduledActivity>& list = table_.activities();
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto* item = new QTreeWidgetItem(view_);
    item->setText(0, fromCp1252(nextActivationText(list[i])));
    item->setText(1, fromCp1252(list[i].description));
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(list[i].id));
  }
}

std::optional<std::size_t> ActivityListDialog::selectedRow() const {
  const QModelIndexList rows = view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  return static_cast<std::size_t>(rows.first().row());
}

void ActivityListDialog::selectPosition(std::size_t position) {
  int count = view_->topLevelItemCount();
  if (count == 0) return;
  int row = std::min(static_cast<int>(position), count - 1);
  view_->setCurrentItem(view_->topLevelItem(row));
  view_->topLevelItem(row)->setSelected(true);
}

void ActivityListDialog::addActivity() {
  {
    std::lock_guard<std::mutex> guard(table_.mutex());
    if (table_.activities().size() >= kMaxActivities) {
      messages_.error(kTableFull);
      return;
    }
  }
  ScheduledActivity activity;
  ActivityCard empty;
  empty.times = {"", "", "", ""};
  ActivityCardDialog card(empty, activity, clock_, messages_, chooser_, this);
  if (card.exec() != QDialog::Accepted) return;
  {
    std::lock_guard<std::mutex> guard(table_.mutex());
    if (!table_.add(std::move(activity))) messages_.error(kTableFull);
  }
  refresh();
}

void ActivityListDialog::modifyActivity() {
  std::optional<std::size_t> selected = selectedRow();
  if (!selected) {
    messages_.error(kNoActivitySelected);
    return;
  }
  std::uint64_t id = view_->topLevelItem(static_cast<int>(*selected))->data(0, Qt::UserRole).toULongLong();
  ActivityCard fields;
  {
    std::lock_guard<std::mutex> guard(table_.mutex());
    std::size_t index = table_.indexOf(id);
    if (index == table_.activities().size()) return;
    fields = cardOf(table_.activities()[index]);
  }
  // The card edits a copy; the scheduler keeps running the stored activity
  // (its run state and program) until the card is confirmed.
  ScheduledActivity edited;
  ActivityCardDialog card(fields, edited, clock_, messages_, chooser_, this);
  if (card.exec() == QDialog::Accepted) {
    std::lock_guard<std::mutex> guard(table_.mutex());
    std::size_t index = table_.indexOf(id);
    if (index < table_.activities().size()) {
      ScheduledActivity& stored = table_.activities()[index];
      stored.description = edited.description;
      stored.disabled = edited.disabled;
      stored.timetable = edited.timetable;
      stored.programs = edited.programs;
      stored.internal = edited.internal;
      stored.next = edited.next;
    }
  }
  refresh();
  selectPosition(*selected);
}

void ActivityListDialog::deleteActivity() {
  std::optional<std::size_t> selected = selectedRow();
  if (!selected) {
    messages_.error(kNoActivitySelected);
    return;
  }
  std::uint64_t id = view_->topLevelItem(static_cast<int>(*selected))->data(0, Qt::UserRole).toULongLong();
  if (!messages_.confirm(kDeleteQuestion, "Elimina")) return;
  {
    std::lock_guard<std::mutex> guard(table_.mutex());
    table_.remove(table_.indexOf(id));
  }
  refresh();
  selectPosition(*selected);
}

void ActivityListDialog::saveAndExit() {
  // A file that cannot be written keeps the dialog open: the box said why.
  if (writeActivities(files_, table_)) accept();
}

// --- registration ---

void registerSchedulerCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  window.setHandler(cmd::Activities, [&window, &state, &messages] {
    ActivityListDialog list(state.activities, state.files(messages), localTimeNow, messages, chooseProgramFile, &window);
    list.exec();
  });
  window.hooks().loadActivities = [&state, &messages] {
    state.scheduledActivities = readActivities(state.files(messages), state.activities, localTimeNow());
  };
  window.hooks().scheduler = [&window, &state](Worker& worker) {
    SchedulerEnvironment env;
    env.clock = localTimeNow;
    env.logDirectory = state.workingDirectory;
    env.batchRunning = &state.batchRunning;
    // Runs on the worker with the table locked: only posts. The batch runs
    // on the window's thread as its batch command; when that command
    // returns, the batch has ended.
    env.runBatch = [&window, &state](const std::string& path) {
      QMetaObject::invokeMethod(
          &window,
          [&window, &state, path] {
            state.batchPath = path;
            state.batchOnStart = false;
            window.dispatch(cmd::RunBatch);
            state.batchRunning = false;
          },
          Qt::QueuedConnection);
    };
    Scheduler scheduler(state.activities, std::move(env));
    scheduler.run(worker);
  };
}

}  // namespace cfg::ui
