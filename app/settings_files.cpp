#include "app/settings_files.h"

#include <algorithm>
#include <cstdio>

namespace cfg {

namespace {

constexpr std::size_t kFlagLine = 3;     // "%d\r\n"
constexpr std::size_t kPathLine = 257;   // "%-255s\r\n"
constexpr std::size_t kFormatLine = 14;  // "%d %-10s\r\n"

// Flags are one digit in the file; a damaged value still writes as one.
char flagDigit(std::uint8_t value) { return value <= 9 ? static_cast<char>('0' + value) : '1'; }

std::uint8_t flagValue(std::string_view line) {
  return static_cast<std::uint8_t>(std::clamp(decimalField(line, 0, line.size()), 0L, 255L));
}

std::string flagLine(std::uint8_t value) { return std::string{flagDigit(value), '\r', '\n'}; }
std::string pathLine(const std::string& path) { return padded(path, kArchivePathMax) + "\r\n"; }
std::string formatLine(std::uint8_t value, const std::string& name) {
  return std::string{flagDigit(value), ' '} + padded(name, kFormatNameMax) + "\r\n";
}

// Lines of one archive settings file, with room to go back over bytes
// already read when an optional line turns out to be absent.
class LineReader {
 public:
  LineReader(ByteSource& source, std::string* why) : source_(source), why_(why) {}

  std::string take(std::size_t n) {
    std::string out = pending_.substr(0, n);
    pending_.erase(0, out.size());
    if (out.size() < n) out += source_.take(n - out.size());
    return out;
  }
  void giveBack(std::string bytes) { pending_.insert(0, bytes); }
  // Lines taken whole so far, for the line number of a failure.
  void counted(int lines) { lines_ += lines; }

  // One complete line of length n ending in CR LF.
  std::optional<std::string> line(std::size_t n) {
    std::string s = take(n);
    if (s.size() < n || !crlfAt(s, n - 2)) {
      failed(n, s.size());
      return std::nullopt;
    }
    ++lines_;
    return s;
  }
  bool path(std::string& field) {
    auto s = line(kPathLine);
    if (s) field = textField(*s, 0, kArchivePathMax);
    return s.has_value();
  }
  bool flag(std::uint8_t& field) {
    auto s = line(kFlagLine);
    if (s) field = flagValue(*s);
    return s.has_value();
  }
  static void formatFields(const std::string& s, std::uint8_t& flag, std::string& name) {
    flag = flagValue(s);
    name = textField(s, 2, kFormatNameMax);
  }

 private:
  void failed(std::size_t wanted, std::size_t got) {
    if (!why_) return;
    std::string at = std::to_string(lines_ + 1);
    if (got < wanted) {
      *why_ = got == 0 ? "il file finisce prima della riga " + at
                       : "il file finisce nella riga " + at + " (" + std::to_string(got) + " byte dei " +
                             std::to_string(wanted) + " attesi)";
    } else {
      *why_ = "riga " + at + ": attesi " + std::to_string(wanted - 2) + " caratteri seguiti da CR LF";
    }
  }

  ByteSource& source_;
  std::string* why_;
  std::string pending_;
  int lines_ = 0;
};

std::string copies(const std::string& a, const std::string& b) { return " '" + a + "' '" + b + "'"; }
std::string number(std::uint8_t v) { return std::to_string(static_cast<unsigned>(v)); }

void showValues(const Messages& m, const ArchiveSettings& s, ArchiveFile which) {
  if (which == ArchiveFile::Recent) m.info("acq: " + number(s.acquisitionOption));
  m.info("reg: " + number(s.regEnabled) + copies(s.regCopy2, s.regCopy3));
  m.info("out: " + number(s.outEnabled) + " '" + s.outFormat + "'" + copies(s.outCopy2, s.outCopy3));
  m.info("ou2: " + number(s.ou2Enabled) + " '" + s.ou2Format + "'" + copies(s.ou2Copy2, s.ou2Copy3));
  m.info("prd: " + number(s.prdEnabled) + copies(s.prdCopy2, s.prdCopy3));
  m.info("cnt: " + number(s.cntEnabled) + copies(s.cntCopy2, s.cntCopy3));
  m.info("mns: " + number(s.mnsEnabled) + copies(s.mnsCopy2, s.mnsCopy3));
}

bool readSettingsFile(ProcessState& state, const Messages& messages, ArchiveFile which, FileReport* report) {
  testMarkerFiles(state, messages);
  ArchiveSettings& target = which == ArchiveFile::Archive ? state.archive : state.recent;
  const char* name = which == ArchiveFile::Archive ? kArchiveSettingsFile : kRecentSettingsFile;
  target = ArchiveSettings{};

  FileContext ctx = state.files(messages);
  showReadingPath(ctx, name);
  FileReport found;
  found.path = shownPath(state.workingDirectory, name);
  bool complete = false;
  FileSource file;
  if (file.open(state.workingDirectory / name)) {
    std::string why;
    complete = parseArchiveSettings(file, which, state.live, &why);
    if (file.error() != 0) {
      found.failed(file.error());
      complete = false;
    } else if (!complete) {
      found.outcome = FileReport::Outcome::Unreadable;
      found.reason = why;
    }
    showReport(ctx, found);
  } else {
    found.failed(file.error());
    showOpenError(ctx, name);
    if (found.outcome == FileReport::Outcome::Unreadable) showReport(ctx, found);
  }
  if (complete) target = state.live;
  if (report) *report = found;

  // An unattended start-up must never wait on a box.
  if (!complete && which == ArchiveFile::Archive && !state.batchOnStart && !state.autoSchedule) {
    messages.warning("Attenzione: lettura file " + shownPath(state.workingDirectory, name) +
                     " non riuscita.");
  }
  if (state.diagnostic) showValues(messages, target, which);
  return complete;
}

}  // namespace

std::string archiveSettingsBytes(const ArchiveSettings& s) {
  std::string out;
  out.reserve(6 * kFlagLine + 12 * kPathLine + 2 * kFormatLine);
  out += flagLine(s.acquisitionOption) + flagLine(s.regEnabled);
  out += pathLine(s.regCopy2) + pathLine(s.regCopy3);
  out += formatLine(s.outEnabled, s.outFormat) + pathLine(s.outCopy2) + pathLine(s.outCopy3);
  out += formatLine(s.ou2Enabled, s.ou2Format) + pathLine(s.ou2Copy2) + pathLine(s.ou2Copy3);
  out += flagLine(s.prdEnabled) + pathLine(s.prdCopy2) + pathLine(s.prdCopy3);
  out += flagLine(s.cntEnabled) + pathLine(s.cntCopy2) + pathLine(s.cntCopy3);
  out += flagLine(s.mnsEnabled) + pathLine(s.mnsCopy2) + pathLine(s.mnsCopy3);
  return out;
}

bool parseArchiveSettings(ByteSource& source, ArchiveFile which, ArchiveSettings& live, std::string* why) {
  LineReader in(source, why);

  std::string first = in.take(2 * kFlagLine);
  if (first.size() == 2 * kFlagLine && crlfAt(first, 1) && crlfAt(first, 4)) {
    in.counted(2);
    live.acquisitionOption = flagValue(first.substr(0, kFlagLine));
    live.regEnabled = flagValue(first.substr(kFlagLine));
  } else {
    // The older layout has no first line: start again with reg enabled, which
    // only recent.dat takes from there.
    in.giveBack(std::move(first));
    std::uint8_t regEnabled = 0;
    if (!in.flag(regEnabled)) return false;
    if (which == ArchiveFile::Recent) live.regEnabled = regEnabled;
  }
  if (!in.path(live.regCopy2) || !in.path(live.regCopy3)) return false;

  auto out = in.line(kFormatLine);
  if (!out) return false;
  LineReader::formatFields(*out, live.outEnabled, live.outFormat);
  if (!in.path(live.outCopy2) || !in.path(live.outCopy3)) return false;

  // Files of the older layout have no ou2 lines: then those 14 bytes belong
  // to the lines that follow, and the ou2 fields keep their values.
  std::string ou2 = in.take(kFormatLine);
  if (ou2.size() == kFormatLine && crlfAt(ou2, kFormatLine - 2)) {
    in.counted(1);
    LineReader::formatFields(ou2, live.ou2Enabled, live.ou2Format);
    if (!in.path(live.ou2Copy2) || !in.path(live.ou2Copy3)) return false;
  } else {
    in.giveBack(std::move(ou2));
  }

  return in.flag(live.prdEnabled) && in.path(live.prdCopy2) && in.path(live.prdCopy3) &&
         in.flag(live.cntEnabled) && in.path(live.cntCopy2) && in.path(live.cntCopy3) &&
         in.flag(live.mnsEnabled) && in.path(live.mnsCopy2) && in.path(live.mnsCopy3);
}

void testMarkerFiles(ProcessState& state, const Messages& messages) {
  FileContext ctx = state.files(messages);
  for (auto [name, flag] : {std::pair{kExpertMarkerFile, &state.expertFunctions},
                            std::pair{kResetMarkerFile, &state.resetToDefault}}) {
    showReadingPath(ctx, name);
    FileSource file;
    if (file.open(state.workingDirectory / name)) {
      *flag = true;
    } else if (state.diagnostic) {
      messages.info("File " + shownPath(state.workingDirectory, name) + " non trovato.");
    }
  }
}

bool readArchiveSettings(ProcessState& state, const Messages& messages, FileReport* report) {
  return readSettingsFile(state, messages, ArchiveFile::Archive, report);
}

bool readRecentSettings(ProcessState& state, const Messages& messages, FileReport* report) {
  return readSettingsFile(state, messages, ArchiveFile::Recent, report);
}

bool writeArchiveSettings(const ProcessState& state, const Messages& messages, std::string* cause) {
  return saveFileAtomically(state.files(messages), kArchiveSettingsFile,
                            archiveSettingsBytes(state.archive), cause);
}

bool writeRecentSettings(const ProcessState& state, const Messages& messages) {
  return saveFileAtomically(state.files(messages), kRecentSettingsFile,
                            archiveSettingsBytes(state.recent));
}

std::optional<std::string> parsePasswordFile(std::string_view firstBytes) {
  if (firstBytes.size() < 10 || !crlfAt(firstBytes, 8)) return std::nullopt;
  return textField(firstBytes, 0, 8, false);
}

void readPlantPassword(ProcessState& state, const Messages& messages) {
  state.plantPassword = kDefaultPlantPassword;
  FileContext ctx = state.files(messages);
  showReadingPath(ctx, kPasswordFile);
  FileSource file;
  if (!file.open(state.workingDirectory / kPasswordFile)) {
    showOpenError(ctx, kPasswordFile);
    return;
  }
  if (auto password = parsePasswordFile(file.take(10))) state.plantPassword = *password;
  if (state.diagnostic) messages.info(padded(state.plantPassword, 8));
}

bool writePlantPassword(const ProcessState& state, const Messages& messages) {
  return saveFileAtomically(state.files(messages), kPasswordFile,
                            padded(state.plantPassword, 8) + "\r\n");
}

}  // namespace cfg
