// The list dialog every table shares, and "Modalità Leggi File".
//
// TableListDialog shows one TableList (tables/table_list.h) and turns its
// buttons into calls on it; every rule lives in the list and in the core.
// What differs from table to table is the record dialog, handed in as a
// RecordEditor:
//
//   bool editor(QWidget* parent, int index, RecordMode mode)
//
// opens the table's record dialog on record `index` (== count() in Add
// mode: a new record at the end) and returns true when the user confirmed
// and the record was stored into the list. The list dialog then refills
// (and in Modify mode reselects the row).
//
//   "&Nuovo"          "Spazio esaurito!" when full, else the editor in Add mode
//   "&Modifica"       (or a double click) the editor on the selected row
//   "&Elimina"        asks, removes the selected row
//   "Elimina &tutti"  asks, empties the list
//   "&Leggi file"     "Modalità Leggi File", then "Open Data File"
//   "&Salva file"     "Save Data File"
//   "&Ricevi da ..."  "Aggiornamento Dati" on the general worker, then refill
//   "&Invia a ..."    capacity question, clear question, "Aggiornamento Dati"
//   "&Chiudi"         closes; the list stays as it is
//
// Send and receive are enabled only while a terminal is connected and the
// list takes its model. The file dialogs go through a FileChooser so that
// tests can answer them.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <functional>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "tables/table_list.h"

namespace cfg::ui {

// "Modalità Leggi File": the three load modes; "&Esegui" stores the chosen
// one into `mode` and ends with Accepted, "&Annulla" leaves it.
class LoadModeDialog : public GreyDialog {
  Q_OBJECT
 public:
  LoadModeDialog(LoadMode& mode, QWidget* parent = nullptr);
  QRadioButton* modeButton(LoadMode mode) const { return buttons_[static_cast<int>(mode)]; }
  QPushButton* runButton() const { return run_; }

 private:
  LoadMode& mode_;
  QRadioButton* buttons_[3];
  QPushButton* run_;
};

class TableListDialog : public GreyDialog {
  Q_OBJECT
 public:
  using RecordEditor = std::function<bool(QWidget* parent, int index, RecordMode mode)>;
  // A full path, empty when nothing was chosen. `save` picks the Save
  // dialog; title is "Open Data File" or "Save Data File", filter
  // "Text File (*.txt)".
  using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& filter, bool save)>;

  // `list` outlives the dialog; send and receive use state.link and
  // state.workers.general.
  TableListDialog(TableList& list, RecordEditor editor, ProcessState& state, const Messages& messages,
                  QWidget* parent = nullptr);

  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

  // Empties the list box and adds one row per record; selects `row` when
  // it exists.
  void refill(int row = -1);
  // The selected row's record index, -1 when none.
  int selectedIndex() const;

  QTreeWidget* listBox() const { return list_; }
  // Row `row`'s fields joined by tabs.
  QString rowText(int row) const;
  QPushButton* addButton() const { return add_; }
  QPushButton* modifyButton() const { return modify_; }
  QPushButton* removeButton() const { return remove_; }
  QPushButton* removeAllButton() const { return removeAll_; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* receiveButton() const { return receive_; }
  QPushButton* sendButton() const { return send_; }
  QPushButton* closeButton() const { return close_; }

  // The commands, as the buttons run them.
  void addRecord();
  void modifyRecord();
  void removeRecord();
  void removeAll();
  void loadFile();
  void saveFile();
  void receive();
  void send();

 private:
  TableList& table_;
  RecordEditor editor_;
  ProcessState& state_;
  const Messages& messages_;
  FileChooser chooser_;
  QTreeWidget* list_;
  QPushButton* add_;
  QPushButton* modify_;
  QPushButton* remove_;
  QPushButton* removeAll_;
  QPushButton* load_;
  QPushButton* save_;
  QPushButton* receive_;
  QPushButton* send_;
  QPushButton* close_;
};

// The system's file dialogs: open or save, "Text File (*.txt)".
QString chooseDataFile(QWidget* parent, const QString& title, const QString& filter, bool save);

}  // namespace cfg::ui
