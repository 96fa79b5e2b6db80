// A transport for tests that never waits: each send pops the next scripted
// reply, which the following reads deliver (in chunks when asked). A read
// with nothing left returns at once as if its deadline had passed, after
// recording how long the deadline was.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/transport.h"

namespace cfg::test {

struct FakeWire {
  std::deque<std::string> replies;   // one per send; "" = silence
  std::vector<std::string> sent;
  std::vector<int> deadlinesMs;      // deadline - now at each wait that found nothing
  std::size_t chunk = 0;             // deliver at most this many bytes per read (0: all)
  bool echo = false;                 // the line echoes each send
  std::string pending;
};

class FakeTransport : public Transport {
 public:
  FakeTransport(std::shared_ptr<FakeWire> wire, LinkKind kind = LinkKind::Serial, int extraWaitMs = 0)
      : wire_(std::move(wire)), kind_(kind), extra_(extraWaitMs) {}

  LinkKind kind() const override { return kind_; }
  bool open(LinkConfig&, std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  int send(std::string_view bytes) override {
    wire_->sent.emplace_back(bytes);
    if (wire_->echo) wire_->pending += bytes;
    if (!wire_->replies.empty()) {
      wire_->pending += wire_->replies.front();
      wire_->replies.pop_front();
    }
    return static_cast<int>(bytes.size());
  }
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override {
    if (wire_->pending.empty()) {
      wire_->deadlinesMs.push_back(static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count() + 1));
      return 0;
    }
    std::size_t n = std::min(capacity, wire_->pending.size());
    if (wire_->chunk) n = std::min(n, wire_->chunk);
    wire_->pending.copy(buffer, n);
    wire_->pending.erase(0, n);
    return static_cast<int>(n);
  }
  void discardInput() override { wire_->pending.clear(); }
  int extraWaitMs() const override { return extra_; }
  bool removesEcho() const override { return kind_ == LinkKind::Serial; }

 private:
  std::shared_ptr<FakeWire> wire_;
  LinkKind kind_;
  int extra_;
  bool open_ = false;
};

}  // namespace cfg::test
