// The connection to a fixed terminal of the registry: connect, disconnect
// and the reconnect after an address/speed change, as plain calls on the
// process state. The main window, the batch executor and cfgctl use the same
// calls; what only a screen can do (choose the row, dial, hang up) comes in
// as hooks, and what the screen must show afterwards (menu, caption,
// commands to post) comes back as a FrameUpdate.
//
// While connected the program holds the terminal's lock (terminal_lock.h),
// taken before the Link opens and released when it closes, so that no other
// run collects from the same terminal at the same time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/menu_state.h"
#include "app/process_state.h"

namespace cfg {

// Copies the current registry row into the current Link and opens it.
// False when there is no such row, its address is not usable, or the Link
// could not be opened (each reported where it happens).
bool openCurrentTerminal(ProcessState& state, const Messages& messages);

// Shown when "&Connessione terminale" comes while a terminal is connected.
inline constexpr const char* kAlreadyConnected = "Terminale gia` connesso: disconnetterlo prima.";

struct ConnectionHooks {
  // "Seleziona Terminale": true when a row was chosen (registry.current set).
  std::function<bool()> selectTerminal;
  // "Connetti Modem": true when the line is dialled. Without it a modem row
  // cannot be connected.
  std::function<bool()> dialModem;
  // "Disconnetti Modem".
  std::function<void()> hangUpModem;
  // Selects the parameter layout of the connected model.
  std::function<void(std::string_view model)> selectParameterLayout;
  // Releases the USB device list (at shutdown, when the Link is a USB one).
  std::function<void()> releaseUsbList;
};

// What the frame applies after a step: menu changes, the new caption
// (Windows-1252; none: unchanged) and commands to post to itself.
struct FrameUpdate {
  MenuChanges menu;
  std::optional<std::string> caption;
  std::vector<int> post;
};

// Connect (40022). Unless state.reconnect is set the terminal is chosen with
// hooks.selectTerminal; then the terminal's lock is taken ("Errore:
// terminale occupato." when another run holds it), the Link opened, a modem
// line dialled; on success the menu goes to the connected state of the
// model, the caption names the terminal and state.connected is set. Any
// failure leaves the program disconnected, with the lock released and the
// Link closed. state.reconnect is clear afterwards in every case.
FrameUpdate connectFixedTerminal(ProcessState& state, const Messages& messages, const ConnectionHooks& hooks);

// Disconnect (40030): hangs up a dialled modem, closes the Link, releases the
// lock, greys the terminal functions, caption back to "ORBITA"; posts 40022
// when state.reconnect is set.
FrameUpdate disconnectTerminal(ProcessState& state, const ConnectionHooks& hooks);

// Shown when the chosen handheld refused both passwords in the search.
inline constexpr const char* kNotOfPlant = "Il terminale selezionato non appartiene all'impianto !";

struct HandheldConnect {
  FrameUpdate update;             // empty unless connected
  bool connected = false;
  bool offerPasswordSetup = false;  // the handheld still has the factory password
};

// "&Connetti" in a handheld list: entry `index` of state.handhelds. A
// handheld of another plant is refused with "Il terminale selezionato non
// appartiene all'impianto !". The handheld's lock (palmare-ID.lck) is taken,
// its Link opened and unlocked (connectHandheld: plant password, then the
// factory one; no box for a refused password). On success the menu goes to
// the handheld-connected state, the caption names the handheld's id and
// name, the parameter layout of "HND  " is selected and state.connected is
// set; offerPasswordSetup says that the search found only the factory
// password working. Any failure leaves the program disconnected with the
// lock released and the Link closed. state.reconnect is clear afterwards.
HandheldConnect connectListedHandheld(ProcessState& state, const Messages& messages, std::size_t index,
                                      const ConnectionHooks& hooks);

// "&Reset+default" in a handheld list: the entry's handheld back to its
// defaults (resetHandheldToDefaults) while the program is not connected to
// it; its lock is held for the time. True when the handheld took 31.
bool resetListedHandheld(ProcessState& state, const Messages& messages, std::size_t index);

// The connection's part of the program's end, once every worker has
// stopped: hangs up a dialled modem, releases the USB device list of a USB
// Link, closes the Link and releases the terminal's lock.
void closeAtShutdown(ProcessState& state, const ConnectionHooks& hooks);

// The terminal took a new address and speed index: the current registry row
// gets them, the registry is saved, and the user is asked whether to
// reconnect with them (sets state.reconnect on Yes).
void recordAddressSpeedChange(ProcessState& state, const Messages& messages, unsigned address, int speedIndex);

// After "Cambia Indirizzo/Velocita`" ended with `result`: 40030 is posted
// when the terminal took the values and the user wants to reconnect.
FrameUpdate afterAddressSpeed(const ProcessState& state, int result);

}  // namespace cfg
