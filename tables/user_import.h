// Importing a user list from a foreign fixed-column text file.
//
// A description tells, for each user field, where it stands in the import
// line (1-based column and length) or the fixed value that every user gets
// when it is not in the file, plus the length of an import line without
// CR LF. Descriptions are kept in their own ".dat" files.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cfg {

// The fields in the order of the description and its file.
enum class ImportField { Personnel, Pin, Expiry, Counter, Policy, Extra1, Extra2, Company };
inline constexpr std::size_t kImportFields = 8;

struct ImportFieldSpec {
  unsigned position = 0;  // 1-based column; 0 with length 0: not in the file
  unsigned length = 0;
  std::string fixed;      // up to 16 characters; 10 are filed
};

struct ImportDescription {
  std::array<ImportFieldSpec, kImportFields> fields;
  unsigned totalLength = 0;  // 1-255, without CR LF

  ImportFieldSpec& operator[](ImportField f) { return fields[static_cast<std::size_t>(f)]; }
  const ImportFieldSpec& operator[](ImportField f) const { return fields[static_cast<std::size_t>(f)]; }
};

inline constexpr std::size_t kFixedValueMemory = 16;
inline constexpr std::size_t kFixedValueFiled = 10;

inline constexpr const char* kImportTitle = "Importa Elenco Utenti";
inline constexpr const char* kImportFailed = "Errore: importazione non riuscita.";
inline constexpr const char* kOpenDescriptionTitle = "Apri descrizione";
inline constexpr const char* kSaveDescriptionTitle = "Salva descrizione";
inline constexpr const char* kDescriptionFilter = "Data File (*.dat)";
inline constexpr const char* kImportFileTitle = "Import ...";
inline constexpr const char* kDescriptionNotSaved = "Errore: salvataggio descrizione non riuscito.";

// Where a description check failed: a field's length, or the total length.
struct ImportDescriptionCheck {
  bool ok = true;
  bool total = false;                     // the total line length is wrong
  ImportField field = ImportField::Company;  // otherwise this field's length
  std::string message;
};

// The lengths, in the dialog's order: company, personnel number, PIN,
// expiry date, counter, policy, extras, then the total length.
ImportDescriptionCheck checkImportDescription(const ImportDescription& description);

// Eight lines "%03u %03u %-10s" and one "%03u", each with CR LF.
std::string importDescriptionText(const ImportDescription& description);
bool saveImportDescription(const std::filesystem::path& path, const ImportDescription& description);
// Nothing when the file cannot be read or is not a description.
std::optional<ImportDescription> loadImportDescription(const std::filesystem::path& path);

// Reads the users of `source` by the description into `list` (as user
// records, see users.h), at most `capacity`. A line shorter than the total
// length ends the import. A line longer than the total length, a field that
// is not valid, a field outside the line (position 0 with a length, or past
// the total length) or a description that does not pass its check fail the
// import; `list` is then left as it was.
bool importUsers(const std::filesystem::path& source, const ImportDescription& description, int capacity,
                 std::vector<std::string>& list);

}  // namespace cfg
