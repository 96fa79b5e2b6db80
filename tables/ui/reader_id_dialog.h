// "Scheda Identificazione Lettore": the handheld's reader ID and its two
// descriptions, received from and sent to the slot ring of
// tables/reader_identity.h, each through an "Aggiornamento Dati" dialog.
#pragma once

#include <QLineEdit>
#include <QPushButton>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "tables/reader_identity.h"

namespace cfg::ui {

class ReaderIdDialog : public GreyDialog {
  Q_OBJECT
 public:
  ReaderIdDialog(ProcessState& state, const Messages& messages, QWidget* parent = nullptr);

  QLineEdit* idEdit() const { return id_; }
  QLineEdit* description1Edit() const { return description1_; }
  QLineEdit* description2Edit() const { return description2_; }
  QPushButton* receiveButton() const { return receive_; }
  QPushButton* sendButton() const { return send_; }

  // The buttons' commands.
  void receive();
  void send();

 private:
  TableEnd transfer(bool sending, bool& slotFound);

  ProcessState& state_;
  const Messages& messages_;
  ReaderIdentity identity_;  // the record as last read: bytes 46-127 go back as they came
  QLineEdit* id_;
  QLineEdit* description1_;
  QLineEdit* description2_;
  QPushButton* receive_;
  QPushButton* send_;
};

}  // namespace cfg::ui
