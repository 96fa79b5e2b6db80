#include "records/formats.h"

namespace cfg {

namespace {

struct Columns {
  std::size_t templatePos, templateWidth, entryPos, exitPos, textWidth;
  bool trimTexts;
};

std::optional<Columns> columnsFor(std::size_t lineLength) {
  switch (lineLength) {
    case 116: return Columns{42, 64, 107, 111, 3, true};
    case 100: return Columns{42, 48, 91, 95, 3, true};
    // The one-character entry and exit texts are taken as they are.
    case 96: return Columns{42, 48, 91, 93, 1, false};
    default: return std::nullopt;
  }
}

AcquisitionFormat parseLine(std::string_view line, const Columns& c) {
  AcquisitionFormat f;
  f.name = textField(line, 0, 10);
  f.description = textField(line, 11, 30);
  f.outputTemplate = textField(line, c.templatePos, c.templateWidth);
  f.entryText = textField(line, c.entryPos, c.textWidth, c.trimTexts);
  f.exitText = textField(line, c.exitPos, c.textWidth, c.trimTexts);
  return f;
}

}  // namespace

std::string formatLine(const AcquisitionFormat& f) {
  return padded(f.name, 10) + ' ' + padded(f.description, 30) + ' ' + padded(f.outputTemplate, 64) +
         ' ' + padded(f.entryText, 3) + ' ' + padded(f.exitText, 3);
}

bool parseFormats(ByteSource& source, FormatList& list) {
  std::string pending = source.take(116);
  if (pending.empty()) {
    // An emptied list is saved as an empty file; it must read back empty.
    list.entries.clear();
    return true;
  }
  std::size_t cr = pending.find('\r');
  if (cr == std::string::npos) return false;
  std::optional<Columns> columns = columnsFor(cr + 2);
  if (!columns) return false;
  std::size_t length = cr + 2;

  std::vector<AcquisitionFormat> entries;
  while (entries.size() < kFormatCapacity) {
    if (pending.size() < length) pending += source.take(length - pending.size());
    if (pending.size() < length || !crlfAt(pending, length - 2)) break;
    entries.push_back(parseLine(std::string_view(pending).substr(0, length), *columns));
    pending.erase(0, length);
  }
  list.entries = std::move(entries);
  return true;
}

bool readFormatList(const FileContext& ctx, FormatList& list) {
  showReadingPath(ctx, kFormatFile);
  FileSource file;
  if (!file.open(ctx.directory / kFormatFile)) {
    showOpenError(ctx, kFormatFile);
    return true;
  }
  if (!parseFormats(file, list)) return false;
  if (ctx.diagnostic) {
    for (const AcquisitionFormat& f : list.entries) ctx.messages.info(formatLine(f));
  }
  return true;
}

bool writeFormatList(const FileContext& ctx, const FormatList& list) {
  std::string bytes;
  bytes.reserve(list.entries.size() * 116);
  for (const AcquisitionFormat& f : list.entries) bytes += formatLine(f) + "\r\n";
  return saveFileAtomically(ctx, kFormatFile, bytes);
}

std::optional<std::size_t> findFormat(const FormatList& list, std::string_view name) {
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    if (list.entries[i].name == name) return i;
  }
  return std::nullopt;
}

}  // namespace cfg
