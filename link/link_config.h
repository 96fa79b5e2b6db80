// What a Link needs to know to reach one terminal: copied from a registry
// row, a handheld list entry or the desk reader record before opening.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace cfg {

enum class BluetoothKind : std::uint8_t { None = 0, SystemStack = 1, VendorStack = 2 };

enum class LinkKind { Tcp, SystemBluetooth, Usb, VendorBluetooth, Serial };

struct LinkConfig {
  std::uint16_t number = 0;        // registry number (the n-th handheld for scans)
  std::string description;         // copied, not used by the link
  std::string model;               // "LX-K1" ... "LX-P2", "HND  "
  std::string address = "00";      // "%02X" of 0-255
  std::string portName;            // "COM1" ... as stored in files
  std::uint32_t speed = 9600;      // 1200 ... 38400
  bool rs485 = false;              // direction control on an RS-485 converter
  bool echo = false;               // the line echoes every byte sent
  bool modem = false;              // behind a modem: replies get 3000 ms more
  std::string modemInit;
  std::uint8_t modemType = 0;      // 0 standard, 1 TELIT
  std::string phoneNumber;
  bool continuousModemDownload = false;
  bool tcp = false;
  std::uint32_t ipNetworkOrder = 0;  // as it goes into sockaddr_in
  std::uint16_t tcpPort = 0;
  BluetoothKind bluetooth = BluetoothKind::None;
  std::array<std::uint8_t, 6> bluetoothAddress{};  // device address, first byte most significant
  std::uint8_t rfcommChannel = 0;
  std::string sppServiceName;
  bool usb = false;
  std::string usbPath;
  std::string handheldId;          // a handheld's 4-character id; empty for fixed terminals
};

// TCP, then system-stack Bluetooth, then USB, then vendor-stack Bluetooth, then serial.
LinkKind linkKindOf(const LinkConfig& config);

// Models are compared on their first 6 bytes ("HND  " keeps its two blanks).
bool sameModel(std::string_view a, std::string_view b);

// The fixed models that get one attempt and 5000 ms more per transaction.
bool isSingleAttemptModel(std::string_view model);

// a.b.c.d in network order, and back.
std::uint32_t ipv4NetworkOrder(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
std::array<std::uint8_t, 4> ipv4Octets(std::uint32_t networkOrder);

}  // namespace cfg
