// The Prompt port on Qt: every question of the core as a QMessageBox.
//
// Boxes are parentless, application-modal and stay on top, with the title,
// icon, buttons and default button of the request (the standard buttons
// read "Sì"/"No" once Qt's Italian translation is installed). A worker
// thread that asks blocks until the GUI thread has shown the box and has the
// answer (a blocking queued call); the GUI thread itself asks directly.
//
// Without a display (the offscreen platform) nobody could answer a box: the
// console mode writes each request to standard error and answers the safe
// way (OK, Cancel, No), so a command-line batch on a server never waits.
#pragma once

#include <QObject>

#include "link/prompt.h"

class QMessageBox;

namespace cfg::ui {

class QtPrompt : public QObject, public Prompt {
  Q_OBJECT
 public:
  enum class Mode { Boxes, Console };
  // Create it on the GUI thread.
  explicit QtPrompt(Mode mode = Mode::Boxes, QObject* parent = nullptr);

  Answer ask(const PromptRequest& request) override;
  Mode mode() const { return mode_; }

  // The box for a request, not yet shown.
  static QMessageBox* makeBox(const PromptRequest& request);
  // The answer a console run gives.
  static Answer safeAnswer(Buttons buttons);

 private:
  Answer show(const PromptRequest& request);
  Mode mode_;
};

// Loads Qt's Italian translation of its own texts; true when found.
bool installItalianTranslation();

}  // namespace cfg::ui
