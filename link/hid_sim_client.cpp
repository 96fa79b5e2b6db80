// The HID seam as a client of termsim's simulated HID server.
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>

#include "link/fd.h"
#include "link/hid_device.h"
#include "link/hid_sim_wire.h"

namespace cfg {

namespace {

constexpr int kReplyMs = 2000;  // the server answers enumerate and open at once

UniqueFd connectTo(const std::string& socketPath) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof addr.sun_path) return {};
  std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return {};
  // A Unix socket connects at once or fails; EAGAIN means the backlog is full.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
    if (errno != EAGAIN && errno != EINTR) return {};
    ::poll(nullptr, 0, 20);
  }
  return {};
}

std::wstring fromUtf8(std::string_view s) {
  std::wstring out;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0;
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
      out += L'\xFFFD';
      ++i;
      continue;
    }
    cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out += static_cast<wchar_t>(cp);
    i += len;
  }
  return out;
}

class SimDevice final : public HidDevice {
 public:
  SimDevice(UniqueFd fd, HidMessageReader reader) : fd_(std::move(fd)), reader_(std::move(reader)) {}

  bool write(const std::uint8_t (&report)[kHidReportSize]) override {
    if (!fd_) return false;
    std::string msg = "W";
    msg.append(reinterpret_cast<const char*>(report), kHidReportSize);
    if (sendHidMessage(fd_.get(), msg)) return true;
    fd_.reset();
    return false;
  }

  int read(std::uint8_t (&report)[kHidReportSize], int timeoutMs) override {
    if (!fd_) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::string msg;
    for (;;) {
      switch (reader_.next(fd_.get(), msg, deadline)) {
        case HidMessageReader::Result::Timeout:
          return 0;
        case HidMessageReader::Result::Closed:
          fd_.reset();
          return -1;
        case HidMessageReader::Result::Message:
          break;
      }
      if (msg.size() == 1 + kHidReportSize && msg[0] == 'I') {
        std::memcpy(report, msg.data() + 1, kHidReportSize);
        return static_cast<int>(kHidReportSize);
      }
      // anything else is not for a device connection: ignored
    }
  }

 private:
  UniqueFd fd_;
  HidMessageReader reader_;
};

class SimBackend final : public HidBackend {
 public:
  explicit SimBackend(std::string socketPath) : socketPath_(std::move(socketPath)) {}

  std::vector<HidDeviceInfo> enumerate() override {
    std::vector<HidDeviceInfo> out;
    UniqueFd fd = connectTo(socketPath_);
    if (!fd || !sendHidMessage(fd.get(), "E")) return out;
    HidMessageReader reader;
    std::string msg;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyMs);
    if (reader.next(fd.get(), msg, deadline) != HidMessageReader::Result::Message || msg.empty() || msg[0] != 'E')
      return out;
    std::string_view rest(msg);
    rest.remove_prefix(1);
    while (!rest.empty()) {
      auto nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
      std::string_view field[4];
      std::size_t k = 0;
      for (; k < 3; ++k) {
        auto tab = line.find('\t');
        if (tab == std::string_view::npos) break;
        field[k] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
      }
      if (k < 3) continue;
      field[3] = line;
      HidDeviceInfo info;
      info.path = std::string(field[0]);
      info.usagePage = static_cast<std::uint16_t>(std::strtoul(std::string(field[1]).c_str(), nullptr, 10));
      info.usage = static_cast<std::uint16_t>(std::strtoul(std::string(field[2]).c_str(), nullptr, 10));
      info.product = fromUtf8(field[3]);
      out.push_back(std::move(info));
    }
    return out;
  }

  std::unique_ptr<HidDevice> open(const std::string& path) override {
    UniqueFd fd = connectTo(socketPath_);
    if (!fd || !sendHidMessage(fd.get(), "O" + path)) return nullptr;
    HidMessageReader reader;
    std::string msg;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyMs);
    if (reader.next(fd.get(), msg, deadline) != HidMessageReader::Result::Message || msg != "O1") return nullptr;
    return std::make_unique<SimDevice>(std::move(fd), std::move(reader));
  }

 private:
  std::string socketPath_;
};

}  // namespace

std::unique_ptr<HidBackend> makeSimHidBackend(std::string socketPath) {
  return std::make_unique<SimBackend>(std::move(socketPath));
}

namespace {

// Looks at CFG_HID_SIM at every call, so that a test can point one process
// at several simulators one after the other. hidapi is started on first use.
class ChosenBackend final : public HidBackend {
 public:
  std::vector<HidDeviceInfo> enumerate() override {
    std::string sim = simPath();
    return sim.empty() ? hidapi().enumerate() : SimBackend(sim).enumerate();
  }
  std::unique_ptr<HidDevice> open(const std::string& path) override {
    std::string sim = simPath();
    return sim.empty() ? hidapi().open(path) : SimBackend(sim).open(path);
  }

 private:
  static std::string simPath() {
    const char* sim = std::getenv(kHidSimVariable);
    return sim ? sim : "";
  }
  HidBackend& hidapi() {
    std::call_once(once_, [this] { hidapi_ = makeHidapiBackend(); });
    return *hidapi_;
  }
  std::once_flag once_;
  std::unique_ptr<HidBackend> hidapi_;
};

}  // namespace

HidBackend& hidBackend() {
  static ChosenBackend backend;
  return backend;
}

}  // namespace cfg
