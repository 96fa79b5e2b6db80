// Windows-1252 bytes (files, wire texts, registry fields) to and from UTF-8
// (what the GUI and a terminal show). Every byte maps to one character; the
// five bytes that code page leaves undefined are kept as the C1 controls of
// the same value, so a round trip never loses a byte.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace cfg {

std::string cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 cannot hold become '?'; malformed UTF-8
// sequences become '?' too.
std::string utf8ToCp1252(std::string_view text);

// The exact Windows-1252 bytes of a UTF-8 text, for texts that must come back
// unchanged (a file's path). Nothing when the text is not valid UTF-8 or
// holds a character that code page cannot hold; `offending` then gets that
// character (U+FFFD for a malformed sequence).
std::optional<std::string> utf8ToCp1252Exact(std::string_view text, char32_t* offending = nullptr);

// A path named by UTF-8 text, and a path's UTF-8 text. Linux: the same
// bytes both ways. Windows: the UTF-16 names the system uses (text that is
// not UTF-8 is read as Windows-1252), where the library's own narrow
// conversion would take each byte for one character.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace cfg
