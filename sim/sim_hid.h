// Simulated USB HID devices: handhelds of model "HND  " and other HID
// devices, served over the Unix socket that the HID seam's simulator client
// talks to (protocol in link/hid_device.h).
//
// A handheld obeys only after a 3A with an accepted password on the same
// connection (its own password, or the default 58203716 while none is
// configured, or the master 47150932); every other command is NAKed until
// then. 3B gives its 4-character id. Everything else a fixed terminal
// answers (records, clock, versions, status, memory) it answers the same.
// Replies go out in 65-byte input reports as a real handheld sends them:
// now and then one or two empty reports first, and in replies longer than
// one report the first report repeated once.
#pragma once

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

inline constexpr const char* kHandheldProduct = "Palmare HND-ZZ";

class SimHidServer {
 public:
  SimHidServer();
  ~SimHidServer();
  SimHidServer(const SimHidServer&) = delete;
  SimHidServer& operator=(const SimHidServer&) = delete;

  // A handheld (usage page 0xFF00, usage 1) answering as `terminal` (give
  // it records first; model "HND  ", address 1). No password: only the
  // default one unlocks it. Returns its index for with(). Only before start().
  std::size_t addHandheld(std::string id, std::optional<std::string> password,
                          std::string product = kHandheldProduct, SimTerminal terminal = SimTerminal("HND  ", 1));
  // Any other HID device; its product in UTF-8. It never answers.
  void addOther(std::uint16_t usagePage, std::uint16_t usage, std::string product);

  // Listens on a new socket in a private temporary folder; returns its path
  // (the value for CFG_HID_SIM).
  std::string listen();
  void start();
  void stop();

  // Runs f on handheld i's terminal with the devices locked.
  template <typename F>
  auto with(std::size_t i, F f) {
    std::lock_guard lock(mutex_);
    return f(handheld(i).terminal);
  }
  // Output reports that were not 65 bytes with report id 0.
  int badReports() const;
  // Requests that repeated the one before on the same connection although
  // that one was answered (not with NAK): a client retrying because a reply
  // did not come through.
  int repeatedRequests() const;
  // Output reports received, in order, as the client wrote them.
  std::vector<std::string> outputReports() const;

 private:
  struct Device {
    std::string path;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::string product;
    bool isHandheld = false;
    std::string id;
    std::optional<std::string> password;
    SimTerminal terminal{"HND  ", 1};
    unsigned replies = 0;
  };
  struct Connection;

  Device& handheld(std::size_t i);
  void serveLoop();
  bool onMessage(Connection& c, const std::string& message);
  void onOutputReport(Connection& c, const std::string& report);
  std::optional<std::string> answer(Connection& c, const std::string& frame);
  void sendReply(Connection& c, const std::string& frame);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Device>> devices_;
  std::vector<std::size_t> handhelds_;  // indexes into devices_
  int badReports_ = 0;
  int repeatedRequests_ = 0;
  std::vector<std::string> outputReports_;

  std::vector<std::unique_ptr<Connection>> connections_;  // the serving thread's
  SimBusSocket bus_;
};

}  // namespace cfg::sim
