// The first adapter and a fresh inquiry through the Bluetooth daemon's D-Bus
// service (org.bluez on the system bus; DBUS_SYSTEM_BUS_ADDRESS moves it).
// Where the daemon does not answer, the caller falls back to HCI.
#pragma once

#include <string>
#include <vector>

#include "link/bt_bluez.h"

namespace cfg::bluez::dbus {

// The object path of the first powered adapter ("/org/bluez/hci0"), or
// false when the daemon does not answer or has none.
bool firstAdapter(std::string& path);

// Discovery on `adapter` for `durationMs` (classic devices only where the
// daemon allows the filter), then the devices heard during it: devices the
// daemon only remembers from before are left out. `stop` ends the wait early.
// The discovery is stopped however the wait ends.
Outcome inquire(const std::string& adapter, std::vector<FoundDevice>& devices, int durationMs,
                const BtStopCheck& stop);

}  // namespace cfg::bluez::dbus
