// Registry rows for tests: a terminal reached over TCP on this machine.
#pragma once

#include <cstdint>
#include <string>

#include "app/registry.h"

namespace cfg::test {

inline TerminalRecord tcpRow(unsigned number, const char* model, std::uint16_t port, unsigned address = 1) {
  TerminalRecord r;
  r.number = static_cast<std::uint16_t>(number);
  r.description = std::string("Varco ") + model;
  r.model = model;
  r.address = static_cast<std::uint16_t>(address);
  r.port = "COM1";
  r.speed = " 9600";
  r.tcp = true;
  r.ip = 0x7F000001;
  r.tcpPort = port;
  return r;
}

}  // namespace cfg::test
