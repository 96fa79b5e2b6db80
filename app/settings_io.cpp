#include "app/settings_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "app/text_1252.h"

namespace cfg {

std::string ByteSource::take(std::size_t n) {
  std::string out(n, '\0');
  out.resize(read(out.data(), n));
  return out;
}

std::size_t MemorySource::read(char* dst, std::size_t n) {
  std::size_t k = n < bytes_.size() ? n : bytes_.size();
  if (k > 0) std::memcpy(dst, bytes_.data(), k);
  bytes_.remove_prefix(k);
  return k;
}

bool FileSource::open(const std::filesystem::path& path) {
  fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  error_ = fd_.valid() ? 0 : errno;
  return fd_.valid();
}

std::size_t FileSource::read(char* dst, std::size_t n) {
  std::size_t got = 0;
  while (fd_.valid() && got < n) {
    ssize_t r = ::read(fd_.get(), dst + got, n - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r < 0 && errno == EINTR) {
      continue;
    } else {
      if (r < 0) error_ = errno;
      break;  // end of file, or an error (a directory): a short read
    }
  }
  return got;
}

std::string shownPath(const std::filesystem::path& directory, std::string_view name) {
  // The directory's name is the file system's (UTF-8); messages are Windows-1252.
  std::string s = utf8ToCp1252(directory.string());
  s += static_cast<char>(std::filesystem::path::preferred_separator);
  s += name;
  return s;
}

std::string textField(std::string_view line, std::size_t pos, std::size_t width, bool trimBlanks) {
  if (pos >= line.size()) return {};
  std::string_view field = line.substr(pos, width);
  field = field.substr(0, field.find('\0'));
  if (trimBlanks) {
    std::size_t end = field.find_last_not_of(' ');
    field = end == std::string_view::npos ? std::string_view{} : field.substr(0, end + 1);
  }
  return std::string(field);
}

long decimalField(std::string_view line, std::size_t pos, std::size_t width) {
  if (pos >= line.size()) return 0;
  std::string_view f = line.substr(pos, width);
  std::size_t i = 0;
  while (i < f.size() && (f[i] == ' ' || f[i] == '\t')) ++i;
  bool negative = false;
  if (i < f.size() && (f[i] == '-' || f[i] == '+')) negative = f[i++] == '-';
  long value = 0;
  for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i) {
    int digit = f[i] - '0';
    if (value > (LONG_MAX - digit) / 10) {
      value = LONG_MAX;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::string padded(std::string_view text, std::size_t width) {
  text = text.substr(0, text.find('\0'));
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

bool crlfAt(std::string_view line, std::size_t pos) {
  return pos + 1 < line.size() && line[pos] == '\r' && line[pos + 1] == '\n';
}

void FileReport::failed(int error) {
  outcome = error == ENOENT ? Outcome::Missing : Outcome::Unreadable;
  reason = std::strerror(error);
}

std::string FileReport::problem() const {
  if (read()) return {};
  return path + ": " + reason;
}

std::vector<std::string> FileReport::badLineTexts() const {
  std::vector<std::string> texts;
  for (const std::string& line : badLines) texts.push_back(path + ", " + line + ": riga ignorata.");
  return texts;
}

void showReport(const FileContext& ctx, const FileReport& report) {
  if (!ctx.diagnostic) return;
  if (report.outcome == FileReport::Outcome::Unreadable) ctx.messages.warning(report.problem());
  for (const std::string& text : report.badLineTexts()) ctx.messages.warning(text);
}

void showReadingPath(const FileContext& ctx, std::string_view name) {
  if (ctx.diagnostic) ctx.messages.info(shownPath(ctx.directory, name), "Leggi File ...");
}

void showOpenError(const FileContext& ctx, std::string_view name) {
  if (ctx.diagnostic) {
    ctx.messages.error("Errore: opening file " + shownPath(ctx.directory, name), "Errore Message");
  }
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t w = ::write(fd, bytes.data(), bytes.size());
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(w));
  }
  return true;
}

// Creates a temporary file beside the target with the permissions a plain
// create would give (0666 less the umask).
UniqueFd createTemporary(const std::filesystem::path& directory, std::string_view name,
                         std::filesystem::path& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string tempName = "." + std::string(name) + ".tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter.fetch_add(1));
    tempPath = directory / tempName;
    int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) return UniqueFd(fd);
    if (errno != EEXIST) break;
  }
  tempPath.clear();  // nothing of ours to remove
  return UniqueFd();
}

void syncDirectory(const std::filesystem::path& directory) {
  UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());  // best effort: the rename itself is already done
}

}  // namespace

bool saveFileAtomically(const FileContext& ctx, std::string_view name, std::string_view bytes, std::string* cause) {
  std::filesystem::path tempPath;
  UniqueFd fd = createTemporary(ctx.directory, name, tempPath);
  std::string failed;
  auto step = [&](bool ok, const char* what, const std::filesystem::path& path) {
    if (!ok && failed.empty()) failed = std::string(what) + " " + path.string() + ": " + std::strerror(errno);
    return ok;
  };
  bool ok = step(fd.valid(), "creazione di", tempPath.empty() ? ctx.directory / name : tempPath) &&
            step(writeAll(fd.get(), bytes), "scrittura di", tempPath) &&
            step(::fsync(fd.get()) == 0, "scrittura su disco di", tempPath);
  if (fd.valid()) ok = step(::close(fd.release()) == 0, "chiusura di", tempPath) && ok;
  if (ok) ok = step(::rename(tempPath.c_str(), (ctx.directory / name).c_str()) == 0, "sostituzione di", ctx.directory / name);
  if (!ok) {
    if (!tempPath.empty()) ::unlink(tempPath.c_str());
    if (cause) *cause = failed;
    ctx.messages.error("Errore: scrittura file " + shownPath(ctx.directory, name) + " non riuscita.");
    return false;
  }
  syncDirectory(ctx.directory);
  return true;
}

}  // namespace cfg
