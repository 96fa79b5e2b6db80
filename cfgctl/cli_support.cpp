#include "cfgctl/cli_support.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "app/text_1252.h"

namespace cfg::cli {

namespace {

bool validUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t follow;
    if (c < 0x80) follow = 0;
    else if (c >= 0xC2 && c <= 0xDF) follow = 1;
    else if (c >= 0xE0 && c <= 0xEF) follow = 2;
    else if (c >= 0xF0 && c <= 0xF4) follow = 3;
    else return false;
    if (follow > text.size() - i - 1) return false;
    for (std::size_t k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += follow + 1;
  }
  return true;
}

}  // namespace

std::string printable(std::string_view raw, bool lineBreaks) {
  const std::string converted = validUtf8(raw) ? std::string(raw) : cp1252ToUtf8(raw);
  std::string_view text = converted;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (lineBreaks && c == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (lineBreaks && (c == '\n' || c == '\t')) {
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string shownArg(const std::string& text) {
  constexpr std::size_t kKeep = 60;
  if (text.size() <= 2 * kKeep + 3) return text;
  return text.substr(0, kKeep) + "..." + text.substr(text.size() - kKeep) + " (" + std::to_string(text.size()) +
         " caratteri)";
}

Answer CliPrompt::ask(const PromptRequest& r) {
  std::lock_guard lock(mutex_);
  std::string text = printable(r.text, !(escapeReplies_ && r.icon == Icon::Info));
  switch (r.buttons) {
    case Buttons::YesNo:
      if (yes_) {
        err_ << text << " -> Si` (--yes)\n";
        return Answer::Yes;
      }
      err_ << text << " -> No (senza --yes)\n";
      return Answer::No;
    case Buttons::RetryCancel:
      err_ << text << "\n";
      failed_ = true;
      return Answer::Cancel;
    case Buttons::OkCancel:
      err_ << text << "\n";
      return Answer::Cancel;
    case Buttons::Ok:
      break;
  }
  if (r.icon == Icon::Error || r.icon == Icon::Warning) {
    err_ << text << "\n";
    if (r.icon == Icon::Error) failed_ = true;
  } else {
    out_ << text << "\n";
  }
  return Answer::Ok;
}

bool CliPrompt::failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

std::optional<LoadingReport> loadUnattended(const std::filesystem::path& directory, ProcessState& state,
                                            const Messages& messages, std::ostream& err) {
  auto dir = workingDirectory(directory, err);
  if (!dir) return std::nullopt;
  state.workingDirectory = *dir;
  state.batchOnStart = true;  // unattended: the loaders never stop on a box
  return runLoadingSequence(state, messages);
}

std::optional<std::filesystem::path> workingDirectory(const std::string& given, std::ostream& err) {
  return workingDirectory(pathFromUtf8(given), err);
}

std::optional<std::filesystem::path> workingDirectory(const std::filesystem::path& given, std::ostream& err) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(given, ec).lexically_normal();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();  // "/srv/plant/" -> "/srv/plant"
  if (ec) {
    // A relative path needs the current directory, which may have been deleted.
    err << "cfgctl: cartella di lavoro " << shownArg(given.string()) << ": " << ec.message() << "\n";
    return std::nullopt;
  }
  struct stat st {};
  int error = ::stat(path.c_str(), &st) == 0 ? (S_ISDIR(st.st_mode) ? 0 : ENOTDIR) : errno;
  if (error != 0) {
    err << "cfgctl: cartella di lavoro " << shownArg(path.string()) << ": " << std::strerror(error) << "\n";
    return std::nullopt;
  }
  return path;
}

void reportFile(const FileReport& report, std::ostream& err) {
  if (!report.read()) err << "cfgctl: " << printable(report.problem()) << "\n";
  for (const std::string& line : report.badLineTexts()) err << "cfgctl: " << printable(line) << "\n";
}

WorkerEnd runInterruptible(Worker::Routine routine, const Messages& messages, const std::atomic<bool>* interrupted,
                           const std::function<void(const ProgressUpdate&)>& onProgress) {
  ProgressQueue queue;
  Worker worker;
  if (!worker.start(queue, std::move(routine), messages)) return WorkerEnd::NotStarted;
  WorkerEnd end = WorkerEnd::Done;
  for (;;) {
    if (interrupted && interrupted->load()) {
      end = WorkerEnd::Interrupted;
      break;
    }
    auto event = queue.next(100);
    if (!event) continue;
    if (event->close) break;
    if (onProgress) onProgress(event->update);
  }
  worker.stop();
  for (auto& e : queue.takeAll())
    if (!e.close && onProgress) onProgress(e.update);
  return end;
}

}  // namespace cfg::cli
