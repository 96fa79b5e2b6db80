#include "app/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace cfg {

std::filesystem::path defaultLockPath() {
  if (const char* path = std::getenv("CFGTOOL_LOCK_FILE"); path && *path) return path;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    return std::filesystem::path(runtime) / "orbita.lock";
  return std::filesystem::path("/tmp") / ("orbita-" + std::to_string(::getuid()) + ".lock");
}

bool InstanceLock::acquire(const std::filesystem::path& path) {
  if (held()) return true;
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return false;
  int rc;
  do {
    rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return false;
  fd_ = std::move(fd);
  return true;
}

void InstanceLock::release() { fd_.reset(); }

}  // namespace cfg
