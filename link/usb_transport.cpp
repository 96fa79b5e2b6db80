#include "link/usb_transport.h"

#include <thread>

#include <algorithm>
#include <cstring>

#include "link/frame.h"

namespace cfg {

namespace {

// A fixed pause; nothing to wait for but time.
void pauseMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

constexpr int kFailedReadRetryMs = 20;

}  // namespace

bool UsbTransport::open(LinkConfig& config, std::string& error) {
  device_ = config.usbPath.empty() ? nullptr : hid_.open(config.usbPath);
  if (!device_) {
    error = std::string(kUsbOpenFailed) + "\n" + (config.usbPath.empty() ? "(nessun dispositivo)" : config.usbPath);
    return false;
  }
  return true;
}

int UsbTransport::send(std::string_view bytes) {
  if (!device_ || bytes.empty()) return 0;
  for (std::size_t pos = 0; pos < bytes.size(); pos += kHidReportData) {
    if (pos > 0) pauseMs(kBetweenReportsMs);
    std::uint8_t report[kHidReportSize] = {};
    std::size_t n = std::min(kHidReportData, bytes.size() - pos);
    std::memcpy(report + 1, bytes.data() + pos, n);
    if (!device_->write(report)) return 0;
  }
  pauseMs(kAfterLastReportMs);
  return static_cast<int>(bytes.size());
}

int UsbTransport::readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
  if (!device_) return -1;
  std::string got;
  collect(got, capacity, deadline, [](std::string_view) { return true; });
  std::memcpy(buffer, got.data(), got.size());
  return static_cast<int>(got.size());
}

void UsbTransport::discardInput() {
  if (!device_) return;
  std::uint8_t report[kHidReportSize];
  // Bounded: a device that never stops talking cannot hold the sender here.
  for (int i = 0; i < 256 && device_->read(report, 0) > 0; ++i) {
  }
}

void UsbTransport::collect(std::string& received, std::size_t capacity, Clock::time_point deadline,
                           const std::function<bool(std::string_view)>& done) {
  if (!device_) return;
  bool readOnce = false;
  while (received.size() < capacity) {
    int left = millisecondsUntil(deadline);
    if (left <= 0 && readOnce) return;
    readOnce = true;
    std::uint8_t report[kHidReportSize];
    int n = device_->read(report, left);
    if (n == 0) return;  // nothing more came before the deadline
    if (n < 0) {
      pauseMs(std::min(kFailedReadRetryMs, millisecondsUntil(deadline)));
      continue;
    }
    const std::uint8_t* data = report + 1;
    if (received.empty()) {
      if (data[0] == 0) continue;  // nothing in it yet
    } else if (received.size() >= kHidReportData && std::memcmp(data, received.data(), kHidReportData) == 0) {
      continue;  // the device sent its first report again
    }
    bool cr = false;
    for (std::size_t i = 0; i < kHidReportData && received.size() < capacity; ++i) {
      received += static_cast<char>(data[i]);
      if (data[i] == static_cast<std::uint8_t>(CR)) {
        cr = true;
        break;
      }
    }
    if (cr || done(received)) return;
  }
}

}  // namespace cfg
