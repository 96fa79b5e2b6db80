#include "app/terminal_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cfg {

std::filesystem::path terminalLockPath(const std::filesystem::path& directory, unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "terminale-%04u.lck", number % 10000);
  return directory / name;
}

std::filesystem::path handheldLockPath(const std::filesystem::path& directory, std::string_view id) {
  // A handheld id is four characters; anything that could leave the folder
  // or is not printable becomes '_'.
  std::string safe;
  for (char c : id.substr(0, 8)) {
    unsigned char u = static_cast<unsigned char>(c);
    safe += (u > 0x20 && u < 0x7F && c != '/' && c != '\\' && c != '.') ? c : '_';
  }
  return directory / ("palmare-" + safe + ".lck");
}

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
