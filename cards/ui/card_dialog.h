// The three card dialogs "Inizializza Tessere MF - "@"", "- "A"" and
// "- "B"": the card on the desk reader as read by the card worker, its
// templates, and the data to write.
//
// The dialog opens the desk reader's own Link, runs the card worker
// (cards/card_worker.h) on the general worker record and turns its buttons
// into operations of the CardSession; the worker carries them out. When
// the worker ends by itself (the reader stopped answering) the dialog
// closes and the desk reader settings are asked again next time.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/process_state.h"
#include "app/ui/grey_dialog.h"
#include "app/ui/worker_bridge.h"
#include "cards/card_forms.h"
#include "cards/card_worker.h"
#include "tables/ui/fingerprint_dialogs.h"

namespace cfg::ui {

class MainWindow;

class CardDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Captures one fingerprint with the desk reader's module: 768
  // hexadecimal digits, or nothing.
  // Opens "Seleziona Utente"; company and personnel number, or nothing.
  using UserChooser = std::function<std::optional<std::pair<int, long>>(QWidget* parent)>;

  CardDialog(char letter, ProcessState& state, const Messages& messages, QWidget* parent = nullptr);
  ~CardDialog() override;

  // Opens the desk reader's Link and starts the worker; false when the Link
  // cannot be opened (the reason was shown).
  bool startReader();
  void setCapture(TemplateCapture capture) { capture_ = std::move(capture); }
  void setUserChooser(UserChooser chooser) { chooser_ = std::move(chooser); }

  cards::CardSession& session() { return *session_; }
  QLabel* statusLine() const { return status_; }
  QCheckBox* presentBox(int i) const { return present_[i]; }
  QLineEdit* readField(int i) const { return read_[i]; }
  QLineEdit* writeField(int i) const { return write_[i]; }
  QPushButton* writeButton() const { return writeButton_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* eraseButton() const { return erase_; }
  QPushButton* listButton() const { return list_; }
  bool readerFailed() const { return session_->readerFailed(); }

  // "&Chiudi": stops the worker and closes the reader's Link.
  void reject() override;

 private:
  void onRefresh(const ProgressUpdate& update);
  void showCard();
  void clearCard();
  void writeClicked();
  void addClicked();
  void eraseClicked();
  void listClicked();
  void stopReader();
  void focusField(cards::FormField field);

  char letter_;
  ProcessState& state_;
  const Messages& messages_;
  Link link_;
  std::unique_ptr<cards::CardSession> session_;
  std::unique_ptr<QtProgress> progress_;
  TemplateCapture capture_;
  UserChooser chooser_;
  QLabel* status_ = nullptr;
  QCheckBox* present_[5] = {};
  std::vector<QLineEdit*> read_;
  std::vector<QLineEdit*> write_;
  QPushButton* writeButton_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* erase_ = nullptr;
  QPushButton* list_ = nullptr;
};

// 40069, 40079, 40080: the card dialogs "@", "A" and "B".
void registerCardCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
