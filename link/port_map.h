// Serial port names stay "COM1" ... in every file, so that files move between
// installations. This map turns a name into a device path: COMn is
// /dev/ttyS(n-1) unless the working directory's "porte.dat" says otherwise,
// one "NAME PATH" pair per line (e.g. "COM5 /dev/ttyUSB0").
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace cfg {

inline constexpr const char* kPortMapFile = "porte.dat";

class PortMap {
 public:
  // Reads directory/porte.dat when present; a missing file leaves the defaults.
  // Lines that are empty or start with '#' are skipped; names compare
  // case-insensitively.
  static PortMap load(const std::filesystem::path& directory);

  void set(std::string_view name, std::string path);
  std::string devicePath(std::string_view name) const;

 private:
  std::map<std::string, std::string> overrides_;
};

}  // namespace cfg
