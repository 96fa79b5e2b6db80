// The scheduled activities' dialogs: "Attivita` Programmate" (the list,
// sorted by next activation) and "Scheda Attivita` Programmata" (one
// activity's card), and the registration of "&Programma attivita`" and of
// the scheduler with the main window.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <array>
#include <functional>
#include <optional>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "automation/activities.h"
#include "automation/scheduler.h"

namespace cfg::ui {

class MainWindow;

// Chooses a program file: (parent, title, filter) → the path, empty when cancelled.
using ProgramChooser = std::function<QString(QWidget*, const QString&, const QString&)>;
// The system's open file dialog.
QString chooseProgramFile(QWidget* parent, const QString& title, const QString& filter);

class ActivityCardDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Shows `card`; on "&Conferma" stores it into `activity` (see storeCard).
  ActivityCardDialog(const ActivityCard& card, ScheduledActivity& activity, LocalClock clock, const Messages& messages,
                     ProgramChooser chooser = chooseProgramFile, QWidget* parent = nullptr);

  QLineEdit* descriptionEdit() const { return description_; }
  QCheckBox* disabledBox() const { return disabled_; }
  QLineEdit* timeEdit(int column) const { return times_[static_cast<std::size_t>(column)]; }
  QCheckBox* weekdayBox(int day) const { return weekdays_[static_cast<std::size_t>(day)]; }
  QLineEdit* programEdit(int index) const { return programs_[static_cast<std::size_t>(index)]; }
  QPushButton* browseButton(int index) const { return browse_[static_cast<std::size_t>(index)]; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  ActivityCard fields() const;
  void confirm();
  void browse(int index);

  ScheduledActivity& activity_;
  LocalClock clock_;
  const Messages& messages_;
  ProgramChooser chooser_;
  QLineEdit* description_;
  QCheckBox* disabled_;
  std::array<QLineEdit*, 4> times_{};
  std::array<QCheckBox*, 7> weekdays_{};
  std::array<QLineEdit*, 3> programs_{};
  std::array<QPushButton*, 3> browse_{};
  QPushButton* confirm_;
};

class ActivityListDialog : public GreyDialog {
  Q_OBJECT
 public:
  ActivityListDialog(ActivityTable& table, const FileContext& files, LocalClock clock, const Messages& messages,
                     ProgramChooser chooser = chooseProgramFile, QWidget* parent = nullptr);

  QTreeWidget* view() const { return view_; }
  QPushButton* button(const QString& text) const;

 private:
  void refresh();
  std::optional<std::size_t> selectedRow() const;
  void selectPosition(std::size_t position);
  void addActivity();
  void modifyActivity();
  void deleteActivity();
  void saveAndExit();

  ActivityTable& table_;
  FileContext files_;
  LocalClock clock_;
  const Messages& messages_;
  ProgramChooser chooser_;
  QTreeWidget* view_;
};

// "&Programma attivita`" (40071), the start-up loading of attivita.dat and
// the scheduler's worker routine, which hands batches to `window` as its
// batch command.
void registerSchedulerCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
