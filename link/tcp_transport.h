// TCP transport: one IPv4 stream socket to the terminal's address and port.
#pragma once

#include "link/fd.h"
#include "link/transport.h"
#ifdef _WIN32
#include "platform/win32/winsock_session.h"
#endif

namespace cfg {

#ifdef _WIN32
using SocketHandle = UniqueSocket;
#else
using SocketHandle = UniqueFd;
#endif

// What a TCP connection and a Bluetooth RFCOMM connection share once open: a
// non-blocking stream socket, read against a deadline, and a peer that may
// hang up (the Link then fails at once instead of waiting for the deadline).
class StreamSocketTransport : public Transport {
 public:
  void close() override { socket_.reset(); }
  bool isOpen() const override { return socket_.valid(); }
  int send(std::string_view bytes) override;
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override;
  void discardInput() override;
  int extraWaitMs() const override { return 500; }

 protected:
  // Takes the connected socket (non-blocking).
  void adopt(SocketHandle socket) {
    socket_ = std::move(socket);
    peerClosed_ = false;
  }

 private:
  SocketHandle socket_;
  bool peerClosed_ = false;
};

class TcpTransport final : public StreamSocketTransport {
 public:
  // Connecting runs on the GUI thread: give up after this long instead of
  // the system's two minutes.
  static constexpr int kConnectTimeoutMs = 20000;

  explicit TcpTransport(int connectTimeoutMs = kConnectTimeoutMs) : connectTimeoutMs_(connectTimeoutMs) {}

  LinkKind kind() const override { return LinkKind::Tcp; }
  bool open(LinkConfig& config, std::string& error) override;

 private:
  int connectTimeoutMs_;
};

#ifndef _WIN32
// Sends all bytes on a non-blocking stream socket, waiting at most timeoutMs
// for room; returns the count sent. Never raises SIGPIPE.
int sendAll(int fd, std::string_view bytes, int timeoutMs);
#endif

}  // namespace cfg
