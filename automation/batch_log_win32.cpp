#include "automation/batch_log.h"

#include <windows.h>

#include <mutex>

#include "platform/win32/os_handle.h"
#include "platform/win32/win32_text.h"

namespace cfg {

namespace {
// Another program holding the log longer than this makes the line fail.
constexpr int kLockWaitMs = 2000;
constexpr int kLockStepMs = 10;
}  // namespace

bool appendLogLine(const std::filesystem::path& directory, std::string_view text, std::string* error) {
  const std::filesystem::path path = directory / kBatchLogName;
  auto fail = [&](DWORD code) {
    if (error) *error = win32::utf8FromWide(path.native()) + ": " + win32::errorText(code);
    return false;
  };
  // Shared, so that a batch, the scheduler and another program can each
  // append; written through to the disk. Each line goes out whole at the
  // end: this process's writers take turns, and the file is locked while
  // the line is placed, against writers in other processes.
  static std::mutex writers;
  std::lock_guard<std::mutex> turn(writers);
  OsHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!h) return fail(::GetLastError());
  OVERLAPPED whole{};
  bool locked = false;
  for (int waited = 0; waited <= kLockWaitMs; waited += kLockStepMs) {
    if (::LockFileEx(h.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
      locked = true;
      break;
    }
    ::Sleep(kLockStepMs);
  }
  if (!locked) return fail(ERROR_LOCK_VIOLATION);
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  LARGE_INTEGER end{};
  DWORD written = 0;
  bool ok = ::SetFilePointerEx(h.get(), LARGE_INTEGER{}, &end, FILE_END) &&
            ::WriteFile(h.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  DWORD code = ok ? 0 : ::GetLastError();
  if (ok && written != line.size()) code = ERROR_DISK_FULL;
  if (code == 0 && !::FlushFileBuffers(h.get())) code = ::GetLastError();
  ::UnlockFileEx(h.get(), 0, MAXDWORD, MAXDWORD, &whole);
  if (code != 0) return fail(code);
  return true;
}

}  // namespace cfg
