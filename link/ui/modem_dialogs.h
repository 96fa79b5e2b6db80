// "Connetti Modem" and "Disconnetti Modem": operation dialogs that run the
// dial and hang-up workers (link/modem.h) on the modem's own worker record.
#pragma once

#include <QWidget>

#include "app/process_state.h"
#include "link/modem.h"

namespace cfg::ui {

class MainWindow;

// "Connetti Modem" ("Connessione via modem in corso ...", "&Annulla"). True
// when the line is dialled; "&Annulla" during the dial hangs up before the
// dialog closes.
bool runDialDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent,
                   const ModemTiming& timing = {});
// "Disconnetti Modem" ("Disconnessione modem in corso ..."). True when the
// modem confirmed the end of the call.
bool runHangUpDialog(Worker& worker, Link& link, const Messages& messages, QWidget* parent,
                     const ModemTiming& timing = {});

// Sets the main window's dial and hang-up hooks: a modem row is dialled
// after its Link opens and hung up at disconnect and at shutdown.
void registerModemDialogs(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
