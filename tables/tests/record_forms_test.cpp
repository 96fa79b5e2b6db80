// The record dialogs' checks: typed fields become the records the engine
// files and sends, the first failing field is the one named, and a record
// shown for modification comes back unchanged when confirmed as it is.
#include <gtest/gtest.h>

#include "tables/record_forms.h"
#include "tables/table_list.h"

namespace cfg {
namespace {

DayFlags days(const char* flags) {
  DayFlags d{};
  for (std::size_t i = 0; i < 8; ++i) d[i] = flags[i] == 'S';
  return d;
}

void expectError(const RecordCheck& c, const char* message, int field) {
  EXPECT_EQ(c.error, message);
  EXPECT_EQ(c.field, field) << message;
}

TEST(RecordForms, TypedFieldsBecomeRecordsOrNameTheFirstBadField) {
  EXPECT_EQ(checkPolicy({"7", "08:00", "08:00", days("SNNNNNNN")}).record, "007 08:00 08:00 SNNNNNNN");
  EXPECT_EQ(checkPolicy({"255", "00:00", "24:00", days("NNNNNNNS")}).record, "255 00:00 24:00 NNNNNNNS");
  expectError(checkPolicy({"256", "24:30", "08:00", {}}), "Errore: codice non valido (1-255).", PolicyForm::Code);
  expectError(checkPolicy({"1", "08:00", "24:30", {}}), kBadTime, PolicyForm::To);
  expectError(checkPolicy({"1", "09:00", "08:00", {}}), kFromAfterTo, PolicyForm::From);
  expectError(checkPolicy({"1", "08:00", "09:00", {}}), kNoDay, PolicyForm::Days);
  expectError(checkExit({"8:00", "09:00", days("SSSSSSSS")}), kBadTime, ExitForm::From);

  SirenForm siren{"2", "07:30", "", days("SNNNNNNN"), true, false};
  EXPECT_EQ(checkSiren(siren).record, "2 07:30 SNNNNNNN ON");
  siren.on = false;
  expectError(checkSiren(siren), "Errore: durata non valida (1-99).", SirenForm::Duration);
  siren.duration = "5";
  EXPECT_EQ(checkSiren(siren).record, "2 07:30 SNNNNNNN 05");
  siren.channel = "5";
  siren.time = "7:30";
  expectError(checkSiren(siren), "Errore: canale non valido (1-4).", SirenForm::Channel);

  EXPECT_EQ(checkMessage({"0", "1234", "BUONGIORNO"}).record, "00 000001234 BUONGIORNO      ");
  expectError(checkMessage({"100", "0", ""}), "Errore: azienda non valida (0-99).", MessageForm::Company);
  expectError(checkMessage({"1", "1000000000", ""}), "Errore: matricola non valida (1-999.999.999).",
              MessageForm::Person);

  EXPECT_EQ(checkJustification({"12", "FERIE"}).record, "00012 FERIE            00");
  expectError(checkJustification({"0", "FERIE"}), kBadCode, CodeForm::Code);
  expectError(checkJustification({"123456", "FERIE"}), kBadCode, CodeForm::Code);
  EXPECT_EQ(checkSite({"1F", "NORD"}).record, "000000001F NORD            ");
  expectError(checkSite({"0", "NORD"}), kBadCode, CodeForm::Code);
  expectError(checkSite({"1f", "NORD"}), kBadCode, CodeForm::Code);
  expectError(checkSite({"12345678901", "NORD"}), kBadCode, CodeForm::Code);
  EXPECT_EQ(checkHoliday("29/02").record, "29/02");
  expectError(checkHoliday("31/04"), kBadHoliday, 0);
  EXPECT_EQ(checkItem({"7", "ROSSO", "12"}).record, "007 000 ROSSO            12             ");
  expectError(checkItem({"0", "", ""}), kBadCode, ItemForm::Code);
}

TEST(RecordForms, ARecordShownForModificationIsStoredUnchanged) {
  EXPECT_EQ(checkPolicy(policyFormOf("017 08:00 17:30 SSSSSNNS")).record, "017 08:00 17:30 SSSSSNNS");
  EXPECT_EQ(checkSiren(sirenFormOf("3 12:00 NNNNNNSN OF")).record, "3 12:00 NNNNNNSN OF");
  EXPECT_EQ(checkSiren(sirenFormOf("3 12:00 NNNNNNSN 07")).record, "3 12:00 NNNNNNSN 07");
  EXPECT_EQ(checkMessage(messageFormOf("07 000001234 BUON LAVORO     ")).record, "07 000001234 BUON LAVORO     ");
  EXPECT_EQ(checkExit(exitFormOf("13:00 14:00 SSSSSNNN")).record, "13:00 14:00 SSSSSNNN");
  EXPECT_EQ(checkJustification(justificationFormOf("00012 FERIE            00")).record, "00012 FERIE            00");
  EXPECT_EQ(checkSite(siteFormOf("00000ABCDE MAGAZZINO 2     ")).record, "00000ABCDE MAGAZZINO 2     ");
  EXPECT_EQ(checkItem(itemFormOf("255 000 BLU              VALORE QUINDICI")).record, "255 000 BLU              VALORE QUINDICI");
  const std::vector<std::string> program = {"00010 INIZIO           128 001 000 020 000 000",
                                            "00020 PEZZI            128 008 016 255 255 000",
                                            "00030 TABELLA          032 009 000 000 000 000"};
  for (int i = 0; i < 3; ++i) {
    const std::string& r = program[static_cast<std::size_t>(i)];
    EXPECT_EQ(checkProgramLine(programFormOf(r), program, i).record, r);
    // The same line as a new one is a duplicate.
    expectError(checkProgramLine(programFormOf(r), program, 3), kLineTaken, ProgramForm::Line);
  }

  // The rows the list shows: the program's operation by name.
  const TableDescriptor& p = tableDescriptor(TableId::ProductionProgram);
  EXPECT_EQ(recordFields(p, program[0]), (std::vector<std::string>{"00010", "INIZIO", "goto 00020"}));
  EXPECT_EQ(recordFields(p, program[1]).back(), "out buzzer");
  EXPECT_EQ(recordFields(p, "00040                  000 000 000 000 000 000").back(), "indefinito");
  EXPECT_EQ(recordFields(tableDescriptor(TableId::Sirens), "3 12:00 NNNNNNSN OF"),
            (std::vector<std::string>{"3", "12:00", "NNNNNNSN", "OFF"}));
}

}  // namespace
}  // namespace cfg
