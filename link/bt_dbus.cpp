#include "link/bt_dbus.h"

#include <algorithm>
#include <chrono>
#include <memory>

#ifdef CFG_HAVE_SDBUS
#include <systemd/sd-bus.h>
#endif

namespace cfg::bluez::dbus {

#ifdef CFG_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.bluez";
constexpr const char* kAdapterInterface = "org.bluez.Adapter1";
constexpr const char* kDeviceInterface = "org.bluez.Device1";
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;
constexpr int kStopCheckMs = 100;

struct BusClose {
  void operator()(sd_bus* bus) const { ::sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;

struct MessageUnref {
  void operator()(sd_bus_message* m) const { ::sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

struct Error {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  ~Error() { ::sd_bus_error_free(&e); }
};

Bus openBus() {
  sd_bus* bus = nullptr;
  if (::sd_bus_open_system(&bus) < 0) return {};
  Bus owned(bus);
  if (::sd_bus_set_method_call_timeout(bus, kCallTimeoutUs) < 0) return {};
  return owned;
}

// What GetManagedObjects says of one object.
struct Object {
  std::string path;
  bool adapter = false;
  bool powered = false;
  bool device = false;
  std::string address;
  std::string name;
  std::string adapterPath;
  std::uint32_t deviceClass = 0;
  bool heard = false;  // RSSI is there only for a device heard by the discovery under way
};

// Reads the variant of one property when its type is `signature`, else skips it.
template <typename T>
int readVariant(sd_bus_message* m, const char* signature, T* value) {
  const char* contents = nullptr;
  int r = ::sd_bus_message_peek_type(m, nullptr, &contents);
  if (r < 0) return r;
  if (!contents || std::string(contents) != signature) return ::sd_bus_message_skip(m, "v");
  if ((r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, signature)) < 0) return r;
  if ((r = ::sd_bus_message_read_basic(m, signature[0], value)) < 0) return r;
  return ::sd_bus_message_exit_container(m);
}

int readString(sd_bus_message* m, std::string& out) {
  const char* s = nullptr;
  int r = readVariant(m, "s", &s);
  if (r >= 0 && s) out = s;
  return r;
}

// a{sv} of Adapter1 or Device1.
int readProperties(sd_bus_message* m, Object& o) {
  int r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}");
  if (r < 0) return r;
  while ((r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
    const char* name = nullptr;
    if ((r = ::sd_bus_message_read(m, "s", &name)) < 0) return r;
    std::string key = name;
    if (o.adapter && key == "Powered") {
      int powered = 0;
      r = readVariant(m, "b", &powered);
      o.powered = powered != 0;
    } else if (o.device && key == "Address") {
      r = readString(m, o.address);
    } else if (o.device && key == "Name") {
      r = readString(m, o.name);
    } else if (o.device && key == "Adapter") {
      const char* path = nullptr;
      r = readVariant(m, "o", &path);
      if (r >= 0 && path) o.adapterPath = path;
    } else if (o.device && key == "Class") {
      r = readVariant(m, "u", &o.deviceClass);
    } else if (o.device && key == "RSSI") {
      o.heard = true;
      r = ::sd_bus_message_skip(m, "v");
    } else {
      r = ::sd_bus_message_skip(m, "v");
    }
    if (r < 0) return r;
    if ((r = ::sd_bus_message_exit_container(m)) < 0) return r;
  }
  if (r < 0) return r;
  return ::sd_bus_message_exit_container(m);
}

// Every adapter and device the daemon knows of; false when it does not answer.
bool managedObjects(sd_bus* bus, std::vector<Object>& objects) {
  objects.clear();
  Error error;
  sd_bus_message* raw = nullptr;
  if (::sd_bus_call_method(bus, kService, "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", &error.e,
                           &raw, "") < 0)
    return false;
  Message reply(raw);
  sd_bus_message* m = reply.get();
  int r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{oa{sa{sv}}}");
  if (r < 0) return false;
  while ((r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "oa{sa{sv}}")) > 0) {
    Object o;
    const char* path = nullptr;
    if (::sd_bus_message_read(m, "o", &path) < 0) return false;
    o.path = path;
    if (::sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sa{sv}}") < 0) return false;
    while ((r = ::sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sa{sv}")) > 0) {
      const char* interface = nullptr;
      if (::sd_bus_message_read(m, "s", &interface) < 0) return false;
      std::string name = interface;
      o.adapter = o.adapter || name == kAdapterInterface;
      o.device = o.device || name == kDeviceInterface;
      if (name == kAdapterInterface || name == kDeviceInterface) {
        if (readProperties(m, o) < 0) return false;
      } else if (::sd_bus_message_skip(m, "a{sv}") < 0) {
        return false;
      }
      if (::sd_bus_message_exit_container(m) < 0) return false;
    }
    if (r < 0 || ::sd_bus_message_exit_container(m) < 0 || ::sd_bus_message_exit_container(m) < 0) return false;
    if (o.adapter || o.device) objects.push_back(std::move(o));
  }
  return r >= 0;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "00:08:E0:12:34:56", most significant byte first.
bool parseAddress(const std::string& text, BtAddress& a) {
  if (text.size() != 17) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[i * 3 - 1] != ':') return false;
    int high = hexDigit(text[i * 3]), low = hexDigit(text[i * 3 + 1]);
    if (high < 0 || low < 0) return false;
    a[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

bool call(sd_bus* bus, const std::string& adapter, const char* method) {
  Error error;
  return ::sd_bus_call_method(bus, kService, adapter.c_str(), kAdapterInterface, method, &error.e, nullptr, "") >= 0 ||
         ::sd_bus_error_has_name(&error.e, "org.bluez.Error.InProgress");
}

// Stops the discovery we started however the inquiry ends.
struct DiscoveryStop {
  sd_bus* bus;
  const std::string& adapter;
  ~DiscoveryStop() { call(bus, adapter, "StopDiscovery"); }
};

}  // namespace

bool firstAdapter(std::string& path) {
  Bus bus = openBus();
  std::vector<Object> objects;
  if (!bus || !managedObjects(bus.get(), objects)) return false;
  // The daemon lists its objects in no particular order: hci0 before hci1.
  std::sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.path < b.path; });
  for (const Object& o : objects) {
    if (o.adapter && o.powered) {
      path = o.path;
      return true;
    }
  }
  return false;
}

Outcome inquire(const std::string& adapter, std::vector<FoundDevice>& devices, int durationMs,
                const BtStopCheck& stop) {
  devices.clear();
  Bus bus = openBus();
  if (!bus) return Outcome::NoRadio;
  {
    // Handhelds are classic devices; a daemon that refuses the filter searches both kinds.
    Error error;
    ::sd_bus_call_method(bus.get(), kService, adapter.c_str(), kAdapterInterface, "SetDiscoveryFilter", &error.e,
                         nullptr, "a{sv}", 1, "Transport", "s", "bredr");
  }
  if (!call(bus.get(), adapter, "StartDiscovery")) return Outcome::Failed;
  DiscoveryStop discovery{bus.get(), adapter};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
  for (;;) {
    if (stop && stop()) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    // Nothing is subscribed: whatever arrives is read and dropped.
    while (::sd_bus_process(bus.get(), nullptr) > 0) {
    }
    ::sd_bus_wait(bus.get(), static_cast<std::uint64_t>(std::min<long long>(left.count(), kStopCheckMs)) * 1000);
  }
  // Read while the discovery still runs: the signal strength goes with it.
  std::vector<Object> objects;
  if (!managedObjects(bus.get(), objects)) return Outcome::Failed;
  for (const Object& o : objects) {
    FoundDevice d;
    if (!o.device || !o.heard || o.adapterPath != adapter || !parseAddress(o.address, d.address)) continue;
    d.deviceClass = {static_cast<std::uint8_t>(o.deviceClass >> 16), static_cast<std::uint8_t>(o.deviceClass >> 8),
                     static_cast<std::uint8_t>(o.deviceClass)};
    d.name = o.name;
    devices.push_back(std::move(d));
  }
  return Outcome::Done;
}

#else

bool firstAdapter(std::string&) { return false; }

Outcome inquire(const std::string&, std::vector<FoundDevice>& devices, int, const BtStopCheck&) {
  devices.clear();
  return Outcome::NoRadio;
}

#endif

}  // namespace cfg::bluez::dbus
