// The single-instance lock. Linux: an exclusive flock on one fixed lock
// file. Windows: the mailslot "\\.\mailslot\orbita", which only one
// process can create; it goes away with its process.
//
// The file is never deleted (a second copy must not remove the lock of the
// first); the kernel drops the lock when its holder exits, even after a
// crash, so a stale file never blocks a new start. The descriptor is opened
// with O_CLOEXEC: a program started by the scheduler must not keep the lock.
#pragma once

#include <filesystem>

#ifdef _WIN32
#include "platform/win32/os_handle.h"
#else
#include "link/fd.h"
#endif

namespace cfg {

// $CFGTOOL_LOCK_FILE when set (tests), otherwise orbita.lock in
// $XDG_RUNTIME_DIR, otherwise /tmp/orbita-<uid>.lock. Windows: the mailslot
// name, or "\\.\mailslot\" followed by $CFGTOOL_LOCK_FILE's name.
std::filesystem::path defaultLockPath();

class InstanceLock {
 public:
  // True when this process now holds the lock (or held it already); false
  // when another process holds it or the file cannot be opened.
  bool acquire(const std::filesystem::path& path);
  void release();
  bool held() const { return fd_.valid(); }

 private:
#ifdef _WIN32
  OsHandle fd_;
#else
  UniqueFd fd_;
#endif
};

}  // namespace cfg
