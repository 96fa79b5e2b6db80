#include "automation/batch_log.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace cfg {

bool appendLogLine(const std::filesystem::path& directory, std::string_view text, std::string* error) {
  const std::filesystem::path path = directory / kBatchLogName;
  auto fail = [&](DWORD code) {
    if (error) *error = win32::utf8FromWide(path.native()) + ": " + win32::errorText(code);
    return false;
  };
  // Opened for appending only: every write lands at the end in one piece,
  // whoever else (a batch, the scheduler, another program) appends beside
  // it; written through to the disk.
  win32::UniqueHandle h(::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
  if (!h) return fail(::GetLastError());
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  DWORD written = 0;
  if (!::WriteFile(h.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
    return fail(::GetLastError());
  if (written != line.size()) return fail(ERROR_DISK_FULL);
  if (!::FlushFileBuffers(h.get())) return fail(::GetLastError());
  return true;
}

}  // namespace cfg
