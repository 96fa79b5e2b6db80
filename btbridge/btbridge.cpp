// The adapter behind the exports: one process-wide object whose stack
// notifications (on the stack's own threads) only write flags, counts and
// records, and which the program reads by polling.
#include "btbridge/btbridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace btbridge {

namespace {

using Address = std::array<std::uint8_t, 6>;
constexpr std::size_t kNameBytes = 248;
constexpr std::int32_t kConnecting = 0xFFFF;
// RemoveWidSppConnection's answers.
constexpr std::int32_t kRemoved = 0;
constexpr std::int32_t kNoConnectionObject = 1;
constexpr std::int32_t kNotConnected = 3;
// CreateWidSppConnection's refusals.
constexpr std::int32_t kAlreadyConnecting = 2;
constexpr std::int32_t kBadArgument = 4;

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

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.fd_;
      o.fd_ = -1;
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
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

// The simulated radio of termsim (CFG_BT_SIM): one request line per connection.
class SimRadio {
 public:
  explicit SimRadio(std::string path) : path_(std::move(path)) {}

  Fd connect() const {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof addr.sun_path) return {};
    std::memcpy(addr.sun_path, path_.data(), path_.size());
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return {};
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
  }

  // Sends `line`; reads reply lines until "." (or the first when !listed).
  bool request(const std::string& line, std::vector<std::string>& reply, bool listed, Fd* keep = nullptr) const {
    Fd fd = connect();
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

 private:
  std::string path_;
};

class Adapter {
 public:
  ~Adapter() {
    joinWorker();
    removeConnection();
  }

  std::int32_t deviceReady() {
    auto radio = simRadio();
    if (!radio) return 0;  // no stack backend on this system but the simulator
    std::vector<std::string> reply;
    return radio->request("RADIO", reply, false) && reply.at(0) == "1" ? 1 : 0;
  }

  std::int32_t startInquiry() {
    if (inquiryRunning_.load()) return 0;
    joinWorker();
    deviceCount_.store(0);
    inquiryComplete_.store(0);
    auto radio = simRadio();
    if (!radio) return 0;
    for (int check = 0; check < 20; ++check) {
      if (check > 0) ::poll(nullptr, 0, 1000);
      if (!deviceReady()) continue;
      inquiryRunning_.store(true);
      worker_ = std::thread([this, r = *radio] {
        std::vector<std::string> reply;
        if (r.request("INQUIRY", reply, true)) {
          for (const auto& line : reply) {
            Address a{};
            if (line.size() < 18 || !parseAddress(line, a)) continue;
            onDeviceFound(a, {0, 0, 0}, line.substr(18));
          }
        }
        inquiryRunning_.store(false);
        inquiryComplete_.store(1);
      });
      return 1;
    }
    return 0;
  }

  std::int32_t inquiryComplete() const { return inquiryComplete_.load(); }

  std::int32_t stopInquiry() {
    if (!inquiryRunning_.load()) return 0;
    joinWorker();
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
    for (std::int32_t i = 0; i < n; ++i) writeRecord(devices_[static_cast<std::size_t>(i)], out + i * BTBRIDGE_DEVICE_RECORD_SIZE);
    return n;
  }

  std::int32_t startDiscovery(const std::uint8_t* address, const std::uint8_t* /*serviceClass*/) {
    if (!address || discoveryRunning_.load()) return 0;
    joinWorker();
    discoveryComplete_.store(0);
    auto radio = simRadio();
    if (!radio) return 0;
    Address a{};
    std::memcpy(a.data(), address, 6);
    discoveryRunning_.store(true);
    worker_ = std::thread([this, a, r = *radio] {
      std::vector<std::string> reply;
      std::vector<ServiceRecord> found;
      if (r.request("SDP " + addressText(a), reply, true)) {
        for (const auto& line : reply) {
          auto blank = line.find(' ');
          if (blank == std::string::npos) continue;
          found.push_back(ServiceRecord{a, static_cast<std::uint8_t>(std::atoi(line.substr(0, blank).c_str())),
                                        line.substr(blank + 1)});
        }
      }
      {
        std::lock_guard lock(mutex_);
        services_ = found;
      }
      recordCount_.store(static_cast<std::uint16_t>(std::min<std::size_t>(found.size(), 0xFFFF)));
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
    status_.store(kConnecting);
    comPort_.store(0);
    connected_.store(0);
    auto radio = simRadio();
    if (!radio) return kBadArgument;
    Address a{};
    std::memcpy(a.data(), address, 6);
    std::uint8_t channel = 1;
    {
      std::lock_guard services(mutex_);
      for (const auto& s : services_)
        if (s.device == a && s.name == serviceName) channel = s.channel;
    }
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) return kBadArgument;
    wakeRead_ = Fd(p[0]);
    wakeWrite_ = Fd(p[1]);
    bridge_ = std::thread([this, a, channel, r = *radio] { runConnection(r, a, channel); });
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
  static std::optional<SimRadio> simRadioOf() {
    const char* path = std::getenv("CFG_BT_SIM");
    if (!path || !*path) return std::nullopt;
    return SimRadio(path);
  }
  std::optional<SimRadio> simRadio() const { return simRadioOf(); }

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
  // number is the reported COM port, until the connection is removed.
  void runConnection(const SimRadio& radio, const Address& a, std::uint8_t channel) {
    std::vector<std::string> reply;
    Fd link;
    if (!radio.request("CONNECT " + addressText(a) + " " + std::to_string(channel), reply, false, &link) ||
        reply.at(0) != "OK") {
      onConnectionState(0, 1);
      return;
    }
    Fd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
      onConnectionState(0, 2);
      return;
    }
    char slaveName[64] = {};
    if (::ptsname_r(master.get(), slaveName, sizeof slaveName) != 0) {
      onConnectionState(0, 2);
      return;
    }
    // Held open so that the master never sees the line hang up between users.
    Fd slave(::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave) {
      onConnectionState(0, 2);
      return;
    }
    termios t{};
    if (::tcgetattr(slave.get(), &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(slave.get(), TCSANOW, &t);
    }
    // COM ports count from 1, pseudo-terminals from 0: COMn is /dev/pts/(n-1).
    int port = std::atoi(slaveName + std::strlen("/dev/pts/")) + 1;
    connectedTo_ = a;
    onConnectionState(port, 0);
    char buffer[1024];
    for (;;) {
      pollfd p[3] = {{master.get(), POLLIN, 0}, {link.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
      if (::poll(p, 3, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (p[2].revents) break;
      if (p[0].revents & POLLIN) {
        ssize_t n = ::read(master.get(), buffer, sizeof buffer);
        if (n > 0 && ::send(link.get(), buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) break;
      }
      if (p[1].revents & (POLLIN | POLLHUP)) {
        ssize_t n = ::recv(link.get(), buffer, sizeof buffer, 0);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
          ssize_t w = ::write(master.get(), buffer + done, static_cast<std::size_t>(n - done));
          if (w <= 0) break;
          done += w;
        }
      }
    }
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
  std::atomic<bool> discoveryRunning_{false};
  std::atomic<std::int32_t> initCount_{0};
  std::mutex mutex_;  // the service records of the last discovery
  std::vector<ServiceRecord> services_;
  std::mutex connectionMutex_;
  std::thread worker_;
  std::thread bridge_;
  Fd wakeRead_, wakeWrite_;
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
