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

std::vector<TerminalRecord> parseRegistry(ByteSource& source) {
  std::vector<TerminalRecord> rows;
  while (rows.size() < kRegistryCapacity) {
    // Each older layout is a prefix of the next: read on until a CR LF ends the line.
    std::string line = source.take(104);
    if (line.size() < 104) break;
    if (!crlfAt(line, 102)) {
      line += source.take(2);
      if (line.size() < 106) break;
      if (!crlfAt(line, 104)) {
        line += source.take(100);
        if (line.size() < 206) break;
        if (!crlfAt(line, 204)) {
          line += source.take(2);
          if (line.size() < 208 || !crlfAt(line, 206)) break;
        }
      }
    }
    TerminalRecord row = parseRegistryLine(line);
    if (isRegistryModel(row.model)) rows.push_back(std::move(row));
  }
  return rows;
}

void loadRegistry(const FileContext& ctx, Registry& registry) {
  showReadingPath(ctx, kRegistryFile);
  registry.rows.clear();
  FileSource file;
  if (!file.open(ctx.directory / kRegistryFile)) {
    showOpenError(ctx, kRegistryFile);
    return;
  }
  registry.rows = parseRegistry(file);
  if (ctx.diagnostic) {
    for (const TerminalRecord& row : registry.rows) ctx.messages.info(registryLine(row));
  }
}

bool saveRegistry(const FileContext& ctx, const Registry& registry) {
  std::string bytes;
  bytes.reserve(registry.rows.size() * 208);
  for (const TerminalRecord& row : registry.rows) bytes += registryLine(row) + "\r\n";
  return saveFileAtomically(ctx, kRegistryFile, bytes);
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
