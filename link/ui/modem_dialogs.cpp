#include "link/ui/modem_dialogs.h"

#include <memory>

#include "app/ui/main_window.h"
#include "app/ui/operation_dialog.h"

namespace cfg::ui {

namespace {

// The dialog ends when the worker reports (or is stopped by "&Annulla");
// what the worker found is its result.
bool runModemDialog(bool dial, Worker& worker, Link& link, const Messages& messages, QWidget* parent,
                    const ModemTiming& timing) {
  auto result = std::make_shared<ModemResult>(ModemResult{ModemOutcome::Stopped, {}});
  auto routine = [result, dial, &link, &messages, timing](Worker& w) {
    *result = dial ? dialModem(w, link, messages, timing) : hangUpModem(w, link, messages, timing);
  };
  OperationDialog dialog(worker, messages, routine, QString::fromLatin1(dial ? kDialCaption : kHangUpCaption),
                         QStringLiteral("&Annulla"), OperationDialog::Display::Text, parent);
  dialog.progressText()->setText(QString::fromLatin1(dial ? kDialText : kHangUpText));
  dialog.exec();
  return result->done();
}

}  // namespace

bool runDialDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent,
                   const ModemTiming& timing) {
  return runModemDialog(true, worker, link, messages, parent, timing);
}

bool runHangUpDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent,
                     const ModemTiming& timing) {
  return runModemDialog(false, worker, link, messages, parent, timing);
}

void registerModemDialogs(MainWindow& window, ProcessState& state, Messages& messages) {
  QWidget* parent = &window;
  window.hooks().dialModem = [&state, &messages, parent] {
    return runDialDialog(state.workers.modem, state.link, messages, parent);
  };
  window.hooks().hangUpModem = [&state, &messages, parent] {
    // At the very end the window may already be gone from the screen: the
    // dialog then stands on its own.
    runHangUpDialog(state.workers.modem, state.link, messages, parent->isVisible() ? parent : nullptr);
  };
}

}  // namespace cfg::ui
