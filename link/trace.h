// The protocol trace: what went over the line, for when a terminal misbehaves.
//
// Each line: local time with milliseconds, transport, direction ("->" sent,
// "<-" received, "==" the transaction's verdict), the bytes in hexadecimal
// and in printable form (other bytes as "."), or the verdict: "accepted",
// "bad check byte", "NAK", "timeout", "incomplete", "wrong length".
// Off unless a Link is given a trace; a Link without one pays nothing.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "link/link_config.h"

namespace cfg {

class LinkTrace {
 public:
  // Appends to the file; nothing when it cannot be opened, and then `error`
  // (when given) names the file and the system's reason: "PATH: Permission denied".
  static std::shared_ptr<LinkTrace> open(const std::filesystem::path& path, std::string* error = nullptr);
  ~LinkTrace();
  LinkTrace(const LinkTrace&) = delete;
  LinkTrace& operator=(const LinkTrace&) = delete;

  void sent(LinkKind kind, std::string_view bytes);
  void received(LinkKind kind, std::string_view bytes);
  void verdict(LinkKind kind, std::string_view text);

  // "01 30 31 02 ...  |.01..|"
  static std::string render(std::string_view bytes);

 private:
  explicit LinkTrace(std::FILE* file) : file_(file) {}
  void line(LinkKind kind, const char* direction, std::string_view text);

  std::mutex mutex_;
  std::FILE* file_;
};

// The environment variable that names cfgtool's trace file.
inline constexpr const char* kTraceVariable = "CFGTOOL_TRACE";
// The trace named by CFGTOOL_TRACE; nothing when it is unset, empty or cannot
// be opened (then `error`, when given, says why, as LinkTrace::open does).
std::shared_ptr<LinkTrace> traceFromEnvironment(std::string* error = nullptr);

// Verdict of one receive of the main protocol: n as the receive gave it.
std::string receiveVerdict(int n, std::string_view reply, int expectedLength);

}  // namespace cfg
