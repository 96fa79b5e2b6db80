// The basic terminal commands in the main window's dispatch: the
// single-exchange menu commands and the dialogs of basic_dialogs.h.
#pragma once

#include "app/process_state.h"

namespace cfg::ui {

class MainWindow;

// Sets the handlers of 40028, 40029, 40031, 40044, 40046, 40048, 40051,
// 40053, 40077 and 40078, and the address/speed hook (40045). Each acts only
// while a terminal is connected.
void registerBasicCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
