// Opening and closing the connection to the current registry terminal.
#pragma once

#include "app/process_state.h"

namespace cfg {

// Copies the current registry row into the current Link and opens it.
// False when there is no such row, its address is not usable, or the Link
// could not be opened (each reported where it happens).
bool openCurrentTerminal(ProcessState& state, const Messages& messages);

}  // namespace cfg
