// Change of a terminal's line address and speed.
//
// The address (binary) and the speed index (0 = 1200 ... 5 = 38400) live in
// the first two bytes of a 4-byte configuration block whose place depends on
// the model; the two other bytes are kept. The block is read, rewritten with
// the new values and the kept bytes, and the terminal is reset (30): it
// answers that reset at the old address and restarts with the new values.
//
//   LX-P1, LX-K3   2A "FF00"   -> 2B "FF00"   + "%02X%02X" + kept (reply 14-15, 16-17)
//   LX-P2          2D "47FC00" -> 2E "47FC00" + "%02X%02X" + kept (reply 16-17, 18-19)
//   LX-K2, LX-K1   2D "27FC00" -> 2E "27FC00" ...
//   LX-K4          2D "800000" -> 2E "800000" ...
//   LX-K5          2D "87FC00" -> 2E "87FC00" ...
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/commands.h"

namespace cfg {

inline constexpr const char* kBadLineAddressMessage = "Errore: indirizzo non valido (0-255).";
inline constexpr const char* kReconnectQuestion = "Riconnettere il terminale con i nuovi valori impostati ?";
inline constexpr const char* kReconnectTitle = "Connessione";
// "Modifica" without a speed chosen (the stored speed is not in the list).
inline constexpr const char* kNoSpeedMessage = "Errore: scegliere la velocita`.";

// The speed list of the dialog; the position is the speed index.
inline constexpr std::array<const char*, 6> kSpeedTexts = {" 1200", " 2400", " 4800", " 9600", "19200", "38400"};
inline constexpr std::array<std::uint32_t, 6> kSpeeds = {1200, 2400, 4800, 9600, 19200, 38400};

// Index of a baud rate in the list; empty when it is not listed.
std::optional<int> speedIndexOf(std::uint32_t baud);
// Index of a registry speed text (" 9600", "9600") in the list; empty when
// it is not listed: the dialog then preselects nothing.
std::optional<int> speedIndexOfText(std::string_view text);
// The address field's text, "%03u".
std::string addressFieldText(unsigned address);
// True for the models whose configuration block is known.
bool hasConfigBlock(std::string_view model);

struct AddressSpeedResult {
  bool ok = false;
  InputField badField = InputField::None;
  unsigned address = 0;     // the new values, for the terminal's registry row
  int speedIndex = 0;
  explicit operator bool() const { return ok; }
};

// Checks the address (decimal 0-255, else "Errore: indirizzo non valido
// (0-255).") and the speed index (one of the list, else "Errore: scegliere
// la velocita`."; nothing is sent then), rewrites the model's configuration block, resets the terminal
// (timeout 250 ms) and shows "Operazione completata con successo.". Any
// failed transaction ends it without that message; so does a block reply
// too short to hold the kept bytes (nothing is written then), and a model
// without a configuration block (nothing is sent).
AddressSpeedResult changeAddressAndSpeed(Link& link, const Messages& messages, std::string_view addressText,
                                         int speedIndex);

// "Riconnettere il terminale con i nuovi valori impostati ?" ("Connessione",
// Yes/No); true on Yes: the caller then closes the connection.
bool askReconnect(const Messages& messages);

}  // namespace cfg
