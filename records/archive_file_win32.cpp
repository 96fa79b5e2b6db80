#include "records/archive_file.h"

#include <windows.h>

#include <cstring>
#include <cwctype>

#include "platform/win32/win32_text.h"

namespace cfg {

namespace {

std::string reasonOf(DWORD code) {
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return kArchiveInUse;
  return win32::errorText(code);
}

}  // namespace

std::string systemReason(int error) { return std::strerror(error); }

// NTFS makes a new directory entry durable with the file's own flush.
int syncDirectoryOf(const std::filesystem::path&) { return 0; }

std::string ArchiveFile::open(const std::filesystem::path& path) {
  const DWORD access = GENERIC_READ | GENERIC_WRITE;
  // Unshared, written through to the disk; not inherited by started programs.
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH;
  HANDLE h = ::CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    h = ::CreateFileW(path.c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (h != INVALID_HANDLE_VALUE) created_ = true;
    else if (::GetLastError() == ERROR_FILE_EXISTS)  // created meanwhile: open it again
      h = ::CreateFileW(path.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return reasonOf(::GetLastError());
  handle_.reset(h);
  // Only a file on disk: no device, pipe or console named as a copy.
  if (::GetFileType(h) != FILE_TYPE_DISK) return kArchiveNotRegular;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return reasonOf(::GetLastError());
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return kArchiveNotRegular;
  volume_ = info.dwVolumeSerialNumber;
  indexHigh_ = info.nFileIndexHigh;
  indexLow_ = info.nFileIndexLow;
  return {};
}

bool ArchiveFile::sameFile(const ArchiveFile& other) const {
  return handle_.valid() && other.handle_.valid() && volume_ == other.volume_ && indexHigh_ == other.indexHigh_ &&
         indexLow_ == other.indexLow_;
}

bool ArchiveFile::sameName(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ea, eb;
  std::wstring x = std::filesystem::weakly_canonical(a, ea).native();
  std::wstring y = std::filesystem::weakly_canonical(b, eb).native();
  if (ea || eb || x.size() != y.size()) return false;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (std::towlower(x[i]) != std::towlower(y[i])) return false;
  return true;
}

std::string ArchiveFile::lock() {
  // The open itself shares nothing: the file is this process's already.
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handle_.get(), &size)) return reasonOf(::GetLastError());
  end_ = size.QuadPart;
  return {};
}

std::string ArchiveFile::write(std::string_view bytes) {
  touched_ = true;
  LARGE_INTEGER at{};
  at.QuadPart = end_;
  if (!::SetFilePointerEx(handle_.get(), at, nullptr, FILE_BEGIN)) return reasonOf(::GetLastError());
  DWORD n = 0;
  if (!::WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr))
    return reasonOf(::GetLastError());
  if (n != bytes.size()) return "scritti " + std::to_string(n) + " byte su " + std::to_string(bytes.size());
  if (!::FlushFileBuffers(handle_.get())) return reasonOf(::GetLastError());
  return {};
}

void ArchiveFile::cutBack() {
  if (!touched_ || !handle_.valid()) return;
  LARGE_INTEGER at{};
  at.QuadPart = end_;
  if (::SetFilePointerEx(handle_.get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle_.get()))
    ::FlushFileBuffers(handle_.get());
}

std::string ArchiveFile::close() {
  if (!handle_.valid()) return {};
  return ::CloseHandle(handle_.release()) ? std::string() : reasonOf(::GetLastError());
}

}  // namespace cfg
