#include "records/archive_choice.h"

#include <cctype>

#include "app/settings_files.h"

namespace cfg {

namespace {

using S = ArchiveSettings;

const std::vector<ArchiveSlot> kAttendanceSlots = {
    {"Acquisizione registrazioni formato ORBITA (file_reg.txt)", nullptr, &S::regEnabled, &S::regCopy2,
     &S::regCopy3, nullptr},
    {"Acquisizione formato", "(file_out.txt)", &S::outEnabled, &S::outCopy2, &S::outCopy3, &S::outFormat},
    {"Acquisizione formato", "(file_ou2.txt)", &S::ou2Enabled, &S::ou2Copy2, &S::ou2Copy3, &S::ou2Format},
};
const std::vector<ArchiveSlot> kProductionSlots = {
    {"Acquisizione registrazioni di produzione (file_prd.txt)", nullptr, &S::prdEnabled, &S::prdCopy2,
     &S::prdCopy3, nullptr},
    {"Acquisizione reg. prod. formato 'unalinea' (file_cnt.txt)", nullptr, &S::cntEnabled, &S::cntCopy2,
     &S::cntCopy3, nullptr},
};
// The canteen dialog has always carried this label.
const std::vector<ArchiveSlot> kCanteenSlots = {
    {"Acquisizione registrazioni di produzione (file_mns.txt)", nullptr, &S::mnsEnabled, &S::mnsCopy2,
     &S::mnsCopy3, nullptr},
};

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

const std::vector<ArchiveSlot>& archiveSlots(RecordKind kind) {
  switch (kind) {
    case RecordKind::Production: return kProductionSlots;
    case RecordKind::Canteen: return kCanteenSlots;
    case RecordKind::Attendance: break;
  }
  return kAttendanceSlots;
}

bool nothingChosen(const ArchiveSettings& settings, RecordKind kind) {
  for (const ArchiveSlot& slot : archiveSlots(kind))
    if (settings.*slot.enabled || !(settings.*slot.copy2).empty() || !(settings.*slot.copy3).empty()) return false;
  return true;
}

std::optional<std::size_t> formatChoiceIndex(const FormatList& formats, std::string_view stored) {
  if (formats.entries.empty()) return std::nullopt;
  for (std::size_t i = 0; i < formats.entries.size(); ++i)
    if (equalIgnoringCase(formats.entries[i].name, stored)) return i;
  return 0;
}

const char* configurationTitle(RecordKind kind) {
  switch (kind) {
    case RecordKind::Production: return "Configura Archivi Produzione";
    case RecordKind::Canteen: return "Configura Archivi Mensa";
    case RecordKind::Attendance: break;
  }
  return "Configura Archivi";
}

ArchiveChoiceEdit::ArchiveChoiceEdit(ProcessState& state, RecordKind kind, Mode mode)
    : state_(state), kind_(kind), mode_(mode), edited_(mode == Mode::Choice ? state.recent : state.archive) {}

void ArchiveChoiceEdit::setEnabled(std::size_t slot, bool on) { edited_.*archives().at(slot).enabled = on ? 1 : 0; }

PathRefusal ArchiveChoiceEdit::setCopy(std::size_t slot, int copy, std::string_view utf8Path) {
  const ArchiveSlot& s = archives().at(slot);
  return storeArchivePath(copy == 2 ? edited_.*s.copy2 : edited_.*s.copy3, utf8Path);
}

void ArchiveChoiceEdit::setFormat(std::size_t slot, std::string_view name) {
  const ArchiveSlot& s = archives().at(slot);
  if (s.format) edited_.*s.format = std::string(name.substr(0, kFormatNameMax));
}

bool ArchiveChoiceEdit::confirm(const Messages& messages) {
  // The dialogs have no box for the acquisition option: every confirmation clears it.
  edited_.acquisitionOption = 0;
  if (nothingChosen(edited_, kind_) && !messages.confirm(kNothingChosenQuestion, kNothingChosenTitle, Icon::Warning))
    return false;
  if (mode_ == Mode::Choice) {
    state_.recent = edited_;
    return true;
  }
  ArchiveSettings before = state_.archive;
  state_.archive = edited_;
  if (writeArchiveSettings(state_, messages)) return true;
  state_.archive = before;  // not written: nothing changed, the dialog stays open
  return false;
}

bool chooseArchivesBeforeRun(ProcessState& state, const Messages& messages, const std::function<bool()>& showChoice) {
  bool confirmed = showChoice();
  // Remembered whatever the answer; a file that cannot be written is not reported.
  writeRecentSettings(state, messages);
  if (confirmed) state.live = state.recent;
  return confirmed;
}

}  // namespace cfg
