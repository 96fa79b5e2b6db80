// The basic terminal commands: each is one function over the current Link.
//
// Single-exchange commands (set date and time, reset, versions, output,
// direct command) run their transaction on the caller's thread and show
// their result through Messages; the repeating displays are worker routines
// (see worker.h) that report through the Progress port. A dialog only
// collects the inputs and shows what these functions return.
//
// Transaction failures are reported by the transaction itself; input errors
// are shown here, titled "Error Message", and name the field that gets the
// focus back.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kSuccessMessage = "Operazione completata con successo.";
inline constexpr const char* kResetDefaultsQuestion = "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?";
inline constexpr const char* kResetDefaultsTitle = "Reset Terminale";
inline constexpr const char* kBadChannelMessage = "Errore: canale non valido (1-4).";
inline constexpr const char* kBadDataMessage = "Errore: dato non valido.";

// The input field an error sends the focus back to.
enum class InputField { None, Channel, Duration, Address, Speed, Offset, Data };

struct CommandResult {
  bool ok = false;
  InputField badField = InputField::None;  // set when an input was refused
  explicit operator bool() const { return ok; }
};

// Blank-trimmed decimal digits only (at most 9); empty otherwise.
std::optional<unsigned long> parseDecimal(std::string_view text);

// Text sent as two hexadecimal characters per byte, from `pos` for at most
// `maxBytes` bytes, stopping at the reply's ETX, at a NUL byte or at a pair
// that is not hexadecimal.
std::string decodeHexText(std::string_view reply, std::size_t pos, std::size_t maxBytes);

// --- date and time ---

// The PC's local time now.
std::tm localNow();
// "29" + "%04d%02d%02d%02d%02d%02d" of year, month, day, hour, minute, second.
std::string setDateTimeRequest(const std::tm& local);
// 29 with the given time; "Operazione completata con successo." on success.
bool setDateTime(Link& link, const Messages& messages, const std::tm& local);
bool setDateTimeNow(Link& link, const Messages& messages);

// The 28 reply shown as "dd/mm/yyyy hh:mm:ss"; empty when the accepted reply
// (of `length` bytes) is not a full date and time.
std::optional<std::string> formatDateTimeReply(std::string_view reply, int length);
// One 28. False when the transaction failed; `text` is empty when the
// terminal answered something that is not a date and time.
bool readDateTime(Link& link, const Messages& messages, std::string& text);
// Worker routine of "Lettura data e ora": 28, refresh with the text, 25 ms
// and a further 1000 ms, again until stopped; a failed 28 ends it.
void dateTimeDisplay(Worker& worker, Link& link, const Messages& messages);

// --- reset ---

// 30; "Operazione completata con successo." on success.
bool resetTerminal(Link& link, const Messages& messages);
// The question "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?"
// ("Reset Terminale", Yes/No, No preselected); on Yes 31 and the success message.
bool resetWithDefaults(Link& link, const Messages& messages);

// --- versions ---

// 34, then 34 "01" and 34 "02" with askOnFailure cleared (restored after):
// "Versione firmware = '%s'" and "\rVersione lettore%d = '%s'" per reader
// that answered. Empty when 34 itself failed.
std::optional<std::string> firmwareVersionText(Link& link, Messages& messages);
// The same text shown in one "Info Message".
bool showFirmwareVersion(Link& link, Messages& messages);

// --- output command ---

enum class OutputChoice { On, Off, Duration };
inline constexpr int kOutputOn = 0x81;
inline constexpr int kOutputOff = 0x80;
// 37 with channel "%02X" (1-4) and the action byte: 0x81 for ON, 0x80 for
// OFF, otherwise the typed duration (0-255). A bad channel gives "Errore:
// canale non valido (1-4)."; a duration that is not a number of 0-255 gives
// "Errore: dato non valido." (it must fit its two characters).
CommandResult sendOutputCommand(Link& link, const Messages& messages, std::string_view channelText,
                                OutputChoice choice, std::string_view durationText);

// --- direct command ---

inline constexpr std::size_t kDirectCommandMax = 32;
// What a reply shows: its bytes from position 4 up to the ETX (nothing for a
// short ACK/NAK reply, which has no ETX).
std::string directReplyText(std::string_view reply, int length);
// Sends the typed text (at most 32 characters; longer input is cut) as
// command + data, frame length strlen + 7, and shows the reply text in an
// "Info Message". Empty when the transaction failed.
std::optional<std::string> sendDirectCommand(Link& link, const Messages& messages, std::string_view text);

}  // namespace cfg
