#include "link/bt_bluez.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "link/bt_dbus.h"

#ifdef CFG_HAVE_BLUEZ
#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#endif

namespace cfg::bluez {

#ifdef CFG_HAVE_BLUEZ

namespace {

constexpr int kInquiryUnitMs = 1280;  // HCI counts an inquiry's length in these
constexpr int kMaxResponses = 255;
constexpr int kNameTimeoutMs = 5000;
constexpr std::size_t kMaxServices = 100;

bdaddr_t toBdaddr(const BtAddress& a) {
  bdaddr_t b{};
  for (std::size_t i = 0; i < 6; ++i) b.b[i] = a[5 - i];  // BlueZ keeps the least significant byte first
  return b;
}

BtAddress fromBdaddr(const bdaddr_t& b) {
  BtAddress a{};
  for (std::size_t i = 0; i < 6; ++i) a[i] = b.b[5 - i];
  return a;
}

// hci_inquiry's result list, freed however the inquiry ends.
struct InquiryResults {
  inquiry_info* info = nullptr;
  ~InquiryResults() { std::free(info); }
};

// Frees one SDP search's lists, records and session.
struct SdpSearch {
  sdp_session_t* session = nullptr;
  sdp_list_t* search = nullptr;
  sdp_list_t* attributes = nullptr;
  sdp_list_t* records = nullptr;
  ~SdpSearch() {
    for (sdp_list_t* p = records; p; p = p->next) ::sdp_record_free(static_cast<sdp_record_t*>(p->data));
    ::sdp_list_free(records, nullptr);
    ::sdp_list_free(search, nullptr);
    ::sdp_list_free(attributes, nullptr);
    if (session) ::sdp_close(session);
  }
};

// The RFCOMM channel and the service name of one serial-port record.
bool readService(sdp_record_t* record, FoundService& service) {
  sdp_list_t* protocols = nullptr;
  if (::sdp_get_access_protos(record, &protocols) != 0) return false;
  int channel = ::sdp_get_proto_port(protocols, RFCOMM_UUID);
  for (sdp_list_t* q = protocols; q; q = q->next) ::sdp_list_free(static_cast<sdp_list_t*>(q->data), nullptr);
  ::sdp_list_free(protocols, nullptr);
  if (channel < 1 || channel > 30) return false;
  char name[256] = {};
  if (::sdp_get_service_name(record, name, sizeof name - 1) != 0) name[0] = '\0';
  service.channel = static_cast<std::uint8_t>(channel);
  service.name = name;
  return true;
}

int firstHciAdapter() { return ::hci_get_route(nullptr); }

}  // namespace

bool radioPresent() {
  std::string adapter;
  return dbus::firstAdapter(adapter) || firstHciAdapter() >= 0;
}

Outcome inquire(std::vector<FoundDevice>& devices, const BtStopCheck& stop, int durationMs) {
  devices.clear();
  std::string adapter;
  if (dbus::firstAdapter(adapter)) return dbus::inquire(adapter, devices, durationMs, stop);
  int id = firstHciAdapter();
  if (id < 0) return Outcome::NoRadio;
  UniqueFd hci(::hci_open_dev(id));
  if (!hci) return Outcome::NoRadio;
  InquiryResults found;
  int length = std::clamp(durationMs / kInquiryUnitMs, 1, 48);
  int count = ::hci_inquiry(id, length, kMaxResponses, nullptr, &found.info, IREQ_CACHE_FLUSH);
  if (count < 0) return Outcome::Failed;
  for (int i = 0; i < count; ++i) {
    FoundDevice d;
    const inquiry_info& info = found.info[i];
    d.address = fromBdaddr(info.bdaddr);
    d.deviceClass = {info.dev_class[2], info.dev_class[1], info.dev_class[0]};
    if (!stop || !stop()) {
      char name[249] = {};
      if (::hci_read_remote_name(hci.get(), &info.bdaddr, static_cast<int>(sizeof name) - 1, name,
                                 kNameTimeoutMs) == 0)
        d.name = name;
    }
    devices.push_back(std::move(d));
  }
  return Outcome::Done;
}

Outcome serialServices(const BtAddress& device, std::vector<FoundService>& services, bool& started) {
  services.clear();
  started = false;
  if (!radioPresent()) return Outcome::NoRadio;
  bdaddr_t any{};
  bdaddr_t target = toBdaddr(device);
  SdpSearch sdp;
  sdp.session = ::sdp_connect(&any, &target, SDP_RETRY_IF_BUSY);
  if (!sdp.session) return Outcome::Failed;
  started = true;
  uuid_t serial;
  ::sdp_uuid16_create(&serial, SERIAL_PORT_SVCLASS_ID);
  std::uint32_t range = 0x0000FFFF;
  sdp.search = ::sdp_list_append(nullptr, &serial);
  sdp.attributes = ::sdp_list_append(nullptr, &range);
  if (::sdp_service_search_attr_req(sdp.session, sdp.search, SDP_ATTR_REQ_RANGE, sdp.attributes, &sdp.records) != 0)
    return Outcome::Failed;
  for (sdp_list_t* p = sdp.records; p && services.size() < kMaxServices; p = p->next) {
    FoundService service;
    if (readService(static_cast<sdp_record_t*>(p->data), service)) services.push_back(std::move(service));
  }
  return Outcome::Done;
}

UniqueFd connectRfcomm(const BtAddress& device, std::uint8_t channel, int timeoutMs, int stopFd) {
  UniqueFd fd(::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_RFCOMM));
  if (!fd) return {};
  sockaddr_rc addr{};
  addr.rc_family = AF_BLUETOOTH;
  addr.rc_bdaddr = toBdaddr(device);
  addr.rc_channel = channel;
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (errno != EINPROGRESS && errno != EAGAIN) return {};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p[2] = {{fd.get(), POLLOUT, 0}, {stopFd, POLLIN, 0}};
    int r = ::poll(p, stopFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (stopFd >= 0 && p[1].revents)) return {};
    if (p[0].revents) break;
  }
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return {};
  return fd;
}

#else

bool radioPresent() {
  std::string adapter;
  return dbus::firstAdapter(adapter);
}

Outcome inquire(std::vector<FoundDevice>& devices, const BtStopCheck& stop, int durationMs) {
  devices.clear();
  std::string adapter;
  if (dbus::firstAdapter(adapter)) return dbus::inquire(adapter, devices, durationMs, stop);
  return Outcome::NoRadio;
}

Outcome serialServices(const BtAddress&, std::vector<FoundService>& services, bool& started) {
  services.clear();
  started = false;
  return Outcome::NoRadio;
}

UniqueFd connectRfcomm(const BtAddress&, std::uint8_t, int, int) { return {}; }

#endif

}  // namespace cfg::bluez
