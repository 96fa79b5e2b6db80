// The terminal registry dialogs: "Elenco Terminali" (the list, with add,
// modify, delete, save and cancel), "Scheda Terminale" (one row's card),
// "Seleziona Terminale" (choose the current terminal), and "Impostazioni
// Lettore da Tavolo" (the desk reader's connection).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <optional>

#include "app/process_state.h"
#include "app/registry_edit.h"
#include "app/ui/grey_dialog.h"
#include "app/ui/ip_edit.h"

namespace cfg::ui {

// The list view both list dialogs show: "Cod.", "Riferimento", "Tipo", one
// line per row in table order, each carrying its row index.
class TerminalView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TerminalView(QWidget* parent = nullptr);
  void fill(const Registry& registry);
  // The row of the selected line (not merely the current one).
  std::optional<std::size_t> selectedRow() const;
  void selectPosition(std::size_t position);
};

class TerminalCardDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Edits `row` in place on "&Conferma"; a new row starts from a cleared card.
  TerminalCardDialog(TerminalRecord& row, bool isNew, const Messages& messages, QWidget* parent = nullptr);

  // Number, description or type was changed by the user.
  bool keyFieldsChanged() const { return changed_; }
  CardFields fields() const;

  QLineEdit* numberEdit() const { return number_; }
  QLineEdit* addressEdit() const { return address_; }
  QLineEdit* descriptionEdit() const { return description_; }
  QComboBox* typeBox() const { return type_; }
  QCheckBox* continuousDownloadBox() const { return continuous_; }
  QLineEdit* tcpPortEdit() const { return tcpPort_; }
  IpEdit* ipEdit() const { return ip_; }
  QPushButton* confirmButton() const { return confirm_; }

 private:
  void confirm();
  void updateContinuousDownload();
  std::string effectiveModel() const;

  TerminalRecord& row_;
  const Messages& messages_;
  bool changed_ = false;
  QLineEdit* number_;
  QLineEdit* address_;
  QLineEdit* description_;
  QComboBox* type_;
  QComboBox* port_;
  QComboBox* speed_;
  QCheckBox* rs485_;
  QCheckBox* echo_;
  QCheckBox* modem_;
  QComboBox* modemType_;
  QLineEdit* phone_;
  QLineEdit* modemInit_;
  QCheckBox* continuous_;
  QCheckBox* tcp_;
  IpEdit* ip_;
  QLineEdit* tcpPort_;
  QPushButton* confirm_;
};

class TerminalListDialog : public GreyDialog {
  Q_OBJECT
 public:
  TerminalListDialog(ProcessState& state, const Messages& messages, QWidget* parent = nullptr);

  TerminalView* view() const { return view_; }
  QPushButton* button(const QString& text) const;

  void reject() override;  // "&Annulla": the file is read again

 private:
  void refresh();
  void selectNumber(unsigned number);
  void addRow();
  void modifyRow();
  void deleteSelected();
  void saveAndExit();

  ProcessState& state_;
  const Messages& messages_;
  TerminalView* view_;
};

class SelectTerminalDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Ends with 1 ("&Conferma" or a double click: the row becomes current) or
  // 0 ("&Annulla").
  SelectTerminalDialog(Registry& registry, const Messages& messages, QWidget* parent = nullptr);
  TerminalView* view() const { return view_; }

 private:
  void choose();

  Registry& registry_;
  const Messages& messages_;
  TerminalView* view_;
};

class DeskReaderDialog : public GreyDialog {
  Q_OBJECT
 public:
  // "&Conferma" keeps the new values in `reader`.
  DeskReaderDialog(TerminalRecord& reader, QWidget* parent = nullptr);

  QComboBox* portBox() const { return port_; }
  QComboBox* speedBox() const { return speed_; }
  QCheckBox* rs485Box() const { return rs485_; }
  QCheckBox* echoBox() const { return echo_; }
  QCheckBox* tcpBox() const { return tcp_; }
  IpEdit* ipEdit() const { return ip_; }
  QLineEdit* tcpPortEdit() const { return tcpPort_; }

 private:
  void confirm();

  TerminalRecord& reader_;
  QComboBox* port_;
  QComboBox* speed_;
  QCheckBox* rs485_;
  QCheckBox* echo_;
  QCheckBox* tcp_;
  IpEdit* ip_;
  QLineEdit* tcpPort_;
};

}  // namespace cfg::ui
