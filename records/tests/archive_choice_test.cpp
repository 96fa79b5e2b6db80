// The archive choice rules and the format list edits the dialogs rely on.
#include <gtest/gtest.h>

#include "records/archive_choice.h"
#include "records/format_edit.h"

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

}  // namespace
}  // namespace cfg
