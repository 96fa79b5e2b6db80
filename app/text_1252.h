// Windows-1252 bytes (files, wire texts, registry fields) to and from UTF-8
// (what the GUI and a terminal show). Every byte maps to one character; the
// five bytes that code page leaves undefined are kept as the C1 controls of
// the same value, so a round trip never loses a byte.
#pragma once

#include <string>
#include <string_view>

namespace cfg {

std::string cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 cannot hold become '?'; malformed UTF-8
// sequences become '?' too.
std::string utf8ToCp1252(std::string_view text);

}  // namespace cfg
