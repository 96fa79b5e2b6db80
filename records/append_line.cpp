#include "records/append_line.h"

#include <mutex>

#include "app/text_1252.h"
#include "records/archive_file.h"

namespace cfg {

namespace {

struct OpenArchive {
  const std::filesystem::path* path = nullptr;
  std::string bytes;
  ArchiveFile file;
};

// Takes back what this record wrote: the file ends where it ended before.
void rollBack(std::vector<OpenArchive>& open) {
  for (OpenArchive& a : open) {
    if (a.file.created()) {
      a.file.close();  // an open file cannot be removed everywhere
      std::error_code ec;
      std::filesystem::remove(*a.path, ec);
      if (a.file.touched()) syncDirectoryOf(*a.path);
    } else {
      a.file.cutBack();
    }
  }
}

// Files created while opening, before any write: removed again.
void removeCreated(std::vector<OpenArchive>& open) {
  for (OpenArchive& a : open) {
    if (!a.file.created()) continue;
    a.file.close();
    std::error_code ec;
    std::filesystem::remove(*a.path, ec);
  }
}

void reportWriteFailure(const std::filesystem::path& path, const std::string& reason, const Messages& messages) {
  if (!messages.flags.showLinkErrors.load()) return;
  messages.ask({"Errore ArchiviaTransazione\n" + reason, utf8ToCp1252(path.string()), Icon::Info, Buttons::Ok,
                Answer::Ok, false});
}

}  // namespace

std::string pathFailure(const std::filesystem::path& path, std::string_view reason) {
  std::string text = utf8ToCp1252(path.string());
  text += ": ";
  text += reason;
  return text;
}

void ArchiveAppend::add(const std::filesystem::path& path, std::string_view line) {
  for (File& f : files_)
    if (f.path == path) {
      f.bytes += line;
      return;
    }
  files_.push_back({path, std::string(line)});
}

bool ArchiveAppend::commit(const Messages& messages, std::string& failure) {
  // The lock of a file belongs to its open file, so two threads of this
  // process appending to one archive would each find it "in use": the
  // process's own writers take turns here instead; another program holding
  // the file still makes the append fail at once.
  static std::mutex writers;
  std::lock_guard<std::mutex> turn(writers);
  failure.clear();
  std::vector<OpenArchive> open;
  open.reserve(files_.size());

  // Every file open and locked before the first byte goes out.
  for (const File& f : files_) {
    OpenArchive a;
    a.path = &f.path;
    a.bytes = f.bytes;
    // Two names of one file (a copy naming the fixed archive): one write.
    // Names are compared before the open, since a file opened unshared
    // cannot be opened again; the open file tells the rest (links).
    auto mergedInto = [&](auto same) {
      for (OpenArchive& other : open)
        if (same(other)) {
          other.bytes += a.bytes;
          return true;
        }
      return false;
    };
    if (mergedInto([&](const OpenArchive& other) { return ArchiveFile::sameName(*other.path, f.path); })) continue;
    std::string reason = a.file.open(f.path);
    if (reason.empty()) {
      if (mergedInto([&](const OpenArchive& other) { return other.file.sameFile(a.file); })) continue;
      reason = a.file.lock();
    }
    if (!reason.empty()) {
      if (a.file.created()) open.push_back(std::move(a));
      removeCreated(open);
      failure = pathFailure(f.path, reason);
      return false;
    }
    open.push_back(std::move(a));
  }

  for (OpenArchive& a : open) {
    std::string reason = a.file.write(a.bytes);
    if (!reason.empty()) {
      rollBack(open);
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
      return false;
    }
  }
  for (OpenArchive& a : open) {
    int error = a.file.created() ? syncDirectoryOf(*a.path) : 0;
    if (error != 0) {
      std::string reason = systemReason(error);
      rollBack(open);
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
      return false;
    }
  }
  // The lines are on disk; a close that fails after fdatasync loses nothing,
  // but it is still reported and the record is written again next time.
  bool closed = true;
  for (OpenArchive& a : open) {
    std::string reason = a.file.close();
    if (!reason.empty() && closed) {
      closed = false;
      failure = pathFailure(*a.path, reason);
      reportWriteFailure(*a.path, reason, messages);
    }
  }
  return closed;
}

bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages,
                std::string& failure) {
  ArchiveAppend one;
  one.add(path, line);
  return one.commit(messages, failure);
}

bool appendLine(const std::filesystem::path& path, std::string_view line, const Messages& messages) {
  std::string failure;
  return appendLine(path, line, messages, failure);
}

}  // namespace cfg
