#include "app/archive_settings.h"

#include <cstdio>

#include "app/text_1252.h"

namespace cfg {

PathRefusal archivePathBytes(std::string_view utf8Path, std::string& bytes) {
  char32_t offending = 0;
  std::optional<std::string> exact = utf8ToCp1252Exact(utf8Path, &offending);
  char text[160];
  if (!exact) {
    std::snprintf(text, sizeof text,
                  "Percorso non valido: contiene un carattere (U+%04X) che non puo` essere salvato.",
                  static_cast<unsigned>(offending));
    return {text};
  }
  for (char c : *exact)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return {"Percorso non valido: contiene un carattere di controllo."};
  if (exact->size() > kArchivePathMax) {
    std::snprintf(text, sizeof text, "Percorso troppo lungo: %zu caratteri, al massimo %zu.", exact->size(),
                  kArchivePathMax);
    return {text};
  }
  bytes = std::move(*exact);
  return {};
}

PathRefusal storeArchivePath(std::string& field, std::string_view utf8Path) {
  std::string bytes;
  PathRefusal r = archivePathBytes(utf8Path, bytes);
  if (r) field = std::move(bytes);
  return r;
}

std::filesystem::path archivePathOnDisk(std::string_view stored) { return pathFromUtf8(cp1252ToUtf8(stored)); }

}  // namespace cfg
