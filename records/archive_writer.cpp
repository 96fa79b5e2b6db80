#include "records/archive_writer.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "records/append_line.h"
#include "records/archive_lines.h"

namespace cfg {

namespace {

// The fixed archive (when enabled) and then its two copies; stops at the
// first failure.
bool appendToArchive(const ArchiveContext& ctx, bool enabled, const char* fixedName, const std::string& copy2,
                     const std::string& copy3, std::string_view line) {
  if (enabled && !appendLine(ctx.directory / fixedName, line, ctx.messages)) return false;
  if (!copy2.empty() && !appendLine(copy2, line, ctx.messages)) return false;
  if (!copy3.empty() && !appendLine(copy3, line, ctx.messages)) return false;
  return true;
}

bool wanted(std::uint8_t enabled, const std::string& copy2, const std::string& copy3) {
  return enabled || !copy2.empty() || !copy3.empty();
}

// One formatted archive: 1 written or nothing to do, 0 failed.
bool writeFormatted(const ArchiveContext& ctx, std::string_view record, std::uint8_t enabled,
                    const std::string& formatName, const char* fixedName, const std::string& copy2,
                    const std::string& copy3) {
  auto index = findFormat(ctx.formats, formatName);
  if (!index) return false;
  const AcquisitionFormat& f = ctx.formats.entries[*index];
  std::string line = expandTemplate(f.outputTemplate, record, ctx.link, f.entryText, f.exitText);
  return appendToArchive(ctx, enabled, fixedName, copy2, copy3, line);
}

}  // namespace

bool writeAttendance(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = attendanceLine(record, ctx.link);
  if (line.empty()) return false;
  if (!appendToArchive(ctx, s.regEnabled, kRegFile, s.regCopy2, s.regCopy3, line)) return false;

  // Transit kinds outside the set go to the fixed archive only.
  bool formatted = formattedTransit(record);
  if (wanted(s.outEnabled, s.outCopy2, s.outCopy3) && formatted &&
      !writeFormatted(ctx, record, s.outEnabled, s.outFormat, kOutFile, s.outCopy2, s.outCopy3))
    return false;
  if (wanted(s.ou2Enabled, s.ou2Copy2, s.ou2Copy3) && formatted &&
      !writeFormatted(ctx, record, s.ou2Enabled, s.ou2Format, kOu2File, s.ou2Copy2, s.ou2Copy3))
    return false;
  return true;
}

bool writeProduction(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = productionLine(record, ctx.link);
  if (line.empty()) return false;
  if (!appendToArchive(ctx, s.prdEnabled, kPrdFile, s.prdCopy2, s.prdCopy3, line)) return false;
  if (!wanted(s.cntEnabled, s.cntCopy2, s.cntCopy3)) return true;

  const std::filesystem::path itemFile = ctx.directory / itemFileName(ctx.link);
  int type = productionEventType(record);
  if (type >= 0 && (type < 0x20 || type == 0x82 || type == kItemCancelsLast))
    return appendLine(itemFile, productionItem(record), ctx.messages);
  if (type == kClosingRecord) {
    std::ifstream in(itemFile, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    in.close();
    std::vector<std::string> items = collectProductionItems(bytes);
    if (items.empty()) return true;
    std::string oneLine = oneLineProduction(record, ctx.link, items);
    if (!appendToArchive(ctx, s.cntEnabled, kCntFile, s.cntCopy2, s.cntCopy3, oneLine)) return false;
    std::error_code ec;
    std::filesystem::remove(itemFile, ec);
    return true;
  }
  if (type == kDiscardItems) {
    std::error_code ec;
    std::filesystem::remove(itemFile, ec);
  }
  return true;
}

bool writeCanteen(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = canteenLine(record, ctx.link);
  if (line.empty()) return false;
  return appendToArchive(ctx, s.mnsEnabled, kMnsFile, s.mnsCopy2, s.mnsCopy3, line);
}

}  // namespace cfg
