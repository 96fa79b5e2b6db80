#include "tables/record_forms.h"

#include <cstdio>
#include <cstdlib>

#include "tables/table_engine.h"

namespace cfg {

namespace {

std::string fmt(const char* format, auto... args) {
  char buf[128];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// A typed decimal number (blanks around it allowed); -1 when it is not one.
long long typedNumber(std::string_view s) {
  std::string t = trimmed(s);
  if (t.empty() || t.size() > 12) return -1;
  for (char c : t)
    if (c < '0' || c > '9') return -1;
  return std::strtoll(t.c_str(), nullptr, 10);
}

// The characters of a record at its fixed columns, blanks removed at the right.
std::string column(const std::string& record, std::size_t at, std::size_t n) {
  if (at >= record.size()) return {};
  std::string s = record.substr(at, n);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// A number column shown as typed: without its leading zeros.
std::string numberColumn(const std::string& record, std::size_t at, std::size_t n) {
  long long v = typedNumber(column(record, at, n));
  return v < 0 ? std::string() : std::to_string(v);
}

std::string flagsText(const DayFlags& days) {
  std::string f;
  for (bool d : days) f += d ? 'S' : 'N';
  return f;
}

DayFlags daysOf(const std::string& record, std::size_t at) {
  DayFlags d{};
  for (std::size_t i = 0; i < 8; ++i) d[i] = at + i < record.size() && record[at + i] == 'S';
  return d;
}

bool anyDay(const DayFlags& days) {
  for (bool d : days)
    if (d) return true;
  return false;
}

RecordCheck fail(const char* message, int field) { return RecordCheck{{}, message, field}; }
RecordCheck pass(std::string record) { return RecordCheck{std::move(record), {}, -1}; }

std::string upTo(const std::string& text, std::size_t n) { return text.substr(0, n); }

// The time band shared by access policies and exit direction; the fields
// `from` and `to`, then the days.
RecordCheck checkBand(const std::string& from, const std::string& to, const DayFlags& days, int fromField,
                      int toField, int daysField) {
  if (!validTime(from)) return fail(kBadTime, fromField);
  if (!validTime(to)) return fail(kBadTime, toField);
  if (from > to) return fail(kFromAfterTo, fromField);
  if (!anyDay(days)) return fail(kNoDay, daysField);
  return pass({});
}

}  // namespace

// --- access policies ---

PolicyForm policyFormOf(const std::string& r) {
  return PolicyForm{numberColumn(r, 0, 3), column(r, 4, 5), column(r, 10, 5), daysOf(r, 16)};
}

RecordCheck checkPolicy(const PolicyForm& f) {
  long long code = typedNumber(f.code);
  if (code < 1 || code > 255) return fail("Errore: codice non valido (1-255).", PolicyForm::Code);
  RecordCheck band = checkBand(f.from, f.to, f.days, PolicyForm::From, PolicyForm::To, PolicyForm::Days);
  if (!band.ok()) return band;
  return pass(fmt("%03u %-5s %-5s %-8s", static_cast<unsigned>(code), f.from.c_str(), f.to.c_str(),
                  flagsText(f.days).c_str()));
}

// --- sirens ---

SirenForm sirenFormOf(const std::string& r) {
  SirenForm f;
  f.channel = numberColumn(r, 0, 1);
  f.time = column(r, 2, 5);
  f.days = daysOf(r, 8);
  std::string action = column(r, 17, 2);
  f.on = action == "ON";
  f.off = action == "OF";
  if (!f.on && !f.off) f.duration = numberColumn(r, 17, 2);
  return f;
}

RecordCheck checkSiren(const SirenForm& f) {
  long long channel = typedNumber(f.channel);
  if (channel < 1 || channel > 4) return fail("Errore: canale non valido (1-4).", SirenForm::Channel);
  if (!validTime(f.time)) return fail(kBadTime, SirenForm::Time);
  if (!anyDay(f.days)) return fail(kNoDay, SirenForm::Days);
  std::string action;
  if (f.on) {
    action = "ON";
  } else if (f.off) {
    action = "OF";
  } else {
    long long d = typedNumber(f.duration);
    if (d < 1 || d > 99) return fail("Errore: durata non valida (1-99).", SirenForm::Duration);
    action = fmt("%02d", static_cast<int>(d));
  }
  return pass(fmt("%d %-5s %-8s %s", static_cast<int>(channel), f.time.c_str(), flagsText(f.days).c_str(),
                  action.c_str()));
}

// --- user messages ---

MessageForm messageFormOf(const std::string& r) {
  return MessageForm{numberColumn(r, 0, 2), numberColumn(r, 3, 9), column(r, 13, 16)};
}

RecordCheck checkMessage(const MessageForm& f) {
  long long company = typedNumber(f.company);
  if (company < 0 || company > 99) return fail("Errore: azienda non valida (0-99).", MessageForm::Company);
  long long person = typedNumber(f.person);
  if (person < 1 || person > 999999999)
    return fail("Errore: matricola non valida (1-999.999.999).", MessageForm::Person);
  return pass(fmt("%02d %09ld %-16s", static_cast<int>(company), static_cast<long>(person), upTo(f.text, 16).c_str()));
}

// --- exit direction ---

ExitForm exitFormOf(const std::string& r) { return ExitForm{column(r, 0, 5), column(r, 6, 5), daysOf(r, 12)}; }

RecordCheck checkExit(const ExitForm& f) {
  RecordCheck band = checkBand(f.from, f.to, f.days, ExitForm::From, ExitForm::To, ExitForm::Days);
  if (!band.ok()) return band;
  return pass(fmt("%-5s %-5s %-8s", f.from.c_str(), f.to.c_str(), flagsText(f.days).c_str()));
}

// --- justifications ---

CodeForm justificationFormOf(const std::string& r) { return CodeForm{column(r, 0, 5), column(r, 6, 16)}; }

RecordCheck checkJustification(const CodeForm& f) {
  std::string code = trimmed(f.code);
  long long value = typedNumber(code);
  if (code.size() > 5 || value < 1) return fail(kBadCode, CodeForm::Code);
  return pass(fmt("%05d %-16s %02d", static_cast<int>(value), upTo(f.text, 16).c_str(), 0));
}

// --- sites and job activities ---

CodeForm siteFormOf(const std::string& r) { return CodeForm{column(r, 0, 10), column(r, 11, 16)}; }

RecordCheck checkSite(const CodeForm& f) {
  auto code = padSiteCode(f.code);
  if (!code || !validSiteCode(*code)) return fail(kBadCode, CodeForm::Code);
  return pass(fmt("%-10s %-16s", code->c_str(), upTo(f.text, 16).c_str()));
}

// --- holidays ---

RecordCheck checkHoliday(const std::string& day) {
  if (!validHoliday(day)) return fail(kBadHoliday, 0);
  return pass(day);
}

// --- production program ---

ProgramForm programFormOf(const std::string& r) {
  ProgramForm f;
  auto line = parseProgramRecord(r);
  if (!line) return f;
  f.line = std::to_string(line->line);
  f.text = line->text;
  const auto& b = line->b;
  switch (b[0]) {
    case 0x04: f.operation = ProgramOperation::Reader; break;
    case 0x10: f.operation = ProgramOperation::Table; f.tableCode = std::to_string(b[1]); break;
    case 0x20: f.operation = ProgramOperation::GotoList; f.tableCode = std::to_string(b[1]); break;
    case 0x80:
      if (b[1] == 0x01) {
        f.operation = ProgramOperation::Goto;
        f.gotoLine = std::to_string(b[2] * 256 + b[3]);
      } else if (b[1] == 0x02) {
        f.operation = ProgramOperation::Constant;
      } else if (b[1] == 0x04) {
        f.operation = ProgramOperation::Marker;
      } else if (b[1] == 0x08 && (b[2] == 0x10 || b[2] == 0x20)) {
        f.operation = b[2] == 0x10 ? ProgramOperation::Buzzer : ProgramOperation::Display;
        f.time = std::to_string(b[3] * 256 + b[4]);
      }
      break;
    default: break;  // an operation the dialog does not offer: none chosen
  }
  return f;
}

RecordCheck checkProgramLine(const ProgramForm& f, const std::vector<std::string>& program, int index) {
  long long number = typedNumber(f.line);
  if (number < 1 || number > 65535) return fail(kBadLine, ProgramForm::Line);
  ProgramLine out;
  out.line = static_cast<long>(number);
  out.text = upTo(f.text, 16);
  auto& b = out.b;
  using Op = ProgramOperation;
  switch (f.operation) {
    case Op::Goto: {
      long long target = typedNumber(f.gotoLine);
      if (target < 1 || target > 65535) return fail(kBadGotoLine, ProgramForm::GotoLine);
      b = {0x80, 0x01, static_cast<int>(target >> 8), static_cast<int>(target & 0xFF), 0, 0};
      break;
    }
    case Op::Constant: b = {0x80, 0x02, 0, 0, 0, 0}; break;
    case Op::Marker: b = {0x80, 0x04, 0, 0, 0, 0}; break;
    case Op::Buzzer:
    case Op::Display: {
      long long time = typedNumber(f.time);
      if (time < 0 || time > 65535) return fail(kBadTimeValue, ProgramForm::Time);
      b = {0x80, 0x08, f.operation == Op::Buzzer ? 0x10 : 0x20, static_cast<int>(time >> 8),
           static_cast<int>(time & 0xFF), 0};
      break;
    }
    case Op::Reader: b = {0x04, 0, 0, 0, 0, 0}; break;
    case Op::GotoList:
    case Op::Table: {
      long long code = typedNumber(f.tableCode);
      if (code < 1 || code > 255) return fail(kBadTableCode, ProgramForm::TableCode);
      b = {f.operation == Op::Table ? 0x10 : 0x20, static_cast<int>(code), 0, 0, 0, 0};
      break;
    }
    case Op::None: return fail(kNoOperation, ProgramForm::Operation);
  }
  for (std::size_t i = 0; i < program.size(); ++i) {
    if (static_cast<int>(i) == index) continue;
    auto other = parseProgramRecord(program[i]);
    if (other && other->line == out.line) return fail(kLineTaken, ProgramForm::Line);
  }
  return pass(programRecord(out));
}

// --- production tables ---

ItemForm itemFormOf(const std::string& r) {
  return ItemForm{numberColumn(r, 0, 3), column(r, 8, 16), column(r, 25, 15)};
}

RecordCheck checkItem(const ItemForm& f) {
  long long code = typedNumber(f.code);
  if (code < 1 || code > 255) return fail(kBadCode, ItemForm::Code);
  return pass(fmt("%03d %03d %-16s %-15s", static_cast<int>(code), 0, upTo(f.text, 16).c_str(),
                  upTo(f.value, 15).c_str()));
}

}  // namespace cfg
