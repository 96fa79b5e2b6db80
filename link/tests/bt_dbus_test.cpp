// The first adapter and the fresh inquiry through the Bluetooth daemon's
// D-Bus service, against a stand-in daemon on a private message bus.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/bt_bluez.h"
#include "link/bt_dbus.h"
#include "link/fd.h"

namespace cfg {
namespace {

// A message bus of our own, its address in DBUS_SYSTEM_BUS_ADDRESS while it lives.
class PrivateBus {
 public:
  PrivateBus() {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    UniqueFd read(out[0]), write(out[1]);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, write.get(), 1);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);  // its warnings about limits
    char* argv[] = {const_cast<char*>("dbus-daemon"), const_cast<char*>("--session"), const_cast<char*>("--nofork"),
                    const_cast<char*>("--print-address=1"), nullptr};
    if (::posix_spawnp(&pid_, "dbus-daemon", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    if (pid_ <= 0) return;
    write.reset();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{read.get(), POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      if (::read(read.get(), &c, 1) != 1 || c == '\n') break;
      address_ += c;
    }
    if (c == '\n') ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    else address_.clear();
  }
  ~PrivateBus() {
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

struct FakeDevice {
  std::string path, address, name, adapter;
  std::uint32_t deviceClass = 0;
  bool heardNow = false;  // registered, with a signal strength, once a discovery starts
  bool named = true;
};

int getAddress(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data, sd_bus_error*) {
  return sd_bus_message_append(reply, "s", static_cast<FakeDevice*>(data)->address.c_str());
}
int getName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data, sd_bus_error*) {
  return sd_bus_message_append(reply, "s", static_cast<FakeDevice*>(data)->name.c_str());
}
int getAdapter(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data, sd_bus_error*) {
  return sd_bus_message_append(reply, "o", static_cast<FakeDevice*>(data)->adapter.c_str());
}
int getClass(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data, sd_bus_error*) {
  return sd_bus_message_append(reply, "u", static_cast<FakeDevice*>(data)->deviceClass);
}
int getRssi(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
  return sd_bus_message_append(reply, "n", static_cast<std::int16_t>(-60));
}

const sd_bus_vtable kRememberedDevice[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Address", "s", getAddress, 0, 0),
    SD_BUS_PROPERTY("Name", "s", getName, 0, 0),
    SD_BUS_PROPERTY("Adapter", "o", getAdapter, 0, 0),
    SD_BUS_PROPERTY("Class", "u", getClass, 0, 0),
    SD_BUS_VTABLE_END,
};
const sd_bus_vtable kHeardDevice[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Address", "s", getAddress, 0, 0),
    SD_BUS_PROPERTY("Name", "s", getName, 0, 0),
    SD_BUS_PROPERTY("Adapter", "o", getAdapter, 0, 0),
    SD_BUS_PROPERTY("Class", "u", getClass, 0, 0),
    SD_BUS_PROPERTY("RSSI", "n", getRssi, 0, 0),
    SD_BUS_VTABLE_END,
};
// Heard, its name not yet resolved.
const sd_bus_vtable kHeardUnnamedDevice[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Address", "s", getAddress, 0, 0),
    SD_BUS_PROPERTY("Adapter", "o", getAdapter, 0, 0),
    SD_BUS_PROPERTY("Class", "u", getClass, 0, 0),
    SD_BUS_PROPERTY("RSSI", "n", getRssi, 0, 0),
    SD_BUS_VTABLE_END,
};

// The Bluetooth daemon's objects: three adapters (hci0 off), devices that
// are heard only once a discovery runs, and one it merely remembers.
class FakeBluez {
 public:
  FakeBluez(const std::string& address, std::vector<FakeDevice> devices) : devices_(std::move(devices)) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return;
    bus_ = bus;
    if (sd_bus_set_address(bus_, address.c_str()) < 0 || sd_bus_set_bus_client(bus_, 1) < 0 ||
        sd_bus_start(bus_) < 0 || sd_bus_request_name(bus_, "org.bluez", 0) < 0 ||
        sd_bus_add_object_manager(bus_, nullptr, "/") < 0)
      return;
    for (const char* path : {"/org/bluez/hci2", "/org/bluez/hci1", "/org/bluez/hci0"})
      if (sd_bus_add_object_vtable(bus_, nullptr, path, "org.bluez.Adapter1", kAdapter, this) < 0) return;
    for (FakeDevice& d : devices_)
      if (!d.heardNow && !addDevice(d)) return;
    ready_ = true;
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        sd_bus_wait(bus_, 50'000);
      }
    });
  }
  ~FakeBluez() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (bus_) sd_bus_flush_close_unref(bus_);
  }
  bool ready() const { return ready_; }
  std::atomic<int> starts{0}, stops{0};
  std::string transport() {
    std::lock_guard lock(mutex_);
    return transport_;
  }

 private:
  bool addDevice(FakeDevice& d) {
    const sd_bus_vtable* table = !d.heardNow ? kRememberedDevice : d.named ? kHeardDevice : kHeardUnnamedDevice;
    return sd_bus_add_object_vtable(bus_, nullptr, d.path.c_str(), "org.bluez.Device1", table, &d) >= 0;
  }
  static FakeBluez* self(void* data) { return static_cast<FakeBluez*>(data); }
  static int powered(sd_bus*, const char* path, const char*, const char*, sd_bus_message* reply, void*,
                     sd_bus_error*) {
    return sd_bus_message_append(reply, "b", std::string(path) != "/org/bluez/hci0");
  }
  static int startDiscovery(sd_bus_message* m, void* data, sd_bus_error*) {
    FakeBluez* f = self(data);
    if (f->starts++ == 0)
      for (FakeDevice& d : f->devices_)
        if (d.heardNow) f->addDevice(d);
    return sd_bus_reply_method_return(m, "");
  }
  static int stopDiscovery(sd_bus_message* m, void* data, sd_bus_error*) {
    ++self(data)->stops;
    return sd_bus_reply_method_return(m, "");
  }
  static int setFilter(sd_bus_message* m, void* data, sd_bus_error*) {
    int r = sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}");
    while (r >= 0 && (r = sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
      const char* key = nullptr;
      const char* value = nullptr;
      sd_bus_message_read(m, "s", &key);
      if (std::string(key) == "Transport" && sd_bus_message_read(m, "v", "s", &value) >= 0) {
        std::lock_guard lock(self(data)->mutex_);
        self(data)->transport_ = value;
      } else {
        sd_bus_message_skip(m, "v");
      }
      sd_bus_message_exit_container(m);
    }
    return sd_bus_reply_method_return(m, "");
  }
  static constexpr sd_bus_vtable kAdapter[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_PROPERTY("Powered", "b", powered, 0, 0),
      SD_BUS_METHOD("StartDiscovery", "", "", startDiscovery, 0),
      SD_BUS_METHOD("StopDiscovery", "", "", stopDiscovery, 0),
      SD_BUS_METHOD("SetDiscoveryFilter", "a{sv}", "", setFilter, 0),
      SD_BUS_VTABLE_END,
  };

  sd_bus* bus_ = nullptr;
  std::vector<FakeDevice> devices_;
  bool ready_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string transport_;
};

class BtDbusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon did not start (is it installed?)";
    daemon = std::make_unique<FakeBluez>(
        bus.address(),
        std::vector<FakeDevice>{
            {"/org/bluez/hci1/dev_00_08_E0_00_00_01", "00:08:E0:00:00:01", "SPP140", "/org/bluez/hci1", 0x1F0A04,
             true, true},
            {"/org/bluez/hci1/dev_00_08_E0_00_00_03", "00:08:E0:00:00:03", "Gone", "/org/bluez/hci1", 0x1F00, false,
             true},
            {"/org/bluez/hci1/dev_00_A0_96_00_00_02", "00:A0:96:00:00:02", "", "/org/bluez/hci1", 0x5A020C, true,
             false},
            {"/org/bluez/hci2/dev_00_08_E0_00_00_04", "00:08:E0:00:00:04", "Other radio", "/org/bluez/hci2", 0, true,
             true},
        });
    ASSERT_TRUE(daemon->ready()) << "the stand-in daemon could not take org.bluez";
  }
  PrivateBus bus;
  std::unique_ptr<FakeBluez> daemon;
};

TEST_F(BtDbusTest, TheFirstPoweredAdapterHearsOnlyTheDevicesInRangeNow) {
  std::string adapter;
  ASSERT_TRUE(bluez::dbus::firstAdapter(adapter));
  EXPECT_EQ(adapter, "/org/bluez/hci1") << "hci0 is off; hci1 comes before hci2";
  EXPECT_TRUE(bluez::radioPresent());

  std::vector<bluez::FoundDevice> devices;
  ASSERT_EQ(bluez::inquire(devices, nullptr, 300), bluez::Outcome::Done);
  EXPECT_EQ(daemon->starts.load(), 1);
  EXPECT_EQ(daemon->stops.load(), 1) << "the discovery is stopped again";
  EXPECT_EQ(daemon->transport(), "bredr");
  ASSERT_EQ(devices.size(), 2u) << "neither the remembered device nor another adapter's";
  std::sort(devices.begin(), devices.end(),
            [](const auto& a, const auto& b) { return a.address < b.address; });
  EXPECT_EQ(devices[0].address, (BtAddress{0x00, 0x08, 0xE0, 0x00, 0x00, 0x01}));
  EXPECT_EQ(devices[0].name, "SPP140");
  EXPECT_EQ(devices[0].deviceClass, (std::array<std::uint8_t, 3>{0x1F, 0x0A, 0x04}));
  EXPECT_EQ(devices[1].address, (BtAddress{0x00, 0xA0, 0x96, 0x00, 0x00, 0x02}));
  EXPECT_EQ(devices[1].name, "") << "a name not yet resolved";
  EXPECT_EQ(devices[1].deviceClass, (std::array<std::uint8_t, 3>{0x5A, 0x02, 0x0C}));
}

TEST_F(BtDbusTest, AStopEndsTheDiscoveryEarlyAndStillStopsIt) {
  std::atomic<bool> stop{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
  });
  std::vector<bluez::FoundDevice> devices;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(bluez::dbus::inquire("/org/bluez/hci1", devices, 60000, [&] { return stop.load(); }), bluez::Outcome::Done);
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(daemon->stops.load(), 1);
}

}  // namespace
}  // namespace cfg
