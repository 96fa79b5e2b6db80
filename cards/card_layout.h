// The plant's MIFARE Classic badges: what lies in which block.
//
//   block 1   label "VELMARINO 1k 00" / "VELMARINO 4k 00" + version '1' or '2'
//   block 2   format letter '@', 'A' or 'B', then zeros
//   16-18 / 32-34 (family 3x / 4x)   holder data ("A": three blocks, "B": two)
//   88-126 (4x, "A")                 the card's own badge records
//   32-62 (3x) / 128-254 (4x)        fingerprint templates, 24 data blocks each
//
// Holder data carries checks: CRC-16/ARC, stored low byte first so that the
// CRC over data and stored CRC is 0, and for format "A" two card values
// (cardValue) over texts made of the serial number and the data.
//
// Every function here is pure; cards/card_worker.* talks to the reader.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cfg::cards {

using Block = std::array<std::uint8_t, 16>;

// CRC-16/ARC: polynomial 0x8005 reflected (0xA001), initial 0, no final XOR.
std::uint16_t crc16Arc(const std::uint8_t* data, std::size_t length);
inline std::uint16_t crc16Arc(std::string_view bytes) {
  return crc16Arc(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// The program's keyed 32-bit function of 64 hexadecimal characters, as eight
// upper-case hexadecimal characters; nothing when the input is not 64 hex digits.
std::optional<std::string> cardValue(std::string_view hex64);

// The 12-character key of a card: "00" + card value of (serial serial S1 S2
// serial serial) + "00". `serial` is the reader's eight hexadecimal characters.
std::optional<std::string> derivedKey(std::string_view serial);

// The fixed key used before reading the holder data of version-2 cards.
inline constexpr const char* kStoredKey = "5D3C7A1E90B4";

// --- blocks 1 and 2 ---

enum class Family : std::uint8_t { F3x = 3, F4x = 4 };
inline Family otherFamily(Family f) { return f == Family::F3x ? Family::F4x : Family::F3x; }

inline constexpr const char* kLabel1k = "VELMARINO 1k 00";
inline constexpr const char* kLabel4k = "VELMARINO 4k 00";

struct Label {
  bool is4k = false;
  char version = '1';  // '1' or '2'
};
// Nothing for a card this program does not know.
std::optional<Label> parseLabel(const Block& block1);
Block formatBlock(char letter);  // letter, then fifteen zero bytes

// --- fingerprint templates ---

inline constexpr int kTemplateBlocks = 24;
inline constexpr std::size_t kCardTemplateBytes = 384;

// Sector trailers (never written): the last block of each sector.
bool isSectorTrailer(int block);
// Start blocks of the family's template areas (one for 3x, five for 4x).
std::vector<int> templateStarts(Family family);
// The 24 data blocks of template `k` (0-based), ascending.
std::vector<int> templateBlocks(Family family, int k);
// Templates a dialog offers: the smaller of the label's (five when label
// character 10 is '4', else one) and the family's areas.
int templatesOffered(const Block& block1, Family family);
bool allZero(const Block& block);

// --- format "A" ---

struct HolderA {
  unsigned plant = 0;        // 0-9999
  unsigned company = 0;      // 0-99
  unsigned long user = 0;    // 1-999999999
  unsigned info = 0;         // 0-65535
  std::string name;          // 20 bytes, blank-padded (Windows-1252)
};

// The three holder blocks for the card `serial`.
std::array<Block, 3> encodeA(const HolderA& holder, std::string_view serial);

struct ChecksA {
  bool crc1 = false;    // CRC-16/ARC over the first block's bytes 0-10 is 0
  bool check2 = false;  // card value of the first check text
  bool check3 = false;  // card value of the second check text
};
ChecksA checksA(const std::array<Block, 3>& blocks, std::string_view serial);
enum class CheckA { Ok, Crc1, Crc2, Crc3 };
// The first check that fails, in the order crc1, check 2, check 3.
CheckA verifyA(const std::array<Block, 3>& blocks, std::string_view serial);
HolderA decodeA(const std::array<Block, 3>& blocks);

// The record area of 4x cards written by "write and erase the records".
inline constexpr int kRecordAreaFirst = 88;
inline constexpr int kRecordAreaLast = 126;
Block recordAreaBlock(int block);  // block 88: 0x54 0x31 then zeros; others zero

// --- format "B" ---

struct HolderB {
  unsigned type = 0;     // 0-255
  unsigned plant = 0;    // 0-9999
  std::string code;      // ten upper-case hexadecimal digits
  std::string name;      // 16 bytes, blank-padded
  std::string data;      // twelve upper-case hexadecimal digits
};

std::array<Block, 2> encodeB(const HolderB& holder);
// CRC-16/ARC over all 32 bytes is 0.
bool verifyB(const std::array<Block, 2>& blocks);
HolderB decodeB(const std::array<Block, 2>& blocks);

// First holder block of the family (16 for 3x, 32 for 4x).
int holderFirstBlock(Family family);

// --- hexadecimal text of blocks, as the reader carries them ---
std::string blockHex(const Block& block);
std::optional<Block> blockOfHex(std::string_view hex32);

}  // namespace cfg::cards
