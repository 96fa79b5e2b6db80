// The fingerprint table of fixed terminals with a fingerprint module.
//
// A record is a badge code ("%02X%08lX") and the name of a template file:
// each template (384 bytes, handled as 768 upper-case hexadecimal digits)
// lives in a small file "tmp%05d.tpl" of its own in the list's folder. The
// files are temporary: removing a record removes its file, and the list
// removes every file it made when it is cleared or destroyed.
//
// List files come in two forms, told apart by the length of the first line:
//   embedded      "%05d %09ld " + 768 template digits + CR LF   (786 bytes)
//   by reference  "%02d %09ld " + template file name (16) + CR LF (31, or 29)
// A list is always saved in the embedded form.
//
// Terminal commands: "4C" clears the table, "4A" + badge + template writes
// one record, "48%04X" reads the record at a 1-based index.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"
#include "tables/table_engine.h"

namespace cfg {

inline constexpr int kFingerprintCapacity = 1836;
inline constexpr int kFingerprintsToRead = 1835;  // indices 1 .. 1835
inline constexpr std::size_t kTemplateDigits = 768;
inline constexpr std::size_t kEmbeddedLineLength = 786;  // with CR LF
inline constexpr std::size_t kReferenceLineLength = 31;
inline constexpr std::size_t kShortReferenceLineLength = 29;

inline constexpr const char* kFingerprintsTitle = "Elenco Impronte Digitali";
inline constexpr const char* kFingerprintsName = "fingerprints";
inline constexpr const char* kFingerprintsFile = "impronte.txt";
inline constexpr const char* kTemplateReadQuestion = "Errore lettura template %s (codice %s). Continuare?";
inline constexpr const char* kNoFingerprints = "Errore: nessuna impronta presente.";
inline constexpr const char* kNoCapturedTemplate = "Errore: impronta non presente.";

struct FingerprintRecord {
  std::string badge;         // 10 characters: company "%02X", personnel number "%08lX"
  std::string templateFile;  // file name in the list's folder, up to 16 characters
};

// Exactly 768 hexadecimal digits (either case).
bool validTemplate(std::string_view digits);

// Send and receive are enabled for this model.
bool fingerprintsEnabledFor(std::string_view model);

class FingerprintList {
 public:
  // Template files are made in `folder`.
  explicit FingerprintList(std::filesystem::path folder);
  // Removes every template file of the list.
  ~FingerprintList();
  FingerprintList(const FingerprintList&) = delete;
  FingerprintList& operator=(const FingerprintList&) = delete;

  const std::filesystem::path& folder() const { return folder_; }
  const std::vector<FingerprintRecord>& records() const { return records_; }
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  std::filesystem::path pathOf(std::size_t index) const;

  // A new record at `position` (size() appends) whose template file gets
  // the lowest number that no record and no file uses. False when the list
  // is full, the template is not valid or its file cannot be written.
  bool insert(std::size_t position, std::string badge, std::string_view templateDigits);
  bool append(std::string badge, std::string_view templateDigits) {
    return insert(records_.size(), std::move(badge), templateDigits);
  }
  // Changes the badge code of a record and, when given, its template.
  bool update(std::size_t index, std::string badge, std::optional<std::string_view> templateDigits);
  // Removes the record and its template file.
  void remove(std::size_t index);
  // Removes every record and template file.
  void clear();

  // The record's template, read bounded: nothing unless its file holds
  // exactly 768 hexadecimal digits. Given upper-case.
  std::optional<std::string> readTemplate(std::size_t index) const;

  // Ascending order of the personnel-number part of the badge code, as text.
  void sortByPersonnel();

 private:
  friend bool loadFingerprintFile(const std::filesystem::path&, const std::filesystem::path&, LoadMode, int,
                                  FingerprintList&, const Messages&, bool);
  std::string freeTemplateName() const;
  // Hands records over between lists without touching their files.
  void release() { records_.clear(); }
  void adopt(std::vector<FingerprintRecord> records) { records_ = std::move(records); }

  std::filesystem::path folder_;
  std::vector<FingerprintRecord> records_;
};

// --- list files ---

// Reads a list file in either form. Reference names are opened relative to
// `referenceFolder` unless absolute. Replace, Insert (before `selected`) or
// Append, up to the list's capacity. Any invalid line, a missing or short
// referenced template, or a template file that cannot be made fails the
// load: the list and its files stay as they were.
// `showLength` receives the first line's length (the "-d" diagnostic).
bool loadFingerprintFile(const std::filesystem::path& path, const std::filesystem::path& referenceFolder,
                         LoadMode mode, int selected, FingerprintList& list, const Messages& messages,
                         bool showLength = false);

// Writes the embedded form. A template file that cannot be opened asks
// whether to go on (Yes skips the record); an invalid one stops the save.
// The file is replaced only when every line was written.
bool saveFingerprintFile(const std::filesystem::path& path, const FingerprintList& list, const Messages& messages);

// --- terminal ---

// Models other than LX-P2 and LX-K5 ask before a send of more than 1836.
bool confirmFingerprintCapacity(std::string_view model, std::size_t count, const Messages& messages);

// Worker routine: "4C" when `clearFirst`, then "4A" for each record. A
// record whose template cannot be read asks whether to go on (No stops).
TableEnd sendFingerprints(Worker& worker, Link& link, const Messages& messages, const FingerprintList& list,
                          bool clearFirst);

// Worker routine: empties the list and reads indices 1 .. 1835 with "48".
// Progress: index + 1 after each record.
TableEnd receiveFingerprints(Worker& worker, Link& link, const Messages& messages, FingerprintList& list);

}  // namespace cfg
