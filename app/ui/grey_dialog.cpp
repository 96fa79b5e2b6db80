#include "app/ui/grey_dialog.h"

#include <QPalette>

namespace cfg::ui {

void applyGreyLook(QWidget* widget) {
  QPalette palette = widget->palette();
  const QColor grey{QRgb(kDialogGrey)};
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Window, grey);
    palette.setColor(group, QPalette::Button, grey);
  }
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

GreyDialog::GreyDialog(const QString& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  applyGreyLook(this);
}

}  // namespace cfg::ui
