// A simulated desk card reader and the MIFARE Classic cards laid on it.
//
// The reader is a SimTerminal that speaks the plain-XOR variant and knows
// only the card commands. Every reply is a data Frame whose first two
// characters are a status, "00" for success:
//   "30"/"40"                        look for a card: status + serial (8)
//   "50" mode(2) key(12)             load a key: status
//   "31"/"41" serial block           read a block: status + 32 hex digits
//   "32"/"42" serial block 32 digits write a block: status
//   "33"/"43" serial first count     read blocks: status + 32 digits each
//   "00"                             hand the line to the fingerprint module
//                                    (sim_fingerprint_module.h): status, then
//                                    binary packets until "+++"
// A card answers the family it was made for (3x or 4x); a command for
// another card, a block past the card's end or a write to a sector trailer
// answers a status other than "00".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "sim/sim_fingerprint_module.h"

namespace cfg::sim {

struct SimCard {
  std::string serial = "1A2B3C4D";  // eight upper-case hexadecimal characters
  char family = '3';                // the command family that finds it: '3' or '4'
  std::vector<std::array<std::uint8_t, 16>> blocks;  // 64 (1K) or 256 (4K)
  int writes = 0;                   // blocks written so far

  // A blank card: every block zero.
  static SimCard blank(std::string serial, bool is4k, char family);
};

struct SimCardReaderState {
  std::vector<SimCard> cards;  // the card on the reader is the first; none when empty
  std::vector<std::string> keyLoads;  // mode + key of each "50", in order
  int failWrites = 0;                 // the next writes answer status "05"
  SimFingerprintModule module;        // behind the reader, reached after "00"
};

// "SERIAL,1k|4k[,VERSION[,LETTER]]": a labelled card ("VELMARINO 1k 00" or
// "VELMARINO 4k 00" + VERSION, default '1') whose block 2 holds LETTER
// (default none: zero); a 1K card answers the 3x family, a 4K one the 4x.
// Nothing when the text is not of that form.
std::optional<SimCard> parseSimCard(std::string_view text);

class SimTerminal;

// A desk reader at `address`: no terminal command, only the card commands.
SimTerminal makeDeskReader(unsigned address);

}  // namespace cfg::sim
