// The adapter behind the exports: one process-wide object whose radio
// notifications (on threads of its own) only write flags, counts and
// records, and which the program reads by polling. The radio is BlueZ's
// first adapter, or termsim's simulated one when CFG_BT_SIM names it.
#include "btbridge/btbridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "btbridge/pty_relay.h"
#include "link/bt_bluez.h"
#include "link/fd.h"

namespace btbridge {

namespace {

using cfg::UniqueFd;
using Address = cfg::BtAddress;
using cfg::bluez::FoundDevice;
constexpr std::size_t kNameBytes = 248;
constexpr std::int32_t kConnecting = 0xFFFF;
constexpr int kConnectTimeoutMs = 20000;
constexpr int kReadyChecks = 20;
constexpr int kReadyCheckPauseMs = 1000;
// RemoveWidSppConnection's answers.
constexpr std::int32_t kRemoved = 0;
constexpr std::int32_t kNoConnectionObject = 1;
constexpr std::int32_t kNotConnected = 3;
// CreateWidSppConnection's refusals.
constexpr std::int32_t kAlreadyConnecting = 2;
constexpr std::int32_t kBadArgument = 4;
// The connection states reported when a connection could not be made.
constexpr int kStateConnectFailed = 1;
constexpr int kStateNoPort = 2;

struct DeviceRecord {
  Address address{};
  std::array<std::uint8_t, 3> deviceClass{};
  char name[kNameBytes] = {};
};

struct ServiceRecord {
  Address device{};
  std::uint8_t channel = 0;
  std::string name;
};

std::string addressText(const Address& a) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  return text;
}

bool parseAddress(const std::string& text, Address& a) {
  if (text.size() < 17) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[i * 3 - 1] != ':') return false;
    unsigned v = 0;
    if (std::sscanf(text.c_str() + i * 3, "%2x", &v) != 1) return false;
    a[i] = static_cast<std::uint8_t>(v);
  }
  return true;
}

// What the adapter needs of a radio. Each call may block (an inquiry lasts
// about 10 s); the adapter makes them on threads of its own.
class Radio {
 public:
  virtual ~Radio() = default;
  virtual bool ready() = 0;
  virtual bool inquire(std::vector<FoundDevice>& devices, const std::atomic<bool>& stop) = 0;
  virtual bool serialServices(const Address& device, std::vector<ServiceRecord>& services) = 0;
  // A connected stream to the channel, or invalid; gives up when stopFd is readable.
  virtual UniqueFd connect(const Address& device, std::uint8_t channel, int stopFd) = 0;
};

// The first adapter of the system's stack.
class BlueZRadio final : public Radio {
 public:
  bool ready() override { return cfg::bluez::radioPresent(); }
  bool inquire(std::vector<FoundDevice>& devices, const std::atomic<bool>& stop) override {
    return cfg::bluez::inquire(devices, [&stop] { return stop.load(); }) == cfg::bluez::Outcome::Done;
  }
  bool serialServices(const Address& device, std::vector<ServiceRecord>& services) override {
    std::vector<cfg::bluez::FoundService> found;
    bool started = false;
    if (cfg::bluez::serialServices(device, found, started) != cfg::bluez::Outcome::Done) return false;
    for (auto& f : found) services.push_back(ServiceRecord{device, f.channel, std::move(f.name)});
    return true;
  }
  UniqueFd connect(const Address& device, std::uint8_t channel, int stopFd) override {
    return cfg::bluez::connectRfcomm(device, channel, kConnectTimeoutMs, stopFd);
  }
};

// The simulated radio of termsim: one request line per connection.
class SimRadio final : public Radio {
 public:
  explicit SimRadio(std::string path) : path_(std::move(path)) {}

  bool ready() override {
    std::vector<std::string> reply;
    return request("RADIO", reply, false) && reply.at(0) == "1";
  }

  bool inquire(std::vector<FoundDevice>& devices, const std::atomic<bool>&) override {
    std::vector<std::string> reply;
    if (!request("INQUIRY", reply, true)) return false;
    for (const auto& line : reply) {
      FoundDevice d;
      if (line.size() < 18 || !parseAddress(line, d.address)) continue;
      d.name = line.substr(18);
      devices.push_back(std::move(d));
    }
    return true;
  }

  bool serialServices(const Address& device, std::vector<ServiceRecord>& services) override {
    std::vector<std::string> reply;
    if (!request("SDP " + addressText(device), reply, true)) return false;
    for (const auto& line : reply) {
      auto blank = line.find(' ');
      if (blank == std::string::npos) continue;
      services.push_back(ServiceRecord{device, static_cast<std::uint8_t>(std::atoi(line.substr(0, blank).c_str())),
                                       line.substr(blank + 1)});
    }
    return true;
  }

  UniqueFd connect(const Address& device, std::uint8_t channel, int) override {
    std::vector<std::string> reply;
    UniqueFd link;
    if (!request("CONNECT " + addressText(device) + " " + std::to_string(channel), reply, false, &link) ||
        reply.at(0) != "OK")
      return {};
    return link;
  }

 private:
  UniqueFd open() const {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof addr.sun_path) return {};
    std::memcpy(addr.sun_path, path_.data(), path_.size());
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return {};
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
  }

  // Sends `line`; reads reply lines until "." (or the first when !listed).
  bool request(const std::string& line, std::vector<std::string>& reply, bool listed, UniqueFd* keep = nullptr) const {
    UniqueFd fd = open();
    if (!fd) return false;
    std::string out = line + "\n";
    if (::send(fd.get(), out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) return false;
    std::string current;
    for (;;) {
      pollfd p{fd.get(), POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return false;
      char c = 0;
      if (::recv(fd.get(), &c, 1, 0) != 1) return false;
      if (c != '\n') {
        if (current.size() > 1024) return false;
        current += c;
        continue;
      }
      if (!listed) {
        reply.push_back(current);
        if (keep) *keep = std::move(fd);
        return true;
      }
      if (current == ".") return true;
      if (current == "NO" || reply.size() >= 1000) return false;
      reply.push_back(current);
      current.clear();
    }
  }

  std::string path_;
};

// The radio to use now: the variable is read on every request, since tests
// point it at new simulators.
std::shared_ptr<Radio> currentRadio() {
  const char* path = std::getenv("CFG_BT_SIM");
  if (path && *path) return std::make_shared<SimRadio>(path);
  return std::make_shared<BlueZRadio>();
}

class Adapter {
 public:
  ~Adapter() {
    inquiryStop_.store(true);
    joinWorker();
    removeConnection();
  }

  std::int32_t deviceReady() { return currentRadio()->ready() ? 1 : 0; }

  std::int32_t startInquiry() {
    if (inquiryRunning_.load()) return 0;
    joinWorker();
    deviceCount_.store(0);
    inquiryComplete_.store(0);
    auto radio = currentRadio();
    for (int check = 0; check < kReadyChecks; ++check) {
      if (check > 0) ::poll(nullptr, 0, kReadyCheckPauseMs);
      if (!radio->ready()) continue;
      inquiryStop_.store(false);
      inquiryRunning_.store(true);
      worker_ = std::thread([this, radio] {
        std::vector<FoundDevice> found;
        if (radio->inquire(found, inquiryStop_)) {
          for (const auto& d : found) {
            if (inquiryStop_.load()) break;  // the notifications were cleared
            onDeviceFound(d.address, d.deviceClass, d.name);
          }
        }
        // Free for the next request before the completion is seen.
        inquiryRunning_.store(false);
        if (!inquiryStop_.load()) inquiryComplete_.store(1);
      });
      return 1;
    }
    return 0;
  }

  std::int32_t inquiryComplete() const { return inquiryComplete_.load(); }

  // Clears both notifications: nothing more is stored and the inquiry never
  // completes. A radio inquiry under way runs out on its own thread, which
  // the next inquiry or discovery waits for.
  std::int32_t stopInquiry() {
    if (!inquiryRunning_.load()) return 0;
    inquiryStop_.store(true);
    return 1;
  }

  // The notification: stores a device once, the record complete before the count grows.
  void onDeviceFound(const Address& a, std::array<std::uint8_t, 3> deviceClass, const std::string& name) {
    std::int32_t n = deviceCount_.load(std::memory_order_acquire);
    for (std::int32_t i = 0; i < n; ++i)
      if (devices_[static_cast<std::size_t>(i)].address == a) return;
    if (n >= BTBRIDGE_MAX_DEVICES) return;
    DeviceRecord& r = devices_[static_cast<std::size_t>(n)];
    r = DeviceRecord{};
    r.address = a;
    r.deviceClass = deviceClass;
    std::memcpy(r.name, name.data(), std::min(name.size(), kNameBytes - 1));
    deviceCount_.store(n + 1, std::memory_order_release);
  }

  std::int32_t devices(std::uint8_t* out) {
    std::int32_t n = deviceCount_.load(std::memory_order_acquire);
    if (!out) return n;
    for (std::int32_t i = 0; i < n; ++i)
      writeRecord(devices_[static_cast<std::size_t>(i)], out + i * BTBRIDGE_DEVICE_RECORD_SIZE);
    return n;
  }

  std::int32_t startDiscovery(const std::uint8_t* address, const std::uint8_t* /*serviceClass*/) {
    if (!address || discoveryRunning_.load() || inquiryRunning_.load()) return 0;
    joinWorker();
    discoveryComplete_.store(0);
    Address a{};
    std::memcpy(a.data(), address, 6);
    discoveryRunning_.store(true);
    worker_ = std::thread([this, a, radio = currentRadio()] {
      std::vector<ServiceRecord> found;
      if (!radio->serialServices(a, found)) found.clear();
      {
        std::lock_guard lock(mutex_);
        services_ = std::move(found);
        recordCount_.store(static_cast<std::uint16_t>(std::min<std::size_t>(services_.size(), 0xFFFF)));
      }
      discoveryRunning_.store(false);
      discoveryComplete_.store(1);
    });
    return 1;
  }

  std::int32_t discoveryComplete(std::int32_t* count) {
    std::int32_t done = discoveryComplete_.load();
    if (count) *count = done ? recordCount_.load() : 0;
    return done;
  }

  std::int32_t serviceName(const std::uint8_t* address, char* name) {
    if (name) name[0] = '\0';
    if (!address) return 0;
    Address a{};
    std::memcpy(a.data(), address, 6);
    std::lock_guard lock(mutex_);
    std::int32_t matching = 0;
    for (const auto& s : services_) {
      if (s.device != a) continue;
      if (matching++ == 0 && name) {
        std::size_t n = std::min(s.name.size(), static_cast<std::size_t>(BTBRIDGE_SERVICE_NAME_SIZE - 1));
        std::memcpy(name, s.name.data(), n);
        name[n] = '\0';
      }
    }
    return matching;
  }

  std::int32_t createConnection(const std::uint8_t* address, const char* serviceName) {
    if (!address || !serviceName) return kBadArgument;
    std::lock_guard lock(connectionMutex_);
    if (bridge_.joinable()) return kAlreadyConnecting;
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return kBadArgument;
    wakeRead_.reset(p[0]);
    wakeWrite_.reset(p[1]);
    status_.store(kConnecting);
    comPort_.store(0);
    connected_.store(0);
    Address a{};
    std::memcpy(a.data(), address, 6);
    std::uint8_t channel = 1;  // the usual one, when the last discovery did not name the service
    {
      std::lock_guard services(mutex_);
      for (const auto& s : services_)
        if (s.device == a && s.name == serviceName) channel = s.channel;
    }
    connectedTo_ = a;
    bridge_ = std::thread([this, a, channel, radio = currentRadio()] { runConnection(*radio, a, channel); });
    return 0;
  }

  std::int32_t connected(std::int32_t* comPort, std::int32_t* status) {
    if (comPort) *comPort = comPort_.load();
    if (status) *status = status_.load();
    return connected_.load();
  }

  std::int32_t removeConnection() {
    std::lock_guard lock(connectionMutex_);
    if (!bridge_.joinable()) return kNoConnectionObject;
    bool wasConnected = connected_.load() != 0;
    char b = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_.get(), &b, 1);
    bridge_.join();
    wakeRead_.reset();
    wakeWrite_.reset();
    connected_.store(0);
    comPort_.store(0);
    return wasConnected ? kRemoved : kNotConnected;
  }

  std::int32_t remoteConnected(const std::uint8_t* address) {
    if (!address || !connected_.load()) return 0;
    std::lock_guard lock(connectionMutex_);
    return std::memcmp(address, connectedTo_.data(), 6) == 0 ? 1 : 0;
  }

  std::int32_t init() { return initCount_.fetch_add(1) + 1; }

  std::int32_t close() {
    std::int32_t n = initCount_.load();
    while (n > 0 && !initCount_.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0) {
      std::fputs("sdk_close - sdk_init mismatch!\n", stderr);
      return 0;
    }
    return n - 1;
  }

 private:
  void joinWorker() {
    if (worker_.joinable()) worker_.join();
  }

  // The connection state change: the COM port and the flag first cleared.
  void onConnectionState(int port, int state) {
    comPort_.store(0);
    connected_.store(0);
    if (state == 0) {
      status_.store(0);
      comPort_.store(port);
      connected_.store(1);
    } else if (state >= 1 && state <= 5) {
      status_.store(state);
    }
  }

  // Connects to the handheld and bridges it to a pseudo-terminal whose
  // number is the reported COM port, until the connection is removed or
  // the handheld drops it.
  void runConnection(Radio& radio, const Address& a, std::uint8_t channel) {
    UniqueFd link = radio.connect(a, channel, wakeRead_.get());
    if (!link) return onConnectionState(0, kStateConnectFailed);
    PtyRelay relay;
    if (!relay.open()) return onConnectionState(0, kStateNoPort);
    // COM ports count from 1, pseudo-terminals from 0: COMn is /dev/pts/(n-1).
    onConnectionState(relay.number() + 1, 0);
    relay.run(link.get(), wakeRead_.get());
    connected_.store(0);
  }

  static void writeRecord(const DeviceRecord& d, std::uint8_t* out) {
    std::memset(out, 0, BTBRIDGE_DEVICE_RECORD_SIZE);
    std::uint32_t size = BTBRIDGE_DEVICE_RECORD_SIZE;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(size >> (8 * i));
    std::memcpy(out + 8, d.address.data(), 6);
    std::uint32_t cls = d.deviceClass[0] * 65536u + d.deviceClass[1] * 256u + d.deviceClass[2];
    for (int i = 0; i < 4; ++i) out[16 + i] = static_cast<std::uint8_t>(cls >> (8 * i));
    // UTF-8 to UTF-16 little-endian, at most 247 characters and a zero.
    std::size_t chars = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(d.name);
    std::size_t len = ::strnlen(d.name, kNameBytes);
    for (std::size_t i = 0; i < len && chars < kNameBytes - 1;) {
      std::uint32_t c = s[i];
      std::size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
      if (extra == 9 || i + extra >= len + (extra ? 0 : 1)) {
        c = '?';
        extra = 0;
      } else if (extra) {
        c &= 0x3Fu >> extra;
        for (std::size_t k = 1; k <= extra; ++k) c = (c << 6) | (s[i + k] & 0x3F);
      }
      i += extra + 1;
      if (c > 0xFFFF) c = '?';
      out[64 + chars * 2] = static_cast<std::uint8_t>(c);
      out[64 + chars * 2 + 1] = static_cast<std::uint8_t>(c >> 8);
      ++chars;
    }
  }

  std::array<DeviceRecord, BTBRIDGE_MAX_DEVICES> devices_{};
  std::atomic<std::int32_t> deviceCount_{0};
  std::atomic<std::int32_t> inquiryComplete_{0};
  std::atomic<std::int32_t> discoveryComplete_{0};
  std::atomic<std::uint16_t> recordCount_{0};
  std::atomic<std::int32_t> status_{0};
  std::atomic<std::int32_t> comPort_{0};
  std::atomic<std::int32_t> connected_{0};
  std::atomic<bool> inquiryRunning_{false};
  std::atomic<bool> inquiryStop_{false};
  std::atomic<bool> discoveryRunning_{false};
  std::atomic<std::int32_t> initCount_{0};
  std::mutex mutex_;  // the service records of the last discovery
  std::vector<ServiceRecord> services_;
  std::mutex connectionMutex_;  // the connection thread, its wake pipe and its device
  std::thread worker_;          // the inquiry or discovery under way
  std::thread bridge_;
  UniqueFd wakeRead_, wakeWrite_;
  Address connectedTo_{};
};

Adapter& adapter() {
  static Adapter a;
  return a;
}

}  // namespace

}  // namespace btbridge

#define BTBRIDGE_EXPORT __attribute__((visibility("default")))

extern "C" {
BTBRIDGE_EXPORT int32_t IsWidDeviceReady(void) { return btbridge::adapter().deviceReady(); }
BTBRIDGE_EXPORT int32_t StartWidInquiry(void) { return btbridge::adapter().startInquiry(); }
BTBRIDGE_EXPORT int32_t StopWidInquiry(void) { return btbridge::adapter().stopInquiry(); }
BTBRIDGE_EXPORT int32_t WidInquiryComplete(void) { return btbridge::adapter().inquiryComplete(); }
BTBRIDGE_EXPORT int32_t GetWidBthDevices(uint8_t* records) { return btbridge::adapter().devices(records); }
BTBRIDGE_EXPORT int32_t StartWidDiscovery(const uint8_t* address, const uint8_t* serviceClass) {
  return btbridge::adapter().startDiscovery(address, serviceClass);
}
BTBRIDGE_EXPORT int32_t WidDiscoveryComplete(int32_t* count) { return btbridge::adapter().discoveryComplete(count); }
BTBRIDGE_EXPORT int32_t GetWidSppServiceName(const uint8_t* address, const uint8_t* /*serviceClass*/, char* name) {
  return btbridge::adapter().serviceName(address, name);
}
BTBRIDGE_EXPORT int32_t CreateWidSppConnection(const uint8_t* address, const char* serviceName) {
  return btbridge::adapter().createConnection(address, serviceName);
}
BTBRIDGE_EXPORT int32_t WidSppConnected(int32_t* comPort, int32_t* status) {
  return btbridge::adapter().connected(comPort, status);
}
BTBRIDGE_EXPORT int32_t RemoveWidSppConnection(void) { return btbridge::adapter().removeConnection(); }
BTBRIDGE_EXPORT int32_t IsWidRemoteDeviceConnected(const uint8_t* address) {
  return btbridge::adapter().remoteConnected(address);
}
BTBRIDGE_EXPORT int32_t sdk_init(void) { return btbridge::adapter().init(); }
BTBRIDGE_EXPORT int32_t sdk_close(void) { return btbridge::adapter().close(); }
}
