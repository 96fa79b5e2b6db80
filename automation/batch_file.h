// Batch files (*.cmd): which handhelds to search for and which operations to
// carry out on each of them.
//
// A line is "%04X %08X" and CR LF (15 bytes): the connection flags, a blank,
// the operations mask. Older files have 11-byte lines with a 16-bit mask
// ("%04X %04X"). The length of the first line decides the layout; when a file
// holds several lines the last one counts. The editor writes one 15-byte line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace cfg {

// Connection flags.
inline constexpr std::uint16_t kBatchBtSystem = 0x0001;   // "Bluetooth Microsoft"
inline constexpr std::uint16_t kBatchBtVendor = 0x0002;   // "Bluetooth Widcomm"
inline constexpr std::uint16_t kBatchUsb = 0x0100;        // "USB"
inline constexpr std::uint16_t kBatchBackground = 0x8000; // "Background": no window at all

// Operations mask bits the executor carries out.
namespace batchop {
inline constexpr std::uint32_t Acquire = 1u << 0;
inline constexpr std::uint32_t SetClock = 1u << 1;
inline constexpr std::uint32_t AcquireProduction = 1u << 13;
inline constexpr std::uint32_t ClearProgram = 1u << 14;
inline constexpr std::uint32_t SendProgram = 1u << 15;
inline constexpr std::uint32_t ClearJustifications = 1u << 16;
inline constexpr std::uint32_t SendJustifications = 1u << 17;
inline constexpr std::uint32_t ClearProductionTables = 1u << 18;
inline constexpr std::uint32_t SendProductionTables = 1u << 19;
inline constexpr std::uint32_t EraseRecords = 1u << 21;
inline constexpr std::uint32_t ClearSites = 1u << 24;
inline constexpr std::uint32_t SendSites = 1u << 25;
inline constexpr std::uint32_t ClearActivities = 1u << 26;
inline constexpr std::uint32_t SendActivities = 1u << 27;
inline constexpr std::uint32_t ResetDefaults = 1u << 31;
}  // namespace batchop

struct BatchSettings {
  std::uint16_t connection = 0;
  std::uint32_t mask = 0;
  bool background() const { return (connection & kBatchBackground) != 0; }
  bool operator==(const BatchSettings&) const = default;
};

// Reads a batch file. Nothing when it cannot be opened, its first line is
// neither 11 nor 15 bytes long, or that line is not hexadecimal; a later line
// that does not parse ends the reading (the lines before it count). The
// detected line length goes to `lineLength` whenever one was found.
std::optional<BatchSettings> readBatchFile(const std::filesystem::path& path, int* lineLength = nullptr);

// "%04X %08X" and CR LF.
std::string batchFileLine(const BatchSettings& settings);

// Replaces the file with one 15-byte line; false when it cannot be written.
bool writeBatchFile(const std::filesystem::path& path, const BatchSettings& settings);

// Where a batch file is and where its table files are read from: a path
// without "/" or "\" names a file of the working directory; otherwise the
// directory is the path up to its last separator.
struct BatchLocation {
  std::string path;
  std::string directory;
};
BatchLocation locateBatch(const std::string& path, const std::filesystem::path& workingDirectory);

}  // namespace cfg
