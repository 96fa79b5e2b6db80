#include "app/terminal_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cfg {

std::filesystem::path terminalLockPath(const std::filesystem::path& directory, unsigned number) {
  char name[32];
  std::snprintf(name, sizeof name, "terminale-%04u.lck", number % 10000);
  return directory / name;
}

std::filesystem::path handheldLockPath(const std::filesystem::path& directory, std::string_view id) {
  // A handheld id is four characters; anything that could leave the folder
  // or is not printable becomes '_'.
  std::string safe;
  for (char c : id.substr(0, 8)) {
    unsigned char u = static_cast<unsigned char>(c);
    safe += (u > 0x20 && u < 0x7F && c != '/' && c != '\\' && c != '.') ? c : '_';
  }
  return directory / ("palmare-" + safe + ".lck");
}

}  // namespace cfg
