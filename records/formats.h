// Acquisition formats: the user's named output layouts for attendance
// records, kept in format.dat.
//
// format.dat holds one line per format, written as
// "%-10s %-30s %-64s %-3s %-3s\r\n" (116 bytes): name 0-9, description 11-40,
// output template 42-105, entry text 107-109, exit text 111-113. Older files
// have shorter lines, all lines of one file the same length:
//   100 bytes: template 42-89 (48), entry 91-93, exit 95-97
//    96 bytes: template 42-89 (48), entry column 91, exit column 93
// The length of the first line decides how the whole file is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings_io.h"

namespace cfg {

inline constexpr std::size_t kFormatCapacity = 100;
inline constexpr const char* kFormatFile = "format.dat";

struct AcquisitionFormat {
  std::string name;            // 10: the key archive settings refer to
  std::string description;     // 30
  std::string entryText = "0"; // 3: what %v writes for transit kind "0"
  std::string exitText = "1";  // 3: what %v writes for transit kind "1"
  // 64: literal characters and fields %t %i %z %n %c %v %g %m %a %H %M %b %%,
  // each with an optional "-" and width ("%6n", "%-4n").
  std::string outputTemplate;

  bool operator==(const AcquisitionFormat&) const = default;
};

struct FormatList {
  std::vector<AcquisitionFormat> entries;  // file order, at most kFormatCapacity
};

// One line without CR LF, "%-10s %-30s %-64s %-3s %-3s" (texts cut to width).
std::string formatLine(const AcquisitionFormat& format);

// Reads format.dat's bytes into list. Returns false, leaving list untouched,
// when the first line is unusable: no CR within the first 116 bytes, or a
// length other than 96, 100 or 116. Otherwise replaces the entries with the
// lines of that length up to the first one that is short or lacks its CR LF
// (at most 100). Empty data is an empty list.
bool parseFormats(ByteSource& source, FormatList& list);

// Reads format.dat from the working directory. A missing file leaves the
// list as it is and succeeds; otherwise the result of parseFormats. Diagnostic
// mode shows the path, a missing file and every format read.
bool readFormatList(const FileContext& ctx, FormatList& list);

// Rewrites format.dat in the 116-byte layout. Returns false (and shows the
// failure) when the file could not be replaced.
bool writeFormatList(const FileContext& ctx, const FormatList& list);

// The first format whose name equals `name` exactly (case-sensitive).
std::optional<std::size_t> findFormat(const FormatList& list, std::string_view name);

}  // namespace cfg
