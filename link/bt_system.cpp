#include "link/bt_system.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "link/bt_bluez.h"
#include "link/handheld_scan.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/tcp_transport.h"


namespace cfg {

namespace {

constexpr int kProbeTimeoutMs = 250;
constexpr int kOpenSettleMs = 200;
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

std::string btAddressText(const BtAddress& a) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return text;
}

bool isHandheldBtPrefix(const BtAddress& a) {
  return (a[0] == 0x00 && a[1] == 0x08 && a[2] == 0xE0) || (a[0] == 0x00 && a[1] == 0xA0 && a[2] == 0x96);
}

std::string handheldBtName(const std::string& deviceName) {
  return deviceName == "SPP140" ? "Palmare HND" : deviceName;
}

bool BtSocketTransport::open(LinkConfig& config, std::string& error) {
  UniqueFd socket = stack_.connect(config.bluetoothAddress, config.rfcommChannel, kConnectTimeoutMs);
  if (!socket) {
    error = "Error: connect failed.";
    return false;
  }
  adopt(std::move(socket));
  return true;
}

void scanBtSystemHandhelds(Worker& worker, BtSystemScanJob& job) {
  ScanDoneOnExit done{job.scanDone};
  // Both flags come back as they were however the scan ends.
  MessageFlagsGuard restore(job.messages.flags, job.messages.flags.showLinkErrors.load(),
                            job.messages.flags.askOnFailure.load());
  const bool showErrors = job.messages.flags.showLinkErrors.load();
  auto fail = [&](const std::string& text) {
    if (showErrors) job.messages.error(text);
  };
  job.list.clear();
  worker.refresh(kBtScanText);
  if (!job.stack.radioPresent()) {
    if (showErrors) job.messages.warning(kNoBtRadio);
    return;
  }
  std::vector<BtDevice> devices;
  std::string error;
  if (!job.stack.inquire(devices, error, [&worker] { return worker.stopRequested(); })) return fail(error);
  for (const BtDevice& device : devices) {
    if (worker.stopRequested()) return;
    if (!isHandheldBtPrefix(device.address)) continue;  // no lookup at all
    std::string addressText = btAddressText(device.address);
    std::vector<BtService> services;
    if (!job.stack.serialServices(device.address, services, error)) return fail(error);
    for (const BtService& service : services) {
      if (worker.stopRequested()) return;
      bool listed = false;
      for (const auto& e : job.list.entries())
        listed = listed || (e.bluetoothAddress == device.address &&
                            e.secondName.substr(0, kSecondNameMax) == device.name.substr(0, kSecondNameMax));
      if (listed) continue;
      if (job.list.full()) return;

      Link link;
      link.config.number = static_cast<std::uint16_t>(job.list.size() + 1);
      link.config.model = kHandheldModel;
      link.config.address = "01";
      link.config.bluetooth = BluetoothKind::SystemStack;
      link.config.bluetoothAddress = device.address;
      link.config.rfcommChannel = service.channel;
      MessageFlagsGuard quiet(job.messages.flags, false, false);
      if (!link.openWith(std::make_unique<BtSocketTransport>(job.stack), job.messages)) continue;
      ::poll(nullptr, 0, kOpenSettleMs);

      HandheldEntry entry;
      if (!probeHandheld(link, job.messages, job.plantPassword, entry, kProbeTimeoutMs)) continue;  // does not answer: skipped
      link.close();
      entry.name = handheldBtName(device.name);
      entry.bluetooth = BluetoothKind::SystemStack;
      entry.secondName = service.name.substr(0, kSecondNameMax);
      entry.addressText = addressText;
      entry.bluetoothAddress = device.address;
      entry.rfcommChannel = service.channel;
      if (!job.list.add(std::move(entry))) return;
    }
  }
}

bool runBtSystemScanInBackground(Worker& worker, BtSystemScanJob& job, const std::atomic<bool>* cancel) {
  if (!job.scanDone) return false;
  return runScanInBackground(worker, job.messages, [&job](Worker& w) { scanBtSystemHandhelds(w, job); }, *job.scanDone, cancel);
}

}  // namespace cfg
