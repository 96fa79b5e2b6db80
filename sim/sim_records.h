// Records as a terminal stores and sends them, and generators of realistic
// record sets for tests and the demo plant.
//
// The reply data of a record starts with the command it answers ("01",
// "03", "41", ...) followed by the body built here (reply bytes 6 onwards).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cfg::sim {

// Date and time as the terminal keeps it: two-digit year.
struct Stamp {
  int year = 8, month = 3, day = 5, hour = 8, minute = 12, second = 0;
};

struct AttendanceRecord {
  char transit = '0';           // '0' entry, '1' exit, 'A'-'G', or anything else
  std::uint8_t company = 0;
  std::uint32_t user = 0;
  Stamp when;
  std::string justification = "000000";  // six characters, sent as they are
};

struct ProductionRecord {
  Stamp when;
  std::uint16_t number = 0;
  std::uint8_t eventType = 0x01;
  std::string text;  // fifteen bytes, blank-padded
};

struct CanteenRecord {
  char code = 'M';
  std::string user = "0000012345";  // ten characters
  Stamp when;
  Stamp second;                     // year, month, day used
  char kind = '1';                  // '1' is written "C", anything else "P"
  char extra = 'A';
  std::array<std::string, 8> fields{"00001", "00002", "00003", "00004", "00005", "00006", "00007", "00008"};
};

// Reply bytes 6 onwards up to ETX (excluded), for the record at `pointer`.
std::string attendanceBody(const AttendanceRecord& r, std::uint16_t pointer);  // 34 bytes
std::string productionBody(const ProductionRecord& r, std::uint16_t pointer);  // 52 bytes
std::string canteenBody(const CanteenRecord& r, std::uint16_t pointer);        // 82 bytes

// Whole reply Frames, as a terminal at `address` answers `command`.
std::string attendanceFrame(unsigned address, const AttendanceRecord& r, std::uint16_t pointer,
                            const char* command = "01");
std::string productionFrame(unsigned address, const ProductionRecord& r, std::uint16_t pointer,
                            const char* command = "61");
std::string canteenFrame(unsigned address, const CanteenRecord& r, std::uint16_t pointer,
                         const char* command = "81");

// A seeded set of attendance records: `count` records of a few users over
// consecutive working days from `first`, entries and exits with a few other
// transit kinds among them. The same seed gives the same records.
std::vector<AttendanceRecord> generateAttendance(unsigned seed, int count, Stamp first = {});
std::vector<ProductionRecord> generateProduction(unsigned seed, int jobs, Stamp first = {});
std::vector<CanteenRecord> generateCanteen(unsigned seed, int count, Stamp first = {});

}  // namespace cfg::sim
