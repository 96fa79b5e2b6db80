// The small settings files of the working directory: acqreg.dat and
// recent.dat (archive choices), password.txt (plant password) and the marker
// files enabdump.dat and resdeflt.dat.
//
// acqreg.dat and recent.dat share one layout of 19 CR LF lines:
//   1 "%d" acquisition option        11 "%d" prd enabled
//   2 "%d" reg enabled               12, 13 prd copies
//   3, 4 reg copies "%-255s"         14 "%d" cnt enabled
//   5 "%d %-10s" out enabled, format 15, 16 cnt copies
//   6, 7 out copies                  17 "%d" mns enabled
//   8 "%d %-10s" ou2 enabled, format 18, 19 mns copies
//   9, 10 ou2 copies
// Older versions wrote the file without line 1, or without lines 8-10.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/archive_settings.h"
#include "app/process_state.h"
#include "app/settings_io.h"

namespace cfg {

inline constexpr const char* kArchiveSettingsFile = "acqreg.dat";
inline constexpr const char* kRecentSettingsFile = "recent.dat";
inline constexpr const char* kPasswordFile = "password.txt";
inline constexpr const char* kExpertMarkerFile = "enabdump.dat";
inline constexpr const char* kResetMarkerFile = "resdeflt.dat";

enum class ArchiveFile { Archive, Recent };  // acqreg.dat, recent.dat

// The 19 lines of an archive settings file.
std::string archiveSettingsBytes(const ArchiveSettings& settings);

// Reads the lines of an archive settings file into live, field by field, as
// they come; true when every line was read. Without line 1, the first line
// gives reg enabled for recent.dat and is skipped for acqreg.dat. Without
// lines 8-10 the ou2 fields keep their values. When a line is missing or
// damaged, `why` tells which ("riga 5: attesi 12 caratteri seguiti da CR LF").
bool parseArchiveSettings(ByteSource& source, ArchiveFile which, ArchiveSettings& live,
                          std::string* why = nullptr);

// Tests the marker files and sets (never clears) the two marker flags.
void testMarkerFiles(ProcessState& state, const Messages& messages);

// Reads acqreg.dat (into state.archive) or recent.dat (into state.recent),
// through state.live: the target is reset to the defaults and gets a copy of
// live only when the whole file was read; live keeps whatever was read.
// Tests the marker files first. Returns true when the file was read whole.
// A missing or broken acqreg.dat is reported with "Attenzione: lettura file
// %s\%s non riuscita." unless the start-up is unattended (a command-line
// batch or "-a"). `report` (when given) says whether the file was read,
// missing or unreadable, and why; diagnostic mode shows the reason too.
bool readArchiveSettings(ProcessState& state, const Messages& messages, FileReport* report = nullptr);
bool readRecentSettings(ProcessState& state, const Messages& messages, FileReport* report = nullptr);

// Rewrites acqreg.dat from state.archive / recent.dat from state.recent.
// False (and shown) when the file could not be replaced.
bool writeArchiveSettings(const ProcessState& state, const Messages& messages, std::string* cause = nullptr);
bool writeRecentSettings(const ProcessState& state, const Messages& messages);

// The password held by the first 10 bytes of password.txt: eight characters
// followed by CR LF; anything else holds none.
std::optional<std::string> parsePasswordFile(std::string_view firstBytes);

// Reads password.txt into state.plantPassword (the default 58203716 when the
// file is missing or not exactly as above). Always succeeds.
void readPlantPassword(ProcessState& state, const Messages& messages);

// Writes state.plantPassword as "%-8s\r\n". False (and shown) on failure.
bool writePlantPassword(const ProcessState& state, const Messages& messages);

}  // namespace cfg
