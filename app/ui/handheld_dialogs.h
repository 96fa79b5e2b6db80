// The handheld dialogs: "Password HND" (the plant password) and the two
// handheld lists, "Elenco Terminali USB" and "Elenco Terminali Bluetooth",
// from which the user searches the plant's handhelds, connects to one, or
// resets one to its defaults. The rules are the core's (app/handhelds.h,
// app/connection.h); the dialogs turn buttons into those calls.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <optional>

#include "app/connection.h"
#include "app/handhelds.h"
#include "app/ui/grey_dialog.h"

namespace cfg::ui {

class MainWindow;

// "Password HND": "Password:" (8 characters), "&Conferma", "&Annulla".
class PlantPasswordDialog : public GreyDialog {
  Q_OBJECT
 public:
  PlantPasswordDialog(ProcessState& state, const Messages& messages, QWidget* parent = nullptr);
  QLineEdit* passwordEdit() const { return edit_; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  void confirm();

  ProcessState& state_;
  const Messages& messages_;
  QLineEdit* edit_;
  QPushButton* confirm_;
};

// One list dialog per kind of search (HandheldListOrigin::Usb or ::Bluetooth).
class HandheldListDialog : public GreyDialog {
  Q_OBJECT
 public:
  HandheldListDialog(HandheldListOrigin kind, ProcessState& state, Messages& messages,
                     std::function<void(std::string_view)> selectParameterLayout, QWidget* parent = nullptr);

  QTreeWidget* view() const { return view_; }
  QPushButton* searchButton() const { return search_; }
  QPushButton* connectButton() const { return connect_; }
  QPushButton* resetButton() const { return reset_; }
  QPushButton* cancelButton() const { return cancel_; }
  // Bluetooth only (nullptr for USB).
  QRadioButton* systemStackButton() const { return system_; }
  QRadioButton* vendorStackButton() const { return vendor_; }

  // What the frame applies once the dialog has closed on a connection.
  const std::optional<FrameUpdate>& connection() const { return connection_; }

  // Shows the handheld list (entry order), the first entry selected.
  void fill();
  void selectPosition(int position);

 private:
  std::optional<std::size_t> selectedEntry() const;
  void search();
  void connectSelected();
  void resetSelected();

  HandheldListOrigin kind_;
  ProcessState& state_;
  Messages& messages_;
  std::function<void(std::string_view)> selectParameterLayout_;
  QTreeWidget* view_;
  QRadioButton* system_ = nullptr;
  QRadioButton* vendor_ = nullptr;
  QPushButton* search_;
  QPushButton* connect_;
  QPushButton* cancel_;
  QPushButton* reset_;
  std::optional<FrameUpdate> connection_;
};

// Sets the handlers of 40089, 40085 and 40087 (the lists refused with
// "Errore: impostare password !" while no plant password is set) and the
// frame's hook that releases the USB device list at shutdown.
void registerHandheldCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
