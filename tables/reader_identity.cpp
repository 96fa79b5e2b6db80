#include "tables/reader_identity.h"

#include <algorithm>
#include <cstdio>

#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 64;
constexpr int kAttempts = 5;  // reads of one word whose reply echoes another address

using Word = std::array<std::uint8_t, 4>;

std::string address4(std::uint32_t address) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(address & 0xFFFF));
  return buf;
}

enum class Read { Ok, WrongEcho, Failed };

Read readWord(Link& link, const Messages& messages, std::uint32_t address, Word& out) {
  std::string request = "2D27" + address4(address);
  std::string reply;
  TxResult r = exchange(link, messages, request, reply, kReplyCapacity, 250, 23);
  if (!r) return Read::Failed;
  if (r.length != 23 || reply.compare(4, request.size(), request) != 0) return Read::WrongEcho;
  for (std::size_t i = 0; i < 4; ++i) {
    int b = hexPairAt(reply, 12 + 2 * i);
    if (b < 0) return Read::WrongEcho;
    out[i] = static_cast<std::uint8_t>(b);
  }
  return Read::Ok;
}

bool writeWord(Link& link, const Messages& messages, std::uint32_t address, const std::uint8_t* w, int timeoutMs) {
  std::string request = "2E27" + address4(address);
  for (int i = 0; i < 4; ++i) request += byteToHex(w[i]);
  std::string reply;
  return static_cast<bool>(exchange(link, messages, request, reply, kReplyCapacity, timeoutMs, 6));
}

enum class Search { Found, None, Failed, Stopped };

Search findSlot(Worker& worker, Link& link, const Messages& messages, std::uint32_t& slot, Word& first) {
  for (int k = 0; k < kIdentitySlots; ++k) {
    if (worker.stopRequested()) return Search::Stopped;
    std::uint32_t at = kIdentityRing + kIdentitySlotSize * static_cast<std::uint32_t>(k);
    Word w{};
    Read r = readWord(link, messages, at, w);
    if (r == Read::Failed) return Search::Failed;
    if (r == Read::Ok && w[0] != 0x00 && w[0] != 0xFF) {
      slot = at;
      first = w;
      return Search::Found;
    }
    if (worker.pause(25)) return Search::Stopped;
  }
  return Search::None;
}

std::string textAt(const std::array<std::uint8_t, 128>& b, std::size_t at, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(b.data()) + at, n);
  s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
  trimTrailingBlanks(s);
  return s;
}

}  // namespace

std::string ReaderIdentity::id() const {
  std::string out;
  for (std::size_t i = 1; i <= 5; ++i) out += byteToHex(bytes[i]);
  return out;
}
std::string ReaderIdentity::description1() const { return textAt(bytes, 6, 20); }
std::string ReaderIdentity::description2() const { return textAt(bytes, 26, 20); }

bool ReaderIdentity::set(std::string_view id, std::string_view d1, std::string_view d2) {
  if (id.size() != 10 ||
      !std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }))
    return false;
  for (std::size_t i = 0; i < 5; ++i) bytes[1 + i] = static_cast<std::uint8_t>(hexPairAt(id, 2 * i));
  auto put = [this](std::size_t at, std::string_view text) {
    std::fill(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 20, ' ');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 20), bytes.begin() + static_cast<long>(at));
  };
  put(6, d1);
  put(26, d2);
  return true;
}

TableEnd receiveReaderIdentity(Worker& worker, Link& link, const Messages& messages, ReaderIdentity& identity) {
  identity.found = false;
  std::uint32_t slot = 0;
  Word first{};
  switch (findSlot(worker, link, messages, slot, first)) {
    case Search::Found: break;
    case Search::None: return TableEnd::Done;
    case Search::Failed: return TableEnd::Failed;
    case Search::Stopped: return TableEnd::Stopped;
  }
  ReaderIdentity fresh;
  for (int w = 0; w < 32; ++w) {
    Word word{};
    for (int attempt = 0;; ++attempt) {
      if (attempt == kAttempts) return TableEnd::Failed;
      if (worker.stopRequested()) return TableEnd::Stopped;
      Read r = readWord(link, messages, slot + 4u * static_cast<std::uint32_t>(w), word);
      if (r == Read::Failed) return TableEnd::Failed;
      if (r == Read::Ok) break;
    }
    std::copy(word.begin(), word.end(), fresh.bytes.begin() + 4 * w);
    worker.refresh(0, w + 1, {});
    if (worker.pause(25)) return TableEnd::Stopped;
  }
  fresh.found = true;
  identity = fresh;
  return TableEnd::Done;
}

TableEnd sendReaderIdentity(Worker& worker, Link& link, const Messages& messages, const ReaderIdentity& identity,
                            bool& slotFound) {
  slotFound = false;
  std::uint32_t slot = 0;
  Word first{};
  switch (findSlot(worker, link, messages, slot, first)) {
    case Search::Found: break;
    case Search::None: return TableEnd::Done;
    case Search::Failed: return TableEnd::Failed;
    case Search::Stopped: return TableEnd::Stopped;
  }
  slotFound = true;
  std::array<std::uint8_t, 128> bytes = identity.bytes;
  bytes[0] = 1;
  const std::uint32_t last = kIdentityRing + kIdentitySlotSize * (kIdentitySlots - 1);
  const std::uint32_t target = slot == last ? kIdentityRing : slot + kIdentitySlotSize;
  for (int w = 0; w < 32; ++w) {
    if (worker.stopRequested()) return TableEnd::Stopped;
    if (!writeWord(link, messages, target + 4u * static_cast<std::uint32_t>(w), bytes.data() + 4 * w, 600))
      return TableEnd::Failed;  // the old slot stays in force
    worker.refresh(0, w + 1, {});
    if (worker.pause(50)) return TableEnd::Stopped;
  }
  if (target != kIdentityRing) {
    Word old = first;
    old[0] = 0x00;
    if (!writeWord(link, messages, slot, old.data(), 250)) return TableEnd::Failed;
  }
  if (worker.stopRequested()) return TableEnd::Stopped;
  std::string reply;
  exchange(link, messages, "30", reply, kReplyCapacity, 250, 6);  // its result does not matter
  return TableEnd::Done;
}

}  // namespace cfg
