// The local Bluetooth radio: the first adapter and a fresh inquiry (through
// the Bluetooth daemon's D-Bus service, or HCI where it does not answer),
// the serial-port services of one device (SDP) and an RFCOMM stream. Both
// Bluetooth paths use it: the system-stack Link and search, and the
// vendor-stack adapter library (built position-independent for it). Built
// without BlueZ's library, only the daemon's inquiry is left.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/fd.h"

namespace cfg {

using BtAddress = std::array<std::uint8_t, 6>;  // most significant byte first
// Asked during a long wait: true when the caller wants it to end now.
using BtStopCheck = std::function<bool()>;

namespace bluez {

struct FoundDevice {
  BtAddress address{};
  std::array<std::uint8_t, 3> deviceClass{};  // most significant byte first
  std::string name;                           // UTF-8 as the device gives it; empty when it gave none
};

struct FoundService {
  std::uint8_t channel = 0;  // RFCOMM channel 1-30
  std::string name;
};

enum class Outcome { Done, NoRadio, Failed };

// A fresh inquiry lasts this long: long enough for a handheld in range to answer.
inline constexpr int kInquiryMs = 10240;

// The first adapter is there and up: the first powered one of the
// Bluetooth daemon, or, where the daemon does not answer, the first one HCI
// finds up.
bool radioPresent();

// A fresh inquiry on the first adapter: only devices heard now, none the
// stack merely remembers, with their names and classes. Through the daemon
// when it answers, otherwise through HCI (the cache flushed). `stop`, when
// given, ends it early (what was heard so far is kept).
Outcome inquire(std::vector<FoundDevice>& devices, const BtStopCheck& stop = {}, int durationMs = kInquiryMs);

// The serial-port services (class 0x1101) of one device, with their RFCOMM
// channels. Failed with `started` false when the lookup could not begin.
Outcome serialServices(const BtAddress& device, std::vector<FoundService>& services, bool& started);

// A connected, non-blocking RFCOMM stream to `channel` of `device`; invalid
// on failure, after `timeoutMs`, or as soon as `stopFd` (when not -1) is
// readable.
UniqueFd connectRfcomm(const BtAddress& device, std::uint8_t channel, int timeoutMs, int stopFd = -1);

}  // namespace bluez
}  // namespace cfg
