// Reaching one handheld: open its Link and unlock it with a password it
// accepts. The USB and Bluetooth list dialogs, cfgctl's usb:ID and bt:ID,
// and the batch executor all connect through connectHandheld(), so a
// handheld is unlocked the same way whoever asks.
//
// The handhelds obey only after 3A with their own password (the plant
// password once configured, the factory one before) on the same connection;
// the master password unlocks any of them, for the reset to defaults only.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "link/handheld_list.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/prompt.h"

namespace cfg {

// After a Bluetooth Link opened, the handheld needs a moment before its first frame.
inline constexpr int kBluetoothSettleMs = 200;

struct HandheldConnectOptions {
  std::string_view plantPassword;
  // Present only this password (the batch executor presents the one the
  // search found to work). Without it: the plant password, then the
  // factory one.
  std::optional<PasswordState> knownPassword;
  // The pause after opening, before the first frame; negative: 200 ms over
  // Bluetooth, none over USB.
  int settleMs = -1;
  // Waits the pause instead of sleeping; returns true when a stop was
  // requested meanwhile (a worker's pause), which ends the connect as Stopped.
  std::function<bool(int ms)> pause;
};

struct HandheldConnectResult {
  enum class Outcome {
    Unlocked,    // open, and `accepted` says which password it took
    OpenFailed,  // the Link did not open (reported by the Link while showLinkErrors is set)
    Refused,     // open, but no password was acknowledged: the Link is closed again
    Stopped,     // a stop was requested during the pause: the Link is closed again
  };
  Outcome outcome = Outcome::OpenFailed;
  std::optional<PasswordState> accepted;
  explicit operator bool() const { return outcome == Outcome::Unlocked; }
};

// Puts `config` (a handheld entry's, see linkConfigOf) into link.config,
// opens it, waits, and unlocks it with the failure prompt off: a refused
// password never asks Retry/Cancel. Whatever fails, nothing stays open.
// PasswordState::Neither as knownPassword is refused without a frame.
HandheldConnectResult connectHandheld(Link& link, const LinkConfig& config, const Messages& messages,
                                      const PortMap& ports, const HandheldConnectOptions& options);

// The reset to defaults of "&Reset+default": opens the handheld's Link,
// presents the master password 47150932 and, when acknowledged, asks
// "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?" and on Yes
// sends 31 ("Operazione completata con successo." on success). The Link is
// closed again in every case. True only when 31 was acknowledged.
bool resetHandheldToDefaults(Link& link, const LinkConfig& config, const Messages& messages, const PortMap& ports);

}  // namespace cfg
