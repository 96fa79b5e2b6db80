// Editing the format list from its dialog: capacity, deleting with the
// selection that follows, cancelling, and the legends of the format card.
#pragma once

#include <optional>
#include <vector>

#include "link/prompt.h"
#include "records/formats.h"

namespace cfg {

inline constexpr const char* kFormatListFullMessage = "Spazio esaurito!";
inline constexpr const char* kNoFormatSelectedMessage = "Nessun formato selezionato !";
inline constexpr const char* kDeleteFormatQuestion = "Il record selezionato verra` eliminato. Continuare ?";
inline constexpr const char* kDeleteFormatTitle = "Elimina";
inline constexpr const char* kFormatUsage =
    "Uso: %n tutta la matricola; %6n gli ultimi 6 cartteri; %-4n i primi 4 caratteri";

// Input limits of the card's fields.
inline constexpr int kFormatNameWidth = 10;
inline constexpr int kFormatDescriptionWidth = 30;
inline constexpr int kFormatDirectionWidth = 3;
inline constexpr int kFormatTemplateWidth = 64;

// Removes entry `index`; the later entries move up. Returns the position to
// select afterwards (the same one, or the new last), none when the list is
// empty or the index was not in it.
std::optional<std::size_t> deleteFormat(FormatList& list, std::size_t index);

// "&Nuovo": false, after "Spazio esaurito!" (Error Message), when the list
// already holds 100 formats.
bool roomForNewFormat(const FormatList& list, const Messages& messages);

// "&Annulla": the list is read again from format.dat, dropping the dialog's
// changes; when the file is missing or unreadable, the list is the one the
// dialog opened on.
void cancelFormatEdits(const FileContext& ctx, FormatList& list, const FormatList& opened);

// One line of the card's " Campi utilizzabili " legend: the field and its
// texts side by side. The %v line carries the entry and exit fields instead.
struct LegendLine {
  const char* field;                 // "%t"
  std::vector<const char*> texts;    // "Codice terminale (4)"
  bool directions = false;           // the %v line: "Verso entrata =" [ ] "uscita =" [ ]
};
// The new card lists %n with the site and job activity codes too; the edit
// card lists %i as well.
const std::vector<LegendLine>& formatLegend(bool newCard);

}  // namespace cfg
