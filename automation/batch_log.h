// The batch log `file_log.txt` in the working directory.
//
// Batch runs and the scheduler append to it, possibly at the same moment
// from two threads or two processes: each line (text + CR LF) goes out in
// one write on a descriptor opened with O_APPEND, so lines never interleave,
// and it is on disk (fsync) before the call returns.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cfg {

inline constexpr const char* kBatchLogName = "file_log.txt";

// Appends `text` and CR LF to file_log.txt in `directory`, creating the file
// when missing. True when the whole line was written and flushed; on false,
// `error` (when given) says why ("PATH: reason").
bool appendLogLine(const std::filesystem::path& directory, std::string_view text, std::string* error = nullptr);

}  // namespace cfg
