#include "automation/batch_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/fd.h"

namespace cfg {

bool appendLogLine(const std::filesystem::path& directory, std::string_view text, std::string* error) {
  const std::filesystem::path path = directory / kBatchLogName;
  auto fail = [&](int code) {
    if (error) *error = path.string() + ": " + std::strerror(code);
    return false;
  };
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
  if (!fd) return fail(errno);
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  ssize_t written;
  do {
    written = ::write(fd.get(), line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return fail(errno);
  // A short write on a regular file means the disk is full.
  if (static_cast<std::size_t>(written) != line.size()) return fail(ENOSPC);
  if (::fsync(fd.get()) != 0) return fail(errno);
  return true;
}

}  // namespace cfg
