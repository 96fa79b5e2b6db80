// The archive choices of one record kind, as the six choice dialogs show them.
//
// Each record kind has its archives (a check box), two copy paths per archive
// and, for the formatted attendance archives, the name of an acquisition
// format. The table below says which ArchiveSettings fields belong to which
// archive, so the dialogs, the "nothing chosen" question and the tests all
// read the same description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/archive_settings.h"
#include "records/acquisition.h"
#include "records/formats.h"

namespace cfg {

inline constexpr const char* kNothingChosenQuestion =
    "ATTENZIONE! Le registrazioni non verranno salvate. Continuare ?";
inline constexpr const char* kNothingChosenTitle = "Salva ...";
inline constexpr const char* kChoiceDialogTitle = "Salva Registrazioni in ...";
inline constexpr const char* kSaveFileTitle = "Save Registration File";
inline constexpr const char* kSaveFileFilter = "Text File (*.txt)";

// One archive of a record kind. `format` is null for the fixed layouts.
struct ArchiveSlot {
  const char* label;    // the check box's text
  const char* suffix;   // shown after the format list ("(file_out.txt)"); null without a list
  std::uint8_t ArchiveSettings::*enabled;
  std::string ArchiveSettings::*copy2;
  std::string ArchiveSettings::*copy3;
  std::string ArchiveSettings::*format;
};

// The archives of a kind, top to bottom.
const std::vector<ArchiveSlot>& archiveSlots(RecordKind kind);

// No archive of the kind is switched on and every copy path is empty: a run
// would acknowledge records without storing them anywhere.
bool nothingChosen(const ArchiveSettings& settings, RecordKind kind);

// The entry a format list opens on: the first whose name equals the stored
// name ignoring case, otherwise the first entry; none for an empty list.
std::optional<std::size_t> formatChoiceIndex(const FormatList& formats, std::string_view stored);

// The configuration dialogs' titles, by kind.
const char* configurationTitle(RecordKind kind);

}  // namespace cfg
