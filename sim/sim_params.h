// The simulated terminals' parameter memory: what a terminal holds when it
// leaves the factory, per model, and the handheld's ring of parameter slots.
//
// Fixed models keep their parameters in a main area (256 bytes: bytes 0-63
// and 0xE0-0xFF in the parameter image's block 0, 0x80-0xDF in blocks 1-3),
// some in a second and a third area; unwritten flash elsewhere reads 0xFF.
// The handheld keeps its 64 bytes in one of 64 slots of 64 bytes at
// 0x27F000; the lowest slot whose first byte is neither 0x00 nor 0xFF is
// the one in force.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sim/sim_terminal.h"

namespace cfg::sim {

inline constexpr std::uint32_t kHandheldSlots = 0x27F000;

// Fills the parameter areas of the terminal's model with the factory
// values: zeros, and the model's defaults in the main area's first 64 bytes
// (and 0xE0-0xFF), keeping the address and speed bytes. A handheld gets its
// defaults in slot 0 and every other slot erased (0xFF).
void installParameterMemory(SimTerminal& terminal);

// The handheld's slot in force: its address, or nothing when every slot
// starts with 0x00 or 0xFF.
std::optional<std::uint32_t> currentParameterSlot(const SimTerminal& terminal);

// The 64 bytes at `slot`.
std::array<std::uint8_t, 64> slotBytes(const SimTerminal& terminal, std::uint32_t slot);

// Sets every slot's first byte to `mark` (0x00 or 0xFF: no slot in force).
void invalidateAllSlots(SimTerminal& terminal, std::uint8_t mark);

}  // namespace cfg::sim
