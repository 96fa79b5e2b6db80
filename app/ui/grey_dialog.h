// The grey look every dialog of the program shares: background, buttons and
// labels in 0xC0C0C0 from one palette.
#pragma once

#include <QDialog>

class QBoxLayout;
class QLineEdit;
class QPushButton;

namespace cfg::ui {

inline constexpr unsigned kDialogGrey = 0xC0C0C0;

// Gives a widget (and the children that take their palette from it) the grey look.
void applyGreyLook(QWidget* widget);

// Base of every dialog: grey, with a title.
class GreyDialog : public QDialog {
  Q_OBJECT
 public:
  explicit GreyDialog(const QString& title, QWidget* parent = nullptr);
};

// A push button appended to a row; Enter in a field never presses it.
QPushButton* addButton(QBoxLayout* row, const QString& text, QWidget* parent);
// A line edit taking at most maxLength characters.
QLineEdit* textEdit(int maxLength, QWidget* parent);

// The buttons of the list dialogs, in a row under the list:
// "&Nuovo", "&Modifica", "&Elimina", "&Annulla", "&Salva ed esci".
struct ListButtons {
  QPushButton* add;
  QPushButton* modify;
  QPushButton* remove;
  QPushButton* cancel;
  QPushButton* save;
};
ListButtons layOutListDialog(QDialog* dialog, QWidget* list);

// "&Conferma" and "&Annulla" in a row under `form` (a card's fields).
struct CardButtons {
  QPushButton* confirm;
  QPushButton* cancel;
};
CardButtons layOutCard(QDialog* dialog, QLayout* form);

}  // namespace cfg::ui
