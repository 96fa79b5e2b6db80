// One transport behind a Link: TCP, serial (termios), later USB HID and
// Bluetooth. The Frame layer above never asks which one it has, except for
// the few things that really differ (extra wait, echo on serial lines).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/link_config.h"

namespace cfg {

using Clock = std::chrono::steady_clock;

class Transport {
 public:
  virtual ~Transport() = default;

  virtual LinkKind kind() const = 0;
  // Opens the connection. On failure returns false with the system's message
  // in `error` and leaves nothing open.
  virtual bool open(LinkConfig& config, std::string& error) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  // Sends the bytes; returns the number sent (0 when nothing could be sent).
  virtual int send(std::string_view bytes) = 0;
  // Waits until bytes are readable or the deadline passes and reads at most
  // `capacity` of them. Returns the count, 0 at the deadline, -1 when the
  // connection is gone (peer closed, device removed).
  virtual int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) = 0;
  // Drops whatever arrived unasked, so that a late reply to an earlier
  // attempt cannot pass as the answer to the next one.
  virtual void discardInput() {}

  // Milliseconds added to every receive deadline (sockets: 500; serial: 500 at 1200 baud).
  virtual int extraWaitMs() const { return 0; }
  // Serial lines drop the echo of what was sent; other transports never echo.
  virtual bool removesEcho() const { return false; }

  // Appends bytes to `received` until `done(received)` holds, `received`
  // reaches `capacity`, the deadline passes or the connection is gone.
  virtual void collect(std::string& received, std::size_t capacity, Clock::time_point deadline,
                       const std::function<bool(std::string_view)>& done);
};

// Milliseconds left until the deadline, at least 0.
int millisecondsUntil(Clock::time_point deadline);

}  // namespace cfg
