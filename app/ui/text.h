// Windows-1252 texts of the core at the widget boundary.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "app/text_1252.h"

namespace cfg::ui {

inline QString fromCp1252(std::string_view bytes) { return QString::fromStdString(cp1252ToUtf8(bytes)); }
inline std::string toCp1252(const QString& text) { return utf8ToCp1252(text.toStdString()); }

}  // namespace cfg::ui
