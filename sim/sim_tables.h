// The tables a simulated terminal keeps: each table's write command appends
// one record (NAK once the model's capacity is reached), its clear command
// empties it, and its read command answers the record at an index, or the
// table's free-record pattern past the end.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/sim_terminal.h"

namespace cfg::sim {

struct SimTable {
  const char* write;
  const char* clear;
  const char* read;
  std::size_t wireLength;
  char freeFill;  // a free record reads as this character repeated
};

// Records the model's table holds (0: the model lacks the table and NAKs it).
int simTableCapacity(const SimTable& table, std::string_view model);

void installTableCommands(SimTerminal& terminal);

// Users ("0B" write, "0D" clear, "08" read, 40 characters, free = zeros):
// the terminal's capacity, and its answer to "3802" (stored users, capacity).
int simUserCapacity(const SimTerminal& terminal);
std::optional<std::string> userCountReply(const SimTerminal& terminal);

}  // namespace cfg::sim
