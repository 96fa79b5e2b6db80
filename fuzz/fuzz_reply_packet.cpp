// Binary packet transaction (fingerprint module) over a line that answers
// with the input's bytes in arbitrary chunks (layout in reply_wire.h). An
// accepted reply has exactly the expected length, starts with 0x40, has LF
// at byte 12 or at its end, and byte 11 is the sum of bytes 0-10.
#include <cstddef>
#include <cstdint>

#include "fuzz/reply_wire.h"
#include "link/frame.h"
#include "link/transaction.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cfg;
  fuzz::WireInput wire = fuzz::parseWireInput({reinterpret_cast<const char*>(data), size});
  fuzz::FuzzLine line(wire);

  const std::uint8_t params[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::string packet = buildPacket(0x20, params);
  std::string reply;
  TxResult r = transactPacket(line.link, line.messages, packet, reply, wire.capacity, 200, wire.expectedLength);

  CFG_FUZZ_CHECK(line.sent.size() >= 1 && line.sent.size() <= 3);
  CFG_FUZZ_CHECK(line.prompt.asked == 0);
  if (!r) {
    CFG_FUZZ_CHECK(line.sent.size() == 3);
    return 0;
  }
  CFG_FUZZ_CHECK(r.length == wire.expectedLength && r.length == static_cast<int>(reply.size()));
  CFG_FUZZ_CHECK(reply.size() <= wire.capacity);
  CFG_FUZZ_CHECK(reply.size() >= kPacketHeaderLength && static_cast<std::uint8_t>(reply[0]) == kPacketHead);
  CFG_FUZZ_CHECK(reply[12] == LF || reply.back() == LF);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(reply[i]));
  CFG_FUZZ_CHECK(static_cast<std::uint8_t>(reply[11]) == sum);
  fuzz::checkReplyCameFromItsAttempt(wire, line.sent, reply);
  return 0;
}
