// Simulated Bluetooth: a radio with handhelds as Bluetooth devices, served
// over a Unix socket that the system-stack client (link/bt_system.h) talks
// to. One request per connection, one text line each:
//   "RADIO"                 -> "1" or "0" (the radio is absent)
//   "INQUIRY"               -> "ADDRESS NAME" per device, then "."
//   "SDP ADDRESS"           -> "CHANNEL SERVICE" per serial-port service, then "."
//   "CONNECT ADDRESS CHANNEL" -> "OK" and the connection carries the
//                              handheld's bytes from then on, or "NO".
// A connected handheld greets with one line, then obeys only after a 3A
// with an accepted password, as over USB.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/fd.h"
#include "sim/sim_bus_socket.h"
#include "sim/sim_terminal.h"

namespace cfg::sim {

class SimBtServer {
 public:
  SimBtServer();
  ~SimBtServer();
  SimBtServer(const SimBtServer&) = delete;
  SimBtServer& operator=(const SimBtServer&) = delete;

  // A handheld at `address` answering as `terminal`. No password: only the
  // default one unlocks it. No service: the device has no serial-port
  // service. Returns its index for with(). Only before start().
  std::size_t addHandheld(std::array<std::uint8_t, 6> address, std::string id, std::optional<std::string> password,
                          std::string name, std::optional<std::string> service,
                          SimTerminal terminal = SimTerminal("HND  ", 1));
  // The radio is switched off: RADIO answers "0".
  void setNoRadio() { radio_ = false; }
  std::string listen();
  void start();
  void stop();

  template <typename F>
  auto with(std::size_t i, F f) {
    std::lock_guard lock(mutex_);
    return f(devices_.at(i)->terminal);
  }
  // Service lookups made, per device index (an ignored device has none).
  int lookups(std::size_t i) const;

 private:
  struct Device {
    std::array<std::uint8_t, 6> address{};
    std::string id;
    std::optional<std::string> password;
    std::string name;
    std::optional<std::string> service;
    SimTerminal terminal{"HND  ", 1};
    int lookups = 0;
  };
  void acceptLoop();
  void serve(UniqueFd fd);
  std::string handleRequest(const std::string& line, Device*& connected);
  std::optional<std::string> answer(Device& d, bool& unlocked, const std::string& frame);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Device>> devices_;
  bool radio_ = true;
  SimBusSocket bus_;
  struct Session {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Session> sessions_;  // touched by the accept thread only (and stop() after it)
};

// "00:08:E0:12:34:56" -> bytes, most significant first.
std::optional<std::array<std::uint8_t, 6>> parseBtAddress(const std::string& text);

}  // namespace cfg::sim
