// Main-protocol transaction over a line that answers with the input's bytes,
// in arbitrary chunks (layout in reply_wire.h). Whatever the terminal sends,
// the transaction ends; when it accepts a reply, that reply is a whole
// Frame with a good check byte, of the expected length (a 6-byte one only
// when it is ACK) or of 9 bytes and more, sent in answer to the last request.
#include <cstddef>
#include <cstdint>

#include "fuzz/reply_wire.h"
#include "link/frame.h"
#include "link/transaction.h"

namespace {

// The check byte written out again, so that a slip in the one under test shows.
std::uint8_t expectedCheck(std::string_view frame) {
  std::uint8_t x = 0;
  for (std::size_t i = 0; i + 2 < frame.size(); ++i) x ^= static_cast<std::uint8_t>(frame[i]);
  x = static_cast<std::uint8_t>(~x);
  return (x == 0x01 || x == 0x0D) ? x + 1 : x;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cfg;
  fuzz::WireInput wire = fuzz::parseWireInput({reinterpret_cast<const char*>(data), size});
  fuzz::FuzzLine line(wire);

  std::string reply;
  TxResult r = exchange(line.link, line.messages, "2D00100004", reply, wire.capacity, 200, wire.expectedLength);

  std::size_t attempts = wire.singleAttempt ? 1 : 3;
  CFG_FUZZ_CHECK(line.sent.size() >= 1 && line.sent.size() <= attempts);
  CFG_FUZZ_CHECK(line.prompt.asked == 0);
  for (const auto& request : line.sent) CFG_FUZZ_CHECK(request == line.sent.front());
  if (!r) {
    CFG_FUZZ_CHECK(line.sent.size() == attempts);
    return 0;
  }
  CFG_FUZZ_CHECK(r.length == static_cast<int>(reply.size()));
  CFG_FUZZ_CHECK(reply.size() <= wire.capacity);
  CFG_FUZZ_CHECK(reply.size() >= 6 && reply.front() == SOH && reply.back() == CR);
  auto c = static_cast<std::uint8_t>(reply[reply.size() - 2]);
  CFG_FUZZ_CHECK(c == expectedCheck(reply) && c != 0x01 && c != 0x0D);
  if (r.length == 6) CFG_FUZZ_CHECK(reply[3] == ACK);
  CFG_FUZZ_CHECK(r.length == wire.expectedLength || r.length >= 9);
  fuzz::checkReplyCameFromItsAttempt(wire, line.sent, reply);
  return 0;
}
