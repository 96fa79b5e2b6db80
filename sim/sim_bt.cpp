#include "sim/sim_bt.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>

#include "link/frame.h"
#include "link/hex.h"
#include "sim/sim_hid.h"

namespace cfg::sim {

namespace {

constexpr const char* kDefaultPassword = "58203716";
constexpr const char* kMasterPassword = "47150932";
constexpr std::size_t kLineMax = 256;
constexpr std::size_t kFrameMax = 4096;

std::string addressString(const std::array<std::uint8_t, 6>& a) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return text;
}

// Writes everything, waiting for room; false when the peer is gone.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::array<std::uint8_t, 6>> parseBtAddress(const std::string& text) {
  std::array<std::uint8_t, 6> a{};
  if (text.size() != 17) return std::nullopt;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[i * 3 - 1] != ':') return std::nullopt;
    int b = hexPairAt(text, i * 3);
    if (b < 0) return std::nullopt;
    a[i] = static_cast<std::uint8_t>(b);
  }
  return a;
}

SimBtServer::SimBtServer() : bus_("termsim-bt-", "bt.sock") {}

SimBtServer::~SimBtServer() { stop(); }

std::size_t SimBtServer::addHandheld(std::array<std::uint8_t, 6> address, std::string id,
                                     std::optional<std::string> password, std::string name,
                                     std::optional<std::string> service, SimTerminal terminal) {
  auto d = std::make_unique<Device>();
  d->address = address;
  d->id = std::move(id);
  d->password = std::move(password);
  d->name = std::move(name);
  d->service = std::move(service);
  d->terminal = std::move(terminal);
  Device* raw = d.get();
  // 3A and 3B are the handheld's own; the gate in answer() keeps the rest shut.
  raw->terminal.setHandler("3B", [raw](SimTerminal&, std::string_view) -> std::optional<std::string> {
    return "3B" + hexText(raw->id, 4);
  });
  devices_.push_back(std::move(d));
  return devices_.size() - 1;
}

int SimBtServer::lookups(std::size_t i) const {
  std::lock_guard lock(mutex_);
  return devices_.at(i)->lookups;
}

std::string SimBtServer::listen() { return bus_.listen(); }

void SimBtServer::start() {
  bus_.start([this] { acceptLoop(); });
}

void SimBtServer::stop() {
  if (!bus_.stop()) return;
  for (auto& session : sessions_) session.thread.join();
  sessions_.clear();
}

void SimBtServer::acceptLoop() {
  for (;;) {
    pollfd p[2] = {{bus_.listener(), POLLIN, 0}, {bus_.wake(), POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    if (p[0].revents & POLLIN) {
      UniqueFd fd(::accept4(bus_.listener(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!fd) continue;
      // Sessions that ended are collected before a new one starts.
      for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (it->done->load()) {
          it->thread.join();
          it = sessions_.erase(it);
        } else {
          ++it;
        }
      }
      auto done = std::make_shared<std::atomic<bool>>(false);
      sessions_.push_back(Session{std::thread([this, done, f = std::move(fd)]() mutable {
                                    serve(std::move(f));
                                    done->store(true);
                                  }),
                                  done});
    }
  }
}

// One request line; a CONNECT turns the connection into the handheld's.
void SimBtServer::serve(UniqueFd fd) {
  std::string in;
  Device* connected = nullptr;
  bool unlocked = false;
  for (;;) {
    pollfd p[2] = {{fd.get(), POLLIN, 0}, {bus_.wake(), POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    char buffer[512];
    ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
    if (n == 0) return;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    in.append(buffer, static_cast<std::size_t>(n));
    if (!connected) {
      auto nl = in.find('\n');
      if (nl == std::string::npos) {
        if (in.size() > kLineMax) return;
        continue;
      }
      std::string line = in.substr(0, nl);
      in.erase(0, nl + 1);
      std::string reply = handleRequest(line, connected);
      if (!writeAll(fd.get(), reply)) return;
      if (!connected) return;  // one request per connection
      std::string greeting;
      {
        std::lock_guard lock(mutex_);
        greeting = connected->terminal.model() + " termsim bt\r\n";
      }
      if (!writeAll(fd.get(), greeting)) return;
    }
    // Requests end with CR; anything before the SOH of a request is noise.
    for (;;) {
      auto cr = in.find('\r');
      if (cr == std::string::npos) {
        if (in.size() > kFrameMax) in.clear();
        break;
      }
      std::string frame = in.substr(0, cr + 1);
      in.erase(0, cr + 1);
      auto soh = frame.find(SOH);
      if (soh == std::string::npos) continue;
      frame.erase(0, soh);
      std::optional<std::string> reply;
      {
        std::lock_guard lock(mutex_);
        reply = answer(*connected, unlocked, frame);
      }
      if (reply && !writeAll(fd.get(), *reply)) return;
    }
  }
}

std::string SimBtServer::handleRequest(const std::string& line, Device*& connected) {
  std::lock_guard lock(mutex_);
  if (line == "RADIO") return radio_ ? "1\n" : "0\n";
  if (!radio_) return "NO\n";
  if (line == "INQUIRY") {
    std::string out;
    for (const auto& d : devices_) out += addressString(d->address) + " " + d->name + "\n";
    return out + ".\n";
  }
  if (line.rfind("SDP ", 0) == 0) {
    auto address = parseBtAddress(line.substr(4));
    std::string out;
    for (const auto& d : devices_) {
      if (!address || d->address != *address) continue;
      ++d->lookups;
      if (d->service) out += "1 " + *d->service + "\n";
    }
    return out + ".\n";
  }
  if (line.rfind("CONNECT ", 0) == 0 && line.size() >= 8 + 17 + 2) {
    auto address = parseBtAddress(line.substr(8, 17));
    for (const auto& d : devices_) {
      if (address && d->address == *address && d->service && line.substr(8 + 17) == " 1") {
        connected = d.get();
        return "OK\n";
      }
    }
  }
  return "NO\n";
}

std::optional<std::string> SimBtServer::answer(Device& d, bool& unlocked, const std::string& frame) {
  bool wellFormed = frame.size() >= 9 && frame[0] == SOH && frame[3] == STX &&
                    frame.substr(1, 2) == addressText(d.terminal.address()) &&
                    static_cast<std::uint8_t>(frame[frame.size() - 2]) == mainCheckByte(frame);
  if (!wellFormed) return std::nullopt;
  std::string code = frame.substr(4, 2);
  if (code == "3A") {
    std::string password;
    for (std::size_t pos = 6; pos + 1 < frame.size() - 3 && password.size() < 8; pos += 2) {
      int b = hexPairAt(frame, pos);
      if (b < 0) break;
      password += static_cast<char>(b);
    }
    std::string own = d.password.value_or(kDefaultPassword);
    bool accepted = frame.size() == 25 && password.size() == 8 && (password == own || password == kMasterPassword);
    if (accepted) unlocked = true;
    return accepted ? ackFrame(d.terminal.address()) : nakFrame(d.terminal.address());
  }
  if (!unlocked) return nakFrame(d.terminal.address());
  return d.terminal.handle(frame);
}

}  // namespace cfg::sim
