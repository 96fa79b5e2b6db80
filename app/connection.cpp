#include "app/connection.h"

#include "app/command_ids.h"
#include "app/registry_edit.h"
#include "app/text_1252.h"
#include "link/address_speed.h"
#include "link/handheld_connect.h"

namespace cfg {

namespace {

const TerminalRecord* currentRow(const ProcessState& state) {
  const Registry& registry = state.registry;
  if (registry.current < 0 || static_cast<std::size_t>(registry.current) >= registry.rows.size()) return nullptr;
  return &registry.rows[static_cast<std::size_t>(registry.current)];
}

// Takes the terminal's lock; false (reported) when it cannot be had.
bool lockTerminal(TerminalLock& lock, const Messages& messages, const std::filesystem::path& path) {
  std::string error;
  switch (lock.acquire(path, &error)) {
    case TerminalLock::Result::Held:
      return true;
    case TerminalLock::Result::Busy:
      messages.error(kTerminalBusy);
      return false;
    case TerminalLock::Result::Failed:
      // The path is the file system's (UTF-8); messages are Windows-1252.
      messages.error("Errore: " + utf8ToCp1252(error));
      return false;
  }
  return false;
}

void closeConnection(ProcessState& state) {
  state.link.close();
  state.terminalLock.release();
}

}  // namespace

bool openCurrentTerminal(ProcessState& state, const Messages& messages) {
  if (state.registry.current < 0) return false;
  if (state.link.isOpen()) state.link.close();
  if (!fillLinkFromRow(state.registry, static_cast<std::size_t>(state.registry.current), state.link.config,
                       messages))
    return false;
  if (!state.link.trace) state.link.trace = traceFromEnvironment();  // CFGTOOL_TRACE
  return state.link.open(messages, state.ports);
}

FrameUpdate connectFixedTerminal(ProcessState& state, const Messages& messages, const ConnectionHooks& hooks) {
  FrameUpdate update;
  bool reconnect = state.reconnect;
  state.reconnect = false;
  if (state.connected) {
    messages.info(kAlreadyConnected);
    return update;
  }
  if (!reconnect && (!hooks.selectTerminal || !hooks.selectTerminal())) return update;
  const TerminalRecord* row = currentRow(state);
  if (!row) return update;

  if (!lockTerminal(state.terminalLock, messages, terminalLockPath(state.workingDirectory, row->number)))
    return update;
  if (!openCurrentTerminal(state, messages)) {
    closeConnection(state);
    return update;
  }
  if (state.link.config.modem) {
    if (!hooks.dialModem || !hooks.dialModem()) {
      closeConnection(state);
      return update;
    }
    state.modemConnected = true;
  }

  update.menu = connectedFixedChanges(row->model, state.expertFunctions);
  update.caption = fixedTerminalCaption(row->number, row->description);
  if (hooks.selectParameterLayout) hooks.selectParameterLayout(row->model);
  state.connected = true;
  return update;
}

FrameUpdate disconnectTerminal(ProcessState& state, const ConnectionHooks& hooks) {
  FrameUpdate update;
  if (state.link.config.modem && state.modemConnected) {
    if (hooks.hangUpModem) hooks.hangUpModem();
    state.modemConnected = false;
  }
  closeConnection(state);
  update.menu = disconnectedChanges();
  update.caption = kProgramCaption;
  state.connected = false;
  if (state.reconnect) update.post.push_back(cmd::Connect);
  return update;
}

HandheldConnect connectListedHandheld(ProcessState& state, const Messages& messages, std::size_t index,
                                      const ConnectionHooks& hooks) {
  HandheldConnect result;
  state.reconnect = false;
  if (index >= state.handhelds.size()) {
    messages.error(kNoTerminalSelected);
    return result;
  }
  const HandheldEntry& entry = state.handhelds[index];
  if (entry.passwordState == PasswordState::Neither) {
    messages.error(kNotOfPlant);
    return result;
  }
  if (state.connected) {
    messages.info(kAlreadyConnected);
    return result;
  }
  if (!lockTerminal(state.terminalLock, messages, handheldLockPath(state.workingDirectory, entry.id)))
    return result;
  HandheldConnectOptions options;
  options.plantPassword = state.plantPassword;
  if (!connectHandheld(state.link, linkConfigOf(entry), messages, state.ports, options)) {
    closeConnection(state);
    return result;
  }
  result.offerPasswordSetup = entry.passwordState == PasswordState::Default;
  result.update.menu = connectedHandheldChanges(state.expertFunctions);
  result.update.caption = handheldCaption(entry.id, entry.name);
  if (hooks.selectParameterLayout) hooks.selectParameterLayout(entry.model);
  state.connected = true;
  result.connected = true;
  return result;
}

bool resetListedHandheld(ProcessState& state, const Messages& messages, std::size_t index) {
  if (index >= state.handhelds.size()) {
    messages.error(kNoTerminalSelected);
    return false;
  }
  if (state.connected) {
    messages.info(kAlreadyConnected);
    return false;
  }
  const HandheldEntry& entry = state.handhelds[index];
  if (!lockTerminal(state.terminalLock, messages, handheldLockPath(state.workingDirectory, entry.id))) return false;
  bool done = resetHandheldToDefaults(state.link, linkConfigOf(entry), messages, state.ports);
  closeConnection(state);
  return done;
}

void closeAtShutdown(ProcessState& state, const ConnectionHooks& hooks) {
  if (state.modemConnected) {
    if (hooks.hangUpModem) hooks.hangUpModem();
    state.modemConnected = false;
  }
  if (state.link.kind() == LinkKind::Usb && hooks.releaseUsbList) hooks.releaseUsbList();
  closeConnection(state);
  state.connected = false;
}

void recordAddressSpeedChange(ProcessState& state, const Messages& messages, unsigned address, int speedIndex) {
  Registry& registry = state.registry;
  if (registry.current < 0 || static_cast<std::size_t>(registry.current) >= registry.rows.size()) return;
  if (speedIndex < 0 || static_cast<std::size_t>(speedIndex) >= kSpeedTexts.size()) return;
  TerminalRecord& row = registry.rows[static_cast<std::size_t>(registry.current)];
  row.address = static_cast<std::uint16_t>(address);
  row.speed = kSpeedTexts[static_cast<std::size_t>(speedIndex)];
  saveRegistry(state.files(messages), registry);
  if (askReconnect(messages)) state.reconnect = true;
}

FrameUpdate afterAddressSpeed(const ProcessState& state, int result) {
  FrameUpdate update;
  if (result == 1 && state.reconnect) update.post.push_back(cmd::Disconnect);
  return update;
}

}  // namespace cfg
