#include "sim/sim_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "link/frame.h"
#include "link/hex.h"
#include "link/tcp_transport.h"

namespace cfg::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

void writeAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      pollUntil(fd, POLLOUT, 1000);
    } else {
      return;
    }
  }
}

}  // namespace

bool parseFaultKind(std::string_view name, FaultKind& kind) {
  static const std::pair<const char*, FaultKind> names[] = {
      {"none", FaultKind::None},     {"noanswer", FaultKind::NoAnswer}, {"nak", FaultKind::Nak},
      {"badcheck", FaultKind::BadCheck}, {"delay", FaultKind::Delay},   {"echo", FaultKind::Echo},
      {"close", FaultKind::Close},   {"drop", FaultKind::DropBytes}};
  for (const auto& [n, k] : names)
    if (name == n) {
      kind = k;
      return true;
    }
  return false;
}

SimServer::SimServer() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
  wakeRead_.reset(fds[0]);
  wakeWrite_.reset(fds[1]);
}

SimServer::~SimServer() { stop(); }

std::size_t SimServer::add(SimTerminal terminal) {
  std::lock_guard lock(mutex_);
  terminals_.push_back(std::move(terminal));
  return terminals_.size() - 1;
}

std::uint16_t SimServer::listenTcp(std::uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) throw std::runtime_error(std::string("socket failed: ") + std::strerror(errno));
  int one = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd.get(), 8) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno));
  socklen_t len = sizeof addr;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  listener_ = std::move(fd);
  return ntohs(addr.sin_port);
}

std::string SimServer::openPty() {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
    throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
  char name[128];
  if (::ptsname_r(master.get(), name, sizeof name) != 0)
    throw std::runtime_error(std::string("cannot name the pseudo-terminal: ") + std::strerror(errno));
  // Hold the slave open in raw mode: the line stays up between clients and
  // never echoes the terminal's own replies back to it.
  UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
  if (!slave) throw std::runtime_error(std::string("cannot open ") + name + ": " + std::strerror(errno));
  termios tio{};
  ::tcgetattr(slave.get(), &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(slave.get(), TCSANOW, &tio);
  ptySlave_ = std::move(slave);
  auto peer = std::make_unique<Peer>();
  peer->fd = std::move(master);
  peer->isPty = true;
  if (modemSettings_) {
    peer->modem = std::make_unique<SimModem>(*modemSettings_);
    if (!modem_) modem_ = peer->modem.get();
  }
  peers_.push_back(std::move(peer));
  return name;
}

void SimServer::setModem(ModemSettings settings) { modemSettings_ = std::move(settings); }

std::vector<std::string> SimServer::modemLog() const {
  std::lock_guard lock(mutex_);
  return modem_ ? modem_->log() : std::vector<std::string>{};
}

std::string SimServer::modemHeard() const {
  std::lock_guard lock(mutex_);
  return modem_ ? modem_->heard() : std::string{};
}

bool SimServer::modemOnline() const {
  std::lock_guard lock(mutex_);
  return modem_ && modem_->online();
}

bool SimServer::linkUp(const Peer& peer) const { return !peer.modem || peer.modem->online(); }

void SimServer::modemTick(Peer& peer) {
  if (!peer.modem) return;
  std::string toLine, toTerminal;
  {
    std::lock_guard lock(mutex_);
    peer.modem->tick(SteadyClock::now(), toLine, toTerminal);
  }
  modemSays(peer, std::move(toLine), toTerminal);
}

void SimServer::modemSays(Peer& peer, std::string toLine, std::string_view toTerminal) {
  if (!toLine.empty()) {
    Pending out{SteadyClock::now(), std::move(toLine), false};
    out.fromModem = true;
    queue(peer, std::move(out));
  }
  if (!toTerminal.empty()) onBytes(peer, toTerminal);
}

void SimServer::start() {
  if (running_) return;
  running_ = true;
  thread_ = std::thread([this] {
    try {
      serveLoop();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "termsim: the line stopped serving: %s\n", e.what());
    }
  });
}

void SimServer::stop() {
  if (wakeWrite_) {
    char c = 'q';
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_.get(), &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  running_ = false;
  // A stopped line refuses new connections and drops the open ones.
  listener_.reset();
  std::erase_if(peers_, [](const auto& p) { return !p->isPty; });
}

void SimServer::run() { serveLoop(); }

void SimServer::setFault(Fault fault) {
  std::lock_guard lock(mutex_);
  fault_ = fault;
}

std::vector<std::string> SimServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void SimServer::clearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

int SimServer::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

void SimServer::serveLoop() {
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({wakeRead_.get(), POLLIN, 0});
    if (listener_) fds.push_back({listener_.get(), POLLIN, 0});
    std::size_t firstPeer = fds.size();
    auto now = SteadyClock::now();
    int timeout = -1;
    auto wakeAt = [&](SteadyClock::time_point due) {
      auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
      int w = wait > 0 ? static_cast<int>(wait) : 0;
      timeout = timeout < 0 ? w : std::min(timeout, w);
    };
    for (auto& p : peers_) {
      short events = POLLIN;
      if (!p->output.empty()) {
        if (p->output.front().written > 0) events |= POLLOUT;  // the line was full
        else wakeAt(p->output.front().due);
      }
      if (p->streamer) wakeAt(p->nextStream);
      if (p->modem) {
        std::lock_guard lock(mutex_);
        if (auto due = p->modem->due()) wakeAt(*due);
      }
      fds.push_back({p->fd.get(), events, 0});
    }
    int r = ::poll(fds.data(), fds.size(), timeout);
    if (r < 0 && errno != EINTR) return;
    if (fds[0].revents) return;  // stop requested
    if (listener_ && (fds[1].revents & POLLIN)) {
      int c = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (c >= 0) {
        int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto peer = std::make_unique<Peer>();
        peer->fd.reset(c);
        std::string greeting;
        {
          std::lock_guard lock(mutex_);
          ++connections_;
          greeting = terminals_.empty() ? "termsim" : terminals_.front().model() + " termsim";
        }
        writeAll(c, greeting + "\r\n");
        peers_.push_back(std::move(peer));
      }
    }
    for (std::size_t i = firstPeer; i < fds.size(); ++i) {
      Peer& p = *peers_[i - firstPeer];
      if (fds[i].revents & POLLIN) {
        onReadable(p);
      } else if (!p.isPty && (fds[i].revents & (POLLHUP | POLLERR))) {
        closePeer(p);
      }
      if (p.fd) modemTick(p);
      if (p.fd) stream(p);
      if (p.fd) flush(p);
    }
    std::erase_if(peers_, [](const auto& p) { return !p->fd; });
  }
}

void SimServer::onReadable(Peer& peer) {
  char buf[1024];
  ssize_t n = ::read(peer.fd.get(), buf, sizeof buf);
  if (n <= 0) {
    if (n == 0 || (errno != EAGAIN && errno != EINTR && !peer.isPty)) closePeer(peer);
    return;
  }
  if (peer.modem) {
    std::string toLine, toTerminal;
    {
      std::lock_guard lock(mutex_);
      peer.modem->receive({buf, static_cast<std::size_t>(n)}, SteadyClock::now(), toLine, toTerminal);
    }
    modemSays(peer, std::move(toLine), toTerminal);
    return;
  }
  onBytes(peer, {buf, static_cast<std::size_t>(n)});
}

void SimServer::onModuleBytes(Peer& peer, std::string_view bytes) {
  std::vector<SimFingerprintModule::Reply> replies;
  std::string rest;
  bool left = false;
  {
    std::lock_guard lock(mutex_);
    SimFingerprintModule& module = terminals_[*peer.module].cardReader.module;
    replies = module.feed(bytes);
    if (!module.active()) {
      left = true;
      rest = module.takeRest();
    }
  }
  const auto now = SteadyClock::now();
  if (left) {
    // The module is gone: answers it still had in hand are not sent.
    peer.module.reset();
    std::erase_if(peer.output, [](const Pending& p) { return p.written == 0; });
  }
  for (auto& r : replies) queue(peer, {now + std::chrono::milliseconds(r.delayMs), std::move(r.bytes), false, 0});
  if (!rest.empty()) onBytes(peer, rest);
}

void SimServer::onBytes(Peer& peer, std::string_view bytes) {
  if (peer.module) {
    onModuleBytes(peer, bytes);
    return;
  }
  if (peer.loading) {
    std::string answer;
    {
      std::lock_guard lock(mutex_);
      SimLoader& loader = terminals_[*peer.loading].loader;
      answer = loader.feed(bytes);
      if (!loader.active()) peer.loading.reset();  // back to Frames after EOT
    }
    if (!answer.empty()) queue(peer, {SteadyClock::now(), answer, false, 0});
    return;
  }
  peer.input.append(bytes);
  // A Frame runs from SOH to CR; the check byte is never CR.
  for (;;) {
    std::size_t start = peer.input.find(SOH);
    if (start == std::string::npos) {
      peer.input.clear();
      return;
    }
    std::size_t end = peer.input.find(CR, start);
    if (end == std::string::npos) {
      peer.input.erase(0, start);
      if (peer.input.size() > 4096) peer.input.clear();
      return;
    }
    std::string frame = peer.input.substr(start, end - start + 1);
    peer.input.erase(0, end + 1);
    onFrame(peer, frame);
    if (!peer.fd) return;
    if (peer.module) {
      std::string rest;
      rest.swap(peer.input);
      if (!rest.empty()) onModuleBytes(peer, rest);
      return;
    }
  }
}

void SimServer::onFrame(Peer& peer, const std::string& frame) {
  std::optional<std::string> reply;
  std::string loaderStart;
  Fault fault;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(frame);
    for (std::size_t i = 0; i < terminals_.size(); ++i) {
      int entries = terminals_[i].loader.entries();
      const int sessions = terminals_[i].cardReader.module.sessions;
      try {
        reply = terminals_[i].handle(frame);
      } catch (const std::exception& e) {
        // A command that fails inside the simulator must not take the line
        // down: the terminal refuses it, and the reason goes to stderr.
        std::fprintf(stderr, "termsim: terminal %u: request %s failed: %s\n", terminals_[i].address(),
                     hexDump(frame).c_str(), e.what());
        reply = nakFrame(terminals_[i].address());
      }
      if (!reply) continue;
      if (terminals_[i].loader.entries() != entries) {
        // "33" taken: the loader answers with its prompt and asks for block 1 a moment later.
        SimLoader& loader = terminals_[i].loader;
        if (loader.silent) {
          loader.leave();  // a loader that never starts: the request goes unanswered
          reply = std::string();
        } else {
          peer.loading = i;
          peer.input.clear();
          reply = loader.prompt;
          loaderStart = std::string(1, NAK);
        }
      }
      if (terminals_[i].cardReader.module.sessions != sessions) {
        // "00" answered: what follows on this line is the fingerprint module's.
        peer.module = i;
      }
      if (terminals_[i].streaming && !peer.streamer) {
        peer.streamer = i;
        peer.nextStream = SteadyClock::now() + std::chrono::milliseconds(terminals_[i].streamGapMs);
      }
      break;
    }
    if (fault_.kind != FaultKind::None && fault_.after > 0) {
      --fault_.after;
    } else if (fault_.kind != FaultKind::None && fault_.count != 0) {
      fault = fault_;
      if (fault_.count > 0) --fault_.count;
    }
  }
  Pending out{SteadyClock::now(), {}, false};
  if (fault.kind == FaultKind::Echo) out.bytes = frame;
  if (reply) {
    std::string r = *reply;
    switch (fault.kind) {
      case FaultKind::NoAnswer:
        r.clear();
        break;
      case FaultKind::Nak:
        r = nakFrame(static_cast<unsigned>(std::max(0, hexPairAt(frame, 1))));
        break;
      case FaultKind::BadCheck: {
        char& c = r[r.size() - 2];
        c = static_cast<char>(c ^ 0x20);
        break;
      }
      case FaultKind::Delay:
        out.due += std::chrono::milliseconds(fault.delayMs);
        break;
      case FaultKind::Close:
        r.resize(r.size() / 2);
        out.closeAfter = true;
        break;
      case FaultKind::DropBytes:
        r.erase(r.size() / 2, 1);
        break;
      default:
        break;
    }
    out.bytes += r;
  }
  if (!loaderStart.empty()) queue(peer, {out.due + std::chrono::milliseconds(100), loaderStart, false, 0});
  if (out.bytes.empty() && !out.closeAfter) return;
  queue(peer, std::move(out));
}

void SimServer::queue(Peer& peer, Pending out) {
  // A late reply does not hold back the answers to later requests (but a
  // Frame half on the line is finished first).
  auto at = std::find_if(peer.output.begin(), peer.output.end(),
                         [&](const Pending& p) { return p.due > out.due && p.written == 0; });
  peer.output.insert(at, std::move(out));
}

void SimServer::stream(Peer& peer) {
  if (!peer.streamer || SteadyClock::now() < peer.nextStream) return;
  // Behind a modem the terminal holds its records while no call is up.
  if (!linkUp(peer)) return;
  // Records go out one at a time: the next only once the line has taken the last.
  if (!peer.output.empty()) {
    peer.nextStream = SteadyClock::now() + std::chrono::milliseconds(1);
    return;
  }
  std::optional<std::string> frame;
  int gap = 0;
  {
    std::lock_guard lock(mutex_);
    SimTerminal& t = terminals_[*peer.streamer];
    if (!t.streaming) {
      peer.streamer.reset();
      return;
    }
    frame = t.nextStreamed();
    gap = t.streamGapMs;
  }
  // When the stream has caught up, look again a little later.
  peer.nextStream = SteadyClock::now() + std::chrono::milliseconds(frame ? gap : 50);
  if (frame) queue(peer, {SteadyClock::now(), *frame, false, 0});
}

void SimServer::flush(Peer& peer) {
  auto now = SteadyClock::now();
  while (!peer.output.empty() && peer.output.front().due <= now) {
    Pending& p = peer.output.front();
    // With the call down (or the modem in command mode) the terminal's
    // replies go nowhere.
    if (!p.fromModem && p.written == 0 && !linkUp(peer)) {
      peer.output.pop_front();
      continue;
    }
    while (p.written < p.bytes.size()) {
      ssize_t n = ::write(peer.fd.get(), p.bytes.data() + p.written, p.bytes.size() - p.written);
      if (n > 0) {
        p.written += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && errno == EAGAIN) {
        return;  // the line is full: go on when it can take more
      } else {
        if (!peer.isPty) closePeer(peer);
        return;
      }
    }
    bool closeAfter = p.closeAfter;
    peer.output.pop_front();
    if (closeAfter && !peer.isPty) {
      closePeer(peer);
      return;
    }
  }
}

void SimServer::closePeer(Peer& peer) {
  peer.fd.reset();
  peer.output.clear();
}

}  // namespace cfg::sim
