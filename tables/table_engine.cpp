#include "tables/table_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kReplyCapacity = 256;
constexpr int kReadTimeoutMs = 750;
constexpr int kPauseMs = 25;

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Decimal number of a field with optional leading blanks; -1 when not a number.
long long number(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!allDigits(s) || s.size() > 12) return -1;
  return std::strtoll(std::string(s).c_str(), nullptr, 10);
}

std::string field(std::string_view line, std::size_t at, std::size_t n) {
  if (at >= line.size()) return {};
  return trimmedRight(line.substr(at, n));
}

std::string fmt(const char* format, auto... args) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

// Text on the wire: two hexadecimal digits per character, blank-padded.
std::string wireText(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return bytesToHex(padded);
}

std::optional<std::string> textOfWire(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int b = hexPairAt(hex, i);
    if (b < 0) return std::nullopt;
    out += static_cast<char>(b);
  }
  trimTrailingBlanks(out);
  return out;
}

bool validFlags(std::string_view f) {
  return f.size() == 8 && std::all_of(f.begin(), f.end(), [](char c) { return c == 'S' || c == 'N'; });
}

// L M M G V S D F → bit 0 Sunday, bits 1-6 Monday-Saturday, bit 7 holidays.
std::uint8_t dayByte(std::string_view f) {
  std::uint8_t b = 0;
  for (int i = 0; i < 6; ++i)
    if (f[static_cast<std::size_t>(i)] == 'S') b |= static_cast<std::uint8_t>(1u << (i + 1));
  if (f[6] == 'S') b |= 0x01;
  if (f[7] == 'S') b |= 0x80;
  return b;
}

std::string flagsOf(std::uint8_t b) {
  std::string f(8, 'N');
  for (int i = 0; i < 6; ++i)
    if (b & (1u << (i + 1))) f[static_cast<std::size_t>(i)] = 'S';
  if (b & 0x01) f[6] = 'S';
  if (b & 0x80) f[7] = 'S';
  return f;
}

std::string hhmm(std::string_view time) { return std::string(time.substr(0, 2)) + std::string(time.substr(3, 2)); }

std::optional<std::string> timeOfWire(std::string_view d) {
  std::string t = std::string(d.substr(0, 2)) + ":" + std::string(d.substr(2, 2));
  if (!validTime(t)) return std::nullopt;
  return t;
}

// Day flags of an old line (seven flags) get holidays "N".
std::string flagsField(std::string_view line, std::size_t at, bool old) {
  std::string f = field(line, at, old ? 7 : 8);
  if (old) f += 'N';
  return f;
}

// --- access policies: "%03u %-5s %-5s %-8s" ---
std::optional<std::string> policyParse(std::string_view line) {
  bool old = line.size() == 23;
  if (line.size() != 24 && !old) return std::nullopt;
  long long code = number(line.substr(0, 3));
  std::string from = field(line, 4, 5), to = field(line, 10, 5), flags = flagsField(line, 16, old);
  if (code < 1 || code > 255 || !validTime(from) || !validTime(to) || !validFlags(flags)) return std::nullopt;
  return fmt("%03u %-5s %-5s %-8s", static_cast<unsigned>(code), from.c_str(), to.c_str(), flags.c_str());
}
std::string policyWire(const std::string& r) {
  return byteToHex(static_cast<std::uint8_t>(number(r.substr(0, 3)))) + hhmm(r.substr(4, 5)) +
         hhmm(r.substr(10, 5)) + byteToHex(dayByte(r.substr(16, 8))) + "00";
}
std::optional<std::string> policyOfWire(std::string_view d) {
  int code = hexPairAt(d, 0), days = hexPairAt(d, 10);
  auto from = timeOfWire(d.substr(2, 4)), to = timeOfWire(d.substr(6, 4));
  if (code < 0 || days < 0 || !from || !to) return std::nullopt;
  return fmt("%03u %-5s %-5s %-8s", static_cast<unsigned>(code), from->c_str(), to->c_str(),
             flagsOf(static_cast<std::uint8_t>(days)).c_str());
}

// --- sirens: "%d %-5s %-8s " then "%02d" or "ON"/"OF" ---
std::optional<std::string> sirenParse(std::string_view line) {
  bool old = line.size() == 18;
  if (line.size() != 19 && !old) return std::nullopt;
  long long channel = number(line.substr(0, 1));
  std::string time = field(line, 2, 5), flags = flagsField(line, 8, old);
  std::string action(line.substr(old ? 16 : 17, 2));
  if (channel < 1 || channel > 4 || !validTime(time) || !validFlags(flags)) return std::nullopt;
  if (action != "ON" && action != "OF") {
    long long d = allDigits(action) ? number(action) : -1;
    if (d < 1 || d > 99) return std::nullopt;
  }
  return fmt("%d %-5s %-8s %s", static_cast<int>(channel), time.c_str(), flags.c_str(), action.c_str());
}
std::string sirenWire(const std::string& r) {
  std::string action = r.substr(17, 2);
  std::uint8_t a = action == "ON" ? 129 : action == "OF" ? 128 : static_cast<std::uint8_t>(number(action));
  return byteToHex(static_cast<std::uint8_t>(r[0] - '0')) + hhmm(r.substr(2, 5)) + byteToHex(dayByte(r.substr(8, 8))) +
         byteToHex(a);
}
std::optional<std::string> sirenOfWire(std::string_view d) {
  int channel = hexPairAt(d, 0), days = hexPairAt(d, 6), a = hexPairAt(d, 8);
  auto time = timeOfWire(d.substr(2, 4));
  if (channel < 1 || channel > 9 || days < 0 || a < 0 || !time) return std::nullopt;
  std::string action = a >= 100 ? (a % 2 ? "ON" : "OF") : fmt("%02d", a);
  return fmt("%d %-5s %-8s %s", channel, time->c_str(), flagsOf(static_cast<std::uint8_t>(days)).c_str(),
             action.c_str());
}

// --- user messages: "%02d %09ld %-16s" ---
std::optional<std::string> messageParse(std::string_view line) {
  if (line.size() != 29) return std::nullopt;
  long long company = number(line.substr(0, 2)), person = number(line.substr(3, 9));
  if (company < 0 || company > 99 || person < 1 || person > 999999999) return std::nullopt;
  return fmt("%02d %09ld %-16s", static_cast<int>(company), static_cast<long>(person), field(line, 13, 16).c_str());
}
std::string messageWire(const std::string& r) {
  return fmt("%02X%08lX", static_cast<unsigned>(number(r.substr(0, 2))),
             static_cast<unsigned long>(number(r.substr(3, 9)))) +
         wireText(field(r, 13, 16), 16);
}
std::optional<std::string> messageOfWire(std::string_view d) {
  int company = hexPairAt(d, 0);
  auto person = hex8ToU32(d.substr(2, 8));
  auto text = textOfWire(d.substr(10, 32));
  if (company < 0 || company > 99 || !person || *person > 999999999 || !text) return std::nullopt;
  return fmt("%02d %09ld %-16s", company, static_cast<long>(*person), text->c_str());
}

// --- exit direction: "%-5s %-5s %-8s" ---
std::optional<std::string> exitParse(std::string_view line) {
  bool old = line.size() == 19;
  if (line.size() != 20 && !old) return std::nullopt;
  std::string from = field(line, 0, 5), to = field(line, 6, 5), flags = flagsField(line, 12, old);
  if (!validTime(from) || !validTime(to) || !validFlags(flags)) return std::nullopt;
  return fmt("%-5s %-5s %-8s", from.c_str(), to.c_str(), flags.c_str());
}
std::string exitWire(const std::string& r) {
  return hhmm(r.substr(0, 5)) + hhmm(r.substr(6, 5)) + byteToHex(dayByte(r.substr(12, 8)));
}
std::optional<std::string> exitOfWire(std::string_view d) {
  auto from = timeOfWire(d.substr(0, 4)), to = timeOfWire(d.substr(4, 4));
  int days = hexPairAt(d, 8);
  if (!from || !to || days < 0) return std::nullopt;
  return fmt("%-5s %-5s %-8s", from->c_str(), to->c_str(), flagsOf(static_cast<std::uint8_t>(days)).c_str());
}

// --- justifications: "%-5s %-16s %02d", the last field written 00 ---
std::optional<std::string> justificationParse(std::string_view line) {
  if (line.size() != 25) return std::nullopt;
  std::string code(line.substr(0, 5));
  if (!allDigits(code) || number(code) < 1) return std::nullopt;
  return fmt("%-5s %-16s %02d", code.c_str(), field(line, 6, 16).c_str(), 0);
}
std::string justificationWire(const std::string& r) { return "0" + r.substr(0, 5) + wireText(field(r, 6, 16), 16) + "00"; }
std::optional<std::string> justificationOfWire(std::string_view d) {
  std::string code(d.substr(1, 5));
  auto text = textOfWire(d.substr(6, 32));
  if (!allDigits(code) || !text) return std::nullopt;
  return fmt("%-5s %-16s %02d", code.c_str(), text->c_str(), 0);
}

// --- holidays: "%-5s" ---
std::optional<std::string> holidayParse(std::string_view line) {
  if (line.size() != 5 || !validHoliday(line)) return std::nullopt;
  return std::string(line);
}
std::string noWire(const std::string&) { return {}; }
std::optional<std::string> noOfWire(std::string_view) { return std::nullopt; }

// --- sites and job activities: "%-10s %-16s" ---
std::optional<std::string> siteParse(std::string_view line) {
  if (line.size() != 27 || !validSiteCode(line.substr(0, 10))) return std::nullopt;
  return fmt("%-10s %-16s", std::string(line.substr(0, 10)).c_str(), field(line, 11, 16).c_str());
}
std::string siteWire(const std::string& r) { return r.substr(0, 10) + wireText(field(r, 11, 16), 16); }
std::optional<std::string> siteOfWire(std::string_view d) {
  auto text = textOfWire(d.substr(10, 32));
  if (!validSiteCode(d.substr(0, 10)) || !text) return std::nullopt;
  return fmt("%-10s %-16s", std::string(d.substr(0, 10)).c_str(), text->c_str());
}

// --- production program: "%05d %-16s %03d %03d %03d %03d %03d %03d" ---
std::string programLine(long line, const std::string& text, const int b[6]) {
  return fmt("%05ld %-16s %03d %03d %03d %03d %03d %03d", line, text.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]);
}
std::optional<std::string> programParse(std::string_view line) {
  if (line.size() != 46) return std::nullopt;
  long long n = number(line.substr(0, 5));
  if (n < 1 || n > 65535) return std::nullopt;
  int b[6];
  for (int i = 0; i < 6; ++i) {
    long long v = number(line.substr(23 + 4 * static_cast<std::size_t>(i), 3));
    if (v < 0 || v > 255) return std::nullopt;
    b[i] = static_cast<int>(v);
  }
  return programLine(static_cast<long>(n), field(line, 6, 16), b);
}
std::string programWire(const std::string& r) {
  std::string out = fmt("%04X", static_cast<unsigned>(number(r.substr(0, 5)))) + wireText(field(r, 6, 16), 16);
  for (int i = 0; i < 6; ++i)
    out += byteToHex(static_cast<std::uint8_t>(number(r.substr(23 + 4 * static_cast<std::size_t>(i), 3))));
  return out;
}
std::optional<std::string> programOfWire(std::string_view d) {
  auto n = hex4ToU16(d.substr(0, 4));
  auto text = textOfWire(d.substr(4, 32));
  if (!n || *n == 0 || !text) return std::nullopt;
  int b[6];
  for (int i = 0; i < 6; ++i)
    if ((b[i] = hexPairAt(d, 36 + 2 * static_cast<std::size_t>(i))) < 0) return std::nullopt;
  return programLine(*n, *text, b);
}

// --- production tables: "%03d %03d %-16s %-15s" ---
std::optional<std::string> itemParse(std::string_view line) {
  if (line.size() != 40) return std::nullopt;
  long long code = number(line.substr(0, 3));
  if (code < 1 || code > 255) return std::nullopt;
  return fmt("%03d %03d %-16s %-15s", static_cast<int>(code), 0, field(line, 8, 16).c_str(),
             field(line, 25, 15).c_str());
}
std::string itemWire(const std::string& r) {
  return byteToHex(static_cast<std::uint8_t>(number(r.substr(0, 3)))) + "00" + wireText(field(r, 8, 16), 16) +
         wireText(field(r, 25, 15), 15) + "00";
}
std::optional<std::string> itemOfWire(std::string_view d) {
  int code = hexPairAt(d, 0);
  auto text = textOfWire(d.substr(4, 32)), value = textOfWire(d.substr(36, 30));
  if (code < 1 || !text || !value) return std::nullopt;
  return fmt("%03d %03d %-16s %-15s", code, 0, text->c_str(), value->c_str());
}

const char* const kAccessModels[] = {"LX-P1", "LX-P2", "LX-K2", "LX-K3", "LX-K4", "LX-K5"};

std::vector<TableDescriptor> makeTables() {
  std::vector<const char*> access(std::begin(kAccessModels), std::end(kAccessModels));
  return {
      {TableId::Policies, "policies", "Politiche di Accesso", "politica.txt", 2048, 26, 25, 14, "1A", 750, "1C", 1000,
       "18", "00000000000000", nullptr, access, policyParse, policyWire, policyOfWire},
      {TableId::Sirens, "sirens", "Attivazione Sirene", "sirene.txt", 64, 21, 20, 10, "22", 750, "23", 1000, "20",
       "0000000000", nullptr, access, sirenParse, sirenWire, sirenOfWire},
      {TableId::Messages, "messages", "Messaggi Utente", "messaggi.txt", 5850, 31, 0, 42, "12", 750, "14", 1000, "10",
       "000000000000000000000000000000000000000000", nullptr, {"LX-P1", "LX-P2", "LX-K2", "LX-K5"}, messageParse,
       messageWire, messageOfWire},
      {TableId::ExitDirection, "exit-direction", "Verso Timbratura di Uscita", "versousc.txt", 64, 22, 21, 10, "26",
       750, "27", 1000, "24", "0000000000", nullptr, access, exitParse, exitWire, exitOfWire},
      {TableId::Justifications, "justifications", "Elenco Giustificativi", "giustifi.txt", 50, 27, 0, 40, "52", 750,
       "53", 1000, "50", "0000000000000000000000000000000000000000", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
       {"LX-P2", "LX-K5", "HND  "}, justificationParse, justificationWire, justificationOfWire},
      {TableId::Holidays, "holidays", "Elenco Festivita`", "", 64, 7, 0, 0, "", 250, "", 0, "", "", nullptr, access,
       holidayParse, noWire, noOfWire},
      {TableId::Sites, "sites", "Elenco Cantieri", "file_sit.txt", 186, 29, 0, 42, "72", 750, "73", 1000, "70",
       "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", nullptr, {"HND  "}, siteParse, siteWire, siteOfWire},
      {TableId::Activities, "activities", "Elenco Attivit\xE0 Commessa", "file_act.txt", 186, 29, 0, 42, "7C", 750,
       "7D", 1000, "7A", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", nullptr, {"HND  "}, siteParse, siteWire,
       siteOfWire},
      {TableId::ProductionProgram, "production-program", "Produzione: programma", "program.txt", 1000, 48, 0, 48, "56",
       750, "57", 3000, "54", "FFFF", nullptr, {"LX-P1", "LX-P2", "HND  "}, programParse, programWire, programOfWire},
      {TableId::ProductionTables, "production-tables", "Produzione: tabelle", "tabelle.txt", 1000, 42, 0, 68, "5A",
       750, "5C", 3500, "58", "FF", nullptr, {"LX-P1", "LX-P2", "HND  "}, itemParse, itemWire, itemOfWire},
  };
}

bool isBigModel(std::string_view model) { return model == "LX-P2" || model == "LX-K5"; }

// The file's records, read line by line until `room` records, the end of
// the file or a partial line; nothing when the file cannot be read or a
// line is not valid.
std::optional<std::vector<std::string>> readLines(const TableDescriptor& t, const std::filesystem::path& path,
                                                  std::size_t room) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  std::vector<std::string> out;
  std::size_t at = 0;
  const std::size_t first = static_cast<std::size_t>(t.oldLineLength ? t.oldLineLength : t.lineLength);
  while (out.size() < room) {
    if (bytes.size() - at < first) break;  // a partial last line ends the file
    std::size_t n = first;
    if (t.oldLineLength && bytes[at + n - 1] != '\n') {
      if (bytes.size() - at < n + 1) break;
      ++n;
    }
    std::string_view line(bytes.data() + at, n);
    if (line.substr(n - 2) != "\r\n") return std::nullopt;
    auto record = t.parseLine(line.substr(0, n - 2));
    if (!record) return std::nullopt;
    out.push_back(std::move(*record));
    at += n;
  }
  return out;
}

// The holiday commands of a model: write and read formats, first word index.
struct HolidayArea {
  const char* write;
  const char* read;
  unsigned first;
  int frameLength;
};

std::optional<HolidayArea> holidayArea(std::string_view model) {
  if (model == "LX-P1" || model == "LX-K3") return HolidayArea{"2BFF", "2AFF", 0xE0, 21};
  if (model == "LX-P2") return HolidayArea{"2E47FF", "2D47FF", 0x80, 23};
  if (model == "LX-K2") return HolidayArea{"2E27FF", "2D27FF", 0x80, 23};
  if (model == "LX-K4") return HolidayArea{"2E8000", "2D8000", 0x80, 23};
  if (model == "LX-K5") return HolidayArea{"2E87FF", "2D87FF", 0x80, 23};
  return std::nullopt;
}

// Byte address of word i: area FF by word index, the others by byte address
// in steps of four from 0x80.
std::string holidayAddress(const HolidayArea& a, int i) {
  unsigned where = a.first == 0xE0 ? a.first + static_cast<unsigned>(i) : a.first + 4u * static_cast<unsigned>(i);
  return byteToHex(static_cast<std::uint8_t>(where));
}

TableEnd sendHolidays(Worker& worker, Link& link, const Messages& messages, const std::vector<std::string>& list) {
  auto area = holidayArea(link.config.model);
  if (!area) return TableEnd::Failed;
  for (int i = 0; i < 32; ++i) {
    if (worker.stopRequested()) return TableEnd::Stopped;
    std::string reply;
    std::string request = area->write + holidayAddress(*area, i) + holidayWord(list, i);
    if (!exchange(link, messages, request, reply, kReplyCapacity, 250, 6)) return TableEnd::Failed;
    worker.refresh(0, i + 1, {});
    if (worker.pause(kPauseMs)) return TableEnd::Stopped;
  }
  return TableEnd::Done;
}

TableEnd receiveHolidays(Worker& worker, Link& link, const Messages& messages, std::vector<std::string>& list) {
  auto area = holidayArea(link.config.model);
  if (!area) return TableEnd::Failed;
  list.clear();
  for (int i = 0; i < 32; ++i) {
    std::string request = area->read + holidayAddress(*area, i);
    const int expected = static_cast<int>(request.size()) + 15;
    // A wrong echo reads the same word again, a few times at most.
    for (int attempt = 0;; ++attempt) {
      if (attempt == 5) return TableEnd::Failed;
      if (worker.stopRequested()) return TableEnd::Stopped;
      std::string reply;
      TxResult r = exchange(link, messages, request, reply, kReplyCapacity, 250, expected);
      if (!r) return TableEnd::Failed;
      if (r.length == expected && reply.compare(4, request.size(), request) == 0) {
        std::string word = reply.substr(4 + request.size(), 8);
        for (int h = 0; h < 2; ++h) {
          std::string half = word.substr(static_cast<std::size_t>(4 * h), 4);
          if (half == "0000") continue;
          std::string day = half.substr(2, 2) + "/" + half.substr(0, 2);
          if (validHoliday(day) && list.size() < 64) list.push_back(day);
        }
        break;
      }
      if (worker.pause(kPauseMs)) return TableEnd::Stopped;  // a wrong echo: the same word again
    }
    worker.refresh(0, i + 1, {});
    if (worker.pause(kPauseMs)) return TableEnd::Stopped;
  }
  return TableEnd::Done;
}

}  // namespace

const std::vector<TableDescriptor>& allTables() {
  static const std::vector<TableDescriptor> tables = makeTables();
  return tables;
}

const TableDescriptor& tableDescriptor(TableId id) {
  for (const auto& t : allTables())
    if (t.id == id) return t;
  return allTables().front();
}

const TableDescriptor* findTable(std::string_view name) {
  for (const auto& t : allTables())
    if (name == t.name) return &t;
  return nullptr;
}

bool tableEnabledFor(const TableDescriptor& table, std::string_view model) {
  return std::any_of(table.models.begin(), table.models.end(), [&](const char* m) { return model == m; });
}

int recordsToRead(const TableDescriptor& table, std::string_view model) {
  switch (table.id) {
    case TableId::Policies: return isBigModel(model) ? 2048 : 1024;
    case TableId::Messages: return isBigModel(model) ? 5850 : 2880;
    case TableId::Holidays: return 32;
    default: return table.capacity;
  }
}

int capacityWarningLimit(const TableDescriptor& table, std::string_view model) {
  if (isBigModel(model)) return 0;
  if (table.id == TableId::Policies) return 1024;
  if (table.id == TableId::Messages) return 2880;
  return 0;
}

bool validTime(std::string_view t) {
  if (t.size() != 5 || t[2] != ':' || !allDigits(t.substr(0, 2)) || !allDigits(t.substr(3, 2))) return false;
  int h = (t[0] - '0') * 10 + (t[1] - '0'), m = (t[3] - '0') * 10 + (t[4] - '0');
  return m <= 59 && (h < 24 || (h == 24 && m == 0));
}

bool validHoliday(std::string_view d) {
  if (d.size() != 5 || d[2] != '/' || !allDigits(d.substr(0, 2)) || !allDigits(d.substr(3, 2))) return false;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int day = (d[0] - '0') * 10 + (d[1] - '0'), month = (d[3] - '0') * 10 + (d[4] - '0');
  return month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1];
}

bool validSiteCode(std::string_view code) {
  if (code.size() != 10) return false;
  bool hex = std::all_of(code.begin(), code.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
  return hex && code != "0000000000";
}

std::optional<std::string> padSiteCode(std::string_view typed) {
  if (typed.size() > 10) return std::nullopt;
  return std::string(10 - typed.size(), '0') + std::string(typed);
}

bool loadTableFile(const TableDescriptor& table, const std::filesystem::path& path, LoadMode mode, int selected,
                   std::vector<std::string>& list) {
  const std::size_t capacity = static_cast<std::size_t>(table.capacity);
  if (mode == LoadMode::Insert && (selected < 0 || static_cast<std::size_t>(selected) >= list.size())) return false;
  std::size_t start = mode == LoadMode::Replace ? 0 : std::min(list.size(), capacity);
  auto read = readLines(table, path, capacity - start);
  if (!read) return false;
  if (mode == LoadMode::Replace) {
    list = std::move(*read);
  } else if (mode == LoadMode::Append) {
    list.insert(list.end(), read->begin(), read->end());
  } else {
    list.insert(list.begin() + selected, read->begin(), read->end());
  }
  sortIfOrdered(table, list);
  return true;
}

bool saveTableFile(const TableDescriptor&, const std::filesystem::path& path, const std::vector<std::string>& list) {
  // Written beside the file and renamed into place: a write that fails
  // half-way leaves the old file whole.
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& r : list) out << r << "\r\n";
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
  return !ec;
}

void sortIfOrdered(const TableDescriptor& table, std::vector<std::string>& list) {
  if (table.id != TableId::ProductionProgram) return;
  std::stable_sort(list.begin(), list.end(),
                   [](const std::string& a, const std::string& b) { return a.compare(0, 5, b, 0, 5) < 0; });
}

bool confirmCapacity(const TableDescriptor& table, std::string_view model, std::size_t count, const Messages& messages) {
  int limit = capacityWarningLimit(table, model);
  if (limit == 0 || count <= static_cast<std::size_t>(limit)) return true;
  return messages.ask({kCapacityQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) == Answer::Yes;
}

bool askClearFirst(const Messages& messages) {
  return messages.ask({kClearQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) == Answer::Yes;
}

std::string holidayWord(const std::vector<std::string>& list, int i) {
  std::string word;
  for (std::size_t k = 2 * static_cast<std::size_t>(i); k < 2 * static_cast<std::size_t>(i) + 2; ++k) {
    if (k < list.size() && list[k].size() == 5)
      word += list[k].substr(3, 2) + list[k].substr(0, 2);
    else
      word += "0000";
  }
  return word;
}

TableEnd sendTable(Worker& worker, Link& link, const Messages& messages, const TableDescriptor& table,
                   const std::vector<std::string>& list, bool clearFirst) {
  if (table.id == TableId::Holidays) return sendHolidays(worker, link, messages, list);
  std::string reply;
  if (clearFirst && !exchange(link, messages, table.clearCommand, reply, kReplyCapacity, table.clearTimeoutMs, 6))
    return TableEnd::Failed;
  int sent = 0;
  for (const std::string& record : list) {
    if (worker.stopRequested()) return TableEnd::Stopped;
    std::string request = std::string(table.writeCommand) + table.toWire(record);
    if (!exchange(link, messages, request, reply, kReplyCapacity, table.writeTimeoutMs, 6)) return TableEnd::Failed;
    worker.refresh(0, ++sent, {});
    if (worker.pause(kPauseMs)) return TableEnd::Stopped;
  }
  return TableEnd::Done;
}

TableEnd receiveTable(Worker& worker, Link& link, const Messages& messages, const TableDescriptor& table,
                      std::vector<std::string>& list) {
  if (table.id == TableId::Holidays) return receiveHolidays(worker, link, messages, list);
  list.clear();
  bool asked = false;
  const int total = recordsToRead(table, link.config.model);
  const int expected = 13 + table.wireLength;
  TableEnd end = TableEnd::Done;
  for (int index = 0; index < total; ++index) {
    if (worker.stopRequested()) {
      end = TableEnd::Stopped;
      break;
    }
    std::string request = std::string(table.readCommand) + fmt("%04X", static_cast<unsigned>(index));
    std::string reply;
    TxResult r = exchange(link, messages, request, reply, kReplyCapacity, kReadTimeoutMs, expected);
    // A short reply (accepted by the 9-byte rule) carries no record.
    if (!r || r.length != expected || reply.compare(4, request.size(), request) != 0) {
      end = TableEnd::Failed;
      break;
    }
    worker.refresh(0, index + 1, {});
    std::string_view data = std::string_view(reply).substr(4 + request.size(), static_cast<std::size_t>(table.wireLength));
    bool empty = data.starts_with(table.emptyPattern) || (table.emptyPattern2 && data.starts_with(table.emptyPattern2));
    if (!empty) {
      auto record = table.fromWire(data);
      if (!record) {
        end = TableEnd::Failed;  // a record this program cannot read: nothing invented
        break;
      }
      if (list.size() < static_cast<std::size_t>(table.capacity)) list.push_back(std::move(*record));
    } else if (!messages.flags.showLinkErrors.load()) {
      break;
    } else if (!asked) {
      asked = true;
      PromptRequest q{kEmptyRecordQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No, true};
      if (messages.ask(q) != Answer::Yes) break;  // the table ends here
    }
    if (worker.pause(kPauseMs)) {
      end = TableEnd::Stopped;
      break;
    }
  }
  sortIfOrdered(table, list);
  return end;
}

}  // namespace cfg
