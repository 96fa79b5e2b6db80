// acqreg.dat / recent.dat reader on arbitrary bytes: whatever it takes into
// the settings writes back as the 19-line file of fixed length, and a file it
// cannot read whole always comes with the reason. The same bytes as a typed
// copy path: a path taken is at most 255 bytes without control characters,
// and names the very file that was typed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/settings_files.h"
#include "app/text_1252.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (cfg::ArchiveFile which : {cfg::ArchiveFile::Archive, cfg::ArchiveFile::Recent}) {
    cfg::MemorySource source(bytes);
    cfg::ArchiveSettings live;
    std::string why;
    if (!cfg::parseArchiveSettings(source, which, live, &why) && why.empty()) std::abort();
    if (cfg::archiveSettingsBytes(live).size() != 3127) std::abort();
  }
  std::string stored;
  if (cfg::archivePathBytes(bytes, stored)) {
    if (stored.size() > cfg::kArchivePathMax) std::abort();
    for (char c : stored)
      if (static_cast<unsigned char>(c) < 0x20) std::abort();
    if (cfg::archivePathOnDisk(stored).string() != bytes) std::abort();
  }
  return 0;
}
