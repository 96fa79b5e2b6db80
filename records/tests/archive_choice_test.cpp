// The archive choice rules and the format list edits the dialogs rely on.
#include <gtest/gtest.h>

#include "app/settings_files.h"
#include "records/archive_choice.h"
#include "records/format_edit.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

ArchiveSettings allOff() {
  ArchiveSettings s;
  s.regEnabled = 0;
  return s;
}

TEST(ArchiveChoice, NothingChosenLooksOnlyAtTheKindsArchives) {
  ArchiveSettings s = allOff();
  for (RecordKind kind : {RecordKind::Attendance, RecordKind::Production, RecordKind::Canteen})
    EXPECT_TRUE(nothingChosen(s, kind));

  // Another kind's archive does not count.
  s.prdEnabled = 1;
  EXPECT_TRUE(nothingChosen(s, RecordKind::Attendance));
  EXPECT_FALSE(nothingChosen(s, RecordKind::Production));
  EXPECT_TRUE(nothingChosen(s, RecordKind::Canteen));

  // A copy path alone is a choice, even with its box clear.
  s = allOff();
  s.ou2Copy3 = "/archivi/copia.txt";
  EXPECT_FALSE(nothingChosen(s, RecordKind::Attendance));
  s = allOff();
  s.mnsCopy2 = "m.txt";
  EXPECT_FALSE(nothingChosen(s, RecordKind::Canteen));
  s = allOff();
  s.cntEnabled = 1;
  EXPECT_FALSE(nothingChosen(s, RecordKind::Production));
  // A format name is not a choice by itself.
  s = allOff();
  s.outFormat = "PAGHE";
  EXPECT_TRUE(nothingChosen(s, RecordKind::Attendance));
}

TEST(ArchiveChoice, SlotsCoverEveryFieldOfTheirKindOnce) {
  ArchiveSettings s = allOff();
  int boxes = 0;
  for (RecordKind kind : {RecordKind::Attendance, RecordKind::Production, RecordKind::Canteen})
    for (const ArchiveSlot& slot : archiveSlots(kind)) {
      EXPECT_EQ(s.*slot.enabled, 0);
      s.*slot.enabled = 1;
      s.*slot.copy2 = "x";
      s.*slot.copy3 = "y";
      ++boxes;
    }
  EXPECT_EQ(boxes, 6);
  ArchiveSettings expected = allOff();
  expected.regEnabled = expected.outEnabled = expected.ou2Enabled = 1;
  expected.prdEnabled = expected.cntEnabled = expected.mnsEnabled = 1;
  for (auto f : {&ArchiveSettings::regCopy2, &ArchiveSettings::outCopy2, &ArchiveSettings::ou2Copy2,
                  &ArchiveSettings::prdCopy2, &ArchiveSettings::cntCopy2, &ArchiveSettings::mnsCopy2})
    expected.*f = "x";
  for (auto f : {&ArchiveSettings::regCopy3, &ArchiveSettings::outCopy3, &ArchiveSettings::ou2Copy3,
                  &ArchiveSettings::prdCopy3, &ArchiveSettings::cntCopy3, &ArchiveSettings::mnsCopy3})
    expected.*f = "y";
  EXPECT_EQ(s, expected);
  EXPECT_EQ(archiveSlots(RecordKind::Attendance)[1].format, &ArchiveSettings::outFormat);
  EXPECT_EQ(archiveSlots(RecordKind::Attendance)[2].format, &ArchiveSettings::ou2Format);
}

TEST(ArchiveChoice, FormatListOpensOnTheStoredNameIgnoringCaseElseTheFirst) {
  FormatList list;
  EXPECT_FALSE(formatChoiceIndex(list, "PAGHE"));
  for (const char* name : {"BASE", "Paghe", "PAGHE"}) list.entries.push_back({name, "", "0", "1", "%n"});
  EXPECT_EQ(formatChoiceIndex(list, "paghe"), 1u);  // the first match wins
  EXPECT_EQ(formatChoiceIndex(list, "PAGHE"), 1u);
  EXPECT_EQ(formatChoiceIndex(list, "SPARITO"), 0u);
  EXPECT_EQ(formatChoiceIndex(list, ""), 0u);
}

TEST(FormatEdit, DeleteSelectsTheSamePositionOrTheNewLast) {
  FormatList list;
  for (const char* name : {"A", "B", "C"}) list.entries.push_back({name, "", "0", "1", ""});
  EXPECT_EQ(deleteFormat(list, 1), 1u);
  EXPECT_EQ(list.entries[1].name, "C");
  EXPECT_EQ(deleteFormat(list, 1), 0u);  // was the last: the new last
  EXPECT_FALSE(deleteFormat(list, 5));
  EXPECT_EQ(list.entries.size(), 1u);
  EXPECT_FALSE(deleteFormat(list, 0));
  EXPECT_TRUE(list.entries.empty());
}

class ChoiceFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    state.workingDirectory = dir.path();
    state.recent.prdEnabled = 1;
    state.live = state.recent;
  }
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
};

// recent.dat is written whether the choice was confirmed or cancelled; only a
// confirmed choice becomes live.
TEST_F(ChoiceFlow, RecentIsSavedAlwaysAndMadeLiveOnlyWhenConfirmed) {
  const ArchiveSettings live = state.live;
  bool started = chooseArchivesBeforeRun(state, messages, [&] {
    ArchiveChoiceEdit edit(state, RecordKind::Attendance, ArchiveChoiceEdit::Mode::Choice);
    edit.setEnabled(2, true);  // read, but cancelled: never stored
    return false;
  });
  EXPECT_FALSE(started);
  EXPECT_EQ(state.live, live);
  EXPECT_EQ(state.recent.ou2Enabled, 0);
  EXPECT_EQ(dir.read("recent.dat"), archiveSettingsBytes(state.recent));

  started = chooseArchivesBeforeRun(state, messages, [&] {
    ArchiveChoiceEdit edit(state, RecordKind::Attendance, ArchiveChoiceEdit::Mode::Choice);
    edit.setEnabled(2, true);
    edit.setFormat(2, "UNNOMELUNGOPIUDIDIECI");
    EXPECT_TRUE(edit.setCopy(2, 3, (dir / "ou2_copia.txt").string()));
    return edit.confirm(messages);
  });
  EXPECT_TRUE(started);
  EXPECT_EQ(state.recent.ou2Format, "UNNOMELUNG");
  EXPECT_EQ(state.live, state.recent);
  EXPECT_EQ(dir.read("recent.dat"), archiveSettingsBytes(state.recent));
  EXPECT_FALSE(std::filesystem::exists(dir / "acqreg.dat")) << "the choice is not the configuration";
  EXPECT_EQ(prompt.count(), 0u);
}

// Nothing chosen asks first; No keeps the dialog open with what was read,
// and a later Yes stores exactly that. A configuration is taken only once
// acqreg.dat is written.
TEST_F(ChoiceFlow, ConfirmationAsksWhenNothingIsStoredAndKeepsWhatWasRead) {
  state.archive.acquisitionOption = 1;
  ArchiveChoiceEdit edit(state, RecordKind::Attendance, ArchiveChoiceEdit::Mode::Configuration);
  edit.setEnabled(0, false);
  edit.setFormat(1, "PAGHE");
  const ArchiveSettings before = state.archive;
  EXPECT_FALSE(edit.confirm(messages));  // No is the default
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].text, "ATTENZIONE! Le registrazioni non verranno salvate. Continuare ?");
  EXPECT_EQ(prompt.shown()[0].title, "Salva ...");
  EXPECT_EQ(prompt.shown()[0].defaultButton, Answer::No);
  EXPECT_EQ(state.archive, before);
  EXPECT_EQ(edit.edited().regEnabled, 0);
  EXPECT_EQ(edit.edited().outFormat, "PAGHE");
  EXPECT_FALSE(std::filesystem::exists(dir / "acqreg.dat"));

  // acqreg.dat cannot be written: the settings stay as they were.
  std::filesystem::create_directories(dir / "acqreg.dat" / "occupato");
  prompt.script({Answer::Yes});
  EXPECT_FALSE(edit.confirm(messages));
  EXPECT_EQ(state.archive, before);
  std::filesystem::remove_all(dir / "acqreg.dat");

  prompt.script({Answer::Yes});
  EXPECT_TRUE(edit.confirm(messages));
  EXPECT_EQ(state.archive.regEnabled, 0);
  EXPECT_EQ(state.archive.outFormat, "PAGHE");
  EXPECT_EQ(state.archive.acquisitionOption, 0) << "every confirmation clears the acquisition option";
  EXPECT_EQ(dir.read("acqreg.dat"), archiveSettingsBytes(state.archive));
}

TEST_F(ChoiceFlow, FormatListCancelAndCapacity) {
  FormatList opened;
  opened.entries.push_back({"BASE", "", "0", "1", "%n"});
  state.formats = opened;
  state.formats.entries.clear();
  // No format.dat: the list comes back as it was on opening.
  cancelFormatEdits(state.files(messages), state.formats, opened);
  EXPECT_EQ(state.formats.entries, opened.entries);
  // With a file, the file wins.
  FormatList saved;
  saved.entries.push_back({"SALVATO", "", "0", "1", "%t"});
  ASSERT_TRUE(writeFormatList(state.files(messages), saved));
  cancelFormatEdits(state.files(messages), state.formats, opened);
  EXPECT_EQ(state.formats.entries, saved.entries);

  state.formats.entries.assign(99, opened.entries[0]);
  EXPECT_TRUE(roomForNewFormat(state.formats, messages));
  state.formats.entries.push_back(opened.entries[0]);
  EXPECT_FALSE(roomForNewFormat(state.formats, messages));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Spazio esaurito!"});
}

}  // namespace
}  // namespace cfg
