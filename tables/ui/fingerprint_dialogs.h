// "Elenco Impronte Digitali" and its record dialog "Impronta Digitale".
//
// The list dialog works on a FingerprintList (tables/fingerprints.h) whose
// template files live in the working directory; closing the dialog empties
// the list and removes every template file. A new record needs a captured
// fingerprint: the capture is handed in (TemplateCapture) so that the desk
// reader's fingerprint module, or a test, can provide it.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "tables/fingerprints.h"
#include "tables/ui/table_list_dialog.h"

namespace cfg::ui {

class MainWindow;

// 768 hexadecimal digits of a captured fingerprint, or nothing.
using TemplateCapture = std::function<std::optional<std::string>(QWidget* parent)>;

// "Cattura Impronta": the desk reader settings first when they are not yet
// set, then the capture on the desk reader's own Link.
std::optional<std::string> captureWithDeskReader(ProcessState& state, const Messages& messages, QWidget* parent);

class FingerprintRecordDialog : public GreyDialog {
  Q_OBJECT
 public:
  // `index` == list.size(): a new record.
  FingerprintRecordDialog(FingerprintList& list, std::size_t index, const Messages& messages, TemplateCapture capture,
                          QWidget* parent = nullptr);
  QLineEdit* companyEdit() const { return company_; }
  QLineEdit* personnelEdit() const { return personnel_; }
  QPushButton* captureButton() const { return capture_; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  void captureClicked();
  void confirmClicked();

  FingerprintList& list_;
  std::size_t index_;
  const Messages& messages_;
  TemplateCapture captureFn_;
  std::optional<std::string> captured_;
  QLineEdit* company_;
  QLineEdit* personnel_;
  QPushButton* capture_;
  QPushButton* confirm_;
};

class FingerprintListDialog : public GreyDialog {
  Q_OBJECT
 public:
  FingerprintListDialog(FingerprintList& list, ProcessState& state, const Messages& messages,
                        QWidget* parent = nullptr);
  void setFileChooser(TableListDialog::FileChooser chooser) { chooser_ = std::move(chooser); }
  void setCapture(TemplateCapture capture) { capture_ = std::move(capture); }

  void refill(int row = -1);
  int selectedIndex() const;
  QTreeWidget* listBox() const { return box_; }
  QPushButton* button(const char* id) const;  // by control id: "1055" ... "1063", "2"

 private:
  void done(int result) override;
  void addRecord();
  void modifyRecord();
  void removeRecord();
  void removeAll();
  void loadFile();
  void saveFile();
  void send(bool forcedClear);
  void receive();
  void sortSaveSend();

  FingerprintList& list_;
  ProcessState& state_;
  const Messages& messages_;
  TableListDialog::FileChooser chooser_;
  TemplateCapture capture_;
  QTreeWidget* box_;
};

// 40060 "Elenco Impronte Digitali".
void registerFingerprintCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
