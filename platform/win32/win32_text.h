// Windows: wide-character names and the system's error texts.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

namespace cfg::win32 {

// UTF-8 (the program's spelling of path names) to and from UTF-16.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

// The system's text for an error code, without its trailing line end
// ("Access is denied."); "errore N" when the system has none.
std::string errorText(DWORD code);

}  // namespace cfg::win32

#endif  // _WIN32
