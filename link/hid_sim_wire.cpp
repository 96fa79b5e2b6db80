#include "link/hid_sim_wire.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

#include "link/fd.h"
#include "link/tcp_transport.h"
#include "link/transport.h"

namespace cfg {

bool sendHidMessage(int fd, std::string_view payload, int timeoutMs) {
  if (payload.size() > kHidSimMessageMax) return false;
  std::string bytes;
  bytes.reserve(payload.size() + 4);
  auto n = static_cast<std::uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xFF);
  bytes.append(payload);
  return sendAll(fd, bytes, timeoutMs) == static_cast<int>(bytes.size());
}

bool HidMessageReader::take(std::string& message) {
  if (buffer_.size() < 4) return false;
  std::uint32_t n = 0;
  for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<std::uint8_t>(buffer_[static_cast<std::size_t>(i)]);
  if (n > kHidSimMessageMax) {
    broken_ = true;
    return false;
  }
  if (buffer_.size() < 4 + static_cast<std::size_t>(n)) return false;
  message.assign(buffer_, 4, n);
  buffer_.erase(0, 4 + static_cast<std::size_t>(n));
  return true;
}

bool HidMessageReader::pump(int fd) {
  if (broken_) return false;
  char chunk[4096];
  for (;;) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(n));
      if (buffer_.size() > kHidSimMessageMax + 4) broken_ = true;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return !broken_;
    broken_ = true;  // peer closed or failed
    return false;
  }
}

HidMessageReader::Result HidMessageReader::next(int fd, std::string& message,
                                                std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    if (take(message)) return Result::Message;
    if (broken_ || !pump(fd)) return take(message) ? Result::Message : Result::Closed;
    if (take(message)) return Result::Message;
    int left = millisecondsUntil(deadline);
    if (left <= 0) return Result::Timeout;
    if (pollUntil(fd, POLLIN, left) == 0) return Result::Timeout;
  }
}

}  // namespace cfg
