// Serial transport through termios: raw 8N1 at the terminal's speed, no flow
// control, DTR on, exclusive use of the device. RS-485 direction control
// uses the kernel's RS-485 mode where the port has one.
#pragma once

#include <linux/serial.h>
#include <termios.h>

#include "link/fd.h"
#include "link/transport.h"

namespace cfg {

class SerialTransport final : public Transport {
 public:
  explicit SerialTransport(std::string devicePath) : devicePath_(std::move(devicePath)) {}
  ~SerialTransport() override { close(); }

  LinkKind kind() const override { return LinkKind::Serial; }
  bool open(LinkConfig& config, std::string& error) override;
  void close() override;
  bool isOpen() const override { return fd_.valid(); }
  int send(std::string_view bytes) override;
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override;
  void discardInput() override;
  int extraWaitMs() const override { return speed_ == 1200 ? 500 : 0; }
  bool removesEcho() const override { return true; }

 private:
  std::string devicePath_;
  UniqueFd fd_;
  std::uint32_t speed_ = 0;
  termios original_{};
  bool restoreTermios_ = false;
  serial_rs485 originalRs485_{};
  bool restoreRs485_ = false;
};

}  // namespace cfg
