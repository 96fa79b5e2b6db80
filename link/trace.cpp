#include "link/trace.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "link/frame.h"
#include "link/hex.h"

namespace cfg {

namespace {

const char* kindName(LinkKind kind) {
  switch (kind) {
    case LinkKind::Tcp: return "tcp";
    case LinkKind::SystemBluetooth: return "bt";
    case LinkKind::Usb: return "usb";
    case LinkKind::VendorBluetooth: return "btv";
    case LinkKind::Serial: return "ser";
  }
  return "?";
}

}  // namespace

std::shared_ptr<LinkTrace> LinkTrace::open(const std::filesystem::path& path, std::string* error) {
  std::FILE* f = ::fopen(path.c_str(), "ae");  // append, close on exec
  if (!f) {
    if (error) *error = path.string() + ": " + std::system_category().message(errno);
    return nullptr;
  }
  return std::shared_ptr<LinkTrace>(new LinkTrace(f));
}

LinkTrace::~LinkTrace() {
  if (file_) std::fclose(file_);
}

std::string LinkTrace::render(std::string_view bytes) {
  std::string printable;
  for (char c : bytes) printable += (c >= 0x20 && c < 0x7F) ? c : '.';
  return hexDump(bytes) + "  |" + printable + "|";
}

void LinkTrace::line(LinkKind kind, const char* direction, std::string_view text) {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::lock_guard lock(mutex_);
  std::fprintf(file_, "%s.%03d %-3s %s %.*s\n", stamp, static_cast<int>(ms), kindName(kind), direction,
               static_cast<int>(text.size()), text.data());
  std::fflush(file_);
}

void LinkTrace::sent(LinkKind kind, std::string_view bytes) { line(kind, "->", render(bytes)); }
void LinkTrace::received(LinkKind kind, std::string_view bytes) { line(kind, "<-", render(bytes)); }
void LinkTrace::verdict(LinkKind kind, std::string_view text) { line(kind, "==", text); }

std::shared_ptr<LinkTrace> traceFromEnvironment(std::string* error) {
  const char* path = std::getenv(kTraceVariable);
  if (!path || !*path) return nullptr;
  return LinkTrace::open(path, error);
}

std::string receiveVerdict(int n, std::string_view reply, int expectedLength) {
  if (n == 0) return "timeout";
  if (n < 0) return (!reply.empty() && reply.back() == CR) ? "bad check byte" : "incomplete";
  if (n == 6 && reply[3] == NAK) return "NAK";
  if (n == 6 && reply[3] != ACK) return "wrong length";
  if (expectedLength == kAnyValidReply ? n >= 6 : (n == expectedLength || n >= 9)) return "accepted";
  return "wrong length";
}

}  // namespace cfg
