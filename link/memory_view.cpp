#include "link/memory_view.h"

#include <cstdio>

#include "link/hex.h"
#include "link/link_config.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 64;
// A read-back on the caller's thread asks again after a wrong echo, but not forever.
constexpr int kReadBackTries = 3;

bool isAddressFormModel(std::string_view model) {
  for (const char* m : {"LX-P2", "LX-K2", "LX-K4", "LX-K1", "LX-K5", "HND  "})
    if (sameModel(model, m)) return true;
  return false;
}

bool inRange(std::uint16_t page, unsigned first, unsigned last) { return page >= first && page <= last; }

// Block-form command of the area holding `page`; null outside the areas.
const char* blockReadCommand(std::string_view model, std::uint16_t page) {
  if (page < 0x0100) return "2C";
  if (inRange(page, 0x2000, 0x23FF)) return "2A";
  if (inRange(page, 0x2400, 0x27FF) && sameModel(model, "LX-K3")) return "2D";
  return nullptr;
}

unsigned areaBase(std::uint16_t page) {
  if (page < 0x0100) return 0;
  if (page < 0x2400) return 0x2000;
  return 0x2400;
}

std::string blockAndIndex(std::uint16_t page, int group) {
  unsigned block = (page - areaBase(page)) / 4;
  unsigned index = (page % 4u) * 64 + static_cast<unsigned>(group);
  return byteToHex(static_cast<std::uint8_t>(block)) + byteToHex(static_cast<std::uint8_t>(index));
}

bool allUpperHex(std::string_view text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace

MemoryForm memoryFormOf(std::string_view model) {
  if (sameModel(model, "LX-P1") || sameModel(model, "LX-K3")) return MemoryForm::Block;
  if (isAddressFormModel(model)) return MemoryForm::Address;
  return MemoryForm::None;
}

std::optional<std::uint16_t> parsePageText(const Messages& messages, std::string_view text) {
  if (text.size() <= 4) {
    std::string four = zeroFillRight(text, 4);
    if (allUpperHex(four))
      if (auto page = hex4ToU16(four)) return page;
  }
  messages.error(kBadMemoryAddressMessage);
  return std::nullopt;
}

std::optional<GroupRead> groupRead(std::string_view model, std::uint16_t page, int group) {
  switch (memoryFormOf(model)) {
    case MemoryForm::Block: {
      const char* command = blockReadCommand(model, page);
      if (!command) return std::nullopt;
      int index = static_cast<int>((page % 4u) * 64) + group;
      return GroupRead{command + blockAndIndex(page, group), 21, 8, index, 10};
    }
    case MemoryForm::Address: {
      char data[16];
      std::snprintf(data, sizeof data, "2D%04X%02X", static_cast<unsigned>(page), static_cast<unsigned>(group * 4));
      return GroupRead{data, 23, 10, group * 4, 12};
    }
    case MemoryForm::None:
      break;
  }
  return std::nullopt;
}

bool readGroup(Link& link, const Messages& messages, const GroupRead& how, bool& counted,
               std::array<std::uint8_t, 4>& bytes) {
  counted = false;
  std::string reply;
  TxResult r = exchange(link, messages, how.request, reply, kReplyCapacity, 250, how.expected);
  if (!r) return false;
  if (r.length != how.expected || reply.compare(4, 2, how.request, 0, 2) != 0 ||
      hexPairAt(reply, how.echoPos) != how.echo)
    return true;
  std::array<std::uint8_t, 4> read{};
  for (std::size_t i = 0; i < 4; ++i) {
    int b = hexPairAt(reply, how.dataPos + 2 * i);
    if (b < 0) return true;
    read[i] = static_cast<std::uint8_t>(b);
  }
  bytes = read;
  counted = true;
  return true;
}

void readMemoryPage(Worker& worker, Link& link, const Messages& messages, std::uint16_t page, MemoryPage& out) {
  out = MemoryPage{};
  out.page = page;
  for (int group = 0; group < 64; ++group) {
    auto how = groupRead(link.config.model, page, group);
    std::array<std::uint8_t, 4> bytes{0xFF, 0xFF, 0xFF, 0xFF};
    if (how) {
      for (;;) {
        if (worker.stopRequested()) return;
        bool counted = false;
        if (!readGroup(link, messages, *how, counted, bytes)) return;
        if (counted) break;
      }
    }
    for (std::size_t i = 0; i < 4; ++i) out.bytes[static_cast<std::size_t>(group) * 4 + i] = bytes[i];
    out.known[static_cast<std::size_t>(group)] = true;
    out.groupsRead = group + 1;
    worker.refresh(0, out.groupsRead, {});
    if (how && worker.pause(2)) return;
  }
}

bool canWriteMemory(std::string_view model, std::uint16_t page) {
  if (sameModel(model, "LX-P1")) return inRange(page, 0x2000, 0x23FF);
  if (sameModel(model, "LX-K3")) return inRange(page, 0x2000, 0x27FF);
  return isAddressFormModel(model);
}

CommandResult writeMemoryGroup(Link& link, const Messages& messages, MemoryPage& page, std::string_view offsetText,
                               std::string_view dataText) {
  int offset = -1;
  if (offsetText.size() <= 2) {
    std::string two = zeroFillRight(offsetText, 2);
    offset = hexPairAt(two, 0);
  }
  if (offset < 0 || offset % 4 != 0) {
    messages.error(kBadMemoryAddressMessage);
    return {false, InputField::Offset};
  }
  if (dataText.size() != 8 || !allUpperHex(dataText)) {
    messages.error(kBadDataMessage);
    return {false, InputField::Data};
  }
  const std::string& model = link.config.model;
  if (!canWriteMemory(model, page.page)) return {};
  int group = offset / 4;
  std::string request;
  if (memoryFormOf(model) == MemoryForm::Block) {
    request = (page.page < 0x2400 ? "2B" : "2E") + blockAndIndex(page.page, group);
  } else {
    char where[16];
    std::snprintf(where, sizeof where, "2E%04X%02X", static_cast<unsigned>(page.page), static_cast<unsigned>(offset));
    request = where;
  }
  request += dataText;
  std::string reply;
  if (!exchange(link, messages, request, reply, kReplyCapacity, 200, 6)) return {};

  auto how = groupRead(model, page.page, group);
  auto at = static_cast<std::size_t>(group);
  page.known[at] = false;
  for (int attempt = 0; how && attempt < kReadBackTries; ++attempt) {
    bool counted = false;
    std::array<std::uint8_t, 4> bytes{};
    if (!readGroup(link, messages, *how, counted, bytes)) break;
    if (!counted) continue;
    for (std::size_t i = 0; i < 4; ++i) page.bytes[at * 4 + i] = bytes[i];
    page.known[at] = true;
    break;
  }
  return {true};
}

}  // namespace cfg
