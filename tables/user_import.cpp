#include "tables/user_import.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tables/users.h"
#include "link/hex.h"

namespace cfg {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a numeric field: blanks around it allowed, empty is 0; -1
// when it holds anything but digits.
long long value(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return 0;
  if (s.size() > 12 || !std::all_of(s.begin(), s.end(), isDigit)) return -1;
  long long v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

// Three digits of a description file, blanks in front allowed.
std::optional<unsigned> filedNumber(std::string_view s) {
  long long v = value(s);
  if (v < 0 || s.find_first_not_of(' ') == std::string_view::npos) return std::nullopt;
  return static_cast<unsigned>(v);
}

ImportDescriptionCheck lengthFault(ImportField field, const char* message) {
  return ImportDescriptionCheck{false, false, field, message};
}

// The field's text in `line`, or its fixed value; nothing when the field
// does not lie inside the line.
std::optional<std::string_view> fieldText(std::string_view line, unsigned total, const ImportFieldSpec& f) {
  if (f.position == 0 && f.length == 0) return std::string_view(f.fixed);
  if (f.position == 0 || f.position - 1 + f.length > total) return std::nullopt;
  return line.substr(f.position - 1, f.length);
}

std::optional<std::string> importLine(std::string_view line, const ImportDescription& d) {
  using F = ImportField;
  std::optional<std::string_view> text[kImportFields];
  for (std::size_t i = 0; i < kImportFields; ++i)
    if (!(text[i] = fieldText(line, d.totalLength, d.fields[i]))) return std::nullopt;
  auto at = [&](F f) { return *text[static_cast<std::size_t>(f)]; };
  long long company = value(at(F::Company)), personnel = value(at(F::Personnel)), pin = value(at(F::Pin));
  auto expiry = normalisedDate(at(F::Expiry));
  long long counter = value(at(F::Counter)), policy = value(at(F::Policy));
  long long extra1 = value(at(F::Extra1)), extra2 = value(at(F::Extra2));
  if (company < 0 || company > 99 || personnel < 1 || personnel > 999999999 || pin < 0 || pin > 9999 || !expiry ||
      counter < 0 || counter > 9999 || policy < 0 || policy > 255 || extra1 < 0 || extra1 > 255 || extra2 < 0 ||
      extra2 > 255)
    return std::nullopt;
  return userLine(UserRecord{static_cast<int>(company), static_cast<long>(personnel), static_cast<unsigned>(pin),
                             *expiry, static_cast<unsigned>(counter), static_cast<unsigned>(policy),
                             static_cast<unsigned>(extra1), static_cast<unsigned>(extra2)});
}

}  // namespace

ImportDescriptionCheck checkImportDescription(const ImportDescription& d) {
  using F = ImportField;
  if (d[F::Company].length > 2) return lengthFault(F::Company, "Errore lunghezza 'azienda' non valida (0-2).");
  if (d[F::Personnel].length > 9) return lengthFault(F::Personnel, "Errore lunghezza 'matricola' non valida (0-9).");
  if (d[F::Pin].length > 4) return lengthFault(F::Pin, "Errore lunghezza 'pin-code' non valida (0-4).");
  if (d[F::Expiry].length != 0 && d[F::Expiry].length != 10)
    return lengthFault(F::Expiry, "Errore lunghezza 'scadenza' non valida (0,10).");
  if (d[F::Counter].length > 4) return lengthFault(F::Counter, "Errore lunghezza 'scalare' non valida (0-4).");
  if (d[F::Policy].length > 3) return lengthFault(F::Policy, "Errore lunghezza 'politica' non valida (0-3).");
  if (d[F::Extra1].length > 3) return lengthFault(F::Extra1, "Errore lunghezza 'dati extra' non valida (0-3).");
  if (d[F::Extra2].length > 3) return lengthFault(F::Extra2, "Errore lunghezza 'dati extra' non valida (0-3).");
  if (d.totalLength == 0 || d.totalLength > 255)
    return ImportDescriptionCheck{false, true, F::Company, "Errore lunghezza totale non valida (1-255)."};
  return {};
}

std::string importDescriptionText(const ImportDescription& d) {
  std::string out;
  char line[64];
  for (const auto& f : d.fields) {
    std::string fixed = f.fixed.substr(0, kFixedValueFiled);
    std::snprintf(line, sizeof line, "%03u %03u %-10s\r\n", std::min(f.position, 999u), std::min(f.length, 999u),
                  fixed.c_str());
    out += line;
  }
  std::snprintf(line, sizeof line, "%03u\r\n", std::min(d.totalLength, 999u));
  return out + line;
}

bool saveImportDescription(const std::filesystem::path& path, const ImportDescription& d) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  std::error_code ec;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << importDescriptionText(d);
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

std::optional<ImportDescription> loadImportDescription(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || bytes.size() < kImportFields * 20 + 5) return std::nullopt;
  ImportDescription d;
  for (std::size_t i = 0; i < kImportFields; ++i) {
    std::string_view line = std::string_view(bytes).substr(i * 20, 20);
    auto position = filedNumber(line.substr(0, 3)), length = filedNumber(line.substr(4, 3));
    if (!position || !length || line[3] != ' ' || line[7] != ' ' || line.substr(18) != "\r\n") return std::nullopt;
    d.fields[i] = {*position, *length, trimmedRight(line.substr(8, kFixedValueFiled))};
  }
  std::string_view last = std::string_view(bytes).substr(kImportFields * 20, 5);
  auto total = filedNumber(last.substr(0, 3));
  if (!total || last.substr(3) != "\r\n") return std::nullopt;
  d.totalLength = *total;
  return d;
}

bool importUsers(const std::filesystem::path& source, const ImportDescription& d, int capacity,
                 std::vector<std::string>& list) {
  if (!checkImportDescription(d).ok) return false;
  std::ifstream in(source, std::ios::binary);
  if (!in) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  std::vector<std::string> read;
  const std::size_t room = static_cast<std::size_t>(std::clamp(capacity, 0, kMaxUserCapacity));
  std::size_t at = 0;
  while (read.size() < room && at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
    std::string_view line(bytes.data() + at, (end == std::string::npos ? bytes.size() : end) - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = next;
    if (line.size() < d.totalLength) break;  // a short line ends the import
    if (line.size() > d.totalLength) return false;
    auto record = importLine(line, d);
    if (!record) return false;
    read.push_back(std::move(*record));
  }
  list = std::move(read);
  return true;
}

}  // namespace cfg
