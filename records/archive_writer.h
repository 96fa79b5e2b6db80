// The archive writers: one record in, its lines appended to every archive
// the live settings switch on. A writer says yes only when every line it had
// to write is on disk; only then is the record acknowledged to the terminal.
// A no leaves the record in the terminal, to be fetched again (the lines
// already appended for it in other files are then written twice: duplicates
// are allowed, losses are not).
#pragma once

#include <filesystem>
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
};

// file_reg.txt and copies; file_out.txt / file_ou2.txt and copies for the
// transit kinds "0", "1", "A"-"G". An out or ou2 format that is not in the
// list fails the record (it stays in the terminal).
bool writeAttendance(const ArchiveContext& ctx, std::string_view record);
// file_prd.txt and copies; the one-line archive file_cnt.txt through the
// terminal's item file.
bool writeProduction(const ArchiveContext& ctx, std::string_view record);
// file_mns.txt and copies.
bool writeCanteen(const ArchiveContext& ctx, std::string_view record);

}  // namespace cfg
