// Reading and writing the whole parameter image of the connected terminal.
//
// Where each block lives, per model (a word is 4 bytes, 8 hexadecimal
// characters, byte 0 first):
//
//   LX-P1, LX-K3  2A/2B area FF  block 0 words 0x00-0x0F, block 1 words 0x20-0x27      24
//   LX-P2  2D/2E  47FC 00-3F (0), 80-9F (1), A0-BF (2), C0-DF (3), 47FD 00-27 (4),
//                 28-4F (5), 50-77 (6), 47FC E0-FF (0 bytes 64-95), 47FD 80-9F (7)    86
//   LX-K5  2D/2E  87FC 00-3F (0), 80-9F (1), A0-BF (2), C0-DF (3), E0-FF (0 bytes
//                 64-95), 87FD 80-9F (7), 87FE 00-1F (8)                              64
//   LX-K2  2D/2E  27FC 00-3F (0), 80-9F (1), 27FE 00-1F (8)                           32
//   LX-K4  2D/2E  8000 00-3F (0)                                                      16
//   HND    2D/2E  one 64-byte slot of the ring at 27F000-27FFFF (0)                   16
//
// The last column is the count of word transfers of a whole read or write,
// also the range of the progress bar. Reads and writes go in this order.
//
// The handheld keeps its 64 bytes in one of 64 slots of 64 bytes at
// 0x27F000 + 64k; the current slot is the lowest whose first byte is
// neither 0x00 nor 0xFF. A write goes to the next slot (the first after
// the last) and only then invalidates the old one, so a write cut short
// leaves the old parameters in force.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/link.h"
#include "link/worker.h"
#include "params/image.h"

namespace cfg {

// One run of consecutive words of a block.
struct MemorySegment {
  int block = 0;
  std::size_t offset = 0;     // first byte in the block
  int words = 0;
  bool wordIndexed = false;   // 2A/2B area FF by word index; otherwise 2D/2E by address
  std::uint32_t start = 0;    // first word index, or first byte address
};

// The model's segments in transfer order (HND: empty, its slot is found first).
std::vector<MemorySegment> memoryMap(ParamModel model);
// Word transfers of a whole read or write; 0 for a model without parameters.
int transferCount(ParamModel model);

inline constexpr std::uint32_t kSlotRingStart = 0x27F000;
inline constexpr int kSlotCount = 64;
inline constexpr std::uint32_t kSlotSize = 64;

enum class TransferEnd {
  Done,      // every transfer succeeded
  Stopped,   // the stop request ended it
  Failed,    // a transaction failed (read: the image is unchanged)
  NoSlot,    // a handheld without a valid parameter slot
  Partial,   // write: some block failed, the others were written
  NoModel,   // the model has no parameter memory
};

// Worker routine: fills the whole image from the terminal. Progress: one
// refresh per word read, with the count so far as the position. The image
// is replaced only when every read succeeded; blocks the model lacks become
// zero.
TransferEnd readAllParameters(Worker& worker, Link& link, const Messages& messages, ParameterState& state);

// Worker routine: writes the whole image, then the reset "30" (unless
// stopped). Block 0 bytes 0-1 are first taken from the terminal (its address
// and line speed), or set to the slot mark 1, 1 on a handheld. A failed
// block does not stop the blocks after it.
TransferEnd writeAllParameters(Worker& worker, Link& link, const Messages& messages, ParameterState& state);

// The handheld's current slot: its address and first word, or nothing
// (no valid slot, a failed transaction: `failed` set, or a stop).
struct SlotFound {
  std::uint32_t address = 0;
  std::uint8_t firstWord[4]{};
};

}  // namespace cfg
