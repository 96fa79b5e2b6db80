// Windows: USB HID and Bluetooth handhelds are reached from the Linux
// program only. Here their searches find no device and no radio, and a
// Link to one cannot open: everything above runs unchanged and says so.
#include <cstdint>

#include "btbridge/btbridge.h"
#include "link/bt_system.h"
#include "link/hid_device.h"

namespace cfg {

namespace {

class NoHidBackend final : public HidBackend {
 public:
  std::vector<HidDeviceInfo> enumerate() override { return {}; }
  std::unique_ptr<HidDevice> open(const std::string&) override { return nullptr; }
};

class NoBtSystemStack final : public BtSystemStack {
 public:
  bool radioPresent() override { return false; }
  bool inquire(std::vector<BtDevice>&, std::string& error, const BtStopCheck&) override {
    error = kBtInquiryFailed;
    return false;
  }
  bool serialServices(const BtAddress&, std::vector<BtService>&, std::string& error) override {
    error = kBtServiceStartFailed;
    return false;
  }
  SocketHandle connect(const BtAddress&, std::uint8_t, int) override { return {}; }
};

}  // namespace

HidBackend& hidBackend() {
  static NoHidBackend backend;
  return backend;
}

BtSystemStack& btSystemStack() {
  static NoBtSystemStack stack;
  return stack;
}

}  // namespace cfg

// The vendor stack's library: no radio is ever ready.
extern "C" {
int32_t IsWidDeviceReady(void) { return 0; }
int32_t StartWidInquiry(void) { return 0; }
int32_t StopWidInquiry(void) { return 0; }
int32_t WidInquiryComplete(void) { return 1; }
int32_t GetWidBthDevices(uint8_t*) { return 0; }
int32_t StartWidDiscovery(const uint8_t*, const uint8_t*) { return 0; }
int32_t WidDiscoveryComplete(int32_t* count) {
  if (count) *count = 0;
  return 1;
}
int32_t GetWidSppServiceName(const uint8_t*, const uint8_t*, char* name) {
  if (name) *name = '\0';
  return 0;
}
int32_t CreateWidSppConnection(const uint8_t*, const char*) { return 1; }
int32_t WidSppConnected(int32_t* comPort, int32_t* status) {
  if (comPort) *comPort = 0;
  if (status) *status = 1;
  return 1;
}
int32_t RemoveWidSppConnection(void) { return 0; }
int32_t IsWidRemoteDeviceConnected(const uint8_t*) { return 0; }
int32_t sdk_init(void) { return 0; }
int32_t sdk_close(void) { return 0; }
}
