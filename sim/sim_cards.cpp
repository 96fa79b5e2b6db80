#include "sim/sim_cards.h"

#include <algorithm>
#include <cstdio>

#include "link/hex.h"
#include "sim/sim_terminal.h"

namespace cfg::sim {

namespace {

constexpr const char* kOk = "00";
constexpr const char* kNoCard = "01";
constexpr const char* kBadBlock = "02";
constexpr const char* kRefused = "03";
constexpr const char* kWriteFailed = "05";

bool trailer(int block) { return block < 128 ? block % 4 == 3 : (block - 128) % 16 == 15; }

std::string hexOf(const std::array<std::uint8_t, 16>& b) {
  std::string out;
  for (std::uint8_t v : b) out += byteToHex(v);
  return out;
}

// The card on the reader for this family and serial; nullptr otherwise.
SimCard* cardFor(SimTerminal& t, char family, std::string_view serial) {
  if (t.cardReader.cards.empty()) return nullptr;
  SimCard& card = t.cardReader.cards.front();
  if (card.family != family || card.serial != serial) return nullptr;
  return &card;
}

int blockAt(std::string_view data, std::size_t pos) { return pos + 2 <= data.size() ? hexPairAt(data, pos) : -1; }

void installFamily(SimTerminal& t, char family) {
  const std::string f(1, family);
  t.setHandler(f + "0", [family, f](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    if (s.cardReader.cards.empty() || s.cardReader.cards.front().family != family) return std::string(kNoCard);
    return kOk + s.cardReader.cards.front().serial;
  });
  t.setHandler(f + "1", [family](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (data.size() != 10) return std::nullopt;
    SimCard* card = cardFor(s, family, data.substr(0, 8));
    if (!card) return std::string(kNoCard);
    int block = blockAt(data, 8);
    if (block < 0 || static_cast<std::size_t>(block) >= card->blocks.size()) return std::string(kBadBlock);
    return kOk + hexOf(card->blocks[static_cast<std::size_t>(block)]);
  });
  t.setHandler(f + "2", [family](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (data.size() != 42) return std::nullopt;
    SimCard* card = cardFor(s, family, data.substr(0, 8));
    if (!card) return std::string(kNoCard);
    int block = blockAt(data, 8);
    if (block < 0 || static_cast<std::size_t>(block) >= card->blocks.size()) return std::string(kBadBlock);
    if (block == 0 || trailer(block)) return std::string(kRefused);
    if (s.cardReader.failWrites > 0) {
      --s.cardReader.failWrites;
      return std::string(kWriteFailed);
    }
    auto& b = card->blocks[static_cast<std::size_t>(block)];
    for (std::size_t i = 0; i < 16; ++i) {
      int v = hexPairAt(data, 10 + 2 * i);
      if (v < 0) return std::string(kRefused);
      b[i] = static_cast<std::uint8_t>(v);
    }
    ++card->writes;
    return std::string(kOk);
  });
  t.setHandler(f + "3", [family](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (data.size() != 12) return std::nullopt;
    SimCard* card = cardFor(s, family, data.substr(0, 8));
    if (!card) return std::string(kNoCard);
    int first = blockAt(data, 8), count = blockAt(data, 10);
    if (first < 0 || count <= 0 || static_cast<std::size_t>(first + count) > card->blocks.size())
      return std::string(kBadBlock);
    std::string out = kOk;
    for (int i = 0; i < count; ++i) out += hexOf(card->blocks[static_cast<std::size_t>(first + i)]);
    return out;
  });
}

}  // namespace

SimCard SimCard::blank(std::string serial, bool is4k, char family) {
  SimCard c;
  c.serial = std::move(serial);
  c.family = family;
  c.blocks.assign(is4k ? 256 : 64, {});
  return c;
}

std::optional<SimCard> parseSimCard(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    parts.emplace_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (parts.size() < 2 || parts.size() > 4) return std::nullopt;
  std::string serial = parts[0];
  for (char& c : serial)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  if (serial.size() != 8 || serial.find_first_not_of("0123456789ABCDEF") != std::string::npos) return std::nullopt;
  if (parts[1] != "1k" && parts[1] != "4k") return std::nullopt;
  const bool is4k = parts[1] == "4k";
  const std::string version = parts.size() > 2 ? parts[2] : "1";
  if (version.size() != 1) return std::nullopt;
  if (parts.size() > 3 && parts[3].size() != 1) return std::nullopt;
  SimCard card = SimCard::blank(serial, is4k, is4k ? '4' : '3');
  const std::string label = std::string(is4k ? "VELMARINO 4k 00" : "VELMARINO 1k 00") + version;
  std::copy(label.begin(), label.end(), card.blocks[1].begin());
  if (parts.size() > 3) card.blocks[2][0] = static_cast<std::uint8_t>(parts[3][0]);
  return card;
}

SimTerminal makeDeskReader(unsigned address) {
  SimTerminal t("DESK ", address);
  t.clearHandlers();
  t.tables.clear();
  t.plainXor = true;
  installFamily(t, '3');
  installFamily(t, '4');
  t.setHandler("00", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    s.cardReader.module.enter();
    return std::string(kOk);
  });
  t.setHandler("50", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (data.size() != 14 || (data.substr(0, 2) != "00" && data.substr(0, 2) != "01")) return std::string(kRefused);
    s.cardReader.keyLoads.emplace_back(data);
    return std::string(kOk);
  });
  return t;
}

}  // namespace cfg::sim
