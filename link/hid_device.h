// The HID device seam: what the USB Link, the handheld scan and the probe
// need from the system's HID layer, and nothing more.
//
// Two implementations: hidapi (hidraw) for real handhelds, and a client of
// termsim's simulated HID server. hidBackend() picks the simulator when the
// environment variable CFG_HID_SIM names its Unix socket, hidapi otherwise;
// everything above this seam runs unchanged on either.
//
// Simulator socket protocol (Unix stream socket, one connection per use).
// Every message is a 4-byte little-endian length followed by that many bytes;
// the first byte says what it is:
//   enumerate:  client "E"; server "E" then one line per device,
//               "PATH\tUSAGEPAGE\tUSAGE\tPRODUCT\n" (numbers in decimal, the
//               product in UTF-8), and closes.
//   open:       client "O" PATH; server "O1" (opened) or "O0" (no such device).
//   on an open device connection:
//               client "W" + 65 bytes: one output report (byte 0 the report id);
//               server "I" + 65 bytes: one input report, sent whenever the
//               device has one; the client queues them until read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cfg {

// Output and input reports of the handhelds: report id 0 and 64 data bytes.
inline constexpr std::size_t kHidReportSize = 65;
inline constexpr std::size_t kHidReportData = 64;

struct HidDeviceInfo {
  std::string path;
  std::uint16_t usagePage = 0;
  std::uint16_t usage = 0;
  std::wstring product;  // as the device reports it
};

class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // Writes one 65-byte output report; false when the device refused it.
  virtual bool write(const std::uint8_t (&report)[kHidReportSize]) = 0;
  // Waits at most timeoutMs for one input report. Returns the bytes read
  // (report id first), 0 when none came in time, -1 when the device failed.
  virtual int read(std::uint8_t (&report)[kHidReportSize], int timeoutMs) = 0;
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Every HID device interface present, in the system's order.
  virtual std::vector<HidDeviceInfo> enumerate() = 0;
  // Opens the device for reading and writing; nullptr when it cannot be opened.
  // Closing is destroying the handle.
  virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;
};

// The environment variable naming the simulator's socket.
inline constexpr const char* kHidSimVariable = "CFG_HID_SIM";

// The simulator client when CFG_HID_SIM is set and not empty, hidapi otherwise.
// The backend lives as long as the process.
HidBackend& hidBackend();

std::unique_ptr<HidBackend> makeHidapiBackend();
std::unique_ptr<HidBackend> makeSimHidBackend(std::string socketPath);

// The product string narrowed to 8-bit characters: a character above 0xFF becomes "?".
std::string narrowProduct(const std::wstring& product);

}  // namespace cfg
