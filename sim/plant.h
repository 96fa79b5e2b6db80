// A plant of simulated terminals described in a small text file, for the
// demo and end-to-end tests. One terminal a line; "#" starts a comment:
//
//   terminal number=1 model=LX-P2 address=1 via=tcp attendance=40 production=3 canteen=12 seed=11 description=Presse
//   terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=30 seed=3 description=Magazzino
//   terminal number=5 model=LX-P2 address=5 via=modem port=COM5 phone=0312345678 continuous=yes attendance=20
//
// attendance and canteen count records, production counts closed jobs;
// description runs to the end of the line.
//
// Handhelds, on the simulated USB bus or Bluetooth radio; password "-" is a
// handheld not yet configured (only the factory password opens it); name
// runs to the end of the line:
//
//   handheld id=H001 via=usb password=13572468 attendance=8 production=2 seed=61 name=Palmare HND-ZZ
//   handheld id=B001 via=bt address=00:08:E0:00:00:21 password=13572468 attendance=6 seed=71 name=SPP140
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_server.h"

namespace cfg::sim {

struct PlantTerminal {
  unsigned number = 0;
  std::string model = "LX-P2";
  unsigned address = 1;
  bool pty = false;
  bool modem = false;         // a pseudo-terminal with a modem in front (sim_modem.h)
  std::string port = "COM1";  // the COM name a pseudo-terminal is given
  std::string phone = "0123456789";  // what a modem row dials
  bool continuous = false;    // continuous modem download (LX-P2, LX-K5)
  int attendance = 0;
  int production = 0;
  int canteen = 0;
  unsigned seed = 1;
  std::string description;
};

class SimHidServer;
class SimBtServer;

struct PlantHandheld {
  std::string id;                       // four characters
  bool bluetooth = false;               // via=bt; otherwise USB
  std::string address = "00:08:E0:00:00:01";
  std::optional<std::string> password;  // none: only the factory password opens it
  int attendance = 0;
  int production = 0;
  unsigned seed = 1;
  std::string name;                     // USB product or Bluetooth device name
};

// The models a simulated terminal can be, in the order users know them.
inline constexpr std::array<const char*, 7> kSimulatedModels = {"LX-K1", "LX-K2", "LX-K3", "LX-K4",
                                                                 "LX-K5", "LX-P1", "LX-P2"};
bool isSimulatedModel(std::string_view model);
// "LX-K1 LX-K2 ... LX-P2", for messages.
std::string simulatedModelList();

// Largest record counts a terminal may be given (production: closed jobs).
inline constexpr int kMaxAttendance = 60000;
inline constexpr int kMaxProduction = 5000;
inline constexpr int kMaxCanteen = 60000;

// Parses a plant description; on a bad line returns nothing and says why in `error`.
// Numbers and pseudo-terminal COM names must be unique.
std::optional<std::vector<PlantTerminal>> parsePlant(std::string_view text, std::string& error);

// The handheld lines of a plant description (parsePlant leaves them out).
// Ids must be unique.
std::optional<std::vector<PlantHandheld>> parsePlantHandhelds(std::string_view text, std::string& error);

// The terminal a plant line describes, filled with its seeded records.
SimTerminal makeTerminal(const PlantTerminal& t);

// One line per terminal, each on a SimServer of its own, filled with its records.
class Plant {
 public:
  explicit Plant(std::vector<PlantTerminal> terminals, std::vector<PlantHandheld> handhelds = {});
  ~Plant();
  // Opens every endpoint and starts serving; returns one line per terminal:
  // "terminal N MODEL tcp 127.0.0.1:PORT", "terminal N MODEL pty /dev/pts/K COMn"
  // or, behind a modem, "terminal N MODEL modem /dev/pts/K COMn"; then
  // "hid PATH" and "bt PATH" (the values for CFG_HID_SIM and CFG_BT_SIM)
  // when the plant has USB or Bluetooth handhelds.
  std::vector<std::string> start();
  void stop();

  // config.dat listing the terminals and porte.dat mapping the COM names of
  // the pseudo-terminals, written into `directory`. On failure `error` names
  // the file and the system's reason.
  bool writeSettings(const std::filesystem::path& directory, std::string& error) const;
  // The file_reg.txt, file_prd.txt and file_mns.txt lines one acquisition of
  // every terminal writes, in plant order (expected_reg.txt, ...); with
  // handhelds, the file_reg.txt and file_prd.txt lines of a batch run that
  // acquires both kinds on every handheld of the plant, searching Bluetooth
  // first and USB then (expected_batch_reg.txt, expected_batch_prd.txt).
  bool writeExpected(const std::filesystem::path& directory, std::string& error) const;

 private:
  std::vector<PlantTerminal> terminals_;
  std::vector<PlantHandheld> handhelds_;
  std::vector<std::unique_ptr<SimServer>> servers_;
  std::unique_ptr<SimHidServer> usb_;
  std::unique_ptr<SimBtServer> bt_;
  std::vector<std::uint16_t> tcpPorts_;
  std::vector<std::string> ptyPaths_;
};

}  // namespace cfg::sim
