// The record and archive commands in the main window's dispatch.
#pragma once

#include "app/process_state.h"

namespace cfg::ui {

class MainWindow;

// Acquisition and retrieval of the three kinds (40023, 40025, 40057, 40058,
// 40065, 40066), the counts (40047, 40061, 40067, 40082) and the erase
// (40054), which need a connected terminal; the format list (40063) and the
// archive configuration (40049, 40062, 40064), which do not.
void registerRecordCommands(MainWindow& window, ProcessState& state, Messages& messages);

}  // namespace cfg::ui
