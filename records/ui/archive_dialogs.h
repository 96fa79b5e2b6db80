// The format list "Elenco Formati Acquisizione", its card "Scheda Formato
// Acquisizione", and the six archive choice dialogs: "Salva Registrazioni in
// ..." of each record kind (they edit the recent settings before a run) and
// "Configura Archivi", "Configura Archivi Produzione", "Configura Archivi
// Mensa" (they edit the archive settings of batch runs and write acqreg.dat).
#pragma once

#include <functional>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>
#include <vector>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "records/acquisition.h"
#include "records/archive_choice.h"

namespace cfg::ui {

class ArchiveChoiceDialog : public GreyDialog {
  Q_OBJECT
 public:
  using Mode = ArchiveChoiceEdit::Mode;
  // Choice edits state.recent and ends confirmed on "&Esegui"; the caller
  // saves recent.dat. Configuration edits state.archive and closes on
  // "&Salva ed esci" only once acqreg.dat is written. The rules are
  // ArchiveChoiceEdit's; a path that cannot be stored is refused with its
  // reason and the dialog stays open.
  ArchiveChoiceDialog(ProcessState& state, const Messages& messages, RecordKind kind, Mode mode,
                      QWidget* parent = nullptr);

  // The controls of archive `slot` (archiveSlots order).
  QCheckBox* enabledBox(std::size_t slot) const { return rows_[slot].enabled; }
  QLineEdit* copyEdit(std::size_t slot, int copy) const { return copy == 2 ? rows_[slot].copy2 : rows_[slot].copy3; }
  QPushButton* browseButton(std::size_t slot, int copy) const {
    return copy == 2 ? rows_[slot].browse2 : rows_[slot].browse3;
  }
  QComboBox* formatBox(std::size_t slot) const { return rows_[slot].format; }
  QPushButton* confirmButton() const { return confirm_; }

  // What "..." asks with: a full path, empty when nothing was chosen. The
  // default is the system's Save-file dialog (saveFileChoice); tests give
  // their own.
  using FileChooser = std::function<QString(QWidget* parent, const QString& start)>;
  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

 private:
  struct Row {
    QCheckBox* enabled = nullptr;
    QComboBox* format = nullptr;
    QLineEdit* copy2 = nullptr;
    QLineEdit* copy3 = nullptr;
    QPushButton* browse2 = nullptr;
    QPushButton* browse3 = nullptr;
  };
  void browse(QLineEdit* field);
  void confirm();

  const Messages& messages_;
  ArchiveChoiceEdit edit_;
  std::vector<Row> rows_;
  QPushButton* confirm_;
  FileChooser chooser_;
};

// "Save Registration File" with "Text File (*.txt)", starting at `start`; an
// existing file is no question (archives are appended to).
QString saveFileChoice(QWidget* parent, const QString& start);

class FormatCardDialog : public GreyDialog {
  Q_OBJECT
 public:
  // "&Conferma" stores the five fields into `format`.
  FormatCardDialog(AcquisitionFormat& format, bool isNew, QWidget* parent = nullptr);
  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* descriptionEdit() const { return description_; }
  QLineEdit* entryEdit() const { return entry_; }
  QLineEdit* exitEdit() const { return exit_; }
  QLineEdit* templateEdit() const { return template_; }

 private:
  void confirm();

  AcquisitionFormat& format_;
  QLineEdit* name_;
  QLineEdit* description_;
  QLineEdit* entry_;
  QLineEdit* exit_;
  QLineEdit* template_;
};

class FormatListDialog : public GreyDialog {
  Q_OBJECT
 public:
  FormatListDialog(ProcessState& state, const Messages& messages, QWidget* parent = nullptr);
  QTreeWidget* view() const { return view_; }
  void selectPosition(std::size_t position);

  void reject() override;  // "&Annulla": format.dat is read again

 private:
  void refill();
  std::optional<std::size_t> selected() const;
  void addFormat();
  void modifyFormat();
  void deleteSelected();
  void saveAndExit();

  ProcessState& state_;
  const Messages& messages_;
  FormatList opened_;  // the list as it was when the dialog opened
  QTreeWidget* view_;
};

}  // namespace cfg::ui
