// Hexadecimal and text helpers with which every command builds and parses
// Frame payloads. Terminals write hexadecimal in upper case only: a lower-case
// digit is not a digit on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cfg {

// value & 0x0F as '0'-'9', 'A'-'F'.
char nibbleToChar(unsigned value);

// Two characters of "0123456789ABCDEF" to 16 * first + second; -1 otherwise.
int hexPairToByte(char high, char low);
// Same, reading text[pos], text[pos+1]; -1 also when the text is too short.
int hexPairAt(std::string_view text, std::size_t pos);

// "12AB" -> 0x12AB (first pair is the high byte). Empty on a bad digit or short text.
std::optional<std::uint16_t> hex4ToU16(std::string_view text);
// "12345678" -> 0x12345678 (first four characters are the high 16 bits).
std::optional<std::uint32_t> hex8ToU32(std::string_view text);
// "AB12" -> 0x12AB (first pair is the low byte).
std::optional<std::uint16_t> hex4ToU16LowFirst(std::string_view text);
// "78563412" -> 0x12345678 (pairs are bytes 0, 1, 2, 3 from the left).
std::optional<std::uint32_t> hex8ToU32LowFirst(std::string_view text);
// 0x12AB -> "AB12": "%04X" with the two pairs swapped.
std::string u16ToHex4LowFirst(std::uint16_t value);

// "%02X" of one byte.
std::string byteToHex(std::uint8_t value);
// Each byte as two upper-case hexadecimal characters.
std::string bytesToHex(std::string_view bytes);

// Reverses the order of the 8 bits (table of the reversed nibbles).
std::uint8_t bitReverse(std::uint8_t value);

// Removes trailing blanks in place.
void trimTrailingBlanks(std::string& text);
std::string trimmedRight(std::string_view text);

// Right-justifies text in a field of the given width, filling with '0' on the
// left. A text already as long as the width or longer is returned unchanged.
std::string zeroFillRight(std::string_view text, std::size_t width);

// Printable dump of bytes for failure messages: "01 30 41 02 ..".
std::string hexDump(std::string_view bytes);

}  // namespace cfg
