#include "link/port_map.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace cfg {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

PortMap PortMap::load(const std::filesystem::path& directory) {
  PortMap map;
  std::ifstream in(directory / kPortMapFile, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string name, path;
    if (!(fields >> name) || name[0] == '#' || !(fields >> path)) continue;
    map.set(name, path);
  }
  return map;
}

void PortMap::set(std::string_view name, std::string path) { overrides_[upper(name)] = std::move(path); }

std::string PortMap::devicePath(std::string_view name) const {
  std::string key = upper(name);
  if (auto it = overrides_.find(key); it != overrides_.end()) return it->second;
#ifdef _WIN32
  // COM names are the system's own: the device is the name in the device
  // namespace, which also reaches COM10 and above.
  return "\\\\.\\" + std::string(name);
#endif
  if (key.size() > 3 && key.compare(0, 3, "COM") == 0) {
    int n = 0;
    for (std::size_t i = 3; i < key.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(key[i])) || n > 999) return std::string(name);
      n = n * 10 + (key[i] - '0');
    }
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return std::string(name);
}

}  // namespace cfg
