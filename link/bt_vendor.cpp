#include "link/bt_vendor.h"

#include <thread>

#include <cstring>
#include <vector>

#include "btbridge/btbridge.h"
#include "link/bt_system.h"
#include "link/handheld_scan.h"
#include "link/link.h"

namespace cfg {

namespace {

constexpr int kPollMs = 20;
constexpr int kPortSettleMs = 2000;
constexpr int kProbeTimeoutMs = 250;
constexpr std::uint8_t kSerialPortClass[16] = {0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x10, 0x00,
                                               0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

// Polls `done` every 20 ms; false when the stop request came first.
template <typename F>
bool pollUntilDone(Worker& worker, F done) {
  while (!done()) {
    if (worker.stopRequested()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  return true;
}

// The name of a device record (UTF-16 at byte 64), first 32 characters,
// each beyond 8 bits as '?'.
std::string recordName(const std::uint8_t* record) {
  std::string name;
  for (std::size_t i = 0; i < kHandheldNameMax; ++i) {
    unsigned c = record[64 + 2 * i] | (record[64 + 2 * i + 1] << 8);
    if (c == 0) break;
    name += c < 0x100 ? static_cast<char>(c) : '?';
  }
  return name;
}

}  // namespace

#ifdef _WIN32
std::string vendorPortPath(int port) { return "\\\\.\\COM" + std::to_string(port); }
#else
std::string vendorPortPath(int port) { return "/dev/pts/" + std::to_string(port - 1); }
#endif

bool VendorBtTransport::open(LinkConfig& config, std::string& error) {
  error = "Error: connect failed.";
  if (CreateWidSppConnection(config.bluetoothAddress.data(), config.sppServiceName.c_str()) != 0) return false;
  connection_ = true;
  std::int32_t port = 0, status = 0;
  bool connected = false;
  for (int waited = 0; waited <= kConnectLimitMs; waited += kPollMs) {
    connected = WidSppConnected(&port, &status) != 0;
    if (connected || (status >= 1 && status <= 5)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  if (!connected || (status > 0 && status != 0xFFFF) || port <= 0) {
    close();
    return false;
  }
  config.portName = "COM" + std::to_string(port);
  std::this_thread::sleep_for(std::chrono::milliseconds(kPortSettleMs));
  serial_ = std::make_unique<SerialTransport>(vendorPortPath(port));
  if (!serial_->open(config, error)) {
    close();
    return false;
  }
  return true;
}

void VendorBtTransport::close() {
  if (connection_) {
    // 0 removed, 1 no connection object, 3 not connected, 6 and 8 the stack's other final answers.
    for (int waited = 0; waited <= kRemoveLimitMs; waited += kPollMs) {
      std::int32_t r = RemoveWidSppConnection();
      if (r == 0 || r == 1 || r == 3 || r == 6 || r == 8) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    connection_ = false;
  }
  if (serial_) serial_->close();
  serial_.reset();
}

void scanBtVendorHandhelds(Worker& worker, BtVendorScanJob& job) {
  ScanDoneOnExit done{job.scanDone};
  MessageFlagsGuard restore(job.messages.flags, job.messages.flags.showLinkErrors.load(),
                            job.messages.flags.askOnFailure.load());
  job.list.clear();
  worker.refresh(kBtScanText);
  if (!IsWidDeviceReady()) {
    if (job.messages.flags.showLinkErrors.load()) job.messages.warning(kNoBtRadio);
    return;
  }
  if (!StartWidInquiry()) return;
  if (!pollUntilDone(worker, [] { return WidInquiryComplete() != 0; })) return;
  std::vector<std::uint8_t> records(BTBRIDGE_MAX_DEVICES * BTBRIDGE_DEVICE_RECORD_SIZE);
  std::int32_t count = GetWidBthDevices(records.data());
  if (count > BTBRIDGE_MAX_DEVICES) count = BTBRIDGE_MAX_DEVICES;
  job.list.clear();
  for (std::int32_t i = 0; i < count; ++i) {
    if (worker.stopRequested()) return;
    const std::uint8_t* record = records.data() + static_cast<std::size_t>(i) * BTBRIDGE_DEVICE_RECORD_SIZE;
    BtAddress address{};
    std::memcpy(address.data(), record + 8, 6);
    if (!isHandheldBtPrefix(address)) continue;
    if (!StartWidDiscovery(address.data(), kSerialPortClass)) continue;
    std::int32_t services = 0;
    if (!pollUntilDone(worker, [&] { return WidDiscoveryComplete(&services) != 0; })) return;
    if (services == 0) continue;
    char service[BTBRIDGE_SERVICE_NAME_SIZE] = {};
    GetWidSppServiceName(address.data(), kSerialPortClass, service);
    if (job.list.full()) return;

    Link link;
    link.config.number = static_cast<std::uint16_t>(job.list.size() + 1);
    link.config.model = kHandheldModel;
    link.config.address = "01";
    link.config.speed = 19200;
    link.config.bluetooth = BluetoothKind::VendorStack;
    link.config.bluetoothAddress = address;
    link.config.sppServiceName = service;
    MessageFlagsGuard quiet(job.messages.flags, false, false);
    if (!link.openWith(std::make_unique<VendorBtTransport>(), job.messages)) continue;

    HandheldEntry entry;
    // No id: skipped (the Link's close removes the connection).
    if (!probeHandheld(link, job.messages, job.plantPassword, entry, kProbeTimeoutMs)) continue;
    link.close();
    entry.name = handheldBtName(recordName(record));
    entry.bluetooth = BluetoothKind::VendorStack;
    entry.secondName = std::string(service).substr(0, kSecondNameMax);
    entry.addressText = btAddressText(address);
    entry.bluetoothAddress = address;
    if (!job.list.add(std::move(entry))) return;
  }
}

bool runBtVendorScanInBackground(Worker& worker, BtVendorScanJob& job, const std::atomic<bool>* cancel) {
  if (!job.scanDone) return false;
  return runScanInBackground(worker, job.messages, [&job](Worker& w) { scanBtVendorHandhelds(w, job); }, *job.scanDone, cancel);
}

}  // namespace cfg
