// Serial transport: raw 8N1 at the terminal's speed, no flow control, DTR
// on, exclusive use of the device.
// Linux: termios; RS-485 direction control uses the kernel's RS-485 mode
// where the port has one.
// Windows: the COM port by name ("\\.\COMn"), not shared, with its line
// settings (DCB) and timeouts; the driver raises RTS while sending (the
// converter's direction line), the direction control of RS-485 lines.
#pragma once

#ifdef _WIN32
#include "platform/win32/os_handle.h"
#else
#include <linux/serial.h>
#include <termios.h>

#include "link/fd.h"
#endif
#include "link/transport.h"

namespace cfg {

// Why a serial open failed: the system's text first, then on a line of its
// own the device behind the COM name and the cause:
// "COM5 = /dev/ttyUSB0: Permission denied".
class SerialOpenFailure {
 public:
  static constexpr const char* kStateMessage = "Error: SetCommState failed.";
  SerialOpenFailure(const std::string& devicePath, const std::string& portName)
      : device_(devicePath == portName ? devicePath : portName + " = " + devicePath),
        portMessage_("ATTENZIONE! Porta seriale " + portName + " non presente o gia` assegnata.") {}
  const std::string& portMessage() const { return portMessage_; }
  // Fills `error`; always false, for `return fail(...)`.
  bool operator()(std::string& error, const std::string& message, const std::string& cause) const {
    error = message + "\n" + device_ + ": " + cause;
    return false;
  }

 private:
  std::string device_;
  std::string portMessage_;
};

class SerialTransport final : public Transport {
 public:
  explicit SerialTransport(std::string devicePath) : devicePath_(std::move(devicePath)) {}
  ~SerialTransport() override { close(); }

  LinkKind kind() const override { return LinkKind::Serial; }
  bool open(LinkConfig& config, std::string& error) override;
  void close() override;
#ifdef _WIN32
  bool isOpen() const override { return handle_.valid(); }
#else
  bool isOpen() const override { return fd_.valid(); }
#endif
  int send(std::string_view bytes) override;
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override;
  void discardInput() override;
  int extraWaitMs() const override { return speed_ == 1200 ? 500 : 0; }
  bool removesEcho() const override { return true; }

 private:
  std::string devicePath_;
  std::uint32_t speed_ = 0;
#ifdef _WIN32
  OsHandle handle_;
#else
  UniqueFd fd_;
  termios original_{};
  bool restoreTermios_ = false;
  serial_rs485 originalRs485_{};
  bool restoreRs485_ = false;
#endif
};

}  // namespace cfg
