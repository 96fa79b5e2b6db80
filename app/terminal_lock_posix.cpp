#include "app/terminal_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cfg {

TerminalLock::Result TerminalLock::acquire(const std::filesystem::path& path, std::string* error) {
  release();
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
  if (!fd) {
    if (error) *error = path.string() + ": " + std::strerror(errno);
    return Result::Failed;
  }
  int rc;
  do {
    rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    if (errno == EWOULDBLOCK) return Result::Busy;
    if (error) *error = path.string() + ": " + std::strerror(errno);
    return Result::Failed;
  }
  fd_ = std::move(fd);
  return Result::Held;
}

}  // namespace cfg
