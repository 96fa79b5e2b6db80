#include "records/append_line.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/fd.h"

namespace cfg {

namespace {

// A newly created file is durable only once its directory entry is.
void syncDirectoryOf(const std::filesystem::path& path) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d) ::fsync(d.get());
}

void reportShortWrite(const std::filesystem::path& path, const Messages& messages) {
  if (!messages.flags.showLinkErrors.load()) return;
  messages.ask({"Errore ArchiviaTransazione", path.string(), Icon::Info, Buttons::Ok, Answer::Ok, false});
}

}  // namespace

bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages) {
  bool existed = ::access(path.c_str(), F_OK) == 0;
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return false;
  const off_t end = st.st_size;

  ssize_t n;
  do {
    n = ::write(fd.get(), line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  bool ok = n == static_cast<ssize_t>(line.size()) && ::fdatasync(fd.get()) == 0;
  if (!ok) {
    // Never leave half a line behind: the record will be written again.
    if (::ftruncate(fd.get(), end) == 0) ::fdatasync(fd.get());
    reportShortWrite(path, messages);
    return false;
  }
  if (::close(fd.release()) != 0) {
    reportShortWrite(path, messages);
    return false;
  }
  if (!existed) syncDirectoryOf(path);
  return true;
}

}  // namespace cfg
