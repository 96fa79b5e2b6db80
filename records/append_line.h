// Appending the lines of one record to its archive files, durably and all
// together.
//
// A record goes to several files (the fixed archive, the formatted archives,
// the user's copies, a terminal's item file). Either every one of its lines
// is on disk or none is: the record is then not acknowledged and comes again,
// so a failing path must never leave a line behind in the other files.
//
// So every file is opened and locked before any is written. A file is opened
// without waiting (O_NONBLOCK: a FIFO or a device named as a copy would
// otherwise hang the run) and must be a regular file; it is locked
// exclusively without waiting, so another program holding the archive makes
// the append fail instead of interleaving with it; this process's own
// writers (terminals collected side by side) take turns instead. Then each file gets its
// lines in one write, O_APPEND, flushed with fdatasync; a file created here
// also has its folder synced. When a write or flush fails, the files already
// written are cut back to where they ended before (and flushed again), a file
// created here is removed, and nothing is left of the record.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/prompt.h"

namespace cfg {

// The lines of one record, file by file.
class ArchiveAppend {
 public:
  // Adds `line` (its CR LF included) for `path`, a name as the file system
  // spells it. Lines for the same file go out in the order added, in one write.
  void add(const std::filesystem::path& path, std::string_view line);
  bool empty() const { return files_.empty(); }

  // Writes everything or nothing. Returns true when every line is on disk.
  // On false, `failure` holds "PATH: reason" in Windows-1252 (the system's
  // error text, or "non e` un file regolare", "file in uso da un altro
  // programma"). A file that cannot be opened or locked fails without a
  // message; a write or flush that fails shows "Errore ArchiviaTransazione"
  // with the reason on its own line, titled with the path (only while
  // showLinkErrors is set).
  bool commit(const Messages& messages, std::string& failure);

 private:
  struct File {
    std::filesystem::path path;
    std::string bytes;
  };
  std::vector<File> files_;
};

// One line to one file, as above. Returns true when the whole line is on disk.
bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages);
bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages,
                std::string& failure);

// "PATH: reason" with the path shown in Windows-1252.
std::string pathFailure(const std::filesystem::path& path, std::string_view reason);

}  // namespace cfg
