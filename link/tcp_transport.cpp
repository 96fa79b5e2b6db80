#include "link/tcp_transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>

namespace cfg {

namespace {

// "a.b.c.d:port", as the failure's cause names the terminal.
std::string endpointText(const LinkConfig& config) {
  std::uint32_t ip = ntohl(config.ipNetworkOrder);
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." + std::to_string((ip >> 8) & 0xFF) +
         "." + std::to_string(ip & 0xFF) + ":" + std::to_string(config.tcpPort);
}

std::string systemText(int err) { return std::system_category().message(err); }

}  // namespace

int sendAll(int fd, std::string_view bytes, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      short ev = pollUntil(fd, POLLOUT, millisecondsUntil(deadline));
      if (ev & POLLOUT) continue;
    }
    break;
  }
  return static_cast<int>(sent);
}

bool TcpTransport::open(LinkConfig& config, std::string& error) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) {
    error = "Error: socket failed.\n" + systemText(errno);
    return false;
  }
  // Frames are small and answered one by one: send each at once.
  int one = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(config.tcpPort);
  addr.sin_addr.s_addr = config.ipNetworkOrder;
  int r = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  int cause = r == 0 ? 0 : errno;
  if (r != 0 && cause == EINPROGRESS) {
    short ev = pollUntil(fd.get(), POLLOUT, connectTimeoutMs_);
    cause = ev ? 0 : ETIMEDOUT;
    socklen_t len = sizeof cause;
    if (ev && ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &cause, &len) != 0) cause = errno;
  }
  if (cause != 0) {
    // The system's text first, then which terminal and why, on a line of its own.
    error = "Error: connect failed.\n" + endpointText(config) + ": " + systemText(cause);
    return false;
  }
  adopt(std::move(fd));
  return true;
}

int StreamSocketTransport::send(std::string_view bytes) {
  if (!socket_ || peerClosed_) return 0;
  return sendAll(socket_.get(), bytes, 5000);
}

int StreamSocketTransport::readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
  if (!socket_ || peerClosed_) return -1;
  for (;;) {
    ssize_t n = ::recv(socket_.get(), buffer, capacity, MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n == 0) {
      peerClosed_ = true;
      return -1;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      peerClosed_ = true;
      return -1;
    }
    int left = millisecondsUntil(deadline);
    if (left <= 0) return 0;
    if (pollUntil(socket_.get(), POLLIN, left) == 0) return 0;
  }
}

void StreamSocketTransport::discardInput() {
  if (!socket_ || peerClosed_) return;
  char junk[256];
  for (;;) {
    ssize_t n = ::recv(socket_.get(), junk, sizeof junk, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) peerClosed_ = true;
    return;
  }
}

}  // namespace cfg
