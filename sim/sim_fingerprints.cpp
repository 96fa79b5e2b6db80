#include "sim/sim_fingerprints.h"

#include <algorithm>

#include "link/hex.h"
#include "tables/fingerprints.h"

namespace cfg::sim {

namespace {

constexpr std::size_t kBadgeLength = 10;

bool isUpperHex(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

}  // namespace

void installFingerprintCommands(SimTerminal& terminal) {
  if (!fingerprintsEnabledFor(terminal.model())) return;
  terminal.setHandler("4A", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    auto& records = s.tables[kSimFingerprintKey];
    if (data.size() != kBadgeLength + kTemplateDigits || !isUpperHex(data) ||
        records.size() >= kSimFingerprintCapacity)
      return std::nullopt;
    records.emplace_back(data);
    return std::string();
  });
  terminal.setHandler("4C", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    if (!data.empty()) return std::nullopt;
    s.tables[kSimFingerprintKey].clear();
    return std::string();
  });
  terminal.setHandler("48", [](SimTerminal& s, std::string_view data) -> std::optional<std::string> {
    auto index = hex4ToU16(data);
    if (data.size() != 4 || !index || *index == 0) return std::nullopt;
    const auto& records = s.tables[kSimFingerprintKey];
    if (*index > records.size()) return "48" + std::string(data) + std::string(kBadgeLength, '0');
    return "48" + std::string(data) + records[*index - 1u];
  });
}

}  // namespace cfg::sim
