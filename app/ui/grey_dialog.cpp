#include "app/ui/grey_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

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

QPushButton* addButton(QBoxLayout* row, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  row->addWidget(button);
  return button;
}

QLineEdit* textEdit(int maxLength, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setMaxLength(maxLength);
  return edit;
}

ListButtons layOutListDialog(QDialog* dialog, QWidget* list) {
  auto* row = new QHBoxLayout;
  ListButtons b{addButton(row, QStringLiteral("&Nuovo"), dialog), addButton(row, QStringLiteral("&Modifica"), dialog),
                addButton(row, QStringLiteral("&Elimina"), dialog), addButton(row, QStringLiteral("&Annulla"), dialog),
                addButton(row, QStringLiteral("&Salva ed esci"), dialog)};
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(list);
  layout->addLayout(row);
  return b;
}

CardButtons layOutCard(QDialog* dialog, QLayout* form) {
  auto* row = new QHBoxLayout;
  CardButtons b{addButton(row, QStringLiteral("&Conferma"), dialog), addButton(row, QStringLiteral("&Annulla"), dialog)};
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addLayout(row);
  return b;
}

}  // namespace cfg::ui
