#include "app/archive_settings.h"

namespace cfg {

bool storeArchivePath(std::string& field, std::string_view path) {
  if (path.size() > kArchivePathMax) return false;
  field.assign(path);
  return true;
}

}  // namespace cfg
