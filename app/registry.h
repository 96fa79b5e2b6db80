// The terminal registry: the plant's fixed terminals, kept in config.dat.
//
// config.dat holds one 208-byte line per terminal (CR LF included), every
// field at a fixed column:
//
//   0-3    number "%04u"            57  RS-485 "V"/"F"     97-101   TCP port "%05u"
//   5-34   description              59  echo "V"/"F"       103      continuous modem download
//   36-40  model                    61  modem "V"/"F"      105-203  modem configuration
//   42-44  address "%03d"           63-77 phone number     205      modem type digit
//   46-49  port                     79  TCP "V"/"F"        206-207  CR LF
//   51-55  speed (" 9600")          81-95 IP "%03d.%03d.%03d.%03d"
//
// Older installations wrote shorter lines that are prefixes of this one:
// 104 bytes (up to the TCP port), 106 (plus the download flag) and 206 (plus
// the modem configuration). A file may mix them. A line written by hand may
// end in LF alone, and the last one may lack its line end: both are read
// (and written back with CR LF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_io.h"
#include "link/link_config.h"

namespace cfg {

inline constexpr std::size_t kRegistryCapacity = 100;
inline constexpr const char* kRegistryFile = "config.dat";

// One registry row; also the desk reader record. Texts are Windows-1252
// bytes no longer than their columns in config.dat.
struct TerminalRecord {
  std::uint16_t number = 0;       // 1-9999
  std::string description;        // 30, no trailing blanks
  std::string model;              // 5: "LX-K1" ... "LX-P2", "LX-K5"
  std::uint16_t address = 0;      // multi-drop address, 0-255 to be usable
  std::string port;               // 4: "COM1" ... "COM8"
  std::string speed;              // 5, right-aligned: " 9600", "19200"
  bool rs485 = false;
  bool echo = false;
  bool modem = false;
  std::uint8_t modemType = 0;     // 0 STANDARD, 1 TELIT
  std::string phoneNumber;        // 15, no trailing blanks
  std::string modemInit;          // 99, no trailing blanks
  bool continuousModemDownload = false;
  bool tcp = false;
  std::uint32_t ip = 0;           // a.b.c.d as a << 24 | b << 16 | c << 8 | d
  std::uint16_t tcpPort = 0;

  bool operator==(const TerminalRecord&) const = default;
};

struct Registry {
  std::vector<TerminalRecord> rows;  // at most kRegistryCapacity
  int current = 0;                   // the row that connect and the card work on
};

// The models a row of config.dat may carry; any other row is dropped.
bool isRegistryModel(std::string_view model);

// The line of one row without its CR LF (206 bytes for rows that fit their
// columns; texts are cut to their width).
std::string registryLine(const TerminalRecord& row);

// One line of 104, 106, 206 or 208 bytes (CR LF included) into a row; the
// fields a shorter line lacks stay cleared. The model is not checked here.
TerminalRecord parseRegistryLine(std::string_view line);

// Reads the rows of config.dat, at most 100. A line of another length or of
// an unknown model is left out and reading goes on with the next line; each
// one left out is added to `badLines` ("riga 3: modello \"HND  \"
// sconosciuto"), as are the lines beyond the 100th.
std::vector<TerminalRecord> parseRegistry(ByteSource& source, std::vector<std::string>* badLines = nullptr);

// Loads config.dat into the registry (a missing or damaged file leaves the
// rows that could be read, possibly none) and tells what it found.
// Diagnostic mode shows the path, a missing file ("Errore: opening file
// ..."), every line left out and every row.
FileReport loadRegistry(const FileContext& ctx, Registry& registry);

// Rewrites config.dat from the rows in table order, also when there are none.
// Returns false (and shows the failure) when the file could not be replaced.
// `cause` gets the path and the system's reason of a failure.
bool saveRegistry(const FileContext& ctx, const Registry& registry, std::string* cause = nullptr);

// Ascending number, as the list shows the registry.
void sortRegistryByNumber(Registry& registry);

// The desk reader record at start-up: "COM1", " 9600", TCP port 3000,
// everything else cleared.
TerminalRecord deskReaderDefaults();

// Fills a Link from a row or the desk reader record: texts copied, address
// "%02X", speed from its text, IP in network order, flags copied. Every other
// Link field (Bluetooth, USB) is cleared, so a handheld connected earlier
// leaves nothing behind. Returns false, leaving link unchanged, when the
// address is above 255 ("Errore: indirizzo non valido (0-255).", "Error Message").
bool fillLinkFromRecord(const TerminalRecord& record, LinkConfig& link, const Messages& messages);

// The same for registry row `index`; false also for an index outside the rows.
bool fillLinkFromRow(const Registry& registry, std::size_t index, LinkConfig& link,
                     const Messages& messages);

}  // namespace cfg
