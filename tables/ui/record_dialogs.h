// The record dialogs of the ten tables and the commands that open their
// lists.
//
// Every record dialog is a RecordDialog: labelled fields, "&Conferma" and
// "&Annulla". "&Conferma" reads the fields into the table's form
// (tables/record_forms.h) and checks it in the core; a failing check shows
// its message and puts the focus on its field, and the dialog stays open.
// A valid record is stored into the list by the editor (recordEditor).
//
// Fields carry object names: the control ids where the system has them
// ("1543" line, "1544" text, "1545" table code, "1549" goto line, "1261"
// time, "1330" code, "1331" value), otherwise "code", "from", "to",
// "channel", "time", "duration", "company", "person", "text", "day",
// "day0".."day7" (L M M G V S D F), "on", "off".
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <optional>
#include <vector>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "tables/record_forms.h"
#include "tables/table_list.h"
#include "tables/ui/table_list_dialog.h"

class QGridLayout;

namespace cfg::ui {

class MainWindow;

class RecordDialog : public GreyDialog {
  Q_OBJECT
 public:
  // `check` reads the fields and checks them; `focusOf` gives the widget of
  // a form field.
  RecordDialog(const QString& title, const Messages& messages, QWidget* parent = nullptr);

  // The record of the last valid "&Conferma".
  const std::string& record() const { return record_; }
  QPushButton* confirmButton() const { return confirm_; }

  // --- building (the table's dialog function) ---
  QLineEdit* addEdit(const QString& label, int maxLength, const char* name);
  std::vector<QCheckBox*> addDays();
  QGridLayout* grid() const { return grid_; }
  // Finishes the layout with "&Conferma" / "&Annulla".
  void finish(std::function<RecordCheck()> check, std::vector<QWidget*> fields);

 private:
  void confirm();

  const Messages& messages_;
  QGridLayout* grid_;
  int rows_ = 0;
  QPushButton* confirm_ = nullptr;
  std::function<RecordCheck()> check_;
  std::vector<QWidget*> fields_;
  std::string record_;
};

// Opens the record dialog of `table` on `current` (empty in add mode);
// the valid record on "&Conferma", nothing on "&Annulla". `list` and
// `index` are the program's duplicate test; `openItems` is "&Tabelle".
std::optional<std::string> editRecord(TableId table, const std::string& current, const DescriptorList& list,
                                      int index, const Messages& messages, QWidget* parent,
                                      std::function<void(QWidget*)> openItems = {});

// The editor of a list dialog on processList(table).
TableListDialog::RecordEditor recordEditor(TableId table, ProcessState& state, const Messages& messages,
                                           const TableListDialog::FileChooser& chooser = chooseDataFile);

// Opens the list dialog of `table` on processList(table).
void openTableList(TableId table, ProcessState& state, const Messages& messages, QWidget* parent,
                   const TableListDialog::FileChooser& chooser = chooseDataFile);

// The eleven table commands of the menu ("Scheda Identificazione Lettore"
// included).
void registerTableCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
