#include "link/fd.h"

#include <cerrno>
#include <poll.h>

#include "link/transport.h"

namespace cfg {

short pollUntil(int fd, short events, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, millisecondsUntil(deadline));
    if (r > 0) return p.revents;
    if (r == 0) return 0;
    if (errno != EINTR) return POLLERR;
  }
}

}  // namespace cfg
