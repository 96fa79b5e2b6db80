// The Link: the open connection to one terminal.
//
// Four operations reach any transport: open, close, send and receive. The
// receive operations wait for bytes until their end condition, a full buffer
// or the deadline (timeout + the transport's extra wait), drop a serial
// line's echo, and validate what came.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "link/link_config.h"
#include "link/port_map.h"
#include "link/prompt.h"
#include "link/trace.h"
#include "link/transport.h"

namespace cfg {

class Link {
 public:
  LinkConfig config;

  Link() = default;
  explicit Link(LinkConfig c) : config(std::move(c)) {}
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Opens the transport chosen by config (TCP, system Bluetooth, USB, vendor
  // Bluetooth, serial, in that order). Over TCP and Bluetooth sockets the
  // terminal's greeting line is read and dropped. Returns true when open; on
  // failure the message is shown (only while showLinkErrors is set) and
  // nothing stays open.
  bool open(const Messages& messages, const PortMap& ports);
  // Opens over a transport made by the caller (tests, simulators).
  bool openWith(std::unique_ptr<Transport> transport, const Messages& messages);
  void close();
  bool isOpen() const;
  LinkKind kind() const { return linkKindOf(config); }

  // Sends the bytes; returns the count sent, 0 on failure.
  int send(std::string_view bytes);

  // Frame receive, main protocol: collects until a final CR, `capacity`
  // bytes or the deadline. Returns n for a valid reply of n bytes, -n for an
  // invalid or incomplete one, 0 when nothing (beyond the echo) came.
  int receiveFrame(std::string& reply, std::size_t capacity, int timeoutMs);
  // Same with the plain-XOR check byte.
  int receiveXorFrame(std::string& reply, std::size_t capacity, int timeoutMs);
  // Binary packet of the fingerprint module.
  int receivePacket(std::string& reply, std::size_t capacity, int timeoutMs);
  // Until a final LF with more than 2 bytes in (more than the echo on an
  // echoing line); returns the count (modem answers, greeting line).
  int receiveTextLine(std::string& text, std::size_t capacity, int timeoutMs);
  // Until a final '?', ACK or NAK; a modem line waits 3000 ms more.
  int receiveUntilPrompt(std::string& text, std::size_t capacity, int timeoutMs);

  // When set, every send and receive is written to the trace.
  std::shared_ptr<LinkTrace> trace;

  // Bytes written by the last send on an echoing serial line.
  std::size_t echoLength() const { return echoLength_; }

 private:
  enum class End { FrameCr, TextLine, Prompt, Packet };
  // Collects into `out` (echo removed) and returns the count received after the echo.
  int collect(std::string& out, std::size_t capacity, int timeoutMs, End end);

  std::unique_ptr<Transport> transport_;
  std::size_t echoLength_ = 0;
};

}  // namespace cfg
