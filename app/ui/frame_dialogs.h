// The small dialogs of the frame: "Start Up" (runs the loading sequence
// while it shows "Inizializzazione in corso. Attendere ...") and the about
// box "Informazioni". Also the main window's picture.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>

#include "app/ui/grey_dialog.h"

namespace cfg::ui {

class StartUpDialog : public GreyDialog {
  Q_OBJECT
 public:
  // Runs `load` once the dialog is on screen, then closes.
  StartUpDialog(std::function<void()> load, QWidget* parent = nullptr);

 private:
  std::function<void()> load_;
};

class AboutDialog : public GreyDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

// Draws the picture centred; reduced with its proportions kept when the
// area is smaller, never enlarged.
class PictureWidget : public QWidget {
  Q_OBJECT
 public:
  explicit PictureWidget(QPixmap picture, QWidget* parent = nullptr);
  QRect pictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

}  // namespace cfg::ui
