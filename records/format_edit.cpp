#include "records/format_edit.h"

namespace cfg {

std::optional<std::size_t> deleteFormat(FormatList& list, std::size_t index) {
  if (index >= list.entries.size()) return std::nullopt;
  list.entries.erase(list.entries.begin() + static_cast<std::ptrdiff_t>(index));
  if (list.entries.empty()) return std::nullopt;
  return std::min(index, list.entries.size() - 1);
}

bool roomForNewFormat(const FormatList& list, const Messages& messages) {
  if (list.entries.size() < kFormatCapacity) return true;
  messages.error(kFormatListFullMessage);
  return false;
}

void cancelFormatEdits(const FileContext& ctx, FormatList& list, const FormatList& opened) {
  // The reader leaves the list alone when it has no usable file.
  list = opened;
  readFormatList(ctx, list);
}

const std::vector<LegendLine>& formatLegend(bool newCard) {
  static const std::vector<LegendLine> kNew = {
      {"%t", {"Codice terminale (4)"}},
      {"%z", {"Azienda utente (2)"}},
      {"%c", {"Causale (6)"}},
      {"%v", {}, true},
      {"%g", {"Giorno (2)"}},
      {"%m", {"Mese (2)"}},
      {"%a", {"Anno (2)"}},
      {"%H", {"Ore (2)"}},
      {"%M", {"Minuti (2)"}},
      {"%n", {"Matricola utente (9)", "Codice cantiere (9)", "Codice attivit\xE0 (9)"}},
  };
  static const std::vector<LegendLine> kEdit = {
      {"%t", {"Codice terminale (4)"}},
      {"%i", {"Indirizzo term. (3)"}},
      {"%z", {"Azienda utente (2)"}},
      {"%c", {"Causale (6)"}},
      {"%v", {}, true},
      {"%g", {"Giorno (2)"}},
      {"%m", {"Mese (2)"}},
      {"%a", {"Anno (2)"}},
      {"%H", {"Ore (2)"}},
      {"%M", {"Minuti (2)"}},
      {"%n", {"Matricola utente (9)"}},
  };
  return newCard ? kNew : kEdit;
}

}  // namespace cfg
