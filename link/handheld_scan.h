// Finding handhelds on USB: the device scan, the probe that unlocks each one
// with the plant password (or the default one) and reads its id, and the
// scan worker that fills the handheld list.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/handheld_list.h"
#include "link/hid_device.h"
#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kUsbScanTitle = "Ricerca dispositivi USB";
inline constexpr const char* kUsbScanText = "Ricerca dispositivi USB in corso ...";
inline constexpr const char* kNoUsbHandheld = "Nessun terminale USB trovato.";
// The handhelds' factory password, and the one that only "&Reset+default" presents.
inline constexpr const char* kDefaultHandheldPassword = "58203716";
inline constexpr const char* kMasterHandheldPassword = "47150932";
// The vendor-defined top-level collection of the handhelds.
inline constexpr std::uint16_t kHandheldUsagePage = 0xFF00;
inline constexpr std::uint16_t kHandheldUsage = 0x0001;
inline constexpr std::size_t kUsbDeviceListCapacity = 100;

// A kept HID device: path and product string narrowed to 8 bits.
struct UsbDevice {
  std::string path;
  std::string product;
};

// The HID devices whose top-level collection is the handhelds' (usage page
// 0xFF00, usage 1), in the system's order, at most 100.
std::vector<UsbDevice> enumerateUsbDevices(HidBackend& hid);

// "Palmare HND-ZZ" with up to two trailing blanks, or "Palmare BOMA-HND".
bool isHandheldProduct(std::string_view product);

// 3A with the eight password characters each as two hexadecimal digits
// (25 bytes, 500 ms, the short reply): true when the handheld acknowledged.
bool presentPassword(Link& link, const Messages& messages, std::string_view password, int timeoutMs = 500);
// 3B (9 bytes, 500 ms, 17 expected): the 4-character id from reply bytes 6-13.
std::optional<std::string> readHandheldId(Link& link, const Messages& messages, int timeoutMs = 500);

// Unlocks an open handheld Link with the plant password, then with the
// default one, with the failure prompt off. Which one it took, or nothing.
std::optional<PasswordState> unlockHandheld(Link& link, const Messages& messages, std::string_view plantPassword);

// The probe of a search, on an open temporary Link: the plant password,
// then the default one, fill entry's password state, and for an unlocked
// handheld 3B its id. False when an unlocked handheld gives no id (the
// device is then left out of the list).
bool probeHandheld(Link& link, const Messages& messages, std::string_view plantPassword, HandheldEntry& entry,
                   int timeoutMs = 500);

struct UsbScanJob {
  HidBackend& hid;
  const Messages& messages;
  std::string plantPassword;
  HandheldList& list;
  // Background mode of a batch run: set when the scan has ended, however it
  // ended; the batch waits for it in 200 ms steps instead of a dialog.
  std::atomic<bool>* scanDone = nullptr;
};

// The scan worker's routine: clears the list and refills it with every
// handheld found. "Nessun terminale USB trovato." is shown (only while
// showLinkErrors is set) when no device is there. While a device is probed
// both message flags are off; they are restored, and scanDone is set, on
// every way out. A stop request ends the scan before the next device.
void scanUsbHandhelds(Worker& worker, UsbScanJob& job);

// Sets a scan's done flag however its routine leaves (declare it first, so
// that it runs after every other guard of the routine).
struct ScanDoneOnExit {
  std::atomic<bool>* flag;
  ~ScanDoneOnExit() {
    if (flag) flag->store(true);
  }
};

// Background mode of a batch run, for any handheld scan: `routine` on
// `worker` (the handheld-scan record) without a dialog. The routine must set
// `scanDone` on every way out (ScanDoneOnExit); this waits for it in 200 ms
// steps, then collects the worker. A `cancel` request stops the scan before
// its next device. False when the worker could not start (scanDone is then
// set all the same).
bool runScanInBackground(Worker& worker, const Messages& messages, Worker::Routine routine,
                         std::atomic<bool>& scanDone, const std::atomic<bool>* cancel = nullptr);

// The USB scan in background mode; job.scanDone is required.
bool runUsbScanInBackground(Worker& worker, UsbScanJob& job, const std::atomic<bool>* cancel = nullptr);

}  // namespace cfg
