// The grey look every dialog of the program shares: background, buttons and
// labels in 0xC0C0C0 from one palette.
#pragma once

#include <QDialog>

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

}  // namespace cfg::ui
