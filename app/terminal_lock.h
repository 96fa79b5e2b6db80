// One collector per terminal: a lock held while a program talks to one
// terminal, so that two runs (two cron jobs, cfgctl beside a connected
// cfgtool) never fetch and acknowledge the same records at once.
//
// The lock is an exclusive, non-blocking flock on a small file in the working
// directory named after the terminal: "terminale-0012.lck" for registry
// terminal 12, "palmare-AB12.lck" for a handheld. The file is never deleted
// (removing it would let a second holder lock a fresh file); the kernel drops
// the lock when its holder exits, even after a crash. The descriptor is
// opened with O_CLOEXEC so that a started program never inherits it.
// Windows: the file is opened unshared (a second open is refused while the
// first is held) and not inheritable.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/win32/os_handle.h"
#else
#include "link/fd.h"
#endif

namespace cfg {

// "terminale occupato": the terminal is being served by another run.
inline constexpr const char* kTerminalBusy = "Errore: terminale occupato.";

// The lock file of registry terminal `number` / of the handheld `id`.
std::filesystem::path terminalLockPath(const std::filesystem::path& directory, unsigned number);
std::filesystem::path handheldLockPath(const std::filesystem::path& directory, std::string_view id);

class TerminalLock {
 public:
  enum class Result { Held, Busy, Failed };

  // Takes the lock at `path` without waiting. Busy: another process holds
  // it. Failed: the file cannot be created or locked (`error` then says why,
  // with the path and the system's reason). Taking the lock again while held
  // releases the old one first.
  Result acquire(const std::filesystem::path& path, std::string* error = nullptr);
  void release() { fd_.reset(); }
  bool held() const { return fd_.valid(); }

 private:
#ifdef _WIN32
  OsHandle fd_;
#else
  UniqueFd fd_;
#endif
};

}  // namespace cfg
