#include "app/instance_lock.h"

#include <windows.h>

#include <cstdlib>

#include "platform/win32/win32_text.h"

namespace cfg {

namespace {
constexpr const char* kMailslot = "\\\\.\\mailslot\\orbita";
}

std::filesystem::path defaultLockPath() {
  if (const char* name = std::getenv("CFGTOOL_LOCK_FILE"); name && *name)
    return std::filesystem::path(win32::wideFromUtf8(std::string("\\\\.\\mailslot\\") +
                                                     std::filesystem::path(name).filename().string()));
  return std::filesystem::path(win32::wideFromUtf8(kMailslot));
}

bool InstanceLock::acquire(const std::filesystem::path& path) {
  if (held()) return true;
  // Only one process can create a mailslot of a given name; a second
  // CreateMailslot fails with ERROR_ALREADY_EXISTS while the first lives.
  // Null security attributes: the handle is not inherited.
  HANDLE slot = ::CreateMailslotW(path.c_str(), 0, 0, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return false;
  fd_.reset(slot);
  return true;
}

void InstanceLock::release() { fd_.reset(); }

}  // namespace cfg
