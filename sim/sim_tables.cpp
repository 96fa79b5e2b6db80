#include "sim/sim_tables.h"

#include <algorithm>
#include <array>

#include "link/hex.h"

namespace cfg::sim {

namespace {

const std::array<SimTable, 9> kTables{{
    {"1A", "1C", "18", 14, '0'},  // access policies
    {"22", "23", "20", 10, '0'},  // sirens
    {"12", "14", "10", 42, '0'},  // user messages
    {"26", "27", "24", 10, '0'},  // exit direction
    {"52", "53", "50", 40, '0'},  // justifications
    {"72", "73", "70", 42, 'F'},  // sites
    {"7C", "7D", "7A", 42, 'F'},  // job activities
    {"56", "57", "54", 48, 'F'},  // production program
    {"5A", "5C", "58", 68, 'F'},  // production tables
}};

bool isModel(std::string_view model, std::initializer_list<std::string_view> list) {
  for (auto m : list)
    if (model == m) return true;
  return false;
}

}  // namespace

int simTableCapacity(const SimTable& t, std::string_view model) {
  const std::string_view w = t.write;
  const bool big = isModel(model, {"LX-P2", "LX-K5"});
  const bool access = isModel(model, {"LX-P1", "LX-P2", "LX-K2", "LX-K3", "LX-K4", "LX-K5"});
  const bool hnd = model == "HND  ";
  if (w == "1A") return access ? (big ? 2048 : 1024) : 0;
  if (w == "22" || w == "26") return access ? 64 : 0;
  if (w == "12") return isModel(model, {"LX-P1", "LX-P2", "LX-K2", "LX-K5"}) ? (big ? 5850 : 2880) : 0;
  if (w == "52") return big || hnd ? 50 : 0;
  if (w == "72" || w == "7C") return hnd ? 186 : 0;
  return isModel(model, {"LX-P1", "LX-P2", "HND  "}) ? 1000 : 0;
}

int simUserCapacity(const SimTerminal& t) {
  if (t.userCapacity > 0) return t.userCapacity;
  return isModel(t.model(), {"LX-P2", "LX-K5"}) ? 5850 : 2880;
}

std::optional<std::string> userCountReply(const SimTerminal& t) {
  if (t.userCountFails) return std::nullopt;
  auto it = t.tables.find("0B");
  const std::size_t stored = it == t.tables.end() ? 0 : it->second.size();
  auto hex4 = [](std::size_t v) {
    auto n = static_cast<std::uint16_t>(std::min<std::size_t>(v, 0xFFFF));
    return byteToHex(static_cast<std::uint8_t>(n >> 8)) + byteToHex(static_cast<std::uint8_t>(n));
  };
  return "3802" + hex4(stored) + hex4(static_cast<std::size_t>(simUserCapacity(t)));
}

void installTableCommands(SimTerminal& terminal) {
  // Users: every model; the capacity is looked up at each write so that a
  // test or the demo may change it after the terminal is made.
  terminal.setHandler("0B", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    auto& records = s.tables["0B"];
    if (data.size() != 40 || records.size() >= static_cast<std::size_t>(simUserCapacity(s))) return std::nullopt;
    records.emplace_back(data);
    return std::string();
  });
  terminal.setHandler("0D", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    s.tables["0B"].clear();
    return std::string();
  });
  terminal.setHandler("08", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    auto index = hex4ToU16(data);
    if (data.size() != 4 || !index) return std::nullopt;
    const auto& records = s.tables["0B"];
    std::string record = *index < records.size() ? records[*index] : std::string(40, '0');
    return "08" + std::string(data) + record;
  });
  for (const SimTable& t : kTables) {
    const int capacity = simTableCapacity(t, terminal.model());
    if (capacity == 0) continue;
    std::string key = t.write, read = t.read;
    std::size_t length = t.wireLength;
    char fill = t.freeFill;
    terminal.setHandler(t.write, [key, length, capacity](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
      auto& records = s.tables[key];
      if (data.size() != length || records.size() >= static_cast<std::size_t>(capacity)) return std::nullopt;
      records.emplace_back(data);
      return std::string();
    });
    terminal.setHandler(t.clear, [key](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
      if (!data.empty()) return std::nullopt;
      s.tables[key].clear();
      return std::string();
    });
    terminal.setHandler(read, [key, read, length, fill](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
      auto index = hex4ToU16(data);
      if (data.size() != 4 || !index) return std::nullopt;
      const auto& records = s.tables[key];
      std::string record = *index < records.size() ? records[*index] : std::string(length, fill);
      return read + std::string(data) + record;
    });
  }
}

}  // namespace cfg::sim
