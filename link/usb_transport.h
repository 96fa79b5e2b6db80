// USB transport: a handheld seen as a vendor-defined HID device. Frames go
// out in 65-byte output reports and come back in 65-byte input reports.
#pragma once

#include <memory>

#include "link/hid_device.h"
#include "link/transport.h"

namespace cfg {

inline constexpr const char* kUsbOpenFailed = "Error: USB Open failed.";

class UsbTransport final : public Transport {
 public:
  // Pause between two output reports of one Frame, and after the last one.
  static constexpr int kBetweenReportsMs = 10;
  static constexpr int kAfterLastReportMs = 5;

  explicit UsbTransport(HidBackend& hid) : hid_(hid) {}

  LinkKind kind() const override { return LinkKind::Usb; }
  bool open(LinkConfig& config, std::string& error) override;
  void close() override { device_.reset(); }
  bool isOpen() const override { return device_ != nullptr; }

  // Report id 0 and 64 data bytes a report: the first carries the first 64
  // bytes; a longer Frame continues, 10 ms later, in further reports of the
  // same form (the last one zero-padded), so nothing is cut. 5 ms after the
  // last report the length is returned; 0 when a report was refused.
  int send(std::string_view bytes) override;
  // Input reports come whole: the report rules live in collect().
  int readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) override;
  void discardInput() override;

  // Input reports until the deadline. Before any byte has come, a report
  // whose first data byte is 0 carries nothing; afterwards a report whose 64
  // data bytes equal the first 64 bytes received is a repeat and is skipped.
  // Otherwise its data bytes are appended up to and including the first CR,
  // which ends the reply; so does a full buffer, or the deadline once a
  // whole report has been taken without CR. A failed read is retried until
  // the deadline.
  void collect(std::string& received, std::size_t capacity, Clock::time_point deadline,
               const std::function<bool(std::string_view)>& done) override;

 private:
  HidBackend& hid_;
  std::unique_ptr<HidDevice> device_;
};

}  // namespace cfg
