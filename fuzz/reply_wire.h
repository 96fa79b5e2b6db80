// What the reply fuzzers share: the layout of one input, a transport that
// plays it back to a Link in chunks, and a Prompt that always cancels.
//
// Input layout (numbers little-endian):
//   byte 0     flags: bit 0 the line echoes every byte sent (serial line with
//              the echo flag), bit 1 a TCP link instead of a serial one,
//              bit 2 a single-attempt model (LX-K1); bits 3-7 are the
//              target's own
//   byte 1     chunking: 0 = a read takes everything waiting; n = reads of
//              1 .. n bytes in a pattern that varies from read to read
//   bytes 2-3  reply capacity (0 = 64; at most 4096)
//   bytes 4-5  expected reply length (below 6 reads as 6: callers never
//              expect less than a short reply)
//   then up to three replies (more where a target says so), one for each
//   request in turn: a 2-byte length
//   and that many bytes (a length past the end takes what is left). An
//   attempt without a reply of its own meets silence.
// A missing field reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/transport.h"

namespace cfg::fuzz {

// Reads the input front to back; past the end every field is 0 or empty.
class InputReader {
 public:
  explicit InputReader(std::string_view data) : data_(data) {}
  std::uint8_t byte() {
    if (data_.empty()) return 0;
    auto b = static_cast<std::uint8_t>(data_.front());
    data_.remove_prefix(1);
    return b;
  }
  std::uint16_t u16() {
    std::uint16_t lo = byte();
    return static_cast<std::uint16_t>(lo | byte() << 8);
  }
  std::string_view take(std::size_t n) {
    n = n < data_.size() ? n : data_.size();
    std::string_view out = data_.substr(0, n);
    data_.remove_prefix(n);
    return out;
  }
  bool empty() const { return data_.empty(); }

 private:
  std::string_view data_;
};

struct WireInput {
  std::uint8_t flags = 0;
  bool echo = false;
  bool tcp = false;
  bool singleAttempt = false;
  std::uint8_t chunk = 0;
  std::size_t capacity = 64;
  int expectedLength = 0;
  std::vector<std::string> replies;  // one per request, in order
};

inline WireInput parseWireInput(std::string_view data, std::size_t maxReplies = 3) {
  InputReader in(data);
  WireInput w;
  std::uint8_t flags = in.byte();
  w.flags = flags;
  w.echo = flags & 1;
  w.tcp = flags & 2;
  w.singleAttempt = flags & 4;
  w.chunk = in.byte();
  std::size_t capacity = in.u16();
  w.capacity = capacity == 0 ? 64 : (capacity > 4096 ? 4096 : capacity);
  w.expectedLength = in.u16();
  if (w.expectedLength < 6) w.expectedLength = 6;
  while (!in.empty() && w.replies.size() < maxReplies) {
    std::size_t n = in.u16();
    w.replies.emplace_back(in.take(n));
  }
  return w;
}

// Each send makes the next scripted reply arrive (after the echo of the
// request on an echoing line); reads hand it out in chunks and never wait: a
// read that finds nothing reports the deadline at once.
class ChunkedTransport final : public Transport {
 public:
  ChunkedTransport(const WireInput& wire, std::vector<std::string>& sent) : wire_(wire), sent_(sent) {}

  LinkKind kind() const override { return wire_.tcp ? LinkKind::Tcp : LinkKind::Serial; }
  bool open(LinkConfig&, std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  int send(std::string_view bytes) override {
    sent_.emplace_back(bytes);
    if (wire_.echo && !wire_.tcp) pending_ += bytes;
    std::size_t attempt = sent_.size() - 1;
    if (attempt < wire_.replies.size()) pending_ += wire_.replies[attempt];
    return static_cast<int>(bytes.size());
  }
  int readSome(char* buffer, std::size_t capacity, Clock::time_point) override {
    if (capacity == 0) std::abort();  // the Link never asks for nothing
    if (pending_.empty()) return 0;
    std::size_t n = pending_.size() < capacity ? pending_.size() : capacity;
    if (wire_.chunk) {
      std::size_t limit = 1 + (reads_ * 7 + wire_.chunk) % wire_.chunk;
      if (limit < n) n = limit;
    }
    ++reads_;
    pending_.copy(buffer, n);
    pending_.erase(0, n);
    return static_cast<int>(n);
  }
  void discardInput() override { pending_.clear(); }
  int extraWaitMs() const override { return wire_.tcp ? 500 : 0; }
  bool removesEcho() const override { return !wire_.tcp; }

 private:
  const WireInput& wire_;
  std::vector<std::string>& sent_;
  std::string pending_;
  std::size_t reads_ = 0;
  bool open_ = false;
};

class CancellingPrompt final : public Prompt {
 public:
  Answer ask(const PromptRequest&) override {
    ++asked;
    return Answer::Cancel;
  }
  int asked = 0;
};

// An open Link over the input's wire, with both message flags cleared.
struct FuzzLine {
  explicit FuzzLine(const WireInput& wire) : messages(prompt) {
    messages.flags.showLinkErrors = false;
    messages.flags.askOnFailure = false;
    link.config.address = "01";
    link.config.echo = wire.echo;
    link.config.tcp = wire.tcp;
    link.config.model = wire.singleAttempt ? "LX-K1" : "LX-P2";
    // Over TCP the open waits for a greeting line; nothing is waiting yet,
    // so every scripted reply is left for the requests.
    if (!link.openWith(std::make_unique<ChunkedTransport>(wire, sent), messages)) std::abort();
  }
  CancellingPrompt prompt;
  Messages messages;
  std::vector<std::string> sent;
  Link link;
};

// A broken property names itself before the fuzzer records the input.
inline void failed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
  std::abort();
}
#define CFG_FUZZ_CHECK(condition) \
  ((condition) ? void(0) : ::cfg::fuzz::failed(#condition, __FILE__, __LINE__))

// The accepted reply must be what the terminal sent for the attempt that
// accepted it, echo removed, cut at the capacity.
inline void checkReplyCameFromItsAttempt(const WireInput& wire, const std::vector<std::string>& sent,
                                         const std::string& reply) {
  CFG_FUZZ_CHECK(!sent.empty());
  std::size_t attempt = sent.size() - 1;
  std::string_view expected = attempt < wire.replies.size() ? std::string_view(wire.replies[attempt]) : "";
  CFG_FUZZ_CHECK(reply.size() <= expected.size() && expected.substr(0, reply.size()) == reply);
}

}  // namespace cfg::fuzz
