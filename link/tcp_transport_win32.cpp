// TCP on Windows sockets: a session of the socket library per Link, a
// non-blocking IPv4 stream socket that no started program inherits, a
// connect bounded by the transport's timeout, reads against the deadline.
#include "link/tcp_transport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/win32/win32_text.h"

namespace cfg {

namespace {

std::string endpointText(const LinkConfig& config) {
  std::uint32_t ip = ntohl(config.ipNetworkOrder);
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." + std::to_string((ip >> 8) & 0xFF) +
         "." + std::to_string(ip & 0xFF) + ":" + std::to_string(config.tcpPort);
}

// Waits until the socket is readable (POLLRDNORM) or writable (POLLWRNORM);
// returns the events seen, 0 at the deadline.
short waitSocket(SOCKET s, short events, int timeoutMs) {
  WSAPOLLFD p{};
  p.fd = s;
  p.events = events;
  int r = ::WSAPoll(&p, 1, std::max(timeoutMs, 0));
  if (r > 0) return p.revents;
  return r == 0 ? 0 : POLLERR;
}

}  // namespace

bool WinsockSession::start(int& code) {
  if (started_) return true;
  WSADATA data{};
  code = ::WSAStartup(MAKEWORD(2, 2), &data);
  started_ = code == 0;
  return started_;
}

void WinsockSession::end() {
  if (started_) ::WSACleanup();
  started_ = false;
}

bool TcpTransport::open(LinkConfig& config, std::string& error) {
  close();
  WinsockSession session;
  int code = 0;
  if (!session.start(code)) {
    error = "Error: WSAStartup failed.\n" + win32::errorText(static_cast<DWORD>(code));
    return false;
  }
  SOCKET raw = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (raw == INVALID_SOCKET) {
    error = "Error: socket failed.\n" + win32::errorText(static_cast<DWORD>(::WSAGetLastError()));
    return false;
  }
  UniqueSocket socket(std::move(session), raw);
  u_long nonBlocking = 1;
  ::ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
  BOOL one = TRUE;
  ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(config.tcpPort);
  addr.sin_addr.s_addr = config.ipNetworkOrder;
  int cause = 0;
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    cause = ::WSAGetLastError();
    if (cause == WSAEWOULDBLOCK) {
      short ev = waitSocket(socket.get(), POLLWRNORM, connectTimeoutMs_);
      cause = ev == 0 ? WSAETIMEDOUT : 0;
      if (ev != 0) {
        int len = sizeof cause;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&cause), &len) != 0)
          cause = ::WSAGetLastError();
        if (cause == 0 && !(ev & POLLWRNORM)) cause = WSAECONNREFUSED;
      }
    }
  }
  if (cause != 0) {
    error = "Error: connect failed.\n" + endpointText(config) + ": " + win32::errorText(static_cast<DWORD>(cause));
    return false;  // the socket is closed and the session ended here
  }
  adopt(std::move(socket));
  return true;
}

int StreamSocketTransport::send(std::string_view bytes) {
  if (!socket_ || peerClosed_) return 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(5000);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    int want = static_cast<int>(std::min<std::size_t>(bytes.size() - sent, 0x10000));
    int n = ::send(socket_.get(), bytes.data() + sent, want, 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK &&
        (waitSocket(socket_.get(), POLLWRNORM, millisecondsUntil(deadline)) & POLLWRNORM))
      continue;
    break;
  }
  return static_cast<int>(sent);
}

int StreamSocketTransport::readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
  if (!socket_ || peerClosed_) return -1;
  for (;;) {
    int n = ::recv(socket_.get(), buffer, static_cast<int>(std::min<std::size_t>(capacity, 0x10000)), 0);
    if (n > 0) return n;
    if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
      peerClosed_ = true;
      return -1;
    }
    int left = millisecondsUntil(deadline);
    if (left <= 0) return 0;
    if (waitSocket(socket_.get(), POLLRDNORM, left) == 0) return 0;
  }
}

void StreamSocketTransport::discardInput() {
  if (!socket_ || peerClosed_) return;
  char junk[256];
  for (;;) {
    int n = ::recv(socket_.get(), junk, sizeof junk, 0);
    if (n > 0) continue;
    if (n == 0) peerClosed_ = true;
    return;
  }
}

}  // namespace cfg
