#include "platform/win32/win32_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/win32/os_handle.h"
#include "platform/win32/posix_files.h"

namespace cfg::win32 {

std::wstring wideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    // Not UTF-8: taken as Windows-1252, the files' own encoding.
    n = ::MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
  }
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string errorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer) {
    text = utf8FromWide(std::wstring_view(buffer, n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  }
  if (buffer) ::LocalFree(buffer);
  if (text.empty()) text = "errore " + std::to_string(code);
  return text;
}

}  // namespace cfg::win32

// The C runtime's rename() refuses an existing target; the saves replace it.
int cfgRenameReplacing(const wchar_t* from, const wchar_t* to) {
  if (::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  errno = ::GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return -1;
}

FILE* cfgOpenStream(const wchar_t* path, const char* mode) {
  std::wstring wide;
  for (const char* m = mode; *m; ++m)
    if (*m != 'e' && *m != 'b') wide += static_cast<wchar_t>(*m);
  wide += L"bN";
  return ::_wfopen(path, wide.c_str());
}

void cfg::closeOsHandle(void* handle) {
  if (handle) ::CloseHandle(static_cast<HANDLE>(handle));
}

char* mkdtemp(char* templ) {
  std::size_t n = std::strlen(templ);
  if (n < 6 || std::strcmp(templ + n - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned long long seed = ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 20);
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = n - 6; i < n; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      templ[i] = kLetters[(seed >> 33) % 36];
    }
    if (::CreateDirectoryW(cfg::win32::wideFromUtf8(templ).c_str(), nullptr)) return templ;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  errno = EEXIST;
  return nullptr;
}
