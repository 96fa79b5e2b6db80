// The production program's lines and the production tables' items as
// fields: what the line dialog edits and the list shows. The list keeps
// them as file lines (table_engine.h); these convert both ways and hold
// the line dialog's validation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace cfg {

struct ProgramLine {
  long line = 0;           // 1-65535
  std::string text;        // up to 16 characters
  std::array<int, 6> b{};  // the operation bytes b0-b5
};

// A program record (its file line without CR LF); nothing when it is not one.
std::optional<ProgramLine> parseProgramRecord(const std::string& record);
// The file line (without CR LF) of a program line.
std::string programRecord(const ProgramLine& line);
// The operation's name as the list shows it ("tabella 003", "goto 00020",
// "out display", "indefinito", ...).
std::string operationName(const ProgramLine& line);

}  // namespace cfg
