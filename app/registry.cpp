#include "app/registry.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace cfg {

namespace {

constexpr std::array<std::string_view, 7> kModels = {"LX-P1", "LX-P2", "LX-K3", "LX-K2",
                                                     "LX-K4", "LX-K1", "LX-K5"};

char flag(bool on) { return on ? 'V' : 'F'; }
bool flagAt(std::string_view line, std::size_t pos) { return pos < line.size() && line[pos] == 'V'; }

// A decimal column kept within what its field can hold, so that a damaged
// value is written back in the same width.
long clampedField(std::string_view line, std::size_t pos, std::size_t width, long max) {
  return std::clamp(decimalField(line, pos, width), 0L, max);
}

}  // namespace

bool isRegistryModel(std::string_view model) {
  return std::find(kModels.begin(), kModels.end(), model) != kModels.end();
}

std::string registryLine(const TerminalRecord& r) {
  char numbers[64];
  std::string line;
  line.reserve(208);
  std::snprintf(numbers, sizeof numbers, "%04u ", static_cast<unsigned>(std::min<unsigned>(r.number, 9999)));
  line += numbers;
  line += padded(r.description, 30) + ' ';
  line += padded(r.model, 5) + ' ';
  std::snprintf(numbers, sizeof numbers, "%03d ", static_cast<int>(std::min<unsigned>(r.address, 999)));
  line += numbers;
  line += padded(r.port, 4) + ' ';
  line += padded(r.speed, 5) + ' ';
  line += {flag(r.rs485), ' ', flag(r.echo), ' ', flag(r.modem), ' '};
  line += padded(r.phoneNumber, 15) + ' ';
  line += {flag(r.tcp), ' '};
  std::snprintf(numbers, sizeof numbers, "%03u.%03u.%03u.%03u %05u ", (r.ip >> 24) & 0xFFu,
                (r.ip >> 16) & 0xFFu, (r.ip >> 8) & 0xFFu, r.ip & 0xFFu, static_cast<unsigned>(r.tcpPort));
  line += numbers;
  line += {flag(r.continuousModemDownload), ' '};
  line += padded(r.modemInit, 99) + ' ';
  line += static_cast<char>('0' + std::min<unsigned>(r.modemType, 9));
  return line;
}

TerminalRecord parseRegistryLine(std::string_view line) {
  TerminalRecord r;
  r.number = static_cast<std::uint16_t>(clampedField(line, 0, 4, 9999));
  r.description = textField(line, 5, 30);
  r.model = textField(line, 36, 5, false);
  r.address = static_cast<std::uint16_t>(clampedField(line, 42, 3, 999));
  r.port = textField(line, 46, 4, false);
  r.speed = textField(line, 51, 5, false);
  r.rs485 = flagAt(line, 57);
  r.echo = flagAt(line, 59);
  r.modem = flagAt(line, 61);
  r.phoneNumber = textField(line, 63, 15);
  r.tcp = flagAt(line, 79);
  for (std::size_t i = 0; i < 4; ++i) {
    r.ip = r.ip << 8 | static_cast<std::uint32_t>(clampedField(line, 81 + 4 * i, 3, 255));
  }
  r.tcpPort = static_cast<std::uint16_t>(clampedField(line, 97, 5, 65535));
  if (line.size() >= 106) r.continuousModemDownload = flagAt(line, 103);
  if (line.size() >= 206) r.modemInit = textField(line, 105, 99);
  if (line.size() >= 208) r.modemType = static_cast<std::uint8_t>(clampedField(line, 205, 1, 9));
  return r;
}

namespace {

// config.dat holds at most 100 lines of 208 bytes: anything far beyond that
// is not a registry, and is not read whole.
constexpr std::size_t kRegistryReadLimit = 1 << 20;

bool isLineLength(std::size_t withoutEnd) {
  return withoutEnd == 102 || withoutEnd == 104 || withoutEnd == 204 || withoutEnd == 206;
}

std::string quotedText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::vector<TerminalRecord> parseRegistry(ByteSource& source, std::vector<std::string>* badLines) {
  std::vector<TerminalRecord> rows;
  std::string data = source.take(kRegistryReadLimit + 1);
  bool cut = data.size() > kRegistryReadLimit;
  if (cut) data.resize(kRegistryReadLimit);
  auto note = [&](std::size_t lineNumber, const std::string& why) {
    if (badLines) badLines->push_back("riga " + std::to_string(lineNumber) + ": " + why);
  };

  std::size_t pos = 0;
  std::size_t lineNumber = 0;
  while (pos < data.size()) {
    std::size_t lf = data.find('\n', pos);
    std::size_t end = lf == std::string::npos ? data.size() : lf;
    std::string_view line(data.data() + pos, end - pos);
    pos = lf == std::string::npos ? data.size() : lf + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;  // an empty line holds no row
    if (rows.size() == kRegistryCapacity) {
      note(lineNumber, "oltre le 100 righe (questa e le seguenti)");
      return rows;
    }
    if (!isLineLength(line.size())) {
      note(lineNumber, "lunghezza " + std::to_string(line.size() + 2) +
                           " byte con CR LF, attesi 104, 106, 206 o 208");
      continue;
    }
    TerminalRecord row = parseRegistryLine(std::string(line) + "\r\n");
    if (!isRegistryModel(row.model)) {
      note(lineNumber, "modello " + quotedText(row.model) + " sconosciuto");
      continue;
    }
    rows.push_back(std::move(row));
  }
  if (cut) note(lineNumber, "il file supera " + std::to_string(kRegistryReadLimit) + " byte: il resto non e` letto");
  return rows;
}

FileReport loadRegistry(const FileContext& ctx, Registry& registry) {
  FileReport report;
  report.path = shownPath(ctx.directory, kRegistryFile);
  showReadingPath(ctx, kRegistryFile);
  registry.rows.clear();
  FileSource file;
  if (!file.open(ctx.directory / kRegistryFile)) {
    report.failed(file.error());
    showOpenError(ctx, kRegistryFile);
    if (report.outcome == FileReport::Outcome::Unreadable) showReport(ctx, report);
    return report;
  }
  registry.rows = parseRegistry(file, &report.badLines);
  if (file.error() != 0) report.failed(file.error());
  showReport(ctx, report);
  if (ctx.diagnostic) {
    for (const TerminalRecord& row : registry.rows) ctx.messages.info(registryLine(row));
  }
  return report;
}

bool saveRegistry(const FileContext& ctx, const Registry& registry, std::string* cause) {
  std::string bytes;
  bytes.reserve(registry.rows.size() * 208);
  for (const TerminalRecord& row : registry.rows) bytes += registryLine(row) + "\r\n";
  return saveFileAtomically(ctx, kRegistryFile, bytes, cause);
}

void sortRegistryByNumber(Registry& registry) {
  std::stable_sort(registry.rows.begin(), registry.rows.end(),
                   [](const TerminalRecord& a, const TerminalRecord& b) { return a.number < b.number; });
}

TerminalRecord deskReaderDefaults() {
  TerminalRecord r;
  r.port = "COM1";
  r.speed = " 9600";
  r.tcpPort = 3000;
  return r;
}

bool fillLinkFromRecord(const TerminalRecord& record, LinkConfig& link, const Messages& messages) {
  if (record.address > 255) {
    messages.error("Errore: indirizzo non valido (0-255).");
    return false;
  }
  LinkConfig c;
  c.number = record.number;
  c.description = record.description;
  c.model = record.model;
  char address[8];
  std::snprintf(address, sizeof address, "%02X", static_cast<unsigned>(record.address));
  c.address = address;
  c.portName = record.port;
  c.speed = static_cast<std::uint16_t>(decimalField(record.speed, 0, record.speed.size()));
  c.rs485 = record.rs485;
  c.echo = record.echo;
  c.modem = record.modem;
  c.modemInit = record.modemInit;
  c.modemType = record.modemType;
  c.phoneNumber = record.phoneNumber;
  c.continuousModemDownload = record.continuousModemDownload;
  c.tcp = record.tcp;
  c.ipNetworkOrder = ipv4NetworkOrder(static_cast<std::uint8_t>(record.ip >> 24),
                                      static_cast<std::uint8_t>(record.ip >> 16),
                                      static_cast<std::uint8_t>(record.ip >> 8),
                                      static_cast<std::uint8_t>(record.ip));
  c.tcpPort = record.tcpPort;
  link = std::move(c);
  return true;
}

bool fillLinkFromRow(const Registry& registry, std::size_t index, LinkConfig& link,
                     const Messages& messages) {
  if (index >= registry.rows.size()) return false;
  return fillLinkFromRecord(registry.rows[index], link, messages);
}

}  // namespace cfg
