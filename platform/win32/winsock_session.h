// Windows sockets: every Link starts its own session of the socket library
// and ends it when it closes, so a failed open leaves nothing started.
#pragma once
#ifdef _WIN32

#include <winsock2.h>

#include <utility>

namespace cfg {

// One session of the socket library (WSAStartup ... WSACleanup).
class WinsockSession {
 public:
  WinsockSession() = default;
  ~WinsockSession() { end(); }
  WinsockSession(WinsockSession&& o) noexcept : started_(std::exchange(o.started_, false)) {}
  WinsockSession& operator=(WinsockSession&& o) noexcept {
    if (this != &o) {
      end();
      started_ = std::exchange(o.started_, false);
    }
    return *this;
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

  // Starts a session; false with the library's error code in `code`.
  bool start(int& code);
  void end();
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

// A socket with the session it was made in: closing it ends both.
class UniqueSocket {
 public:
  UniqueSocket() = default;
  UniqueSocket(WinsockSession session, SOCKET s) : session_(std::move(session)), socket_(s) {}
  ~UniqueSocket() { reset(); }
  UniqueSocket(UniqueSocket&& o) noexcept
      : session_(std::move(o.session_)), socket_(std::exchange(o.socket_, INVALID_SOCKET)) {}
  UniqueSocket& operator=(UniqueSocket&& o) noexcept {
    if (this != &o) {
      reset();
      session_ = std::move(o.session_);
      socket_ = std::exchange(o.socket_, INVALID_SOCKET);
    }
    return *this;
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;

  SOCKET get() const { return socket_; }
  bool valid() const { return socket_ != INVALID_SOCKET; }
  explicit operator bool() const { return valid(); }
  void reset() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    session_.end();
  }

 private:
  WinsockSession session_;
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace cfg

#endif  // _WIN32
