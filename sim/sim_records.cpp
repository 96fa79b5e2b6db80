#include "sim/sim_records.h"

#include <cstdio>
#include <random>

#include "link/hex.h"
#include "sim/sim_terminal.h"

namespace cfg::sim {

namespace {

std::string digits2(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", ((v % 100) + 100) % 100);
  return b;
}

std::string hex16(std::uint16_t v) {
  return byteToHex(static_cast<std::uint8_t>(v >> 8)) + byteToHex(static_cast<std::uint8_t>(v));
}

std::string fixed(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

std::string ymdhm(const Stamp& s) {
  return digits2(s.year) + digits2(s.month) + digits2(s.day) + digits2(s.hour) + digits2(s.minute);
}

// Next working day (Monday to Friday), kept simple: 28-day months.
Stamp nextDay(Stamp s) {
  if (++s.day > 28) {
    s.day = 1;
    if (++s.month > 12) {
      s.month = 1;
      ++s.year;
    }
  }
  return s;
}

}  // namespace

std::string attendanceBody(const AttendanceRecord& r, std::uint16_t pointer) {
  std::string b = hex16(pointer);
  b += byteToHex(static_cast<std::uint8_t>(r.transit));
  b += byteToHex(r.company);
  b += hex16(static_cast<std::uint16_t>(r.user >> 16)) + hex16(static_cast<std::uint16_t>(r.user));
  b += ymdhm(r.when);
  b += fixed(r.justification, 6);
  b += "00";
  return b;
}

std::string productionBody(const ProductionRecord& r, std::uint16_t pointer) {
  std::string b = hex16(pointer);
  b += ymdhm(r.when) + digits2(r.when.second);
  b += hex16(r.number);
  b += byteToHex(r.eventType);
  b += bytesToHex(fixed(r.text, 15));
  return b;
}

std::string canteenBody(const CanteenRecord& r, std::uint16_t pointer) {
  std::string b = hex16(pointer);
  b += byteToHex(static_cast<std::uint8_t>(r.code));
  b += fixed(r.user, 10);
  b += ymdhm(r.when);
  b += digits2(r.second.year) + digits2(r.second.month) + digits2(r.second.day);
  b += r.kind;
  b += r.extra;
  for (const auto& f : r.fields) b += ';' + fixed(f, 5);
  return b;
}

std::string attendanceFrame(unsigned address, const AttendanceRecord& r, std::uint16_t pointer,
                            const char* command) {
  return dataFrame(address, command + attendanceBody(r, pointer));
}

std::string productionFrame(unsigned address, const ProductionRecord& r, std::uint16_t pointer,
                            const char* command) {
  return dataFrame(address, command + productionBody(r, pointer));
}

std::string canteenFrame(unsigned address, const CanteenRecord& r, std::uint16_t pointer, const char* command) {
  return dataFrame(address, command + canteenBody(r, pointer));
}

std::vector<AttendanceRecord> generateAttendance(unsigned seed, int count, Stamp first) {
  std::mt19937 rng(seed);
  const std::uint32_t users[] = {12345, 20471, 31002, 4477, 918273645};
  const char others[] = {'A', 'C', 'G', '2', '9'};
  std::vector<AttendanceRecord> out;
  Stamp day = first;
  for (int i = 0; i < count; ++i) {
    AttendanceRecord r;
    r.company = static_cast<std::uint8_t>(1 + rng() % 3);
    r.user = users[rng() % std::size(users)];
    r.when = day;
    bool morning = (i % 2) == 0;
    r.when.hour = morning ? 7 + static_cast<int>(rng() % 2) : 16 + static_cast<int>(rng() % 3);
    r.when.minute = static_cast<int>(rng() % 60);
    r.transit = morning ? '0' : '1';
    if (rng() % 10 == 0) r.transit = others[rng() % std::size(others)];
    r.justification = rng() % 6 == 0 ? "MALAT " : "000000";
    out.push_back(r);
    if (i % 6 == 5) day = nextDay(day);
  }
  return out;
}

std::vector<ProductionRecord> generateProduction(unsigned seed, int jobs, Stamp first) {
  std::mt19937 rng(seed);
  const char* texts[] = {"PEZZO A12", "SCARTO", "LOTTO 7781", "TURNO 2", "FERMO MACCH."};
  std::vector<ProductionRecord> out;
  Stamp t = first;
  std::uint16_t number = 1;
  for (int j = 0; j < jobs; ++j) {
    int items = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < items; ++i) {
      ProductionRecord r;
      r.when = t;
      r.when.minute = (t.minute + i) % 60;
      r.number = number++;
      r.eventType = static_cast<std::uint8_t>(1 + rng() % 3);
      r.text = texts[rng() % std::size(texts)];
      out.push_back(r);
      if (rng() % 5 == 0) {  // the operator takes the last item back
        ProductionRecord cancel = r;
        cancel.number = number++;
        cancel.eventType = 0xF3;
        out.push_back(cancel);
      }
    }
    ProductionRecord close;
    close.when = t;
    close.when.second = 30;
    close.number = number++;
    close.eventType = 0x84;
    close.text = "FINE LAVORO";
    out.push_back(close);
    t = nextDay(t);
  }
  return out;
}

std::vector<CanteenRecord> generateCanteen(unsigned seed, int count, Stamp first) {
  std::mt19937 rng(seed);
  std::vector<CanteenRecord> out;
  Stamp day = first;
  for (int i = 0; i < count; ++i) {
    CanteenRecord r;
    char user[16];
    std::snprintf(user, sizeof user, "%010u", 10000 + static_cast<unsigned>(rng() % 90000));
    r.user = user;
    r.when = day;
    r.when.hour = 12 + static_cast<int>(rng() % 2);
    r.when.minute = static_cast<int>(rng() % 60);
    r.second = day;
    r.kind = rng() % 4 == 0 ? '0' : '1';
    r.code = 'M';
    for (std::size_t f = 0; f < r.fields.size(); ++f) {
      char v[8];
      std::snprintf(v, sizeof v, "%05u", static_cast<unsigned>(rng() % 3));
      r.fields[f] = v;
    }
    out.push_back(r);
    if (i % 4 == 3) day = nextDay(day);
  }
  return out;
}

}  // namespace cfg::sim
