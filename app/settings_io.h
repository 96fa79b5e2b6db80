// Helpers shared by the readers and writers of the settings files.
//
// Settings files are fixed-width Windows-1252 text with CR LF line ends. The
// readers take fields by column from lines of known length and never look
// past the bytes they were given; the writers pad (and, as a last defence,
// cut) every text to its width so that a line always keeps its length.
//
// Readers parse from a ByteSource so that the same code reads a file, a
// buffer in a test, or a fuzzer's input.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/fd.h"
#include "link/prompt.h"

namespace cfg {

// Where the settings files are and how loudly their readers speak.
struct FileContext {
  const std::filesystem::path& directory;  // the working directory
  const Messages& messages;
  bool diagnostic = false;  // "-d": show every file name and what was read
};

// A sequential source of bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to n bytes into dst; fewer only at the end of the data (or on an error).
  virtual std::size_t read(char* dst, std::size_t n) = 0;
  // The next n bytes, or fewer at the end.
  std::string take(std::size_t n);
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  // It only views the bytes: a temporary string would be gone before the read.
  explicit MemorySource(std::string&&) = delete;
  std::size_t read(char* dst, std::size_t n) override;

 private:
  std::string_view bytes_;
};

class FileSource : public ByteSource {
 public:
  // True when the file could be opened for reading.
  bool open(const std::filesystem::path& path);
  std::size_t read(char* dst, std::size_t n) override;
  // The system's error of the failed open, or of a read that ended early
  // (a folder opens but cannot be read); 0 when none.
  int error() const { return error_; }

 private:
  UniqueFd fd_;
  int error_ = 0;
};

// What a reader found in its file, for the callers that must act on it
// (cfgctl, unattended runs): the file was read, was not there, or could not
// be read (the system's reason, or what is wrong with its bytes). Lines left
// out of a file that was otherwise read are listed as "riga N: why".
struct FileReport {
  enum class Outcome { Read, Missing, Unreadable };
  Outcome outcome = Outcome::Read;
  std::string path;                   // as messages show it
  std::string reason;                 // why it is missing or unreadable
  std::vector<std::string> badLines;  // lines left out

  bool read() const { return outcome == Outcome::Read; }
  // Sets Missing (no such file) or Unreadable from the system error of an open or read.
  void failed(int error);
  // "path: reason" for a file that was not read; "path, riga N: why: riga
  // ignorata." for each line left out.
  std::string problem() const;
  std::vector<std::string> badLineTexts() const;
};

// "%s\%s" of the working directory and a file name, with the platform's
// separator: the path as messages show it.
std::string shownPath(const std::filesystem::path& directory, std::string_view name);

// The text in columns [pos, pos + width) of a line (fewer when the line is
// shorter), up to its first NUL byte, without trailing blanks when asked.
std::string textField(std::string_view line, std::size_t pos, std::size_t width,
                      bool trimBlanks = true);

// Decimal conversion of columns [pos, pos + width): leading blanks, an
// optional sign, then digits up to the first non-digit. No digits gives 0;
// the value saturates instead of overflowing.
long decimalField(std::string_view line, std::size_t pos, std::size_t width);

// "%-<width>s": text up to its first NUL byte, blank-padded to width and cut
// to width when longer.
std::string padded(std::string_view text, std::size_t width);

// True when the two bytes at pos are CR LF.
bool crlfAt(std::string_view line, std::size_t pos);

// Diagnostic boxes of the readers: the path in "Leggi File ...", and
// "Errore: opening file %s\%s" titled "Errore Message" for a missing file.
void showReadingPath(const FileContext& ctx, std::string_view name);
void showOpenError(const FileContext& ctx, std::string_view name);
// Diagnostic mode: every line a reader left out, and why a file could not be
// read, in "Warning Message" boxes.
void showReport(const FileContext& ctx, const FileReport& report);

// Replaces directory/name with bytes: writes a temporary file in the same
// folder, flushes it to disk and renames it over the old file, so that a
// failed write leaves the old file as it was. Returns true when the new file
// is in place. On failure shows "Errore: scrittura file %s\%s non riuscita."
// (title "Error Message") and returns false; `cause` (when given) then gets
// the step that failed, the path and the system's reason.
bool saveFileAtomically(const FileContext& ctx, std::string_view name, std::string_view bytes,
                        std::string* cause = nullptr);

}  // namespace cfg
