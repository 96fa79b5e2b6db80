#include "link/address_speed.h"

#include <cstdio>

#include "link/hex.h"
#include "link/link_config.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 64;

struct BlockPlace {
  const char* read;     // read command
  const char* write;    // write command
  const char* where;    // fixed data: block + index, or 24-bit address
  int expected;         // reply length of the read
  std::size_t kept;     // reply position of the two kept bytes
};

std::optional<BlockPlace> placeOf(std::string_view model) {
  if (sameModel(model, "LX-P1") || sameModel(model, "LX-K3")) return BlockPlace{"2A", "2B", "FF00", 21, 14};
  if (sameModel(model, "LX-P2")) return BlockPlace{"2D", "2E", "47FC00", 23, 16};
  if (sameModel(model, "LX-K2") || sameModel(model, "LX-K1")) return BlockPlace{"2D", "2E", "27FC00", 23, 16};
  if (sameModel(model, "LX-K4")) return BlockPlace{"2D", "2E", "800000", 23, 16};
  if (sameModel(model, "LX-K5")) return BlockPlace{"2D", "2E", "87FC00", 23, 16};
  return std::nullopt;
}

}  // namespace

std::optional<int> speedIndexOf(std::uint32_t baud) {
  for (std::size_t i = 0; i < kSpeeds.size(); ++i)
    if (kSpeeds[i] == baud) return static_cast<int>(i);
  return std::nullopt;
}

std::optional<int> speedIndexOfText(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  std::size_t last = text.find_last_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  auto baud = parseDecimal(text.substr(first, last - first + 1));
  if (!baud || *baud > 38400) return std::nullopt;
  return speedIndexOf(static_cast<std::uint32_t>(*baud));
}

std::string addressFieldText(unsigned address) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03u", address);
  return buf;
}

bool hasConfigBlock(std::string_view model) { return placeOf(model).has_value(); }

AddressSpeedResult changeAddressAndSpeed(Link& link, const Messages& messages, std::string_view addressText,
                                         int speedIndex) {
  auto address = parseDecimal(addressText);
  if (!address || *address > 255) {
    messages.error(kBadLineAddressMessage);
    return {false, InputField::Address};
  }
  AddressSpeedResult result{false, InputField::None, static_cast<unsigned>(*address), speedIndex};
  if (speedIndex < 0 || speedIndex >= static_cast<int>(kSpeeds.size())) {
    messages.error(kNoSpeedMessage);
    result.badField = InputField::Speed;
    return result;
  }
  auto place = placeOf(link.config.model);
  if (!place) return result;

  std::string reply;
  TxResult r = exchange(link, messages, std::string(place->read) + place->where, reply, kReplyCapacity, 250,
                        place->expected);
  if (!r) return result;
  // The kept bytes must really be in the reply: a shorter one accepted by
  // the 9-byte rule would otherwise write garbage into the block.
  int kept1 = r.length == place->expected ? hexPairAt(reply, place->kept) : -1;
  int kept2 = r.length == place->expected ? hexPairAt(reply, place->kept + 2) : -1;
  if (kept1 < 0 || kept2 < 0) return result;

  char values[8];
  std::snprintf(values, sizeof values, "%02X%02X", static_cast<unsigned>(*address), static_cast<unsigned>(speedIndex));
  std::string write = std::string(place->write) + place->where + values + reply.substr(place->kept, 4);
  if (!exchange(link, messages, write, reply, kReplyCapacity, 200, 6)) return result;
  if (!exchange(link, messages, "30", reply, kReplyCapacity, 250, 6)) return result;
  messages.info(kSuccessMessage);
  result.ok = true;
  return result;
}

bool askReconnect(const Messages& messages) { return messages.confirm(kReconnectQuestion, kReconnectTitle); }

}  // namespace cfg
