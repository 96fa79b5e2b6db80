#include "records/archive_lines.h"

#include <cstdio>

#include "link/hex.h"

namespace cfg {

namespace {

bool isHandheld(const LinkConfig& link) { return sameModel(link.model, "HND  "); }

// Reply bytes copied into a line: a NUL would cut the line short.
char copied(char c) { return c == '\0' ? ' ' : c; }

std::string copiedRange(std::string_view record, std::size_t pos, std::size_t count) {
  std::string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) out += copied(record[pos + i]);
  return out;
}

// A hex pair that is not one reads as -1, as the wire helper gives it.
int hexByte(std::string_view record, std::size_t pos) { return hexPairAt(record, pos); }

std::uint32_t hex32(std::string_view record, std::size_t pos) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(hexByte(record, pos + 2 * i));
  return v;
}

// "%09ld" of a 32-bit number, as the files of existing installations hold it.
std::string userNumber(std::string_view record) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%09ld", static_cast<long>(static_cast<std::int32_t>(hex32(record, 14))));
  return buf;
}

// "dd/mm/20yy" from the digit pairs at yy, mm, dd.
std::string date(std::string_view r, std::size_t yy, std::size_t mm, std::size_t dd) {
  std::string s;
  s += copied(r[dd]);
  s += copied(r[dd + 1]);
  s += '/';
  s += copied(r[mm]);
  s += copied(r[mm + 1]);
  s += "/20";
  s += copied(r[yy]);
  s += copied(r[yy + 1]);
  return s;
}

std::string hhmm(std::string_view r, std::size_t hh) {
  std::string s;
  s += copied(r[hh]);
  s += copied(r[hh + 1]);
  s += ':';
  s += copied(r[hh + 2]);
  s += copied(r[hh + 3]);
  return s;
}

// One int or unsigned through its printf format; the argument's type matches
// the conversion ("%d" int, "%u" unsigned).
std::string format(const char* fmt, int value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, value);
  return buf;
}

std::string formatUnsigned(const char* fmt, unsigned value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, value);
  return buf;
}

// A fixed terminal's number; a handheld's number is only its place in the
// last search, so its id stands there as in the other lines.
std::string canteenCode(const LinkConfig& link) {
  return isHandheld(link) && !link.handheldId.empty() ? link.handheldId : formatUnsigned("%04u", link.number);
}

// Date and time of a production record: "dd/mm/20yy hh:mm:ss".
std::string productionStamp(std::string_view r) { return date(r, 10, 12, 14) + ' ' + hhmm(r, 16) + ':' + copied(r[20]) + copied(r[21]); }

}  // namespace

std::string terminalCode(const LinkConfig& link) {
  if (isHandheld(link)) {
    // Every USB handheld carries the same product name: only its id tells
    // the handhelds apart in the archives and in their item files.
    std::string d = link.handheldId.empty() ? link.description : link.handheldId;
    return d.size() < 4 ? std::string(4 - d.size(), ' ') + d : d;
  }
  return formatUnsigned("%04u", link.number);
}

std::string attendanceLine(std::string_view r, const LinkConfig& link) {
  if (r.size() < kAttendanceRecordLength) return {};
  std::string line = terminalCode(link);
  line += ' ';
  line += copied(static_cast<char>(hexByte(r, 10)));
  line += ' ';
  line += format("%02d", hexByte(r, 12));
  line += ' ';
  line += userNumber(r);
  line += ' ';
  line += date(r, 22, 24, 26);
  line += ' ';
  line += hhmm(r, 28);
  line += ' ';
  line += copiedRange(r, 32, 6);
  line += "\r\n";
  return line;
}

std::string productionText(std::string_view r) {
  std::string text;
  for (std::size_t i = 0; i < 15; ++i) text += copied(static_cast<char>(hexByte(r, 28 + 2 * i)));
  return text;
}

int productionEventType(std::string_view r) { return r.size() < kProductionRecordLength ? -1 : hexByte(r, 26); }

std::string productionLine(std::string_view r, const LinkConfig& link) {
  if (r.size() < kProductionRecordLength) return {};
  auto number = hex4ToU16(r.substr(22, 4));
  std::string line = terminalCode(link) + ' ' + productionStamp(r) + ' ';
  line += formatUnsigned("%05u", number ? *number : 0xFFFFu);
  line += ' ';
  line += byteToHex(static_cast<std::uint8_t>(hexByte(r, 26)));
  line += ' ';
  line += productionText(r);
  line += "\r\n";
  return line;
}

std::string canteenLine(std::string_view r, const LinkConfig& link) {
  if (r.size() < kCanteenRecordLength) return {};
  std::string line = canteenCode(link);
  line += ' ';
  line += copied(static_cast<char>(hexByte(r, 10)));
  line += ' ';
  line += date(r, 22, 24, 26);
  line += ' ';
  line += hhmm(r, 28);
  line += ' ';
  line += copiedRange(r, 12, 10);
  line += ' ';
  line += date(r, 32, 34, 36);
  line += ' ';
  line += r[38] == '1' ? 'C' : 'P';
  line += ' ';
  line += copied(r[39]);
  line += ' ';
  for (std::size_t i = 0; i < 8; ++i) {
    line += copiedRange(r, 41 + 6 * i, 5);
    line += i < 7 ? " " : "\r\n";
  }
  return line;
}

bool formattedTransit(std::string_view r) {
  int k = hexByte(r, 10);
  return k == '0' || k == '1' || (k >= 'A' && k <= 'G');
}

std::string expandTemplate(std::string_view tmpl, std::string_view r, const LinkConfig& link,
                           std::string_view entryText, std::string_view exitText) {
  std::string out;
  if (r.size() < kAttendanceRecordLength) return out;
  std::size_t i = 0;
  while (i < tmpl.size()) {
    char c = tmpl[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    bool first = false;
    if (i < tmpl.size() && tmpl[i] == '-') {
      first = true;
      ++i;
    }
    std::size_t width = 0;
    bool hasWidth = false;
    while (i < tmpl.size() && tmpl[i] >= '0' && tmpl[i] <= '9') {
      if (width < 1000) width = width * 10 + static_cast<std::size_t>(tmpl[i] - '0');
      hasWidth = true;
      ++i;
    }
    if (i >= tmpl.size()) break;  // the template ends inside a field
    std::string value;
    switch (tmpl[i++]) {
      case '%': value = "%"; break;
      case 'b': value = " "; break;
      case 't': value = terminalCode(link); break;
      case 'i': value = format("%03d", hexByte(r, 1)); break;
      case 'z': value = format("%02d", hexByte(r, 12)); break;
      case 'n': value = userNumber(r); break;
      case 'c': value = copiedRange(r, 32, 6); break;
      case 'v': {
        int k = hexByte(r, 10);
        if (k == '0') value = entryText;
        else if (k == '1') value = exitText;
        else if (k >= 'A' && k <= 'G') value = std::string(1, static_cast<char>(k));
        break;
      }
      case 'g': value = copiedRange(r, 26, 2); break;
      case 'm': value = copiedRange(r, 24, 2); break;
      case 'a': value = copiedRange(r, 22, 2); break;
      case 'H': value = copiedRange(r, 28, 2); break;
      case 'M': value = copiedRange(r, 30, 2); break;
      default: break;  // unknown letter: nothing
    }
    if (!hasWidth || width < 1 || width > value.size()) width = value.size();
    out += first ? value.substr(0, width) : value.substr(value.size() - width);
  }
  out += "\r\n";
  return out;
}

std::string productionItem(std::string_view r) {
  if (r.size() < kProductionRecordLength) return {};
  return format("%03d ", static_cast<std::uint8_t>(hexByte(r, 26))) + productionText(r) + "\r\n";
}

std::string oneLineProduction(std::string_view r, const LinkConfig& link, const std::vector<std::string>& itemTexts) {
  std::string line = terminalCode(link) + ' ' + productionStamp(r);
  for (const auto& t : itemTexts) line += ' ' + t;
  line += "\r\n";
  return line;
}

bool ProductionItemCollector::feed(std::string_view item) {
  if (full() || item.size() < kProductionItemLength) return false;
  int type = 0;
  for (std::size_t d = 0; d < 3 && item[d] >= '0' && item[d] <= '9'; ++d) type = type * 10 + (item[d] - '0');
  if (static_cast<std::uint8_t>(type) == kItemCancelsLast) {
    if (!texts_.empty()) texts_.pop_back();
  } else {
    texts_.emplace_back(item.substr(4, 15));
  }
  return !full();
}

std::vector<std::string> collectProductionItems(std::string_view file) {
  ProductionItemCollector items;
  for (std::size_t pos = 0; file.size() - pos >= kProductionItemLength; pos += kProductionItemLength)
    if (!items.feed(file.substr(pos, kProductionItemLength))) break;
  return items.texts();
}

std::string itemFileName(const LinkConfig& link) {
  std::string code;
  if (isHandheld(link)) {
    code = terminalCode(link);
    for (char& c : code) {
      auto u = static_cast<unsigned char>(c);
      if (c == '/' || c == '\\' || u < 0x20 || u >= 0x7F) c = '_';
    }
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(link.number));
    code = buf;
  }
  return code + "tmp.txt";
}

}  // namespace cfg
