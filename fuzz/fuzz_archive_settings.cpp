// acqreg.dat / recent.dat reader on arbitrary bytes: whatever it takes into
// the settings writes back as the 19-line file of fixed length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/settings_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (cfg::ArchiveFile which : {cfg::ArchiveFile::Archive, cfg::ArchiveFile::Recent}) {
    cfg::MemorySource source(bytes);
    cfg::ArchiveSettings live;
    cfg::parseArchiveSettings(source, which, live);
    if (cfg::archiveSettingsBytes(live).size() != 3127) std::abort();
  }
  return 0;
}
