#include "params/transfer.h"

#include <array>
#include <cstdio>
#include <string>

#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 64;
constexpr int kTimeoutMs = 250;
constexpr int kSlotWriteTimeoutMs = 600;
constexpr int kPauseMs = 25;
constexpr int kSlotPauseMs = 50;

using Word = std::array<std::uint8_t, 4>;

enum class WordRead { Ok, WrongEcho, Failed };

std::string readRequest(bool wordIndexed, std::uint32_t where) {
  char buf[16];
  if (wordIndexed)
    std::snprintf(buf, sizeof buf, "2AFF%02X", static_cast<unsigned>(where & 0xFF));
  else
    std::snprintf(buf, sizeof buf, "2D%06X", static_cast<unsigned>(where & 0xFFFFFF));
  return buf;
}

// One word read. The reply counts only when it echoes the command, the
// area and index (or the address) asked for.
WordRead readWord(Link& link, const Messages& messages, bool wordIndexed, std::uint32_t where, Word& out) {
  std::string request = readRequest(wordIndexed, where);
  int expected = wordIndexed ? 21 : 23;
  std::string reply;
  TxResult r = exchange(link, messages, request, reply, kReplyCapacity, kTimeoutMs, expected);
  if (!r) return WordRead::Failed;
  std::size_t echo = request.size() - 2;  // characters after the command
  if (r.length != expected || reply.compare(4, 2 + echo, request) != 0) return WordRead::WrongEcho;
  std::size_t dataAt = 4 + request.size();
  Word word{};
  for (std::size_t i = 0; i < 4; ++i) {
    int b = hexPairAt(reply, dataAt + 2 * i);
    if (b < 0) return WordRead::WrongEcho;
    word[i] = static_cast<std::uint8_t>(b);
  }
  out = word;
  return WordRead::Ok;
}

bool writeWord(Link& link, const Messages& messages, bool wordIndexed, std::uint32_t where, const std::uint8_t* data,
               int timeoutMs) {
  char buf[32];
  if (wordIndexed)
    std::snprintf(buf, sizeof buf, "2BFF%02X", static_cast<unsigned>(where & 0xFF));
  else
    std::snprintf(buf, sizeof buf, "2E%06X", static_cast<unsigned>(where & 0xFFFFFF));
  std::string request = buf;
  for (std::size_t i = 0; i < 4; ++i) request += byteToHex(data[i]);
  std::string reply;
  return static_cast<bool>(exchange(link, messages, request, reply, kReplyCapacity, timeoutMs, 6));
}

std::uint32_t wordAt(const MemorySegment& s, int w) {
  return s.wordIndexed ? s.start + static_cast<std::uint32_t>(w) : s.start + 4u * static_cast<std::uint32_t>(w);
}

enum class SlotSearch { Found, None, Failed, Stopped };

// The lowest slot whose first byte is neither 0x00 nor 0xFF. A reply that
// does not echo the address counts as an empty slot.
SlotSearch findSlot(Worker& worker, Link& link, const Messages& messages, std::uint32_t& address, Word& first) {
  for (int k = 0; k < kSlotCount; ++k) {
    if (worker.stopRequested()) return SlotSearch::Stopped;
    std::uint32_t at = kSlotRingStart + kSlotSize * static_cast<std::uint32_t>(k);
    Word word{};
    WordRead r = readWord(link, messages, false, at, word);
    if (r == WordRead::Failed) return SlotSearch::Failed;
    if (r == WordRead::Ok && word[0] != 0x00 && word[0] != 0xFF) {
      address = at;
      first = word;
      return SlotSearch::Found;
    }
  }
  return SlotSearch::None;
}

void sendReset(Link& link, const Messages& messages) {
  std::string reply;
  exchange(link, messages, "30", reply, kReplyCapacity, kTimeoutMs, 6);  // its result does not matter
}

}  // namespace

std::vector<MemorySegment> memoryMap(ParamModel model) {
  auto area = [](std::uint32_t base, std::initializer_list<MemorySegment> s) {
    std::vector<MemorySegment> out(s);
    for (auto& seg : out) seg.start += base;
    return out;
  };
  switch (model) {
    case ParamModel::P1:
    case ParamModel::K3:
      return {{0, 0, 16, true, 0x00}, {1, 0, 8, true, 0x20}};
    case ParamModel::P2:
      return area(0x470000, {{0, 0, 16, false, 0xFC00},
                             {1, 0, 8, false, 0xFC80},
                             {2, 0, 8, false, 0xFCA0},
                             {3, 0, 8, false, 0xFCC0},
                             {4, 0, 10, false, 0xFD00},
                             {5, 0, 10, false, 0xFD28},
                             {6, 0, 10, false, 0xFD50},
                             {0, 64, 8, false, 0xFCE0},
                             {7, 0, 8, false, 0xFD80}});
    case ParamModel::K5:
      return area(0x870000, {{0, 0, 16, false, 0xFC00},
                             {1, 0, 8, false, 0xFC80},
                             {2, 0, 8, false, 0xFCA0},
                             {3, 0, 8, false, 0xFCC0},
                             {0, 64, 8, false, 0xFCE0},
                             {7, 0, 8, false, 0xFD80},
                             {8, 0, 8, false, 0xFE00}});
    case ParamModel::K2:
      return area(0x270000, {{0, 0, 16, false, 0xFC00}, {1, 0, 8, false, 0xFC80}, {8, 0, 8, false, 0xFE00}});
    case ParamModel::K4:
      return {{0, 0, 16, false, 0x800000}};
    case ParamModel::Hnd:
    case ParamModel::None:
      break;
  }
  return {};
}

int transferCount(ParamModel model) {
  if (model == ParamModel::Hnd) return 16;
  int n = 0;
  for (const auto& s : memoryMap(model)) n += s.words;
  return n;
}

TransferEnd readAllParameters(Worker& worker, Link& link, const Messages& messages, ParameterState& state) {
  if (state.model == ParamModel::None) return TransferEnd::NoModel;
  std::vector<MemorySegment> map = memoryMap(state.model);
  if (state.model == ParamModel::Hnd) {
    std::uint32_t slot = 0;
    Word first{};
    switch (findSlot(worker, link, messages, slot, first)) {
      case SlotSearch::Found: break;
      case SlotSearch::None: return TransferEnd::NoSlot;
      case SlotSearch::Failed: return TransferEnd::Failed;
      case SlotSearch::Stopped: return TransferEnd::Stopped;
    }
    map = {{0, 0, 16, false, slot}};
  }
  ParameterImage fresh{};  // the private buffers; every block not read stays zero
  int done = 0;
  for (const MemorySegment& s : map) {
    for (int w = 0; w < s.words; ++w) {
      Word word{};
      for (;;) {
        if (worker.stopRequested()) return TransferEnd::Stopped;
        WordRead r = readWord(link, messages, s.wordIndexed, wordAt(s, w), word);
        if (r == WordRead::Failed) return TransferEnd::Failed;
        if (r == WordRead::Ok) break;
        if (worker.pause(kPauseMs)) return TransferEnd::Stopped;  // then the same word again
      }
      std::uint8_t* to = fresh.block(s.block) + s.offset + 4 * static_cast<std::size_t>(w);
      std::copy(word.begin(), word.end(), to);
      worker.refresh(0, ++done, {});
      if (worker.pause(kPauseMs)) return TransferEnd::Stopped;
    }
  }
  state.image = fresh;
  return TransferEnd::Done;
}

TransferEnd writeAllParameters(Worker& worker, Link& link, const Messages& messages, ParameterState& state) {
  if (state.model == ParamModel::None) return TransferEnd::NoModel;
  ParameterImage& image = state.image;
  int done = 0;

  if (state.model == ParamModel::Hnd) {
    std::uint32_t slot = 0;
    Word first{};
    SlotSearch found = findSlot(worker, link, messages, slot, first);
    if (found == SlotSearch::Stopped) return TransferEnd::Stopped;
    if (found != SlotSearch::Found) {
      // Nothing is written; the terminal still restarts.
      sendReset(link, messages);
      return found == SlotSearch::None ? TransferEnd::NoSlot : TransferEnd::Failed;
    }
    image.at(0, 0) = 1;  // the slot's validity mark
    image.at(0, 1) = 1;
    std::uint32_t last = kSlotRingStart + kSlotSize * (kSlotCount - 1);
    std::uint32_t target = slot == last ? kSlotRingStart : slot + kSlotSize;
    bool complete = true;
    for (int w = 0; w < 16; ++w) {
      if (worker.stopRequested()) return TransferEnd::Stopped;
      if (!writeWord(link, messages, false, target + 4u * static_cast<std::uint32_t>(w), image.block(0) + 4 * w,
                     kSlotWriteTimeoutMs)) {
        complete = false;
        break;
      }
      worker.refresh(0, ++done, {});
      if (worker.pause(kSlotPauseMs)) return TransferEnd::Stopped;
    }
    // The old slot gives way only to a complete new one.
    if (complete && target != kSlotRingStart) {
      if (worker.stopRequested()) return TransferEnd::Stopped;
      Word cleared = first;
      cleared[0] = 0x00;
      if (!writeWord(link, messages, false, slot, cleared.data(), kTimeoutMs)) complete = false;
      if (worker.pause(kSlotPauseMs)) return TransferEnd::Stopped;
    }
    if (worker.stopRequested()) return TransferEnd::Stopped;
    sendReset(link, messages);
    return complete ? TransferEnd::Done : TransferEnd::Partial;
  }

  std::vector<MemorySegment> map = memoryMap(state.model);
  // The terminal's own address and line speed: bytes 0-1 of its first word.
  // Only a reply that echoes the request counts.
  Word first{};
  for (;;) {
    if (worker.stopRequested()) return TransferEnd::Stopped;
    WordRead r = readWord(link, messages, map[0].wordIndexed, map[0].start, first);
    if (r == WordRead::Ok) break;
    if (r == WordRead::Failed) {
      sendReset(link, messages);
      return TransferEnd::Failed;
    }
    if (worker.pause(kPauseMs)) return TransferEnd::Stopped;
  }
  image.at(0, 0) = first[0];
  image.at(0, 1) = first[1];

  bool complete = true;
  for (const MemorySegment& s : map) {
    for (int w = 0; w < s.words; ++w) {
      if (worker.stopRequested()) return TransferEnd::Stopped;
      const std::uint8_t* from = image.block(s.block) + s.offset + 4 * static_cast<std::size_t>(w);
      if (!writeWord(link, messages, s.wordIndexed, wordAt(s, w), from, kTimeoutMs)) {
        complete = false;
        break;  // on with the next block
      }
      worker.refresh(0, ++done, {});
      if (worker.pause(kPauseMs)) return TransferEnd::Stopped;
    }
  }
  sendReset(link, messages);
  return complete ? TransferEnd::Done : TransferEnd::Partial;
}

}  // namespace cfg
