// A plant of simulated terminals described in a small text file, for the
// demo and end-to-end tests. One terminal a line; "#" starts a comment:
//
//   terminal number=1 model=LX-P2 address=1 via=tcp attendance=40 production=3 canteen=12 seed=11 description=Presse
//   terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=30 seed=3 description=Magazzino
//
// attendance and canteen count records, production counts closed jobs;
// description runs to the end of the line.
#pragma once

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
  std::string port = "COM1";  // the COM name a pseudo-terminal is given
  int attendance = 0;
  int production = 0;
  int canteen = 0;
  unsigned seed = 1;
  std::string description;
};

// Parses a plant description; on a bad line returns nothing and says why in `error`.
std::optional<std::vector<PlantTerminal>> parsePlant(std::string_view text, std::string& error);

// One line per terminal, each on a SimServer of its own, filled with its records.
class Plant {
 public:
  explicit Plant(std::vector<PlantTerminal> terminals);
  // Opens every endpoint and starts serving; returns one line per terminal:
  // "terminal N MODEL tcp 127.0.0.1:PORT" or "terminal N MODEL pty /dev/pts/K COMn".
  std::vector<std::string> start();
  void stop();

  // config.dat listing the terminals and porte.dat mapping the COM names of
  // the pseudo-terminals, written into `directory`.
  bool writeSettings(const std::filesystem::path& directory) const;
  // The file_reg.txt, file_prd.txt and file_mns.txt lines one acquisition of
  // every terminal writes, in plant order (expected_reg.txt, ...).
  bool writeExpected(const std::filesystem::path& directory) const;

 private:
  std::vector<PlantTerminal> terminals_;
  std::vector<std::unique_ptr<SimServer>> servers_;
  std::vector<std::uint16_t> tcpPorts_;
  std::vector<std::string> ptyPaths_;
};

}  // namespace cfg::sim
