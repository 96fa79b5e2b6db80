#include "btbridge/pty_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace btbridge {

namespace {

constexpr const char* kPtsPrefix = "/dev/pts/";

bool setNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Writes all of `data` to `fd` (a socket when `socket`), waiting for room as
// long as `stopFd` stays quiet. False on a failure or the stop.
bool writeAll(int fd, bool socket, const char* data, std::size_t size, int stopFd) {
  while (size > 0) {
    ssize_t n = socket ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
    pollfd p[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 && errno != EINTR) return false;
    if (p[1].revents) return false;
    if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}

}  // namespace

bool PtyRelay::open() {
  cfg::UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) return false;
  char name[64] = {};
  if (::ptsname_r(master.get(), name, sizeof name) != 0) return false;
  if (std::strncmp(name, kPtsPrefix, std::strlen(kPtsPrefix)) != 0) return false;
  char* end = nullptr;
  long number = std::strtol(name + std::strlen(kPtsPrefix), &end, 10);
  if (*end != '\0' || number < 0 || number > 0xFFFE) return false;
  cfg::UniqueFd terminal(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!terminal) return false;
  termios t{};
  if (::tcgetattr(terminal.get(), &t) != 0) return false;
  ::cfmakeraw(&t);
  if (::tcsetattr(terminal.get(), TCSANOW, &t) != 0) return false;
  if (!setNonBlocking(master.get())) return false;
  master_ = std::move(master);
  terminal_ = std::move(terminal);
  path_ = name;
  number_ = static_cast<int>(number);
  return true;
}

void PtyRelay::run(int streamFd, int stopFd) {
  if (!master_ || !setNonBlocking(streamFd)) return;
  char buffer[1024];
  for (;;) {
    pollfd p[3] = {{master_.get(), POLLIN, 0}, {streamFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(p, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[2].revents) return;
    if ((p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p[0].revents & POLLIN)) return;
    if (p[0].revents & POLLIN) {
      ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0 && !writeAll(streamFd, true, buffer, static_cast<std::size_t>(n), stopFd)) return;
    }
    if (p[1].revents) {
      ssize_t n = ::recv(streamFd, buffer, sizeof buffer, 0);
      if (n == 0) return;  // the handheld closed the connection
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0 && !writeAll(master_.get(), false, buffer, static_cast<std::size_t>(n), stopFd)) return;
    }
  }
}

}  // namespace btbridge
