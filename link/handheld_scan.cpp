#include "link/handheld_scan.h"

#include <thread>

#include "link/hex.h"
#include "link/progress.h"
#include "link/transaction.h"
#include "link/usb_transport.h"

namespace cfg {

std::string narrowProduct(const std::wstring& product) {
  std::string out;
  out.reserve(product.size());
  for (wchar_t c : product) out += static_cast<std::uint32_t>(c) > 0xFF ? '?' : static_cast<char>(c);
  return out;
}


namespace {

constexpr std::size_t kProbeCapacity = 256;
// A batch looks at a background scan's done flag this often.
constexpr int kBackgroundPollMs = 200;

// 3A for the default password, ready-made: each of its characters as two digits.
constexpr const char* kDefaultPasswordCommand = "3A3538323033373136";

std::string passwordCommand(std::string_view password) {
  std::string c = "3A";
  for (char ch : password) c += byteToHex(static_cast<std::uint8_t>(ch));
  return c;
}

}  // namespace

std::vector<UsbDevice> enumerateUsbDevices(HidBackend& hid) {
  std::vector<UsbDevice> kept;
  for (const auto& d : hid.enumerate()) {
    if (kept.size() >= kUsbDeviceListCapacity) break;
    if (d.usagePage != kHandheldUsagePage || d.usage != kHandheldUsage) continue;
    kept.push_back(UsbDevice{d.path, narrowProduct(d.product)});
  }
  return kept;
}

bool isHandheldProduct(std::string_view p) {
  return p == "Palmare HND-ZZ" || p == "Palmare HND-ZZ " || p == "Palmare HND-ZZ  " || p == "Palmare BOMA-HND";
}

bool presentPassword(Link& link, const Messages& messages, std::string_view password, int timeoutMs) {
  std::string command = password == kDefaultHandheldPassword ? kDefaultPasswordCommand : passwordCommand(password);
  std::string reply;
  return exchange(link, messages, command, reply, kProbeCapacity, timeoutMs, 6).ok;
}

std::optional<std::string> readHandheldId(Link& link, const Messages& messages, int timeoutMs) {
  std::string reply;
  TxResult r = exchange(link, messages, "3B", reply, kProbeCapacity, timeoutMs, 17);
  if (!r || r.length < 14 || reply.size() < 14) return std::nullopt;
  std::string id;
  for (std::size_t pos = 6; pos < 14; pos += 2) {
    int b = hexPairAt(reply, pos);
    if (b <= 0) return std::nullopt;  // not a hexadecimal pair, or a zero byte inside the id
    id += static_cast<char>(b);
  }
  return id;
}

std::optional<PasswordState> unlockHandheld(Link& link, const Messages& messages, std::string_view plantPassword) {
  AskOnFailureGuard quiet(messages.flags, false);
  if (presentPassword(link, messages, plantPassword)) return PasswordState::Plant;
  if (presentPassword(link, messages, kDefaultHandheldPassword)) return PasswordState::Default;
  return std::nullopt;
}

bool probeHandheld(Link& link, const Messages& messages, std::string_view plantPassword, HandheldEntry& entry,
                   int timeoutMs) {
  if (presentPassword(link, messages, plantPassword, timeoutMs)) {
    entry.passwordState = PasswordState::Plant;
  } else if (presentPassword(link, messages, kDefaultHandheldPassword, timeoutMs)) {
    entry.passwordState = PasswordState::Default;
  } else {
    entry.passwordState = PasswordState::Neither;
    return true;
  }
  std::optional<std::string> id = readHandheldId(link, messages, timeoutMs);
  if (!id) return false;
  entry.id = *id;
  return true;
}

void scanUsbHandhelds(Worker& worker, UsbScanJob& job) {
  ScanDoneOnExit done{job.scanDone};
  job.list.clear();
  worker.refresh(kUsbScanText);
  std::vector<UsbDevice> devices = enumerateUsbDevices(job.hid);
  if (devices.empty()) {
    if (job.messages.flags.showLinkErrors.load()) job.messages.warning(kNoUsbHandheld);
    return;
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (worker.stopRequested()) return;
    const UsbDevice& device = devices[i];
    if (!isHandheldProduct(device.product)) continue;

    Link link;
    link.config.number = static_cast<std::uint16_t>(i + 1);
    link.config.usb = true;
    link.config.address = "01";
    link.config.usbPath = device.path;
    MessageFlagsGuard quiet(job.messages.flags, false, false);
    if (!link.openWith(std::make_unique<UsbTransport>(job.hid), job.messages)) continue;

    HandheldEntry entry;
    if (!probeHandheld(link, job.messages, job.plantPassword, entry)) continue;  // does not answer: skipped
    link.close();
    entry.name = device.product;
    entry.usb = true;
    entry.usbPath = device.path;
    if (!job.list.add(std::move(entry))) return;
  }
}

}  // namespace cfg

namespace cfg {

bool runScanInBackground(Worker& worker, const Messages& messages, Worker::Routine routine,
                         std::atomic<bool>& scanDone, const std::atomic<bool>* cancel) {
  scanDone.store(false);
  ProgressQueue nobody;  // no dialog: refreshes and the close request go unread
  if (!worker.start(nobody, std::move(routine), messages)) {
    scanDone.store(true);
    return false;
  }
  while (!scanDone.load()) {
    if (cancel && cancel->load()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kBackgroundPollMs));
  }
  worker.stop();  // at once when the scan is done; otherwise before its next device
  return true;
}

bool runUsbScanInBackground(Worker& worker, UsbScanJob& job, const std::atomic<bool>* cancel) {
  if (!job.scanDone) return false;
  return runScanInBackground(worker, job.messages, [&job](Worker& w) { scanUsbHandhelds(w, job); }, *job.scanDone,
                             cancel);
}

}  // namespace cfg
