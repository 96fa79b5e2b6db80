// config.dat reader on arbitrary bytes: no crash, no read out of bounds,
// every row it keeps writes back as a line of the full length, and every line
// it leaves out is named by its number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cfg::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> badLines;
  auto rows = cfg::parseRegistry(source, &badLines);
  if (rows.size() > cfg::kRegistryCapacity) std::abort();
  for (const auto& line : badLines)
    if (line.compare(0, 5, "riga ") != 0) std::abort();
  for (const auto& row : rows) {
    if (!cfg::isRegistryModel(row.model)) std::abort();
    if (cfg::registryLine(row).size() != 206) std::abort();
  }
  return 0;
}
