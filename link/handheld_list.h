// The handheld list: what the last USB or Bluetooth search found, numbered
// from 1, at most 100 entries. Filled by the scans, read by the list dialogs
// and by cfgctl; an entry fills the current Link when the user connects.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_config.h"

namespace cfg {

inline constexpr std::size_t kHandheldListCapacity = 100;
inline constexpr std::size_t kHandheldNameMax = 32;   // bytes kept of a name
inline constexpr std::size_t kHandheldIdLength = 4;
inline constexpr const char* kHandheldModel = "HND  ";

// What the search found out about a handheld's password.
enum class PasswordState : std::uint8_t {
  Plant = 0,    // the plant password was accepted: "Ok"
  Default = 1,  // only the default password was accepted: "Non configurato"
  Neither = 2,  // both refused: another plant's handheld, no id: "Password errata"
};

// "Ok", "Non configurato", "Password errata".
const char* passwordStateText(PasswordState state);

struct HandheldEntry {
  std::uint16_t number = 0;  // position in the list, from 1
  std::string id;            // the 4 characters read with 3B; empty for PasswordState::Neither
  std::string name;          // USB: the product string; Bluetooth: the device name (<= 32 bytes)
  std::string model = kHandheldModel;
  std::uint16_t address = 1;
  PasswordState passwordState = PasswordState::Plant;
  BluetoothKind bluetooth = BluetoothKind::None;
  std::string secondName;    // Bluetooth: the SPP service name
  std::string addressText;   // Bluetooth: the device address as text
  std::array<std::uint8_t, 6> bluetoothAddress{};
  std::uint8_t rfcommChannel = 0;
  bool usb = false;
  std::string usbPath;
  std::string portName;      // vendor Bluetooth stack
};

class HandheldList {
 public:
  void clear() { entries_.clear(); }
  bool full() const { return entries_.size() >= kHandheldListCapacity; }
  // Appends with the next number and the name cut to 32 bytes; false when full.
  bool add(HandheldEntry entry);
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const HandheldEntry& operator[](std::size_t i) const { return entries_[i]; }
  const std::vector<HandheldEntry>& entries() const { return entries_; }
  // The first entry with this id (ids are compared whole); nullptr when none.
  const HandheldEntry* findId(std::string_view id) const;
  // Ascending by id, the ids compared byte by byte as unsigned values up to
  // their first zero byte; entries keep their numbers.
  void sortById();

 private:
  std::vector<HandheldEntry> entries_;
};

// Which kind of search filled the list last.
enum class HandheldListOrigin { None, Usb, Bluetooth };

// The current Link from a list entry: number, description = name, model,
// address "%02X", port name, 19200 8N1, Bluetooth and USB fields and the
// handheld id from the entry; everything else cleared.
LinkConfig linkConfigOf(const HandheldEntry& entry);

}  // namespace cfg
