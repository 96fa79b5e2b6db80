// The system Bluetooth stacks on Linux: BlueZ, or termsim's simulated radio
// when the variable names its socket.
#include "link/bt_system.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "link/bt_bluez.h"
#include "link/hex.h"

namespace cfg {

namespace {

constexpr int kSimReplyMs = 5000;

// Connects a non-blocking stream to the simulator's socket.
UniqueFd simConnect(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path, path.data(), path.size());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return {};
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

// One line without its LF, read byte by byte so that nothing after it is taken.
bool readLine(int fd, std::string& line, Clock::time_point deadline) {
  line.clear();
  for (;;) {
    char c = 0;
    ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
    if (n == 1) {
      if (c == '\n') return true;
      if (line.size() >= 1024) return false;
      line += c;
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    int left = millisecondsUntil(deadline);
    if (left <= 0 || pollUntil(fd, POLLIN, left) == 0) return false;
  }
}

class SimBtSystemStack final : public BtSystemStack {
 public:
  explicit SimBtSystemStack(std::string path) : path_(std::move(path)) {}

  bool radioPresent() override {
    std::vector<std::string> lines;
    return request("RADIO", lines, false) && !lines.empty() && lines[0] == "1";
  }

  bool inquire(std::vector<BtDevice>& devices, std::string& error, const BtStopCheck&) override {
    devices.clear();
    std::vector<std::string> lines;
    if (!request("INQUIRY", lines, true)) {
      error = kBtInquiryFailed;
      return false;
    }
    for (const auto& l : lines) {
      BtDevice d;
      if (l.size() < 18 || l[17] != ' ' || !parseAddress(l.substr(0, 17), d.address)) {
        error = kBtNextDeviceFailed;
        return false;
      }
      d.name = l.substr(18);
      devices.push_back(std::move(d));
    }
    return true;
  }

  bool serialServices(const BtAddress& device, std::vector<BtService>& services, std::string& error) override {
    services.clear();
    std::vector<std::string> lines;
    if (!request("SDP " + btAddressText(device), lines, true)) {
      error = kBtServiceStartFailed;
      return false;
    }
    for (const auto& l : lines) {
      auto blank = l.find(' ');
      int channel = blank == std::string::npos ? 0 : std::atoi(l.substr(0, blank).c_str());
      if (channel < 1 || channel > 30) {
        error = kBtNextServiceFailed;
        return false;
      }
      services.push_back(BtService{static_cast<std::uint8_t>(channel), l.substr(blank + 1)});
    }
    return true;
  }

  UniqueFd connect(const BtAddress& device, std::uint8_t channel, int timeoutMs) override {
    UniqueFd fd = simConnect(path_);
    if (!fd) return {};
    std::string line = "CONNECT " + btAddressText(device) + " " + std::to_string(channel) + "\n";
    if (sendAll(fd.get(), line, timeoutMs) != static_cast<int>(line.size())) return {};
    std::string reply;
    if (!readLine(fd.get(), reply, Clock::now() + std::chrono::milliseconds(timeoutMs)) || reply != "OK") return {};
    return fd;
  }

 private:
  static bool parseAddress(const std::string& text, BtAddress& a) {
    for (std::size_t i = 0; i < 6; ++i) {
      if (i > 0 && text[i * 3 - 1] != ':') return false;
      int b = hexPairAt(text, i * 3);
      if (b < 0) return false;
      a[i] = static_cast<std::uint8_t>(b);
    }
    return true;
  }

  // Sends one request; gathers the reply lines (up to "." when `listed`).
  bool request(const std::string& what, std::vector<std::string>& lines, bool listed) {
    UniqueFd fd = simConnect(path_);
    if (!fd) return false;
    std::string line = what + "\n";
    if (sendAll(fd.get(), line, kSimReplyMs) != static_cast<int>(line.size())) return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(kSimReplyMs);
    std::string reply;
    while (readLine(fd.get(), reply, deadline)) {
      if (!listed) {
        lines.push_back(reply);
        return true;
      }
      if (reply == ".") return true;
      if (reply == "NO") return false;
      if (lines.size() >= 1000) return false;
      lines.push_back(reply);
    }
    return false;
  }

  std::string path_;
};

// The first adapter through BlueZ; without one every step says so.
class BlueZSystemStack final : public BtSystemStack {
 public:
  bool radioPresent() override { return bluez::radioPresent(); }

  bool inquire(std::vector<BtDevice>& devices, std::string& error, const BtStopCheck& stop) override {
    devices.clear();
    std::vector<bluez::FoundDevice> found;
    if (bluez::inquire(found, stop) != bluez::Outcome::Done) {
      error = kBtInquiryFailed;
      return false;
    }
    for (auto& d : found) devices.push_back(BtDevice{d.address, std::move(d.name)});
    return true;
  }

  bool serialServices(const BtAddress& device, std::vector<BtService>& services, std::string& error) override {
    services.clear();
    std::vector<bluez::FoundService> found;
    bool started = false;
    if (bluez::serialServices(device, found, started) != bluez::Outcome::Done) {
      error = started ? kBtNextServiceFailed : kBtServiceStartFailed;
      return false;
    }
    for (auto& s : found) services.push_back(BtService{s.channel, std::move(s.name)});
    return true;
  }

  UniqueFd connect(const BtAddress& device, std::uint8_t channel, int timeoutMs) override {
    return bluez::connectRfcomm(device, channel, timeoutMs);
  }
};

}  // namespace

std::unique_ptr<BtSystemStack> makeSimBtSystemStack(std::string socketPath) {
  return std::make_unique<SimBtSystemStack>(std::move(socketPath));
}

std::unique_ptr<BtSystemStack> makeBlueZSystemStack() { return std::make_unique<BlueZSystemStack>(); }

BtSystemStack& btSystemStack() {
  // The variable is read on every search (tests point it at new simulators);
  // a stack once handed out stays alive, since Links keep referring to it.
  static std::mutex mutex;
  static std::vector<std::pair<std::string, std::unique_ptr<BtSystemStack>>> stacks;
  const char* sim = std::getenv(kBtSimVariable);
  std::string key = sim && *sim ? sim : "";
  std::lock_guard lock(mutex);
  for (auto& [path, stack] : stacks)
    if (path == key) return *stack;
  stacks.emplace_back(key, key.empty() ? makeBlueZSystemStack() : makeSimBtSystemStack(key));
  return *stacks.back().second;
}

}  // namespace cfg
