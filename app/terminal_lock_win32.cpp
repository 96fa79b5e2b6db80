#include "app/terminal_lock.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace cfg {

TerminalLock::Result TerminalLock::acquire(const std::filesystem::path& path, std::string* error) {
  release();
  // Unshared: while this handle is open no other process (or open) gets
  // the file; the system closes it when its holder exits, even after a crash.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = ::GetLastError();
    if (code == ERROR_SHARING_VIOLATION) return Result::Busy;
    if (error) *error = win32::utf8FromWide(path.native()) + ": " + win32::errorText(code);
    return Result::Failed;
  }
  fd_.reset(h);
  return Result::Held;
}

}  // namespace cfg
