// Serves a line of simulated terminals over TCP and/or a pseudo-terminal.
//
// One SimServer is one line: every request Frame that arrives on any of its
// endpoints is offered to each terminal on the line, and the one whose
// address it carries answers (an RS-485 multi-drop line). Over TCP every new
// connection is greeted with one text line first.
//
// Faults can be injected for the failure paths: no answer, NAK, a corrupted
// check byte, a late reply, an echo of every request, a connection closed
// half way through a reply, bytes dropped from a reply.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/fd.h"
#include "sim/sim_modem.h"
#include "sim/sim_terminal.h"

namespace cfg::sim {

enum class FaultKind { None, NoAnswer, Nak, BadCheck, Delay, Echo, Close, DropBytes };

struct Fault {
  FaultKind kind = FaultKind::None;
  int count = -1;     // replies it applies to; -1 for every reply
  int delayMs = 0;    // Delay: how late the reply goes out
  int after = 0;      // replies that go out untouched before the fault starts
};

// "none", "noanswer", "nak", "badcheck", "delay", "echo", "close", "drop"
bool parseFaultKind(std::string_view name, FaultKind& kind);

class SimServer {
 public:
  SimServer();
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Adds a terminal to the line; returns its index. Only before start().
  std::size_t add(SimTerminal terminal);

  // Listens on 127.0.0.1 (port 0 picks a free one); returns the port.
  std::uint16_t listenTcp(std::uint16_t port = 0);
  // Creates a pseudo-terminal; returns the path of its slave side.
  std::string openPty();
  // Puts a modem in front of the line on the pseudo-terminals opened after
  // this call (sim_modem.h): frames reach the terminals only while a call is up.
  void setModem(ModemSettings settings);
  // The modem's command lines and escapes, in order (empty without a modem).
  std::vector<std::string> modemLog() const;
  // Every byte the modem took as its own, as it came.
  std::string modemHeard() const;
  // A call is up and data flows through the modem.
  bool modemOnline() const;

  // Serves on a thread of its own until stop() or destruction.
  void start();
  void stop();
  // Serves on the calling thread until stop() is called from elsewhere.
  void run();

  // Runs f on terminal i with the line locked (the server thread may be serving).
  template <typename F>
  auto with(std::size_t i, F f) {
    std::lock_guard lock(mutex_);
    return f(terminals_.at(i));
  }
  void setFault(Fault fault);
  // Every request Frame received, in order.
  std::vector<std::string> requests() const;
  void clearRequests();
  // Connections accepted over TCP so far.
  int connections() const;

 private:
  struct Endpoint;
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::string bytes;
    bool closeAfter = false;
    std::size_t written = 0;  // bytes of `bytes` already on the line
    bool fromModem = false;   // the modem's own answer, not the terminal's
  };
  struct Peer {
    UniqueFd fd;
    bool isPty = false;
    std::string input;
    std::deque<Pending> output;
    // The terminal streaming its records to this peer, and when the next goes out.
    std::optional<std::size_t> streamer;
    std::chrono::steady_clock::time_point nextStream;
    // The modem in front of this line, if any.
    std::unique_ptr<SimModem> modem;
    // The terminal whose loader owns this peer's bytes after "33".
    std::optional<std::size_t> loading;
    // The desk reader whose fingerprint module owns this peer's bytes after "00".
    std::optional<std::size_t> module;
  };

  void serveLoop();
  void onReadable(Peer& peer);
  void onBytes(Peer& peer, std::string_view bytes);
  void onModuleBytes(Peer& peer, std::string_view bytes);
  void onFrame(Peer& peer, const std::string& frame);
  void modemTick(Peer& peer);
  void modemSays(Peer& peer, std::string toLine, std::string_view toTerminal);
  bool linkUp(const Peer& peer) const;
  void flush(Peer& peer);
  void stream(Peer& peer);
  void queue(Peer& peer, Pending out);
  void closePeer(Peer& peer);

  mutable std::mutex mutex_;
  std::vector<SimTerminal> terminals_;
  Fault fault_;
  std::vector<std::string> requests_;
  int connections_ = 0;

  UniqueFd listener_;
  UniqueFd ptySlave_;  // kept open so the line stays up between clients
  std::vector<std::unique_ptr<Peer>> peers_;
  std::optional<ModemSettings> modemSettings_;
  SimModem* modem_ = nullptr;  // the first pseudo-terminal's modem, for the accessors
  UniqueFd wakeRead_, wakeWrite_;
  std::thread thread_;
  bool running_ = false;
};

}  // namespace cfg::sim
