// TCP transport: one IPv4 stream socket to the terminal's address and port.
#pragma once

#include "link/fd.h"
#include "link/transport.h"

namespace cfg {

class TcpTransport final : public Transport {
 public:
  // Connecting runs on the GUI thread: give up after this long instead of
  // the system's two minutes.
  static constexpr int kConnectTimeoutMs = 20000;

  explicit TcpTransport(int connectTimeoutMs = kConnectTimeoutMs) : connectTimeoutMs_(connectTimeoutMs) {}

  LinkKind kind() const override { return LinkKind::Tcp; }
  bool open(LinkConfig& config, std::string& error) override;
  void close() override { socket_.reset(); }
  bool isOpen() const override { return socket_.valid(); }
  int send(std::string_view bytes) override;
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override;
  void discardInput() override;
  int extraWaitMs() const override { return 500; }

 private:
  int connectTimeoutMs_;
  UniqueFd socket_;
  bool peerClosed_ = false;
};

// Sends all bytes on a non-blocking stream socket, waiting at most timeoutMs
// for room; returns the count sent. Never raises SIGPIPE.
int sendAll(int fd, std::string_view bytes, int timeoutMs);

}  // namespace cfg
