// Handhelds through the system's Bluetooth stack: the stack seam (radio,
// a fresh inquiry, the serial-port service lookup, an RFCOMM stream), its
// BlueZ and simulator backends, the socket transport of a system-stack Link
// and the scan worker that fills the handheld list.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/bt_bluez.h"
#include "link/fd.h"
#include "link/handheld_list.h"
#include "link/prompt.h"
#include "link/tcp_transport.h"
#include "link/transport.h"
#include "link/worker.h"

namespace cfg {

inline constexpr const char* kBtScanTitle = "Ricerca dispositivi bluetooth";
inline constexpr const char* kBtScanText = "Ricerca dispositivi bluetooth in corso ...";
inline constexpr const char* kNoBtRadio = "Attenzione: periferica bluetooth non trovata !";
inline constexpr const char* kNoBtHandheld = "Nessun terminale Bluetooth trovato.";
inline constexpr const char* kBtInquiryFailed = "Error: Device inquiry failed.";
inline constexpr const char* kBtNextDeviceFailed = "Error: Inquirying next device failed.";
inline constexpr const char* kBtServiceStartFailed = "Error: Starting service discovey failed.";
inline constexpr const char* kBtNextServiceFailed = "Error: Discoverying next service failed.";
inline constexpr const char* kSerialPortServiceClass = "00001101-0000-1000-8000-00805F9B34FB";
inline constexpr std::size_t kSecondNameMax = 40;
// The environment variable naming termsim's Bluetooth socket.
inline constexpr const char* kBtSimVariable = "CFG_BT_SIM";

struct BtDevice {
  BtAddress address{};
  std::string name;  // UTF-8 as the stack gives it
};

struct BtService {
  std::uint8_t channel = 0;  // RFCOMM channel
  std::string name;
};

class BtSystemStack {
 public:
  virtual ~BtSystemStack() = default;
  // The first adapter is there and up.
  virtual bool radioPresent() = 0;
  // A fresh inquiry: the devices in range now. On failure `error` holds the
  // scan's message for it. `stop` may end it early.
  virtual bool inquire(std::vector<BtDevice>& devices, std::string& error, const BtStopCheck& stop) = 0;
  // The serial-port services of one device with their RFCOMM channels.
  virtual bool serialServices(const BtAddress& device, std::vector<BtService>& services, std::string& error) = 0;
  // A connected, non-blocking stream to the channel; invalid on failure.
  virtual SocketHandle connect(const BtAddress& device, std::uint8_t channel, int timeoutMs) = 0;
};

// The simulator's when CFG_BT_SIM is set, otherwise BlueZ's.
BtSystemStack& btSystemStack();
std::unique_ptr<BtSystemStack> makeSimBtSystemStack(std::string socketPath);
std::unique_ptr<BtSystemStack> makeBlueZSystemStack();

// "%02X:%02X:%02X:%02X:%02X:%02X".
std::string btAddressText(const BtAddress& address);
// Only 00:08:E0 and 00:A0:96 devices can be handhelds.
bool isHandheldBtPrefix(const BtAddress& address);
// "SPP140" is listed as "Palmare HND".
std::string handheldBtName(const std::string& deviceName);

// The transport of a system-stack Link: an RFCOMM stream.
class BtSocketTransport final : public StreamSocketTransport {
 public:
  static constexpr int kConnectTimeoutMs = 20000;
  explicit BtSocketTransport(BtSystemStack& stack) : stack_(stack) {}
  LinkKind kind() const override { return LinkKind::SystemBluetooth; }
  bool open(LinkConfig& config, std::string& error) override;

 private:
  BtSystemStack& stack_;
};

struct BtSystemScanJob {
  BtSystemStack& stack;
  const Messages& messages;
  std::string plantPassword;
  HandheldList& list;
  std::atomic<bool>* scanDone = nullptr;  // background mode: set however the scan ends
};

// The system-stack scan worker's routine: rebuilds the list with every
// handheld that answers. Its error boxes show only while showLinkErrors is
// set; both message flags are restored and scanDone is set on every way
// out. A stop request ends it before the next device or service.
void scanBtSystemHandhelds(Worker& worker, BtSystemScanJob& job);

// Background mode of a batch run: the scan on `worker` without a dialog,
// waiting for job.scanDone (required) in 200 ms steps; `cancel` stops it
// before its next device. False when the worker could not start.
bool runBtSystemScanInBackground(Worker& worker, BtSystemScanJob& job, const std::atomic<bool>* cancel = nullptr);

}  // namespace cfg
