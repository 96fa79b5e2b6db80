// Dial-up: the dial and hang-up workers of a terminal behind a Hayes-style
// modem.
//
// The serial Link to the local modem is opened first; the dial worker then
// talks to the modem in text lines (ended by LF, read into a 255-byte buffer
// and searched for "OK", "NO CARRIER" and "CONNECT" anywhere in the line):
//
//   check      "ATE0\r" (echo off), up to 3 attempts; no "OK": escape and
//              hang up, try again; after 3: "Modem non presente !"
//   set-up     the initialisation string + CR, only when it is not empty,
//              up to 3 attempts; after 3: "Invio configurazione fallito !"
//   dial       "ATD" + number + CR, then up to 150 reads of 1000 ms until a
//              line comes: "CONNECT ..." is success, anything else (BUSY, NO
//              CARRIER, NO ANSWER) or nothing is "Connessione fallita !"
//
// Escape and hang up: 500 ms of silence, "+" three times 350 ms apart, up to
// 10 reads of 350 ms for "OK", then "ATH0\r" (standard) or "ATH\r" (TELIT)
// and up to 10 reads of 500 ms for "OK" or "NO CARRIER".
//
// The stop request is looked at before every send and read. A dial that is
// stopped hangs up first (up to 3 times the hang-up command, a read of 1000
// ms each, until "OK" or "CONNECT"), so a cancelled call never stays up. A
// stopped hang-up just ends. Failures are shown ("Error Message", system
// modal) while showLinkErrors is set; the result says which it was.
#pragma once

#include <string>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kModemAbsent = "Modem non presente !";
inline constexpr const char* kModemSetupFailed = "Invio configurazione fallito !";
inline constexpr const char* kModemDialFailed = "Connessione fallita !";
inline constexpr const char* kModemHangUpFailed = "Error: disconnection modem failed!";

// The two modem dialogs: caption and the text they show while they run.
inline constexpr const char* kDialCaption = "Connetti Modem";
inline constexpr const char* kDialText = "Connessione via modem in corso ...";
inline constexpr const char* kHangUpCaption = "Disconnetti Modem";
inline constexpr const char* kHangUpText = "Disconnessione modem in corso ...";

// The modem's waits. The defaults are the ones the modems in the field
// expect (the escape's guard times among them); tests of the failure paths
// shorten them together with the simulated modem's guard time.
struct ModemTiming {
  int silenceMs = 500;       // before the escape, and before a hang-up
  int plusGapMs = 350;       // between the three "+"
  int escapeReadMs = 350;    // each of the 10 reads for the escape's "OK"
  int hangUpReadMs = 500;    // each of the 10 reads after "ATH0"/"ATH"
  int checkReadMs = 500;     // the answer to "ATE0"
  int setupReadMs = 1000;    // the answer to the initialisation string
  int dialReadMs = 1000;     // each of the reads after "ATD"
  int dialReads = 150;       // about 150 s for the call to be answered
  int cancelReadMs = 1000;   // each read of the hang-up after a stopped dial
};

enum class ModemOutcome { Done, Failed, Stopped };

struct ModemResult {
  ModemOutcome outcome = ModemOutcome::Failed;
  std::string message;  // the failure's text; empty otherwise
  bool done() const { return outcome == ModemOutcome::Done; }
};

// "ATH0\r" for a standard modem, "ATH\r" for a TELIT module; nothing for any
// other type (no command is sent then).
std::string hangUpCommand(std::uint8_t modemType);

// Dials link.config.phoneNumber on the open Link. Worker side of "Connetti Modem".
ModemResult dialModem(Worker& worker, Link& link, const Messages& messages, const ModemTiming& timing = {});
// Ends the call. Worker side of "Disconnetti Modem".
ModemResult hangUpModem(Worker& worker, Link& link, const Messages& messages, const ModemTiming& timing = {});

// The whole dialog without a dialog (cfgctl, tests): runs the worker on
// `record` and returns when it has ended. `limitMs` bounds the wait; past it
// the worker is stopped (a dial then hangs up first).
ModemResult runModemHeadless(Worker& record, const Messages& messages, bool dial, Link& link, int limitMs,
                             const ModemTiming& timing = {});

}  // namespace cfg
