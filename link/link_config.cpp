#include "link/link_config.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

namespace cfg {

LinkKind linkKindOf(const LinkConfig& c) {
  if (c.tcp) return LinkKind::Tcp;
  if (c.bluetooth == BluetoothKind::SystemStack) return LinkKind::SystemBluetooth;
  if (c.usb) return LinkKind::Usb;
  if (c.bluetooth == BluetoothKind::VendorStack) return LinkKind::VendorBluetooth;
  return LinkKind::Serial;
}

bool sameModel(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < 6; ++i) {
    char ca = i < a.size() ? a[i] : '\0';
    char cb = i < b.size() ? b[i] : '\0';
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
  return true;
}

bool isSingleAttemptModel(std::string_view model) {
  return sameModel(model, "LX-K4") || sameModel(model, "LX-K1") || sameModel(model, "LX-K5");
}

std::uint32_t ipv4NetworkOrder(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return htonl(std::uint32_t{a} << 24 | std::uint32_t{b} << 16 | std::uint32_t{c} << 8 | d);
}

std::array<std::uint8_t, 4> ipv4Octets(std::uint32_t networkOrder) {
  std::uint32_t h = ntohl(networkOrder);
  return {static_cast<std::uint8_t>(h >> 24), static_cast<std::uint8_t>(h >> 16),
          static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h)};
}

}  // namespace cfg
