#include "link/hex.h"

#include <cstdio>

namespace cfg {

namespace {

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

char nibbleToChar(unsigned value) { return "0123456789ABCDEF"[value & 0x0F]; }

int hexPairToByte(char high, char low) {
  int h = digitValue(high);
  int l = digitValue(low);
  if (h < 0 || l < 0) return -1;
  return h * 16 + l;
}

int hexPairAt(std::string_view text, std::size_t pos) {
  if (pos > text.size() || text.size() - pos < 2) return -1;
  return hexPairToByte(text[pos], text[pos + 1]);
}

namespace {

// Reads `count` pairs starting at text[0]; byte i of the result is pair i.
bool readPairs(std::string_view text, std::size_t count, std::uint8_t* out) {
  if (text.size() < count * 2) return false;
  for (std::size_t i = 0; i < count; ++i) {
    int b = hexPairToByte(text[2 * i], text[2 * i + 1]);
    if (b < 0) return false;
    out[i] = static_cast<std::uint8_t>(b);
  }
  return true;
}

}  // namespace

std::optional<std::uint16_t> hex4ToU16(std::string_view text) {
  std::uint8_t b[2];
  if (!readPairs(text, 2, b)) return std::nullopt;
  return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
}

std::optional<std::uint32_t> hex8ToU32(std::string_view text) {
  std::uint8_t b[4];
  if (!readPairs(text, 4, b)) return std::nullopt;
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

std::optional<std::uint16_t> hex4ToU16LowFirst(std::string_view text) {
  std::uint8_t b[2];
  if (!readPairs(text, 2, b)) return std::nullopt;
  return static_cast<std::uint16_t>(b[1] << 8 | b[0]);
}

std::optional<std::uint32_t> hex8ToU32LowFirst(std::string_view text) {
  std::uint8_t b[4];
  if (!readPairs(text, 4, b)) return std::nullopt;
  return std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
}

std::string u16ToHex4LowFirst(std::uint16_t value) {
  return byteToHex(static_cast<std::uint8_t>(value & 0xFF)) +
         byteToHex(static_cast<std::uint8_t>(value >> 8));
}

std::string byteToHex(std::uint8_t value) {
  return std::string{nibbleToChar(value >> 4), nibbleToChar(value)};
}

std::string bytesToHex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) out += byteToHex(static_cast<std::uint8_t>(c));
  return out;
}

std::uint8_t bitReverse(std::uint8_t value) {
  static constexpr std::uint8_t kReversedNibble[16] = {0, 8, 4, 12, 2, 10, 6, 14,
                                                       1, 9, 5, 13, 3, 11, 7, 15};
  return static_cast<std::uint8_t>(kReversedNibble[value & 0x0F] * 16 + kReversedNibble[value >> 4]);
}

void trimTrailingBlanks(std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
}

std::string trimmedRight(std::string_view text) {
  std::string s(text);
  trimTrailingBlanks(s);
  return s;
}

std::string zeroFillRight(std::string_view text, std::size_t width) {
  if (text.size() >= width) return std::string(text);
  return std::string(width - text.size(), '0') + std::string(text);
}

std::string hexDump(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(static_cast<std::uint8_t>(bytes[i])));
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace cfg
