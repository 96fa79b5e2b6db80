#include "tables/production.h"

#include <cstdio>
#include <cstdlib>

namespace cfg {

namespace {

std::string fmt(const char* format, auto... args) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

bool digitsOrBlanks(const std::string& s) {
  bool digit = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') digit = true;
    else if (c != ' ') return false;
  }
  return digit;
}

}  // namespace

std::optional<ProgramLine> parseProgramRecord(const std::string& r) {
  if (r.size() != 46) return std::nullopt;
  ProgramLine out;
  std::string n = r.substr(0, 5);
  if (!digitsOrBlanks(n)) return std::nullopt;
  out.line = std::strtol(n.c_str(), nullptr, 10);
  out.text = r.substr(6, 16);
  while (!out.text.empty() && out.text.back() == ' ') out.text.pop_back();
  for (std::size_t i = 0; i < 6; ++i) {
    std::string v = r.substr(23 + 4 * i, 3);
    if (!digitsOrBlanks(v)) return std::nullopt;
    out.b[i] = static_cast<int>(std::strtol(v.c_str(), nullptr, 10));
  }
  return out;
}

std::string programRecord(const ProgramLine& l) {
  std::string text = l.text.substr(0, 16);
  return fmt("%05ld %-16s %03d %03d %03d %03d %03d %03d", l.line, text.c_str(), l.b[0], l.b[1], l.b[2], l.b[3],
             l.b[4], l.b[5]);
}

std::string operationName(const ProgramLine& l) {
  const auto& b = l.b;
  switch (b[0]) {
    case 0x01: return "tastiera";
    case 0x02: return "bar-code";
    case 0x04: return "lettore";
    case 0x08: return "contapezzi";
    case 0x10: return fmt("tabella %03d", b[1]);
    case 0x20: return fmt("goto-list %03d", b[1]);
    case 0x40: return "operatore";
    case 0x80:
      switch (b[1]) {
        case 0x01: return fmt("goto %05d", b[2] * 256 + b[3]);
        case 0x02: return "costante";
        case 0x04: return "'a capo'";
        case 0x08:
          for (int relay = 0; relay < 4; ++relay)
            if (b[2] == (1 << relay)) return fmt("out rele` %d", relay + 1);
          if (b[2] == 0x10) return "out buzzer";
          if (b[2] == 0x20) return "out display";
          break;
        default: break;
      }
      break;
    default: break;
  }
  return "indefinito";
}

}  // namespace cfg
