#include "app/text_1252.h"

#ifdef _WIN32
#include "platform/win32/win32_text.h"
#endif

#include <array>
#include <cstdint>

namespace cfg {

namespace {

// 0x80-0x9F; undefined positions map to themselves.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The byte for a character, -1 when Windows-1252 has none.
int toByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when malformed.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& c) {
  auto b = static_cast<unsigned char>(text[i]);
  int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= text.size()) return 0;
  c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k <= extra; ++k) {
    auto cont = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((cont & 0xC0) != 0x80) return 0;
    c = (c << 6) | (cont & 0x3F);
  }
  // An overlong form ("A" as C1 81) is malformed: it would name another text.
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[extra]) return 0;
  return static_cast<std::size_t>(extra) + 1;
}

}  // namespace

std::string cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    appendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    std::size_t n = decodeUtf8(text, i, c);
    int b = n ? toByte(c) : -1;
    out += b < 0 ? '?' : static_cast<char>(b);
    i += n ? n : 1;
  }
  return out;
}

std::optional<std::string> utf8ToCp1252Exact(std::string_view text, char32_t* offending) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t c = 0;
    std::size_t n = decodeUtf8(text, i, c);
    int b = n ? toByte(c) : -1;
    if (b < 0) {
      if (offending) *offending = n ? c : char32_t{0xFFFD};
      return std::nullopt;
    }
    out += static_cast<char>(b);
    i += n;
  }
  return out;
}

#ifdef _WIN32
std::filesystem::path pathFromUtf8(std::string_view text) { return std::filesystem::path(win32::wideFromUtf8(text)); }
std::string utf8FromPath(const std::filesystem::path& path) { return win32::utf8FromWide(path.native()); }
#else
std::filesystem::path pathFromUtf8(std::string_view text) { return std::filesystem::path(std::string(text)); }
std::string utf8FromPath(const std::filesystem::path& path) { return path.string(); }
#endif

}  // namespace cfg
