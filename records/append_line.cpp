#include "records/append_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include "app/text_1252.h"
#include "link/fd.h"

namespace cfg {

namespace {

constexpr const char* kNotRegular = "non e` un file regolare";
constexpr const char* kInUse = "file in uso da un altro programma";

std::string systemReason(int error) { return std::strerror(error); }

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

// A newly created file is durable only once its directory entry is.
// Returns 0, or the error.
int syncDirectoryOf(const std::filesystem::path& path) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!d) return errno;
  return ::fsync(d.get()) == 0 ? 0 : errno;
}

struct OpenArchive {
  const std::filesystem::path* path = nullptr;
  std::string bytes;
  UniqueFd fd;
  bool created = false;
  off_t end = 0;  // the size before this record
  dev_t device = 0;
  ino_t inode = 0;
  bool touched = false;  // a write was tried: cut back on failure
};

// Opens one archive for appending without ever waiting: nothing but a
// regular file is accepted. Returns the reason on failure.
std::string openArchive(const std::filesystem::path& path, OpenArchive& a) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    // Refused before opening: opening a FIFO or a device may wait or act.
    if (S_ISDIR(st.st_mode)) return systemReason(EISDIR);
    if (!S_ISREG(st.st_mode)) return kNotRegular;
  }
  const int flags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 2 && !a.fd; ++attempt) {
    a.fd.reset(::open(path.c_str(), flags));
    if (a.fd || errno != ENOENT) break;
    a.fd.reset(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644));
    if (a.fd) a.created = true;
    else if (errno != EEXIST) break;  // EEXIST: created meanwhile, open it again
  }
  if (!a.fd) return systemReason(errno);
  if (::fstat(a.fd.get(), &st) != 0) return systemReason(errno);
  if (!S_ISREG(st.st_mode) || onKernelFileSystem(a.fd.get())) return kNotRegular;
  a.device = st.st_dev;
  a.inode = st.st_ino;
  return {};
}

std::string lockArchive(OpenArchive& a) {
  if (::flock(a.fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? kInUse : systemReason(errno);
  struct stat st {};
  if (::fstat(a.fd.get(), &st) != 0) return systemReason(errno);
  a.end = st.st_size;
  return {};
}

std::string writeArchive(OpenArchive& a) {
  a.touched = true;
  ssize_t n;
  do {
    n = ::write(a.fd.get(), a.bytes.data(), a.bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return systemReason(errno);
  if (static_cast<std::size_t>(n) != a.bytes.size()) {
    char text[96];
    std::snprintf(text, sizeof text, "scritti %zd byte su %zu", n, a.bytes.size());
    return text;
  }
  if (::fdatasync(a.fd.get()) != 0) return systemReason(errno);
  return {};
}

// Takes back what this record wrote: the file ends where it ended before.
void rollBack(std::vector<OpenArchive>& open) {
  for (OpenArchive& a : open) {
    if (a.created) {
      std::error_code ec;
      std::filesystem::remove(*a.path, ec);
      if (a.touched) syncDirectoryOf(*a.path);
    } else if (a.touched && a.fd && ::ftruncate(a.fd.get(), a.end) == 0) {
      ::fdatasync(a.fd.get());
    }
  }
}

// Files created while opening, before any write: removed again.
void removeCreated(std::vector<OpenArchive>& open) {
  for (OpenArchive& a : open) {
    if (!a.created) continue;
    std::error_code ec;
    std::filesystem::remove(*a.path, ec);
  }
}

void reportWriteFailure(const std::filesystem::path& path, const std::string& reason, const Messages& messages) {
  if (!messages.flags.showLinkErrors.load()) return;
  messages.ask({"Errore ArchiviaTransazione\n" + reason, utf8ToCp1252(path.string()), Icon::Info, Buttons::Ok,
                Answer::Ok, false});
}

}  // namespace

std::string pathFailure(const std::filesystem::path& path, std::string_view reason) {
  std::string text = utf8ToCp1252(path.string());
  text += ": ";
  text += reason;
  return text;
}

void ArchiveAppend::add(const std::filesystem::path& path, std::string_view line) {
  for (File& f : files_)
    if (f.path == path) {
      f.bytes += line;
      return;
    }
  files_.push_back({path, std::string(line)});
}

bool ArchiveAppend::commit(const Messages& messages, std::string& failure) {
  // The lock of a file belongs to its open file, so two threads of this
  // process appending to one archive would each find it "in use": the
  // process's own writers take turns here instead; another program holding
  // the file still makes the append fail at once.
  static std::mutex writers;
  std::lock_guard<std::mutex> turn(writers);
  failure.clear();
  std::vector<OpenArchive> open;
  open.reserve(files_.size());

  // Every file open and locked before the first byte goes out.
  for (const File& f : files_) {
    OpenArchive a;
    a.path = &f.path;
    a.bytes = f.bytes;
    std::string reason = openArchive(f.path, a);
    if (reason.empty()) {
      // Two names of one file (a copy naming the fixed archive): one write.
      bool merged = false;
      for (OpenArchive& other : open)
        if (other.device == a.device && other.inode == a.inode) {
          other.bytes += a.bytes;
          merged = true;
        }
      if (merged) continue;
      reason = lockArchive(a);
    }
    if (!reason.empty()) {
      if (a.created) open.push_back(std::move(a));
      removeCreated(open);
      failure = pathFailure(f.path, reason);
      return false;
    }
    open.push_back(std::move(a));
  }

  for (OpenArchive& a : open) {
    std::string reason = writeArchive(a);
    if (!reason.empty()) {
      rollBack(open);
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
      return false;
    }
  }
  for (OpenArchive& a : open) {
    int error = a.created ? syncDirectoryOf(*a.path) : 0;
    if (error != 0) {
      std::string reason = systemReason(error);
      rollBack(open);
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
      return false;
    }
  }
  // The lines are on disk; a close that fails after fdatasync loses nothing,
  // but it is still reported and the record is written again next time.
  bool closed = true;
  for (OpenArchive& a : open) {
    if (::close(a.fd.release()) != 0 && closed) {
      closed = false;
      std::string reason = systemReason(errno);
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
    }
  }
  return closed;
}

bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages,
                std::string& failure) {
  ArchiveAppend one;
  one.add(path, line);
  return one.commit(messages, failure);
}

bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages) {
  std::string failure;
  return appendLine(path, line, messages, failure);
}

}  // namespace cfg
