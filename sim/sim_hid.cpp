#include "sim/sim_hid.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cerrno>

#include "link/frame.h"
#include "link/hex.h"
#include "link/hid_device.h"
#include "link/hid_sim_wire.h"

namespace cfg::sim {

namespace {

constexpr const char* kDefaultPassword = "58203716";
constexpr const char* kMasterPassword = "47150932";
constexpr std::size_t kReportSize = 65;
constexpr std::size_t kReportData = 64;
constexpr int kSendMs = 1000;

}  // namespace

struct SimHidServer::Connection {
  UniqueFd fd;
  HidMessageReader reader;
  Device* device = nullptr;  // set once the client opened one
  bool unlocked = false;     // a 3A was accepted on this connection
  std::string frame;         // request bytes gathered from output reports
  std::string lastFrame;     // the request answered last
  bool lastAnswered = false; // ... and not with NAK
};

SimHidServer::SimHidServer() : bus_("termsim-hid-", "hid.sock") {}

SimHidServer::~SimHidServer() { stop(); }

std::size_t SimHidServer::addHandheld(std::string id, std::optional<std::string> password, std::string product,
                                      SimTerminal terminal) {
  auto d = std::make_unique<Device>();
  d->terminal = std::move(terminal);
  d->path = "/dev/hidraw-sim" + std::to_string(devices_.size());
  d->usagePage = 0xFF00;
  d->usage = 1;
  d->product = std::move(product);
  d->isHandheld = true;
  d->id = std::move(id);
  d->password = std::move(password);
  Device* raw = d.get();
  // 3A and 3B are the handheld's own; the gate in answer() keeps the rest shut.
  raw->terminal.setHandler("3B", [raw](SimTerminal&, std::string_view) -> std::optional<std::string> {
    return "3B" + hexText(raw->id, 4);
  });
  devices_.push_back(std::move(d));
  handhelds_.push_back(devices_.size() - 1);
  return handhelds_.size() - 1;
}

void SimHidServer::addOther(std::uint16_t usagePage, std::uint16_t usage, std::string product) {
  auto d = std::make_unique<Device>();
  d->path = "/dev/hidraw-sim" + std::to_string(devices_.size());
  d->usagePage = usagePage;
  d->usage = usage;
  d->product = std::move(product);
  devices_.push_back(std::move(d));
}

SimHidServer::Device& SimHidServer::handheld(std::size_t i) { return *devices_.at(handhelds_.at(i)); }

int SimHidServer::badReports() const {
  std::lock_guard lock(mutex_);
  return badReports_;
}

int SimHidServer::repeatedRequests() const {
  std::lock_guard lock(mutex_);
  return repeatedRequests_;
}

std::vector<std::string> SimHidServer::outputReports() const {
  std::lock_guard lock(mutex_);
  return outputReports_;
}

std::string SimHidServer::listen() { return bus_.listen(); }

void SimHidServer::start() {
  bus_.start([this] { serveLoop(); });
}

void SimHidServer::stop() {
  if (!bus_.stop()) return;
  connections_.clear();
}

void SimHidServer::serveLoop() {
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({bus_.wake(), POLLIN, 0});
    fds.push_back({bus_.listener(), POLLIN, 0});
    for (auto& c : connections_) fds.push_back({c->fd.get(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
    if (fds[0].revents) return;  // stop()
    if (fds[1].revents & POLLIN) {
      for (;;) {
        int fd = ::accept4(bus_.listener(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) break;
        auto c = std::make_unique<Connection>();
        c->fd.reset(fd);
        connections_.push_back(std::move(c));
      }
    }
    std::vector<Connection*> closing;
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      Connection& c = *connections_[i - 2];
      bool alive = c.reader.pump(c.fd.get());
      std::string message;
      while (alive && c.reader.take(message)) alive = onMessage(c, message);
      if (!alive) closing.push_back(&c);
    }
    for (Connection* c : closing)
      std::erase_if(connections_, [c](const auto& p) { return p.get() == c; });
  }
}

bool SimHidServer::onMessage(Connection& c, const std::string& message) {
  if (message.empty()) return false;
  std::lock_guard lock(mutex_);
  switch (message[0]) {
    case 'E': {
      std::string list = "E";
      for (const auto& d : devices_)
        list += d->path + "\t" + std::to_string(d->usagePage) + "\t" + std::to_string(d->usage) + "\t" + d->product + "\n";
      sendHidMessage(c.fd.get(), list, kSendMs);
      return false;  // one enumeration a connection
    }
    case 'O': {
      std::string path = message.substr(1);
      for (const auto& d : devices_)
        if (d->path == path) c.device = d.get();
      sendHidMessage(c.fd.get(), c.device ? "O1" : "O0", kSendMs);
      return c.device != nullptr;
    }
    case 'W':
      if (!c.device) return false;
      onOutputReport(c, message.substr(1));
      return true;
  }
  return false;
}

void SimHidServer::onOutputReport(Connection& c, const std::string& report) {
  outputReports_.push_back(report);
  if (report.size() != kReportSize || report[0] != 0) {
    ++badReports_;
    return;
  }
  if (!c.device->isHandheld) return;
  // Data bytes up to the first CR; a Frame longer than one report goes on in the next.
  for (std::size_t i = 1; i < kReportSize; ++i) {
    c.frame += report[i];
    if (report[i] == CR) {
      std::string frame;
      frame.swap(c.frame);
      if (frame == c.lastFrame && c.lastAnswered) ++repeatedRequests_;
      c.lastFrame = frame;
      auto reply = answer(c, frame);
      c.lastAnswered = reply && *reply != nakFrame(c.device->terminal.address());
      if (reply) sendReply(c, *reply);
      return;
    }
    if (c.frame.size() > 4096) c.frame.clear();  // no Frame is that long
  }
}

std::optional<std::string> SimHidServer::answer(Connection& c, const std::string& frame) {
  Device& d = *c.device;
  // Only a well-formed request for this address gets an answer of the gate.
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
    if (accepted) c.unlocked = true;
    return accepted ? ackFrame(d.terminal.address()) : nakFrame(d.terminal.address());
  }
  if (!c.unlocked) return nakFrame(d.terminal.address());
  return d.terminal.handle(frame);
}

void SimHidServer::sendReply(Connection& c, const std::string& frame) {
  unsigned n = c.device->replies++;
  auto report = [](std::string_view data) {
    std::string r(kReportSize + 1, '\0');
    r[0] = 'I';
    data.copy(r.data() + 2, std::min(data.size(), kReportData));
    return r;
  };
  // Empty reports before the reply, now and then.
  int empties = n % 4 == 1 ? 1 : n % 4 == 3 ? 2 : 0;
  for (int i = 0; i < empties; ++i) sendHidMessage(c.fd.get(), report({}), kSendMs);
  for (std::size_t pos = 0; pos < frame.size(); pos += kReportData) {
    std::string r = report(std::string_view(frame).substr(pos, kReportData));
    sendHidMessage(c.fd.get(), r, kSendMs);
    // A long reply: the first report comes twice.
    if (pos == 0 && frame.size() > kReportData && n % 2 == 0) sendHidMessage(c.fd.get(), r, kSendMs);
  }
}

}  // namespace cfg::sim
