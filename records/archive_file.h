// One archive file held open while one record's lines go to it: the part of
// the durable append that differs between systems.
//
// Linux: opened O_APPEND without waiting (a FIFO or device named as a copy
// would otherwise hang the run), an exclusive non-blocking flock, one write
// flushed with fdatasync; a new file also has its folder synced.
// Windows: opened unshared (another program holding it makes the open fail
// at once) with write-through, one write, then FlushFileBuffers.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/win32/os_handle.h"
#else
#include <sys/types.h>

#include "link/fd.h"
#endif

namespace cfg {

inline constexpr const char* kArchiveNotRegular = "non e` un file regolare";
inline constexpr const char* kArchiveInUse = "file in uso da un altro programma";

class ArchiveFile {
 public:
  // Opens `path` for appending, creating it when missing (created() then
  // holds). Returns the reason on failure; nothing but a regular file is
  // accepted.
  std::string open(const std::filesystem::path& path);
  // Both objects hold the same file (two names of it).
  bool sameFile(const ArchiveFile& other) const;
  // Two names that this system can only tell apart before opening: on
  // Windows an unshared file cannot be opened twice to compare.
  static bool sameName(const std::filesystem::path& a, const std::filesystem::path& b);
  // Takes the file for this process alone, without waiting, and notes
  // where it ends. Returns the reason on failure.
  std::string lock();
  // Appends the bytes in one write and flushes them to disk.
  std::string write(std::string_view bytes);
  // The file ends where it ended before the write again, flushed.
  void cutBack();
  // Closes the file; the reason when closing failed.
  std::string close();
  bool created() const { return created_; }
  bool touched() const { return touched_; }

 private:
  bool created_ = false;
  bool touched_ = false;
#ifdef _WIN32
  OsHandle handle_;
  long long end_ = 0;
  unsigned long volume_ = 0, indexHigh_ = 0, indexLow_ = 0;
#else
  UniqueFd fd_;
  off_t end_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
#endif
};

// A newly created file is durable only once its directory entry is.
// Returns 0, or the error.
int syncDirectoryOf(const std::filesystem::path& path);

// The system's text for an error number.
std::string systemReason(int error);

}  // namespace cfg
