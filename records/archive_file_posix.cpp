#include "records/archive_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace cfg {

namespace {

#ifdef __linux__
// /proc, /sys and their kind show their entries as regular files, but
// writing there changes the system, not an archive.
bool onKernelFileSystem(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case SECURITYFS_MAGIC:
      return true;
    default:
      return false;
  }
}
#else
bool onKernelFileSystem(int) { return false; }
#endif

}  // namespace

std::string systemReason(int error) { return std::strerror(error); }

int syncDirectoryOf(const std::filesystem::path& path) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!d) return errno;
  return ::fsync(d.get()) == 0 ? 0 : errno;
}

std::string ArchiveFile::open(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    // Refused before opening: opening a FIFO or a device may wait or act.
    if (S_ISDIR(st.st_mode)) return systemReason(EISDIR);
    if (!S_ISREG(st.st_mode)) return kArchiveNotRegular;
  }
  const int flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 2 && !fd_; ++attempt) {
    fd_.reset(::open(path.c_str(), flags));
    if (fd_ || errno != ENOENT) break;
    fd_.reset(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644));
    if (fd_) created_ = true;
    else if (errno != EEXIST) break;  // EEXIST: created meanwhile, open it again
  }
  if (!fd_) return systemReason(errno);
  if (::fstat(fd_.get(), &st) != 0) return systemReason(errno);
  if (!S_ISREG(st.st_mode) || onKernelFileSystem(fd_.get())) return kArchiveNotRegular;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return {};
}

bool ArchiveFile::sameFile(const ArchiveFile& other) const {
  return fd_ && other.fd_ && device_ == other.device_ && inode_ == other.inode_;
}

bool ArchiveFile::sameName(const std::filesystem::path&, const std::filesystem::path&) {
  return false;  // the open files' identities tell
}

std::string ArchiveFile::lock() {
  if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? kArchiveInUse : systemReason(errno);
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) return systemReason(errno);
  end_ = st.st_size;
  return {};
}

std::string ArchiveFile::write(std::string_view bytes) {
  touched_ = true;
  ssize_t n;
  do {
    n = ::write(fd_.get(), bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return systemReason(errno);
  if (static_cast<std::size_t>(n) != bytes.size()) {
    char text[96];
    std::snprintf(text, sizeof text, "scritti %zd byte su %zu", n, bytes.size());
    return text;
  }
  if (::fdatasync(fd_.get()) != 0) return systemReason(errno);
  return {};
}

void ArchiveFile::cutBack() {
  if (touched_ && fd_ && ::ftruncate(fd_.get(), end_) == 0) ::fdatasync(fd_.get());
}

std::string ArchiveFile::close() {
  if (!fd_) return {};
  return ::close(fd_.release()) == 0 ? std::string() : systemReason(errno);
}

}  // namespace cfg
