// Handhelds through the vendor Bluetooth stack, reached by polling the
// adapter library (btbridge): the Link that turns an SPP connection into a
// serial port, and the scan worker that fills the handheld list.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "link/handheld_list.h"
#include "link/prompt.h"
#include "link/serial_transport.h"
#include "link/transport.h"
#include "link/worker.h"

namespace cfg {

// The transport of a vendor-stack Link: creates the SPP connection, waits
// for the stack's serial port and talks over it as a serial Link; closing
// removes the connection.
class VendorBtTransport final : public Transport {
 public:
  // The stack reports the outcome of a connection on its own; a caller on
  // the GUI thread gives up after this long.
  static constexpr int kConnectLimitMs = 30000;
  // Removing a connection is repeated until the stack says it is gone, at most this long.
  static constexpr int kRemoveLimitMs = 3000;
  VendorBtTransport() = default;
  ~VendorBtTransport() override { close(); }
  LinkKind kind() const override { return LinkKind::VendorBluetooth; }
  bool open(LinkConfig& config, std::string& error) override;
  void close() override;
  bool isOpen() const override { return serial_ && serial_->isOpen(); }
  int send(std::string_view bytes) override { return serial_ ? serial_->send(bytes) : 0; }
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override {
    return serial_ ? serial_->readSome(buffer, capacity, deadline) : -1;
  }
  void discardInput() override {
    if (serial_) serial_->discardInput();
  }
  int extraWaitMs() const override { return serial_ ? serial_->extraWaitMs() : 0; }

 private:
  std::unique_ptr<SerialTransport> serial_;
  bool connection_ = false;  // an SPP connection of ours is there to remove
};

// The device path behind the stack's "COMn": the pseudo-terminal n-1.
std::string vendorPortPath(int port);

struct BtVendorScanJob {
  const Messages& messages;
  std::string plantPassword;
  HandheldList& list;
  std::atomic<bool>* scanDone = nullptr;  // background mode: set however the scan ends
};

// The vendor-stack scan worker's routine: rebuilds the list with every
// handheld that answers. Every poll (20 ms) ends on the stop request; both
// message flags are restored and scanDone is set on every way out.
void scanBtVendorHandhelds(Worker& worker, BtVendorScanJob& job);

// Background mode of a batch run: the scan on `worker` without a dialog,
// waiting for job.scanDone (required) in 200 ms steps; `cancel` stops it
// before its next device. False when the worker could not start.
bool runBtVendorScanInBackground(Worker& worker, BtVendorScanJob& job, const std::atomic<bool>* cancel = nullptr);

}  // namespace cfg
