// Capturing one fingerprint with the fingerprint module behind the desk
// reader (worker routine).
//
// The desk reader is woken with "00" (plain XOR); a desk reader on a serial
// port is then reopened at 38400 baud. The module is configured with binary
// packets (parameters 'b', 'e', 'g', 'u', 'w', 0x82, 0x84 read, and written
// and saved where they differ), then the finger is asked for twice and the
// 384-byte template requested. Whatever happens, "+++" ends the session with
// the module. Progress texts go to the worker's refresh.
#pragma once

#include <functional>
#include <string>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kCaptureConnecting = "Connessione in corso ...";
inline constexpr const char* kCapturePlaceFinger = "Appoggiare il dito";
inline constexpr const char* kCaptureLiftFinger = "Sollevare il dito";
inline constexpr const char* kCapturePlaceAgain = "Appoggiare di nuovo";
inline constexpr const char* kCaptureError = "Errore!";
inline constexpr const char* kCaptureWait = "Attendere ...";
inline constexpr const char* kCaptureCancelling = "Operazione annullata. Attendere ...";

enum class CaptureEnd { Captured, Failed, Stopped };

struct CaptureResult {
  CaptureEnd end = CaptureEnd::Failed;
  std::string digits;  // 768 upper-case hexadecimal digits when captured
};

// Closes the desk reader's Link and opens it again at 38400 baud; false
// when it cannot be opened.
using ReopenFast = std::function<bool(Link& link)>;

// `pauseScale` shortens the specified pauses (tests); 1 in the program.
CaptureResult captureFingerprint(Worker& worker, Link& link, const Messages& messages, const ReopenFast& reopenFast,
                                 int pauseScale = 1);

}  // namespace cfg
