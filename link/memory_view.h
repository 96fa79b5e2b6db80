// Memory view: one 256-byte page of terminal memory as 64 groups of 4 bytes.
//
// LX-P1 and LX-K3 are read by block and index (block form); the page picks
// the command by the area it lies in:
//   page 0x0000-0x00FF  2C  block = page / 4
//   page 0x2000-0x23FF  2A  block = (page - 0x2000) / 4   (written with 2B)
//   page 0x2400-0x27FF  2D  block = (page - 0x2400) / 4   (LX-K3 only; written with 2E)
//   index = (page mod 4) * 64 + group
// reply: SOH a a STX cmd(2) block(2) index(2) data(8) ETX check CR, 21 bytes.
// Pages outside those areas read 0xFF without asking.
//
// The other fixed models and handhelds are read by page and offset (address
// form): 2D page "%04X" offset "%02X";
// reply: SOH a a STX "2D" page(4) offset(2) data(8) ETX check CR, 23 bytes.
//
// A reply counts only when it echoes the command and the index (offset)
// asked for; otherwise the same group is asked again.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/commands.h"

namespace cfg {

inline constexpr const char* kBadMemoryAddressMessage = "Errore: indirizzo non valido.";

enum class MemoryForm { None, Block, Address };
MemoryForm memoryFormOf(std::string_view model);

struct MemoryPage {
  std::uint16_t page = 0;
  std::array<std::uint8_t, 256> bytes{};
  std::array<bool, 64> known{};  // the group was read (or lies outside every area)
  int groupsRead = 0;            // groups done so far: the progress position
};

// "Vai a ...": up to four characters, filled with "0" on the left, all four
// upper-case hexadecimal; otherwise "Errore: indirizzo non valido." is shown.
std::optional<std::uint16_t> parsePageText(const Messages& messages, std::string_view text);

// How group `group` (0-63) of `page` is read on this model; empty when the
// page lies outside every area and reads 0xFF.
struct GroupRead {
  std::string request;   // command + data
  int expected = 0;      // reply length
  std::size_t echoPos = 0;  // reply position of the echoed index or offset
  int echo = 0;          // the index or offset the reply must echo
  std::size_t dataPos = 0;  // reply position of the four data bytes
};
std::optional<GroupRead> groupRead(std::string_view model, std::uint16_t page, int group);

// Reads group `group` once: true when the transaction succeeded. `counted`
// tells whether the reply echoed what was asked; only then `bytes` is set.
bool readGroup(Link& link, const Messages& messages, const GroupRead& how, bool& counted,
               std::array<std::uint8_t, 4>& bytes);

// Worker routine reading the whole page into `out` (2 ms between reads,
// refresh with the number of groups read as the progress position). A
// failed transaction ends it; so does the stop request. Only the worker
// writes `out` while it runs.
void readMemoryPage(Worker& worker, Link& link, const Messages& messages, std::uint16_t page, MemoryPage& out);

// Whether "Modifica" can write on this page of this model: LX-P1 in
// 0x2000-0x23FF, LX-K3 in 0x2000-0x27FF, the address-form models anywhere.
bool canWriteMemory(std::string_view model, std::uint16_t page);

// "Modifica": the offset (two hexadecimal characters, filled with "0" on the
// left, a multiple of 4, else "Errore: indirizzo non valido.") and the data
// (exactly eight upper-case hexadecimal characters, else "Errore: dato non
// valido.") are checked, the four bytes are written on page.page and, once
// accepted, read back into `page`. A page that cannot be written is refused
// without a transaction.
CommandResult writeMemoryGroup(Link& link, const Messages& messages, MemoryPage& page, std::string_view offsetText,
                               std::string_view dataText);

}  // namespace cfg
