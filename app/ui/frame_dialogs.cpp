#include "app/ui/frame_dialogs.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/menu_state.h"

namespace cfg::ui {

StartUpDialog::StartUpDialog(std::function<void()> load, QWidget* parent)
    : GreyDialog(QStringLiteral("Start Up"), parent), load_(std::move(load)) {
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Inizializzazione in corso. Attendere ..."), this));
  QTimer::singleShot(0, this, [this] {
    if (load_) load_();
    accept();
  });
}

AboutDialog::AboutDialog(QWidget* parent) : GreyDialog(QStringLiteral("Informazioni"), parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString(aboutText()), this), 0, Qt::AlignHCenter);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

PictureWidget::PictureWidget(QPixmap picture, QWidget* parent) : QWidget(parent), picture_(std::move(picture)) {}

QRect PictureWidget::pictureRect() const {
  Size drawn = pictureSize({picture_.width(), picture_.height()}, {width(), height()});
  return {(width() - drawn.width) / 2, (height() - drawn.height) / 2, drawn.width, drawn.height};
}

void PictureWidget::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  // Pixel for pixel: a reduced picture drops pixels, it is never smoothed.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawPixmap(pictureRect(), picture_);
}

}  // namespace cfg::ui
