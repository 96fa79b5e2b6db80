#include "app/ui/ip_edit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QValidator>

namespace cfg::ui {

class DecimalValidator : public QValidator {
 public:
  DecimalValidator(unsigned max, QObject* parent) : QValidator(parent), max_(max) {}
  State validate(QString& input, int&) const override {
    if (input.isEmpty()) return Acceptable;
    for (QChar c : input)
      if (c < u'0' || c > u'9') return Invalid;
    bool ok = false;
    unsigned value = input.toUInt(&ok);
    return ok && value <= max_ ? Acceptable : Invalid;
  }

 private:
  unsigned max_;
};

void limitToDecimal(QLineEdit* edit, int maxLength, unsigned max) {
  edit->setMaxLength(maxLength);
  edit->setValidator(new DecimalValidator(max, edit));
}

IpEdit::IpEdit(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
    auto* edit = new QLineEdit(this);
    limitToDecimal(edit, 3, 255);
    edit->setAlignment(Qt::AlignCenter);
    edit->setMaximumWidth(40);
    octets_[i] = edit;
    layout->addWidget(edit);
  }
  setAddress(0);
}

std::uint32_t IpEdit::address() const {
  std::uint32_t address = 0;
  for (QLineEdit* edit : octets_) address = address << 8 | (edit->text().toUInt() & 0xFFu);
  return address;
}

void IpEdit::setAddress(std::uint32_t address) {
  for (int i = 0; i < 4; ++i) octets_[i]->setText(QString::number((address >> (8 * (3 - i))) & 0xFFu));
}

}  // namespace cfg::ui
