// Length-prefixed messages of the simulated HID socket (the protocol is
// described in link/hid_device.h); shared by the client and termsim.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace cfg {

// A message larger than this ends the connection: nothing legitimate is.
inline constexpr std::size_t kHidSimMessageMax = 1 << 20;

// Writes one message (length then bytes); false when the peer is gone or the
// socket stayed full for timeoutMs.
bool sendHidMessage(int fd, std::string_view payload, int timeoutMs = 2000);

// Collects messages from a non-blocking stream socket.
class HidMessageReader {
 public:
  enum class Result { Message, Timeout, Closed };
  // Takes one whole message, reading and waiting until the deadline.
  Result next(int fd, std::string& message, std::chrono::steady_clock::time_point deadline);
  // Reads what is waiting without blocking; false when the peer is gone.
  bool pump(int fd);
  // Takes one whole message already read, if there is one.
  bool take(std::string& message);

 private:
  std::string buffer_;
  bool broken_ = false;
};

}  // namespace cfg
