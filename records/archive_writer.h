// The archive writers: one record in, its lines appended to every archive
// the live settings switch on. A writer says yes only when every line it had
// to write is on disk; only then is the record acknowledged to the terminal.
// A no leaves the record in the terminal, to be fetched again, and leaves no
// line of it in any file: all of a record's files are opened before any is
// written (see append_line.h). A record archived but not acknowledged (a
// lost reply, a killed process) may still come twice; none is ever lost.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/archive_settings.h"
#include "link/link_config.h"
#include "link/prompt.h"
#include "records/formats.h"

namespace cfg {

inline constexpr const char* kRegFile = "file_reg.txt";
inline constexpr const char* kOutFile = "file_out.txt";
inline constexpr const char* kOu2File = "file_ou2.txt";
inline constexpr const char* kPrdFile = "file_prd.txt";
inline constexpr const char* kCntFile = "file_cnt.txt";
inline constexpr const char* kMnsFile = "file_mns.txt";

struct ArchiveContext {
  const std::filesystem::path& directory;  // the fixed archives and item files live here
  const ArchiveSettings& live;
  const FormatList& formats;
  const LinkConfig& link;  // the terminal the record came from
  const Messages& messages;
  // Retrieval reads stored records newest first: production records then go
  // to file_prd.txt and its copies only, never through the item file into
  // file_cnt.txt (a job met backwards would build a wrong line, and could
  // delete the items of a job still being collected).
  bool retrieval = false;
};

// What a writer did with one record.
struct ArchiveResult {
  bool ok = true;
  // Why it was not archived: "PATH: reason", or the format that is missing;
  // Windows-1252. Empty when ok.
  std::string failure;
  explicit operator bool() const { return ok; }
};

// file_reg.txt and copies; file_out.txt / file_ou2.txt and copies for the
// transit kinds "0", "1", "A"-"G". An out or ou2 format that is not in the
// list fails the record before anything is written (it stays in the terminal).
ArchiveResult writeAttendance(const ArchiveContext& ctx, std::string_view record);
// file_prd.txt and copies; the one-line archive file_cnt.txt through the
// terminal's item file (not while retrieving). The item file is read only as
// far as the 200 items a line may hold.
ArchiveResult writeProduction(const ArchiveContext& ctx, std::string_view record);
// file_mns.txt and copies.
ArchiveResult writeCanteen(const ArchiveContext& ctx, std::string_view record);

}  // namespace cfg
