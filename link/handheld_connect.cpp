#include "link/handheld_connect.h"

#include <chrono>
#include <thread>

#include "link/commands.h"
#include "link/handheld_scan.h"

namespace cfg {

namespace {

// True when a stop was requested during the pause.
bool settle(const LinkConfig& config, int settleMs, const std::function<bool(int)>& pause = {}) {
  if (settleMs < 0) settleMs = config.bluetooth != BluetoothKind::None ? kBluetoothSettleMs : 0;
  if (settleMs <= 0) return false;
  if (pause) return pause(settleMs);
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  return false;
}

bool openHandheldLink(Link& link, const LinkConfig& config, const Messages& messages, const PortMap& ports) {
  if (link.isOpen()) link.close();
  link.config = config;
  if (!link.trace) link.trace = traceFromEnvironment();  // CFGTOOL_TRACE
  return link.open(messages, ports);
}

}  // namespace

HandheldConnectResult connectHandheld(Link& link, const LinkConfig& config, const Messages& messages,
                                      const PortMap& ports, const HandheldConnectOptions& options) {
  HandheldConnectResult result;
  if (options.knownPassword == PasswordState::Neither) {
    result.outcome = HandheldConnectResult::Outcome::Refused;
    return result;
  }
  if (!openHandheldLink(link, config, messages, ports)) return result;
  if (settle(config, options.settleMs, options.pause)) {
    link.close();
    result.outcome = HandheldConnectResult::Outcome::Stopped;
    return result;
  }

  if (options.knownPassword) {
    AskOnFailureGuard quiet(messages.flags, false);
    std::string_view password =
        *options.knownPassword == PasswordState::Plant ? options.plantPassword : kDefaultHandheldPassword;
    if (presentPassword(link, messages, password)) result.accepted = options.knownPassword;
  } else {
    result.accepted = unlockHandheld(link, messages, options.plantPassword);
  }
  if (!result.accepted) {
    link.close();
    result.outcome = HandheldConnectResult::Outcome::Refused;
    return result;
  }
  result.outcome = HandheldConnectResult::Outcome::Unlocked;
  return result;
}

bool resetHandheldToDefaults(Link& link, const LinkConfig& config, const Messages& messages, const PortMap& ports) {
  if (!openHandheldLink(link, config, messages, ports)) return false;
  settle(config, -1);
  bool unlocked;
  {
    AskOnFailureGuard quiet(messages.flags, false);
    unlocked = presentPassword(link, messages, kMasterHandheldPassword);
  }
  bool done = unlocked && resetWithDefaults(link, messages);
  link.close();
  return done;
}

}  // namespace cfg
