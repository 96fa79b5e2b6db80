// The HID seam on hidapi's hidraw backend.
#include <hidapi/hidapi.h>

#include <mutex>

#include "link/hid_device.h"

namespace cfg {

namespace {

class HidapiDevice final : public HidDevice {
 public:
  explicit HidapiDevice(hid_device* handle) : handle_(handle) {}
  ~HidapiDevice() override { hid_close(handle_); }
  HidapiDevice(const HidapiDevice&) = delete;
  HidapiDevice& operator=(const HidapiDevice&) = delete;

  bool write(const std::uint8_t (&report)[kHidReportSize]) override {
    return hid_write(handle_, report, kHidReportSize) == static_cast<int>(kHidReportSize);
  }
  int read(std::uint8_t (&report)[kHidReportSize], int timeoutMs) override {
    // hidraw hands the data without the report id when the device uses none:
    // put the id 0 in front, as the reports travel.
    report[0] = 0;
    int n = hid_read_timeout(handle_, report + 1, kHidReportData, timeoutMs < 0 ? 0 : timeoutMs);
    if (n < 0) return -1;
    if (n == 0) return 0;
    for (std::size_t i = static_cast<std::size_t>(n) + 1; i < kHidReportSize; ++i) report[i] = 0;
    return static_cast<int>(kHidReportSize);
  }

 private:
  hid_device* handle_;
};

class HidapiBackend final : public HidBackend {
 public:
  HidapiBackend() { ready_ = hid_init() == 0; }
  ~HidapiBackend() override {
    if (ready_) hid_exit();
  }
  HidapiBackend(const HidapiBackend&) = delete;
  HidapiBackend& operator=(const HidapiBackend&) = delete;

  std::vector<HidDeviceInfo> enumerate() override {
    std::vector<HidDeviceInfo> out;
    if (!ready_) return out;
    std::lock_guard lock(mutex_);
    hid_device_info* all = hid_enumerate(0, 0);
    for (hid_device_info* d = all; d; d = d->next) {
      HidDeviceInfo info;
      if (d->path) info.path = d->path;
      info.usagePage = d->usage_page;
      info.usage = d->usage;
      if (d->product_string) info.product = d->product_string;
      out.push_back(std::move(info));
    }
    hid_free_enumeration(all);
    return out;
  }

  std::unique_ptr<HidDevice> open(const std::string& path) override {
    if (!ready_) return nullptr;
    hid_device* h = hid_open_path(path.c_str());
    if (!h) return nullptr;
    return std::make_unique<HidapiDevice>(h);
  }

 private:
  bool ready_ = false;
  std::mutex mutex_;
};

}  // namespace

std::unique_ptr<HidBackend> makeHidapiBackend() { return std::make_unique<HidapiBackend>(); }

}  // namespace cfg
