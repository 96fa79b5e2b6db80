// The fingerprint table of a simulated terminal (models with a fingerprint
// module): "4C" empties it, "4A" + badge (10) + template (768) appends one
// record (NAK once 1836 are held), "48%04X" reads the record at a 1-based
// index: 791 bytes with the record, 23 bytes (badge of zeros, no template)
// for a free index, NAK for index 0.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_terminal.h"

namespace cfg::sim {

inline constexpr const char* kSimFingerprintKey = "4A";  // SimTerminal::tables key
inline constexpr std::size_t kSimFingerprintCapacity = 1836;

// Installs the three commands on the models that take fingerprints.
void installFingerprintCommands(SimTerminal& terminal);

}  // namespace cfg::sim
