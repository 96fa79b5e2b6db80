#include "records/archive_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/fd.h"
#include "records/append_line.h"
#include "records/archive_lines.h"

namespace cfg {

namespace {

ArchiveResult failed(std::string why) { return {false, std::move(why)}; }

ArchiveResult commit(const ArchiveContext& ctx, ArchiveAppend& lines) {
  ArchiveResult r;
  r.ok = lines.commit(ctx.messages, r.failure);
  return r;
}

// The fixed archive (when enabled) and its two copies.
void addArchive(ArchiveAppend& lines, const ArchiveContext& ctx, bool enabled, const char* fixedName,
                const std::string& copy2, const std::string& copy3, std::string_view line) {
  if (enabled) lines.add(ctx.directory / fixedName, line);
  if (!copy2.empty()) lines.add(archivePathOnDisk(copy2), line);
  if (!copy3.empty()) lines.add(archivePathOnDisk(copy3), line);
}

bool wanted(std::uint8_t enabled, const std::string& copy2, const std::string& copy3) {
  return enabled || !copy2.empty() || !copy3.empty();
}

// One formatted archive's lines; false (with the reason) when its format is
// not in the list.
bool addFormatted(ArchiveAppend& lines, const ArchiveContext& ctx, std::string_view record, std::uint8_t enabled,
                  const std::string& formatName, const char* fixedName, const std::string& copy2,
                  const std::string& copy3, std::string& failure) {
  auto index = findFormat(ctx.formats, formatName);
  if (!index) {
    failure = formatName.empty() ? std::string("nessun formato scelto per ") + fixedName
                                 : "formato '" + formatName + "' per " + fixedName + " non trovato nell'elenco formati";
    return false;
  }
  const AcquisitionFormat& f = ctx.formats.entries[*index];
  std::string line = expandTemplate(f.outputTemplate, record, ctx.link, f.entryText, f.exitText);
  addArchive(lines, ctx, enabled, fixedName, copy2, copy3, line);
  return true;
}

ArchiveResult shortRecord(const char* kind, std::size_t size) {
  return failed(std::string("registrazione ") + kind + " incompleta (" + std::to_string(size) + " byte)");
}

// The items of a terminal's item file, read one 21-byte item at a time and
// no further than the 200 a line can hold. A missing file holds no items.
ArchiveResult readItems(const std::filesystem::path& path, ProductionItemCollector& items) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) return {};
    return failed(pathFailure(path, std::strerror(errno)));
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return failed(pathFailure(path, std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) return failed(pathFailure(path, "non e` un file regolare"));
  // A block of items at a time; what a cancelling item takes back is read on.
  char block[kProductionItemLength * 64];
  std::size_t held = 0;
  while (!items.full()) {
    ssize_t n = ::read(fd.get(), block + held, sizeof block - held);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(pathFailure(path, std::strerror(errno)));
    if (n == 0) break;  // a cut last item is not read
    held += static_cast<std::size_t>(n);
    std::size_t used = 0;
    while (held - used >= kProductionItemLength && items.feed(std::string_view(block + used, kProductionItemLength)))
      used += kProductionItemLength;
    if (items.full()) break;
    std::memmove(block, block + used, held - used);
    held -= used;
  }
  return {};
}

void removeItemFile(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace

ArchiveResult writeAttendance(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = attendanceLine(record, ctx.link);
  if (line.empty()) return shortRecord("di presenza", record.size());
  ArchiveAppend lines;
  addArchive(lines, ctx, s.regEnabled, kRegFile, s.regCopy2, s.regCopy3, line);

  // Transit kinds outside the set go to the fixed archive only.
  if (formattedTransit(record)) {
    std::string failure;
    if (wanted(s.outEnabled, s.outCopy2, s.outCopy3) &&
        !addFormatted(lines, ctx, record, s.outEnabled, s.outFormat, kOutFile, s.outCopy2, s.outCopy3, failure))
      return failed(failure);
    if (wanted(s.ou2Enabled, s.ou2Copy2, s.ou2Copy3) &&
        !addFormatted(lines, ctx, record, s.ou2Enabled, s.ou2Format, kOu2File, s.ou2Copy2, s.ou2Copy3, failure))
      return failed(failure);
  }
  return commit(ctx, lines);
}

ArchiveResult writeProduction(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = productionLine(record, ctx.link);
  if (line.empty()) return shortRecord("di produzione", record.size());
  ArchiveAppend lines;
  addArchive(lines, ctx, s.prdEnabled, kPrdFile, s.prdCopy2, s.prdCopy3, line);
  if (ctx.retrieval || !wanted(s.cntEnabled, s.cntCopy2, s.cntCopy3)) return commit(ctx, lines);

  const std::filesystem::path itemFile = ctx.directory / itemFileName(ctx.link);
  int type = productionEventType(record);
  if (type >= 0 && (type < 0x20 || type == 0x82 || type == kItemCancelsLast)) {
    lines.add(itemFile, productionItem(record));
    return commit(ctx, lines);
  }
  if (type == kClosingRecord) {
    ProductionItemCollector items;
    if (ArchiveResult read = readItems(itemFile, items); !read) return read;
    if (items.texts().empty()) return commit(ctx, lines);  // nothing collected: the item file stays
    std::string oneLine = oneLineProduction(record, ctx.link, items.texts());
    addArchive(lines, ctx, s.cntEnabled, kCntFile, s.cntCopy2, s.cntCopy3, oneLine);
    ArchiveResult r = commit(ctx, lines);
    if (r) removeItemFile(itemFile);  // the job is closed; on failure its items stay for the next try
    return r;
  }
  ArchiveResult r = commit(ctx, lines);
  if (r && type == kDiscardItems) removeItemFile(itemFile);
  return r;
}

ArchiveResult writeCanteen(const ArchiveContext& ctx, std::string_view record) {
  const ArchiveSettings& s = ctx.live;
  std::string line = canteenLine(record, ctx.link);
  if (line.empty()) return shortRecord("mensa", record.size());
  ArchiveAppend lines;
  addArchive(lines, ctx, s.mnsEnabled, kMnsFile, s.mnsCopy2, s.mnsCopy3, line);
  return commit(ctx, lines);
}

}  // namespace cfg
