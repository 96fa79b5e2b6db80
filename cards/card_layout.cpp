#include "cards/card_layout.h"

#include <algorithm>
#include <cstdio>

#include "link/hex.h"

namespace cfg::cards {

namespace {

// The card value's eight constants and the derived key's two strings: cards
// prepared with other values cannot be read by this program.
constexpr std::array<std::uint32_t, 8> kValueConstants = {0x9E3779B9u, 0x7F4A7C15u, 0xC2B2AE35u, 0x27D4EB2Fu,
                                                          0x165667B1u, 0x85EBCA77u, 0xD3A2646Cu, 0xFD7046C5u};
constexpr const char* kKeyText1 = "A5C3E1F0B2D49687";
constexpr const char* kKeyText2 = "3C5A7E9102B4D6F8";

std::uint32_t rotl5(std::uint32_t v) { return (v << 5) | (v >> 27); }

std::string hexBytes(const std::uint8_t* p, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += byteToHex(p[i]);
  return out;
}

void putHexBytes(std::string_view hex, std::uint8_t* out) {
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int b = hexPairAt(hex, i);
    out[i / 2] = static_cast<std::uint8_t>(b < 0 ? 0 : b);
  }
}

std::string padded(std::string_view text, std::size_t width) {
  std::string s(text.substr(0, width));
  s.resize(width, ' ');
  return s;
}

// The two check texts of format "A" (64 characters each) and check 2.
struct CheckTexts {
  std::string first;
  std::string second;
};

CheckTexts checkTexts(const Block& b0, const Block& b2, std::string_view serial, std::string_view check2, std::uint8_t x) {
  char xs[3];
  std::snprintf(xs, sizeof xs, "%02X", x);
  const std::string d = hexBytes(b0.data(), 11);
  const std::string z = hexBytes(b2.data(), 8);
  const std::string s(serial);
  return {s + xs + d + s + z + s, std::string(xs) + d + s + z + std::string(check2) + s};
}

std::uint8_t nameXor(const Block& b0, const Block& b1) {
  std::uint8_t x = 0;
  for (int i = 11; i < 16; ++i) x ^= b0[static_cast<std::size_t>(i)];
  for (int i = 0; i < 15; ++i) x ^= b1[static_cast<std::size_t>(i)];
  return x;
}

bool isHexText(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

}  // namespace

std::uint16_t crc16Arc(const std::uint8_t* data, std::size_t length) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001u) : crc >> 1;
  }
  return crc;
}

std::optional<std::string> cardValue(std::string_view hex64) {
  if (hex64.size() != 64 || !isHexText(hex64)) return std::nullopt;
  std::array<std::uint32_t, 8> w{};
  std::string text(hex64);
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  for (std::size_t i = 0; i < 8; ++i) w[i] = hex8ToU32(std::string_view(text).substr(i * 8, 8)).value_or(0);
  std::uint32_t h = 0;
  for (unsigned i = 0; i < 16; ++i) {
    // (i - 4) mod 8 and (i - 2) mod 8 as non-negative residues.
    const std::uint32_t mix = w[(i + 4) % 8] ^ w[(i + 6) % 8] ^ w[i % 8];
    h = rotl5(h) + mix + kValueConstants[i % 8];
  }
  char out[9];
  std::snprintf(out, sizeof out, "%08X", static_cast<unsigned>(h));
  return std::string(out);
}

std::optional<std::string> derivedKey(std::string_view serial) {
  if (serial.size() != 8) return std::nullopt;
  const std::string s(serial);
  auto v = cardValue(s + s + kKeyText1 + kKeyText2 + s + s);
  if (!v) return std::nullopt;
  return "00" + *v + "00";
}

std::optional<Label> parseLabel(const Block& block1) {
  std::string_view text(reinterpret_cast<const char*>(block1.data()), 15);
  const char version = static_cast<char>(block1[15]);
  if ((text != kLabel1k && text != kLabel4k) || (version != '1' && version != '2')) return std::nullopt;
  return Label{text == kLabel4k, version};
}

Block formatBlock(char letter) {
  Block b{};
  b[0] = static_cast<std::uint8_t>(letter);
  return b;
}

bool isSectorTrailer(int block) { return block < 128 ? block % 4 == 3 : (block - 128) % 16 == 15; }

std::vector<int> templateStarts(Family family) {
  if (family == Family::F3x) return {32};
  return {128, 153, 179, 204, 230};
}

std::vector<int> templateBlocks(Family family, int k) {
  std::vector<int> blocks;
  const auto starts = templateStarts(family);
  if (k < 0 || static_cast<std::size_t>(k) >= starts.size()) return blocks;
  for (int b = starts[static_cast<std::size_t>(k)]; static_cast<int>(blocks.size()) < kTemplateBlocks && b < 256; ++b)
    if (!isSectorTrailer(b)) blocks.push_back(b);
  return blocks;
}

int templatesOffered(const Block& block1, Family family) {
  const int byLabel = block1[10] == '4' ? 5 : 1;
  return std::min(byLabel, static_cast<int>(templateStarts(family).size()));
}

bool allZero(const Block& block) {
  return std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; });
}

std::array<Block, 3> encodeA(const HolderA& h, std::string_view serial) {
  std::array<Block, 3> b{};
  b[0][0] = static_cast<std::uint8_t>(h.plant);
  b[0][1] = static_cast<std::uint8_t>(h.plant >> 8);
  b[0][2] = static_cast<std::uint8_t>(h.company);
  for (int i = 0; i < 4; ++i) b[0][static_cast<std::size_t>(3 + i)] = static_cast<std::uint8_t>(h.user >> (8 * i));
  b[0][7] = static_cast<std::uint8_t>(h.info);
  b[0][8] = static_cast<std::uint8_t>(h.info >> 8);
  const std::uint16_t crc = crc16Arc(b[0].data(), 9);
  b[0][9] = static_cast<std::uint8_t>(crc);
  b[0][10] = static_cast<std::uint8_t>(crc >> 8);
  const std::string name = padded(h.name, 20);
  for (int i = 0; i < 5; ++i) b[0][static_cast<std::size_t>(11 + i)] = static_cast<std::uint8_t>(name[static_cast<std::size_t>(i)]);
  for (int i = 0; i < 15; ++i) b[1][static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(name[static_cast<std::size_t>(5 + i)]);
  const std::uint8_t x = nameXor(b[0], b[1]);
  const std::string check2 = *cardValue(checkTexts(b[0], b[2], serial, "", x).first);
  putHexBytes(check2, b[2].data() + 8);
  const std::string check3 = *cardValue(checkTexts(b[0], b[2], serial, check2, x).second);
  putHexBytes(check3, b[2].data() + 12);
  return b;
}

ChecksA checksA(const std::array<Block, 3>& b, std::string_view serial) {
  ChecksA c;
  c.crc1 = crc16Arc(b[0].data(), 11) == 0;
  if (serial.size() != 8 || !isHexText(serial)) return c;
  const std::uint8_t x = nameXor(b[0], b[1]);
  const std::string stored2 = hexBytes(b[2].data() + 8, 4);
  const std::string stored3 = hexBytes(b[2].data() + 12, 4);
  c.check2 = cardValue(checkTexts(b[0], b[2], serial, "", x).first) == stored2;
  c.check3 = cardValue(checkTexts(b[0], b[2], serial, stored2, x).second) == stored3;
  return c;
}

CheckA verifyA(const std::array<Block, 3>& b, std::string_view serial) {
  const ChecksA c = checksA(b, serial);
  if (!c.crc1) return CheckA::Crc1;
  if (!c.check2) return CheckA::Crc2;
  if (!c.check3) return CheckA::Crc3;
  return CheckA::Ok;
}

HolderA decodeA(const std::array<Block, 3>& b) {
  HolderA h;
  h.plant = static_cast<unsigned>(b[0][0] | (b[0][1] << 8));
  h.company = b[0][2];
  h.user = 0;
  for (int i = 3; i >= 0; --i) h.user = (h.user << 8) | b[0][static_cast<std::size_t>(3 + i)];
  h.info = static_cast<unsigned>(b[0][7] | (b[0][8] << 8));
  h.name.assign(reinterpret_cast<const char*>(b[0].data() + 11), 5);
  h.name.append(reinterpret_cast<const char*>(b[1].data()), 15);
  return h;
}

Block recordAreaBlock(int block) {
  Block b{};
  if (block == kRecordAreaFirst) {
    b[0] = 0x54;
    b[1] = 0x31;
  }
  return b;
}

std::array<Block, 2> encodeB(const HolderB& h) {
  std::array<std::uint8_t, 32> d{};
  d[0] = static_cast<std::uint8_t>(h.type);
  d[1] = static_cast<std::uint8_t>(h.plant >> 8);
  d[2] = static_cast<std::uint8_t>(h.plant);
  const std::string code = std::string(10 - std::min<std::size_t>(10, h.code.size()), '0') + h.code.substr(0, 10);
  putHexBytes(code, d.data() + 3);
  const std::string name = padded(h.name, 16);
  std::copy(name.begin(), name.end(), d.begin() + 8);
  const std::string data = std::string(12 - std::min<std::size_t>(12, h.data.size()), '0') + h.data.substr(0, 12);
  putHexBytes(data, d.data() + 24);
  const std::uint16_t crc = crc16Arc(d.data(), 30);
  d[30] = static_cast<std::uint8_t>(crc);
  d[31] = static_cast<std::uint8_t>(crc >> 8);
  std::array<Block, 2> b{};
  std::copy(d.begin(), d.begin() + 16, b[0].begin());
  std::copy(d.begin() + 16, d.end(), b[1].begin());
  return b;
}

bool verifyB(const std::array<Block, 2>& b) {
  std::array<std::uint8_t, 32> d{};
  std::copy(b[0].begin(), b[0].end(), d.begin());
  std::copy(b[1].begin(), b[1].end(), d.begin() + 16);
  return crc16Arc(d.data(), d.size()) == 0;
}

HolderB decodeB(const std::array<Block, 2>& b) {
  std::array<std::uint8_t, 32> d{};
  std::copy(b[0].begin(), b[0].end(), d.begin());
  std::copy(b[1].begin(), b[1].end(), d.begin() + 16);
  HolderB h;
  h.type = d[0];
  h.plant = static_cast<unsigned>((d[1] << 8) | d[2]);
  h.code = hexBytes(d.data() + 3, 5);
  h.name.assign(reinterpret_cast<const char*>(d.data() + 8), 16);
  h.data = hexBytes(d.data() + 24, 6);
  return h;
}

int holderFirstBlock(Family family) { return family == Family::F3x ? 16 : 32; }

std::string blockHex(const Block& block) { return hexBytes(block.data(), block.size()); }

std::optional<Block> blockOfHex(std::string_view hex32) {
  if (hex32.size() != 32 || !isHexText(hex32)) return std::nullopt;
  Block b{};
  putHexBytes(hex32, b.data());
  return b;
}

}  // namespace cfg::cards
