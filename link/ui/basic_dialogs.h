// The dialogs of the basic terminal commands: "Lettura Stato Terminale",
// "Invio Comando Output", "Cambia Indirizzo/Velocita`", "Polling Terminale",
// "Lettura/scrittura memoria" and "Comando diretto". ("Lettura Data e Ora"
// is a plain operation dialog; see basic_commands.cpp.)
//
// Every rule is in link/: these dialogs collect the inputs, call the
// command, give the focus back to the field a refused input names, and show
// what the worker reports.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <array>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "app/ui/operation_dialog.h"
#include "link/memory_view.h"
#include "link/polling.h"
#include "link/status.h"

namespace cfg::ui {

// The 16 status bits of the connected model, refreshed by the status worker.
class StatusDialog : public OperationDialog {
  Q_OBJECT
 public:
  StatusDialog(Worker& worker, Link& link, const Messages& messages, StatusLabels labels, QWidget* parent = nullptr);
  // [column][row]: column 0 the first byte, row 0 bit 7.
  QCheckBox* box(int column, int row) const { return boxes_[column][row]; }

 protected:
  void showProgress(const ProgressUpdate& update) override;

 private:
  StatusLabels labels_;
  std::array<std::array<QCheckBox*, 8>, 2> boxes_{};
};

class OutputCommandDialog : public GreyDialog {
  Q_OBJECT
 public:
  OutputCommandDialog(Link& link, const Messages& messages, QWidget* parent = nullptr);
  QLineEdit* channelEdit() const { return channel_; }
  QLineEdit* durationEdit() const { return duration_; }
  QRadioButton* onButton() const { return on_; }
  QRadioButton* offButton() const { return off_; }
  QPushButton* sendButton() const { return send_; }

 private:
  void clearChoice();
  void sendCommand();

  Link& link_;
  const Messages& messages_;
  QLineEdit* channel_;
  QLineEdit* duration_;
  QButtonGroup* choice_;
  QRadioButton* on_;
  QRadioButton* off_;
  QPushButton* send_;
};

// Ends with 1 when the terminal took the new values (state.reconnect is set
// when the user wants to connect again with them), 0 otherwise.
class AddressSpeedDialog : public GreyDialog {
  Q_OBJECT
 public:
  AddressSpeedDialog(ProcessState& state, const Messages& messages, QWidget* parent = nullptr);
  QLineEdit* addressEdit() const { return address_; }
  QComboBox* speedBox() const { return speed_; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  void confirm();

  ProcessState& state_;
  const Messages& messages_;
  QLineEdit* address_;
  QComboBox* speed_;
  QPushButton* confirm_;
};

class PollingDialog : public OperationDialog {
  Q_OBJECT
 public:
  PollingDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent = nullptr);
  // By bit number.
  QCheckBox* bitBox(int bit) const { return bits_[bit]; }
  QLineEdit* receivedText() const { return received_; }
  QListWidget* replyList() const { return replies_; }
  QPushButton* commandButton(PollButton button) const { return commands_[static_cast<int>(button)]; }
  PollControl& control() { return control_; }

 protected:
  void showProgress(const ProgressUpdate& update) override;

 private:
  PollControl control_;
  std::array<QCheckBox*, 8> bits_{};
  QLineEdit* received_;
  QListWidget* replies_;
  std::array<QPushButton*, 6> commands_{};
};

class MemoryViewDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Reads page 0 once it is on screen.
  MemoryViewDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent = nullptr);
  QTableWidget* grid() const { return grid_; }
  QLineEdit* pageEdit() const { return pageEdit_; }
  QLineEdit* offsetEdit() const { return offset_; }
  QLineEdit* dataEdit() const { return data_; }
  QPushButton* goButton() const { return go_; }
  QPushButton* writeButton() const { return write_; }
  const MemoryPage& page() const { return page_; }

 private:
  void readPage(std::uint16_t page);
  void goTo();
  void writeGroup();
  void showPage();

  Worker& worker_;
  Link& link_;
  const Messages& messages_;
  MemoryPage page_;
  QTableWidget* grid_;
  QLineEdit* pageEdit_;
  QLineEdit* offset_;
  QLineEdit* data_;
  QPushButton* go_;
  QPushButton* write_;
};

class DirectCommandDialog : public GreyDialog {
  Q_OBJECT
 public:
  DirectCommandDialog(Link& link, const Messages& messages, QWidget* parent = nullptr);
  QLineEdit* commandEdit() const { return command_; }
  QPushButton* sendButton() const { return send_; }

 private:
  Link& link_;
  const Messages& messages_;
  QLineEdit* command_;
  QPushButton* send_;
};

}  // namespace cfg::ui
