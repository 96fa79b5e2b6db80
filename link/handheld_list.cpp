#include "link/handheld_list.h"

#include <algorithm>

#include "link/frame.h"

namespace cfg {

const char* passwordStateText(PasswordState state) {
  switch (state) {
    case PasswordState::Plant: return "Ok";
    case PasswordState::Default: return "Non configurato";
    case PasswordState::Neither: break;
  }
  return "Password errata";
}

bool HandheldList::add(HandheldEntry entry) {
  if (full()) return false;
  entry.number = static_cast<std::uint16_t>(entries_.size() + 1);
  if (entry.name.size() > kHandheldNameMax) entry.name.resize(kHandheldNameMax);
  entries_.push_back(std::move(entry));
  return true;
}

const HandheldEntry* HandheldList::findId(std::string_view id) const {
  if (id.empty()) return nullptr;
  for (const auto& e : entries_)
    if (e.id == id) return &e;
  return nullptr;
}

void HandheldList::sortById() {
  auto key = [](const HandheldEntry& e) {
    std::string_view id = e.id;
    return id.substr(0, id.find('\0'));
  };
  // string_view compares its characters as unsigned char.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [&key](const HandheldEntry& a, const HandheldEntry& b) { return key(a) < key(b); });
}

LinkConfig linkConfigOf(const HandheldEntry& entry) {
  LinkConfig c;
  c.number = entry.number;
  c.description = entry.name;
  c.model = entry.model;
  c.address = addressText(entry.address);
  c.portName = entry.portName;
  c.speed = 19200;
  c.bluetooth = entry.bluetooth;
  c.bluetoothAddress = entry.bluetoothAddress;
  c.rfcommChannel = entry.rfcommChannel;
  c.sppServiceName = entry.secondName;
  c.usb = entry.usb;
  c.usbPath = entry.usbPath;
  c.handheldId = entry.id;
  return c;
}

}  // namespace cfg
