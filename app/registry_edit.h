// Editing the terminal registry: what the "Elenco Terminali" list and the
// "Scheda Terminale" card do to the rows, apart from their widgets.
//
// The card works on CardFields, the texts and choices its controls hold;
// storeCard checks them and writes them into a row. Texts are Windows-1252.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/registry.h"
#include "link/prompt.h"

namespace cfg {

inline constexpr const char* kRegistryFullMessage = "Spazio esaurito!";
inline constexpr const char* kNoTerminalSelected = "Nessun terminale selezionato !";
inline constexpr const char* kDeleteTerminalQuestion = "Il record selezionato verra` eliminato. Continuare ?";
inline constexpr const char* kDeleteTerminalTitle = "Elimina";
inline constexpr const char* kBadNumberMessage = "Errore: codice non valido (1-9999).";
inline constexpr const char* kBadAddressMessage = "Errore: indirizzo non valido (0-255).";

// The card's lists, in the order it shows them. LX-K5 rows come only from
// the file: the type list has no entry for them.
inline constexpr std::array<const char*, 6> kCardModels = {"LX-K1", "LX-K3", "LX-K2", "LX-K4", "LX-P1", "LX-P2"};
inline constexpr std::array<const char*, 8> kCardPorts = {"COM1", "COM2", "COM3", "COM4",
                                                          "COM5", "COM6", "COM7", "COM8"};
inline constexpr std::array<const char*, 6> kCardSpeeds = {" 1200", " 2400", " 4800", " 9600", "19200", "38400"};
inline constexpr std::array<const char*, 2> kModemTypes = {"STANDARD", "TELIT"};

// The card's speed text for a rate typed as "9600" or " 9600"; empty when
// the list has no such rate.
std::string cardSpeed(std::string_view rate);
// "COM1" ... "COM8".
bool isCardPort(std::string_view port);

// "Scarico continuo via modem:" applies to these models only (LX-P2, LX-K5).
bool allowsContinuousDownload(std::string_view model);

// The first row with this number; empty when there is none.
std::optional<std::size_t> rowOfNumber(const Registry& registry, unsigned number);

// Sorts the rows by number; the current index follows its row (found again
// by its number).
void sortKeepingCurrent(Registry& registry);

// Loads config.dat again (edits are lost); the current index follows the
// number of the row it named, or goes to 0 when that number is gone.
void reloadKeepingCurrent(const FileContext& ctx, Registry& registry);

// Removes row `index`; the current index keeps naming the same row (or the
// one that took the removed row's place). Returns the position to select
// afterwards: the same one, or the last row; empty when none is left.
std::optional<std::size_t> deleteRow(Registry& registry, std::size_t index);

// "&Aggiungi": true when the registry has room for one more row; a full one
// (kRegistryCapacity rows) shows "Spazio esaurito!".
bool roomForAnotherRow(const Registry& registry, const Messages& messages);

// What the card's controls hold. A list with nothing selected is an empty
// text: storing keeps the row's text (a stored LX-K5 stays LX-K5).
struct CardFields {
  std::string number;       // at most 4 characters
  std::string address;      // 3
  std::string description;  // 30
  std::string model;
  std::string port;
  std::string speed;
  bool rs485 = false;
  bool echo = false;
  bool modem = false;
  int modemType = 0;        // index in kModemTypes
  std::string phoneNumber;  // 15
  std::string modemInit;    // 99
  bool continuousModemDownload = false;
  bool tcp = false;
  std::uint32_t ip = 0;     // a.b.c.d as a << 24 | ... | d
  std::string tcpPort;      // 5, decimal
};

// A new row: empty texts, cleared boxes, IP 0.0.0.0, each list on its first entry.
CardFields newCard();
// An existing row: number "%04u", address "%03u", TCP port "%u", lists by
// exact text (empty when the row's text is not listed), the download box
// only for the models that have it.
CardFields cardFromRow(const TerminalRecord& row);

enum class CardError { None, Number, Address };

// What the card's lists and input limits keep out, for input that does not
// come from the card's controls (cfgctl): a model, port or speed outside the
// lists (LX-K5 is accepted: such rows exist), a text longer than its field,
// a TCP port above 65535, the continuous download for another model, modem
// together with Ethernet. The message ("Errore: ..."), or empty when the
// fields could come from the card. `storedModel` is the row's model, kept
// when card.model is empty.
std::string cardInputProblem(const CardFields& card, std::string_view storedModel = {});

// "&Conferma": the number must be 1-9999 ("Errore: codice non valido
// (1-9999).") and the address 0-255 ("Errore: indirizzo non valido
// (0-255)."), both plain decimal digits; the error is shown and the row is
// left alone. Otherwise every field goes into the row.
CardError storeCard(const CardFields& card, TerminalRecord& row, const Messages& messages);

// "Impostazioni Lettore da Tavolo": the desk reader record takes port,
// speed, RS-485, echo, TCP, IP address and TCP port; nothing is refused.
void storeDeskReader(const CardFields& card, TerminalRecord& reader);

}  // namespace cfg
