// format.dat reader on arbitrary bytes: a table it accepts holds at most 100
// formats, each of which writes back as a 116-byte line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "records/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cfg::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  cfg::FormatList list;
  list.entries.emplace_back();
  list.entries.back().name = "KEEP";
  bool ok = cfg::parseFormats(source, list);
  if (!ok && (list.entries.size() != 1 || list.entries[0].name != "KEEP")) std::abort();
  if (list.entries.size() > cfg::kFormatCapacity) std::abort();
  for (const auto& f : list.entries) {
    if (cfg::formatLine(f).size() != 114) std::abort();
  }
  return 0;
}
