// The archive choices of one record kind, as the six choice dialogs show them,
// and the rules of those dialogs.
//
// Each record kind has its archives (a check box), two copy paths per archive
// and, for the formatted attendance archives, the name of an acquisition
// format. The table below says which ArchiveSettings fields belong to which
// archive, so the dialogs, the "nothing chosen" question and the tests all
// read the same description.
//
// A dialog works on an edited copy (ArchiveChoiceEdit): its controls are read
// into the copy on confirmation, and the copy replaces the settings it edits
// only when the confirmation goes through. Before an interactive run the
// choice is saved to recent.dat whatever the answer, and becomes the live
// settings only when confirmed (chooseArchivesBeforeRun).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/archive_settings.h"
#include "app/process_state.h"
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

// The settings one choice or configuration dialog edits, and its confirmation.
class ArchiveChoiceEdit {
 public:
  // Choice: the "Salva Registrazioni in ..." dialog over the recent settings.
  // Configuration: "Configura Archivi ..." over the archive settings (acqreg.dat).
  enum class Mode { Choice, Configuration };

  ArchiveChoiceEdit(ProcessState& state, RecordKind kind, Mode mode);

  RecordKind kind() const { return kind_; }
  Mode mode() const { return mode_; }
  const std::vector<ArchiveSlot>& archives() const { return archiveSlots(kind_); }
  // The edited copy: what the controls show and what they are read into.
  const ArchiveSettings& edited() const { return edited_; }

  // Reading the controls back, slot by slot (archiveSlots order).
  void setEnabled(std::size_t slot, bool on);
  // A path as typed (UTF-8); refused paths leave the copy unchanged.
  PathRefusal setCopy(std::size_t slot, int copy, std::string_view utf8Path);
  // The format list's shown text (Windows-1252), at most 10 characters kept.
  void setFormat(std::size_t slot, std::string_view name);

  // The confirm button, once the controls are read. When nothing would be
  // stored it asks "ATTENZIONE! Le registrazioni non verranno salvate.
  // Continuare ?" ("Salva ...", Yes/No, No preselected); No keeps the dialog
  // open and the edited copy as read. Choice: the copy becomes the recent
  // settings. Configuration: the copy becomes the archive settings and
  // acqreg.dat is written; when it cannot be, the archive settings stay as
  // they were and the dialog stays open. True: close as confirmed.
  bool confirm(const Messages& messages);

 private:
  ProcessState& state_;
  RecordKind kind_;
  Mode mode_;
  ArchiveSettings edited_;
};

// The archive choice before an interactive acquisition or retrieval.
// `showChoice` shows the choice dialog (over state.recent) and says whether
// it was confirmed. recent.dat is written either way; only a confirmed
// choice replaces the live settings. True: start the run.
bool chooseArchivesBeforeRun(ProcessState& state, const Messages& messages, const std::function<bool()>& showChoice);

}  // namespace cfg
