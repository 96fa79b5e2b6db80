#include "link/transport.h"

namespace cfg {

int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void Transport::collect(std::string& received, std::size_t capacity, Clock::time_point deadline,
                        const std::function<bool(std::string_view)>& done) {
  char chunk[512];
  while (received.size() < capacity) {
    std::size_t room = std::min(capacity - received.size(), sizeof chunk);
    int n = readSome(chunk, room, deadline);
    if (n <= 0) return;  // deadline or connection gone
    received.append(chunk, static_cast<std::size_t>(n));
    if (done(received)) return;
  }
}

}  // namespace cfg
