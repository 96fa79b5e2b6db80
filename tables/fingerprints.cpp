#include "tables/fingerprints.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <system_error>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"
#include "tables/users.h"

namespace cfg {

namespace {

namespace fs = std::filesystem;

constexpr int kClearTimeoutMs = 2000;
constexpr int kWriteTimeoutMs = 1500;
constexpr int kReadTimeoutMs = 1500;
constexpr int kModemExtraMs = 3000;
constexpr std::size_t kClearReplyCapacity = 256;
constexpr std::size_t kWriteReplyCapacity = 32;
constexpr std::size_t kReadReplyCapacity = 1024;
constexpr int kRecordReplyLength = 791;
constexpr int kEmptyReplyLength = 23;
constexpr int kPauseMs = 25;
// A list file line is never longer than this; a longer one is not a list file.
constexpr std::size_t kMaxLineBytes = kEmbeddedLineLength;
// More than this in a referenced template file is not read.
constexpr std::size_t kTemplateReadLimit = 4096;

std::string fmt(const char* format, auto... args) {
  char buf[160];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// A decimal field of exactly the given digits (leading blanks allowed); -1 otherwise.
long long decimal(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (s.empty() || s.size() > 12) return -1;
  for (char c : s)
    if (c < '0' || c > '9') return -1;
  return std::strtoll(std::string(s).c_str(), nullptr, 10);
}

// At most `limit` bytes of a file; nothing when it cannot be opened.
std::optional<std::string> readBounded(const fs::path& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data(limit, '\0');
  in.read(data.data(), static_cast<std::streamsize>(limit));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return data;
}

bool writeWhole(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

void removeQuietly(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

struct Parsed {
  std::string badge;
  std::string digits;
};

// Company and personnel number in range; the badge code, or nothing.
std::optional<std::string> badgeOf(long long company, long long personnel) {
  if (company < 0 || company > 99 || personnel < 1 || personnel > 999999999) return std::nullopt;
  return badgeCode(static_cast<int>(company), static_cast<long>(personnel));
}

// Personnel number and company of a badge code.
bool splitBadge(std::string_view badge, int& company, long& personnel) {
  if (badge.size() != 10) return false;
  auto c = hexPairAt(badge, 0);
  auto p = hex8ToU32(badge.substr(2, 8));
  if (c < 0 || !p) return false;
  company = c;
  personnel = static_cast<long>(*p);
  return true;
}

}  // namespace

bool validTemplate(std::string_view digits) {
  return digits.size() == kTemplateDigits && std::all_of(digits.begin(), digits.end(), isHex);
}

bool fingerprintsEnabledFor(std::string_view model) {
  for (std::string_view m : {"LX-P1", "LX-P2", "LX-K1", "LX-K2", "LX-K4", "LX-K5"})
    if (model == m) return true;
  return false;
}

// --- the list ---

FingerprintList::FingerprintList(fs::path folder) : folder_(std::move(folder)) {}

FingerprintList::~FingerprintList() { clear(); }

fs::path FingerprintList::pathOf(std::size_t index) const { return folder_ / records_.at(index).templateFile; }

std::string FingerprintList::freeTemplateName() const {
  std::set<std::string> used;
  for (const auto& r : records_) used.insert(r.templateFile);
  for (int n = 1; n <= 99999; ++n) {
    std::string name = fmt("tmp%05d.tpl", n);
    std::error_code ec;
    if (!used.contains(name) && !fs::exists(folder_ / name, ec) && !ec) return name;
  }
  return {};
}

bool FingerprintList::insert(std::size_t position, std::string badge, std::string_view templateDigits) {
  if (records_.size() >= static_cast<std::size_t>(kFingerprintCapacity) || position > records_.size() ||
      !validTemplate(templateDigits) || badge.size() != 10)
    return false;
  std::string name = freeTemplateName();
  if (name.empty()) return false;
  if (!writeWhole(folder_ / name, upper(templateDigits))) {
    removeQuietly(folder_ / name);
    return false;
  }
  records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(position), {std::move(badge), std::move(name)});
  return true;
}

bool FingerprintList::update(std::size_t index, std::string badge, std::optional<std::string_view> templateDigits) {
  if (index >= records_.size() || badge.size() != 10) return false;
  if (templateDigits) {
    if (!validTemplate(*templateDigits) || !writeWhole(pathOf(index), upper(*templateDigits))) return false;
  }
  records_[index].badge = std::move(badge);
  return true;
}

void FingerprintList::remove(std::size_t index) {
  if (index >= records_.size()) return;
  removeQuietly(pathOf(index));
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
}

void FingerprintList::clear() {
  for (std::size_t i = 0; i < records_.size(); ++i) removeQuietly(pathOf(i));
  records_.clear();
}

std::optional<std::string> FingerprintList::readTemplate(std::size_t index) const {
  if (index >= records_.size()) return std::nullopt;
  auto data = readBounded(pathOf(index), kTemplateDigits + 1);
  if (!data || !validTemplate(*data)) return std::nullopt;
  return upper(*data);
}

void FingerprintList::sortByPersonnel() {
  std::stable_sort(records_.begin(), records_.end(), [](const FingerprintRecord& a, const FingerprintRecord& b) {
    return std::string_view(a.badge).substr(2) < std::string_view(b.badge).substr(2);
  });
}

// --- list files ---

bool loadFingerprintFile(const fs::path& path, const fs::path& referenceFolder, LoadMode mode, int selected,
                         FingerprintList& list, const Messages& messages, bool showLength) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // Every line is read and checked, and every template found, before a
  // single template file is made.
  std::vector<Parsed> parsed;
  std::size_t lineLength = 0;
  std::size_t room = static_cast<std::size_t>(kFingerprintCapacity);
  if (mode != LoadMode::Replace) room -= std::min(room, list.size());
  std::string line;
  line.reserve(kMaxLineBytes);
  for (;;) {
    // One line up to and with CR LF, bounded.
    line.clear();
    char c;
    bool ended = false;
    while (line.size() < kMaxLineBytes && in.get(c)) {
      line += c;
      if (line.size() >= 2 && line[line.size() - 2] == '\r' && c == '\n') {
        ended = true;
        break;
      }
    }
    if (line.empty()) break;
    if (!ended) {
      if (in.eof()) break;  // a partial last line ends the file
      return false;         // longer than any list line
    }
    if (lineLength == 0) {
      lineLength = line.size();
      if (showLength) messages.info(fmt("len = %d", static_cast<int>(lineLength)));
      if (lineLength != kEmbeddedLineLength && lineLength != kReferenceLineLength &&
          lineLength != kShortReferenceLineLength)
        return false;
    }
    if (line.size() != lineLength) return false;
    if (parsed.size() >= room) break;
    std::string_view l(line.data(), line.size() - 2);
    Parsed p;
    if (lineLength == kEmbeddedLineLength) {
      if (l[5] != ' ' || l[15] != ' ') return false;
      auto badge = badgeOf(decimal(l.substr(0, 5)), decimal(l.substr(6, 9)));
      if (!badge || !validTemplate(l.substr(16, kTemplateDigits))) return false;
      p = {*badge, upper(l.substr(16, kTemplateDigits))};
    } else {
      if (l[2] != ' ' || l[12] != ' ') return false;
      auto badge = badgeOf(decimal(l.substr(0, 2)), decimal(l.substr(3, 9)));
      std::string name = trimmedRight(l.substr(13));
      if (!badge || name.empty()) return false;
      fs::path file = fs::path(name).is_absolute() ? fs::path(name) : referenceFolder / name;
      auto data = readBounded(file, kTemplateReadLimit);
      if (!data || data->size() < kTemplateDigits || !validTemplate(std::string_view(*data).substr(0, kTemplateDigits)))
        return false;
      p = {*badge, upper(std::string_view(*data).substr(0, kTemplateDigits))};
    }
    parsed.push_back(std::move(p));
  }
  if (mode == LoadMode::Insert && (selected < 0 || static_cast<std::size_t>(selected) >= list.size())) return false;

  // Make the new files beside the old ones; the old records go only when
  // every new one is in.
  FingerprintList fresh(list.folder());
  std::vector<FingerprintRecord> kept = list.records();
  // The new names cannot collide with the records that stay: their files exist.
  for (const Parsed& p : parsed)
    if (!fresh.append(p.badge, p.digits)) return false;  // `fresh` removes what it made
  std::vector<FingerprintRecord> made = fresh.records();
  // Hand the new files over to `list` without removing them.
  std::vector<FingerprintRecord> merged;
  if (mode == LoadMode::Replace) {
    list.clear();
    merged = made;
  } else {
    std::size_t at = mode == LoadMode::Append ? kept.size() : static_cast<std::size_t>(selected);
    merged.assign(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(at));
    merged.insert(merged.end(), made.begin(), made.end());
    merged.insert(merged.end(), kept.begin() + static_cast<std::ptrdiff_t>(at), kept.end());
  }
  fresh.release();
  list.adopt(std::move(merged));
  return true;
}

bool saveFingerprintFile(const fs::path& path, const FingerprintList& list, const Messages& messages) {
  std::string bytes;
  bytes.reserve(list.size() * kEmbeddedLineLength);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const FingerprintRecord& r = list.records()[i];
    int company = 0;
    long personnel = 0;
    if (!splitBadge(r.badge, company, personnel)) return false;
    auto data = readBounded(list.pathOf(i), kTemplateDigits + 1);
    if (!data) {
      std::string q = fmt(kTemplateReadQuestion, r.templateFile.c_str(), r.badge.c_str());
      if (messages.ask({q, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) != Answer::Yes) return false;
      continue;
    }
    if (!validTemplate(*data)) return false;
    bytes += fmt("%05d %09ld ", company, personnel);
    bytes += upper(*data);
    bytes += "\r\n";
  }
  // Written beside the target, then renamed over it.
  fs::path temp = path;
  temp += ".tmp";
  if (!writeWhole(temp, bytes)) {
    removeQuietly(temp);
    return false;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    removeQuietly(temp);
    return false;
  }
  return true;
}

// --- terminal ---

bool confirmFingerprintCapacity(std::string_view model, std::size_t count, const Messages& messages) {
  if (model == "LX-P2" || model == "LX-K5" || count <= static_cast<std::size_t>(kFingerprintCapacity)) return true;
  return messages.ask({kCapacityQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) == Answer::Yes;
}

TableEnd sendFingerprints(Worker& worker, Link& link, const Messages& messages, const FingerprintList& list,
                          bool clearFirst) {
  std::string reply;
  if (clearFirst && !exchange(link, messages, "4C", reply, kClearReplyCapacity, kClearTimeoutMs, 6))
    return TableEnd::Failed;
  int sent = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (worker.stopRequested()) return TableEnd::Stopped;
    const FingerprintRecord& r = list.records()[i];
    auto digits = list.readTemplate(i);
    if (!digits) {
      std::string q = fmt(kTemplateReadQuestion, r.templateFile.c_str(), r.badge.c_str());
      if (messages.ask({q, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No}) != Answer::Yes)
        return TableEnd::Stopped;
      continue;
    }
    std::string request = "4A" + r.badge + *digits;
    if (!exchange(link, messages, request, reply, kWriteReplyCapacity, kWriteTimeoutMs, 6)) return TableEnd::Failed;
    worker.refresh(0, ++sent, {});
    if (worker.pause(kPauseMs)) return TableEnd::Stopped;
  }
  return TableEnd::Done;
}

TableEnd receiveFingerprints(Worker& worker, Link& link, const Messages& messages, FingerprintList& list) {
  list.clear();
  bool asked = false;
  const int timeout = link.config.modem ? kReadTimeoutMs + kModemExtraMs : kReadTimeoutMs;
  for (int index = 1; index <= kFingerprintsToRead;) {
    if (worker.stopRequested()) return TableEnd::Stopped;
    const std::string command = fmt("48%04X", static_cast<unsigned>(index));
    std::string frame = buildRequest(link.config.address, command);
    sealMain(frame);
    std::string reply;
    link.send(frame);
    const int n = link.receiveFrame(reply, kReadReplyCapacity, timeout);
    if (n == 6) {
      if (reply[3] != NAK) return TableEnd::Done;  // the terminal has no more
      if (!messages.flags.askOnFailure.load() || !askRetry(messages, kNakMessage)) return TableEnd::Failed;
      continue;  // the same index again
    }
    if (n == kEmptyReplyLength && reply.compare(4, command.size(), command) == 0) {
      if (!messages.flags.showLinkErrors.load()) return TableEnd::Done;
      if (!asked) {
        asked = true;
        if (messages.ask({kEmptyRecordQuestion, kInfoTitle, Icon::Info, Buttons::YesNo, Answer::No, true}) !=
            Answer::Yes)
          return TableEnd::Done;
      }
    } else if (n == kRecordReplyLength && reply.compare(4, command.size(), command) == 0) {
      std::string_view data = std::string_view(reply).substr(4 + command.size());
      std::string badge(data.substr(0, 10));
      std::string_view digits = data.substr(10, kTemplateDigits);
      int company = 0;
      long personnel = 0;
      if (!splitBadge(badge, company, personnel) || !validTemplate(digits)) return TableEnd::Failed;
      if (!list.append(badge, digits)) return TableEnd::Failed;  // full, or the file cannot be made
      worker.refresh(0, index + 1, {});
      if (worker.pause(kPauseMs)) return TableEnd::Stopped;
    } else {
      if (!messages.flags.askOnFailure.load() || !askRetry(messages, kNoAnswerMessage)) return TableEnd::Failed;
      continue;
    }
    ++index;
  }
  return TableEnd::Done;
}

}  // namespace cfg
