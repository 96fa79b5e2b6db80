// "Parametri di Configurazione (n)": the parameter pages of the connected
// model, built from the page table. Leaving a page (another page, saving,
// writing) stores it into the image first; a refused value keeps the user
// on the page with the focus on it.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "params/pages.h"

class QAbstractButton;
class QButtonGroup;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace cfg::ui {

class MainWindow;

class ParameterPagesDialog : public GreyDialog {
  Q_OBJECT
 public:
  ParameterPagesDialog(ProcessState& state, Messages& messages, QWidget* parent = nullptr);

  // The file chosen in "Open Data File" (save false) or "Save Data File"
  // (save true); empty when none. Tests replace the file dialogs here.
  std::function<QString(bool save)> chooseFile;

  int page() const { return page_; }  // 1-11
  QPushButton* pageButton(int page) const { return pageButtons_[static_cast<std::size_t>(page - 1)]; }
  QPushButton* loadButton() const { return load_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* readButton() const { return read_; }
  QPushButton* writeButton() const { return write_; }
  // The widget of field k of the page (fieldsOnPage order).
  QWidget* fieldWidget(std::size_t k) const { return widgets_[k]; }
  std::size_t fieldCount() const { return widgets_.size(); }
  // Position on the page of the nth field with this caption; -1 when none.
  int fieldIndex(const std::string& caption, int nth = 0) const;

  // Stores the page into the image; false (message shown, focus set) when a value is refused.
  bool leavePage();
  void goToPage(int page);

 private:
  void buildPage();
  void showValues();
  void enableBands();
  std::vector<std::string> values() const;
  void loadFile();
  void saveFile();
  void transfer(bool write);

  ProcessState& state_;
  Messages& messages_;
  int page_ = 1;
  std::vector<QPushButton*> pageButtons_;
  QPushButton* load_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* read_ = nullptr;
  QPushButton* write_ = nullptr;
  QWidget* pageArea_ = nullptr;
  QVBoxLayout* areaLayout_ = nullptr;
  std::vector<std::size_t> fields_;  // indices into fieldsOf
  std::vector<QWidget*> widgets_;
  std::vector<QButtonGroup*> groups_;
};

// Sets the handler of 40036 (only with a connected terminal that has
// parameters) and the hook that selects the parameter layout on connection.
void registerParameterCommands(MainWindow& window, ProcessState& state, Messages& messages);

// The handhelds' offer: asks "Configurare la password del terminale ?"
// and on OK opens the pages at page 1 for the connected handheld.
void offerPasswordSetup(ProcessState& state, Messages& messages, QWidget* parent);

}  // namespace cfg::ui
