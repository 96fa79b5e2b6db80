// Plain-XOR transaction (desk card reader) over a line that answers with the
// input's bytes in arbitrary chunks (layout in reply_wire.h). It ends after
// three attempts and one Retry/Cancel question at most; an accepted reply is
// a whole Frame with a good plain-XOR check byte, of the expected length or
// of 9 bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/reply_wire.h"
#include "link/frame.h"
#include "link/transaction.h"

namespace {

std::uint8_t expectedCheck(std::string_view frame) {
  std::uint8_t x = 0;
  for (std::size_t i = 0; i + 2 < frame.size(); ++i) x ^= static_cast<std::uint8_t>(frame[i]);
  return (x == 0x01 || x == 0x0D) ? x + 1 : x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cfg;
  fuzz::WireInput wire = fuzz::parseWireInput({reinterpret_cast<const char*>(data), size});
  fuzz::FuzzLine line(wire);

  std::string frame = buildRequest("01", "31");
  std::string reply;
  TxResult r = transactXor(line.link, line.messages, frame, reply, wire.capacity, 200, wire.expectedLength);

  CFG_FUZZ_CHECK(line.sent.size() >= 1 && line.sent.size() <= 3);
  if (!r) {
    // The card reader's transaction asks even in unattended runs.
    CFG_FUZZ_CHECK(line.sent.size() == 3 && line.prompt.asked == 1);
    return 0;
  }
  CFG_FUZZ_CHECK(line.prompt.asked == 0);
  CFG_FUZZ_CHECK(r.length == static_cast<int>(reply.size()));
  CFG_FUZZ_CHECK(reply.size() <= wire.capacity);
  CFG_FUZZ_CHECK(reply.size() >= 6 && reply.front() == SOH && reply.back() == CR);
  CFG_FUZZ_CHECK(static_cast<std::uint8_t>(reply[reply.size() - 2]) == expectedCheck(reply));
  CFG_FUZZ_CHECK(r.length == wire.expectedLength || r.length == 9);
  fuzz::checkReplyCameFromItsAttempt(wire, line.sent, reply);
  return 0;
}
