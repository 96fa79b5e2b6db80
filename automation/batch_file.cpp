#include "automation/batch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "link/fd.h"

namespace cfg {

namespace {

// A batch file is a handful of bytes; anything far larger is not one.
constexpr std::size_t kMaxBatchFileBytes = 64 * 1024;

std::optional<std::uint32_t> hexField(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return std::nullopt;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<BatchSettings> parseLine(std::string_view line) {
  const std::size_t maskDigits = line.size() == 15 ? 8 : 4;
  if (line[4] != ' ' || line.substr(line.size() - 2) != "\r\n") return std::nullopt;
  auto flags = hexField(line.substr(0, 4));
  auto mask = hexField(line.substr(5, maskDigits));
  if (!flags || !mask) return std::nullopt;
  return BatchSettings{static_cast<std::uint16_t>(*flags), *mask};
}

bool readWhole(const std::filesystem::path& path, std::string& content) {
  // Non-blocking: a FIFO given as a batch file must not hang the run.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return false;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > kMaxBatchFileBytes) return true;  // only the lines read so far count
  }
}

}  // namespace

std::optional<BatchSettings> readBatchFile(const std::filesystem::path& path, int* lineLength) {
  std::string content;
  if (!readWhole(path, content)) return std::nullopt;
  std::string_view head = std::string_view(content).substr(0, 15);
  std::size_t cr = head.find('\r');
  if (cr == std::string_view::npos) return std::nullopt;
  const std::size_t length = cr + 2;
  if (lineLength) *lineLength = static_cast<int>(length);
  if (length != 11 && length != 15) return std::nullopt;
  std::optional<BatchSettings> settings;
  for (std::size_t at = 0; at + length <= content.size(); at += length) {
    auto line = parseLine(std::string_view(content).substr(at, length));
    if (!line) break;
    settings = line;
  }
  return settings;
}

std::string batchFileLine(const BatchSettings& settings) {
  char line[24];
  std::snprintf(line, sizeof line, "%04X %08X\r\n", static_cast<unsigned>(settings.connection),
                static_cast<unsigned>(settings.mask));
  return line;
}

bool writeBatchFile(const std::filesystem::path& path, const BatchSettings& settings) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0644));
  if (!fd) return false;
  std::string line = batchFileLine(settings);
  ssize_t n;
  do {
    n = ::write(fd.get(), line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(line.size())) return false;
  return ::close(fd.release()) == 0;
}

BatchLocation locateBatch(const std::string& path, const std::filesystem::path& workingDirectory) {
  std::size_t last = path.find_last_of("/\\");
  if (last == std::string::npos) {
    std::string directory = workingDirectory.string();
    return {(workingDirectory / path).string(), directory};
  }
  // "/x.cmd" lies in the root folder.
  return {path, last == 0 ? path.substr(0, 1) : path.substr(0, last)};
}

}  // namespace cfg
