#include "link/bt_system.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/handheld_scan.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/tcp_transport.h"

namespace cfg {

namespace {

constexpr int kProbeTimeoutMs = 250;
constexpr int kOpenSettleMs = 200;

}  // namespace

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
  SocketHandle socket = stack_.connect(config.bluetoothAddress, config.rfcommChannel, kConnectTimeoutMs);
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
      std::this_thread::sleep_for(std::chrono::milliseconds(kOpenSettleMs));

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
