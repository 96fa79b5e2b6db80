// password.txt reader on arbitrary bytes: a password it accepts is at most
// eight bytes and writes back as one 10-byte line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  cfg::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  auto password = cfg::parsePasswordFile(source.take(10));
  if (password && cfg::padded(*password, 8).size() != 8) std::abort();
  return 0;
}
