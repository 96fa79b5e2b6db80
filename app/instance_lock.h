// The single-instance lock: an exclusive flock on one fixed lock file.
//
// The file is never deleted (a second copy must not remove the lock of the
// first); the kernel drops the lock when its holder exits, even after a
// crash, so a stale file never blocks a new start. The descriptor is opened
// with O_CLOEXEC: a program started by the scheduler must not keep the lock.
#pragma once

#include <filesystem>

#include "link/fd.h"

namespace cfg {

// $CFGTOOL_LOCK_FILE when set (tests), otherwise orbita.lock in
// $XDG_RUNTIME_DIR, otherwise /tmp/orbita-<uid>.lock.
std::filesystem::path defaultLockPath();

class InstanceLock {
 public:
  // True when this process now holds the lock (or held it already); false
  // when another process holds it or the file cannot be opened.
  bool acquire(const std::filesystem::path& path);
  void release();
  bool held() const { return fd_.valid(); }

 private:
  UniqueFd fd_;
};

}  // namespace cfg
