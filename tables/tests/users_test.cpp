// The user list: records, files, the import and transfers through a
// simulated terminal, byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "link/hex.h"
#include "link/tests/sim_line.h"
#include "sim/sim_tables.h"
#include "tables/user_import.h"
#include "tables/users.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::SimLine;

std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

TableEnd runWorker(SimLine& line, std::function<TableEnd(Worker&)> body) {
  Worker worker;
  TableEnd end = TableEnd::Failed;
  runHeadless(worker, line.messages, [&](Worker& w) { end = body(w); }, 120000);
  return end;
}

TEST(UserRecords, LineWireAndDates) {
  UserRecord u{1, 12345, 42, "31/12/2009", 7, 200, 1, 255};
  EXPECT_EQ(badgeCode(1, 12345), "0100003039");
  EXPECT_EQ(userLine(u), "01 000012345 0042 31/12/2009 0007 200 001 255");
  EXPECT_EQ(userWire(u), "0100003039" "0000000000" "0042" "091231" "0007" "C8" "01" "FF");
  // Read back from a terminal: yymmdd 091231 is 31/12/2009.
  auto back = userOfWire("0100003039" "0000000000" "0042" "091231" "0007" "C8" "01" "FF");
  ASSERT_TRUE(back);
  EXPECT_EQ(userLine(*back), userLine(u));
  // A badge code that is no company (0x64 = 100) is not made into a record.
  EXPECT_FALSE(userOfWire("6400003039" "0000000000" "0042" "091231" "0007" "C8" "01" "FF"));

  // The date test: 1-2 digits, "/" or "-", 1-2 digits, 1-4 year digits, nothing after.
  EXPECT_EQ(normalisedDate("1-2-09"), "01/02/1909");
  EXPECT_EQ(normalisedDate("31/12/2009"), "31/12/2009");
  EXPECT_EQ(normalisedDate("45/13/5"), "45/13/1905");  // day and month are not range-checked
  EXPECT_FALSE(normalisedDate("31/12/09  "));
  EXPECT_FALSE(normalisedDate("31/12/20091"));
  EXPECT_FALSE(normalisedDate("123/12/2009"));
  EXPECT_FALSE(normalisedDate("31.12.2009"));
  EXPECT_FALSE(normalisedDate("31/12/"));

  // The record dialog's checks, in its order.
  UserForm form{"100", "0", "", "", "256", "", "", "01/02/2030"};
  EXPECT_EQ(checkUserForm(form).message, kBadCompany);
  form.company = "1";
  EXPECT_EQ(checkUserForm(form).message, kBadPersonnel);
  form.personnel = "1000000000";
  EXPECT_EQ(checkUserForm(form).message, kBadPersonnel);
  form.personnel = "999999999";
  EXPECT_EQ(checkUserForm(form).field, UserField::Policy);
  form.policy = "255";
  form.extra2 = "256";
  EXPECT_EQ(checkUserForm(form).field, UserField::Extra2);
  EXPECT_EQ(checkUserForm(form).message, kBadExtra);
  form.extra2 = "";
  auto ok = checkUserForm(form);
  ASSERT_TRUE(ok.user);
  EXPECT_EQ(userLine(*ok.user), "01 999999999 0000 01/02/2030 0000 255 000 000");
}

class UserFiles : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file(const char* name) { return dir.path() / name; }
};

TEST_F(UserFiles, LineFormsCapacityAndFailuresLeaveTheListAlone) {
  std::vector<std::string> list;
  // Old 39-byte lines load with both extras 0 and are saved in the new form.
  writeBytes(file("old.txt"), "01 000012345 0042 31/12/2009 0007 200\r\n99 999999999 9999 01-02-0003 9999 000\r\n");
  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  ASSERT_TRUE(loadUserFile(file("old.txt"), LoadMode::Replace, -1, 5850, list, &messages));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"len = 39"});
  ASSERT_TRUE(saveUserFile(file("new.txt"), list));
  const std::string saved = "01 000012345 0042 31/12/2009 0007 200 000 000\r\n"
                            "99 999999999 9999 01/02/1903 9999 000 000 000\r\n";
  EXPECT_EQ(readBytes(file("new.txt")), saved) << hexDump(readBytes(file("new.txt")));

  // A 45-byte line form is refused; so is a date with blanks after the year.
  const auto before = list;
  writeBytes(file("45.txt"), "01 000012345 0042 31/12/2009 0007 200 000 \r\n");
  EXPECT_FALSE(loadUserFile(file("45.txt"), LoadMode::Append, -1, 5850, list));
  writeBytes(file("date.txt"), saved + "01 000012345 0042 31/12/09   0007 200 000 000\r\n");
  EXPECT_FALSE(loadUserFile(file("date.txt"), LoadMode::Replace, -1, 5850, list));
  // The first line decides the form: 47-byte lines in a 39-byte file are refused.
  writeBytes(file("mixed.txt"), "01 000012345 0042 31/12/2009 0007 200\r\n" + saved);
  EXPECT_FALSE(loadUserFile(file("mixed.txt"), LoadMode::Replace, -1, 5850, list));
  EXPECT_EQ(list, before);

  // The capacity in force bounds the list; appending to a full list adds nothing.
  ASSERT_TRUE(loadUserFile(file("new.txt"), LoadMode::Append, -1, 3, list));
  EXPECT_EQ(list.size(), 3u);
  // An empty file (a saved empty list) loads as no users.
  writeBytes(file("empty.txt"), "");
  ASSERT_TRUE(loadUserFile(file("empty.txt"), LoadMode::Replace, -1, 5850, list));
  EXPECT_TRUE(list.empty());
}

ImportDescription description() {
  ImportDescription d;
  using F = ImportField;
  d[F::Company] = {1, 2, ""};
  d[F::Personnel] = {3, 6, ""};
  d[F::Pin] = {0, 0, "1234"};
  d[F::Expiry] = {0, 0, "1-2-09"};
  d[F::Policy] = {9, 3, ""};
  d.totalLength = 12;
  return d;
}

TEST_F(UserFiles, ImportByDescription) {
  ImportDescription d = description();
  // The description file: eight 20-byte lines and the total length.
  ASSERT_TRUE(saveImportDescription(file("d.dat"), d));
  const std::string text = readBytes(file("d.dat"));
  EXPECT_EQ(text, "003 006           \r\n000 000 1234      \r\n000 000 1-2-09    \r\n000 000           \r\n"
                  "009 003           \r\n000 000           \r\n000 000           \r\n001 002           \r\n012\r\n")
      << hexDump(text);
  auto loaded = loadImportDescription(file("d.dat"));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(importDescriptionText(*loaded), text);

  // Fixed values for PIN and expiry; the short last line ends the import.
  writeBytes(file("in.txt"), "0700123401 x\r\n 2000007255x\r\nshort\r\n0100000100 \r\n");
  std::vector<std::string> list{"stale"};
  ASSERT_TRUE(importUsers(file("in.txt"), d, 5850, list));
  EXPECT_EQ(list, (std::vector<std::string>{"07 000001234 1234 01/02/1909 0000 001 000 000",
                                            "02 000000007 1234 01/02/1909 0000 255 000 000"}));

  // Failures leave the list as it was: a bad personnel number, a field past
  // the line, a field at position 0 with a length, a long line.
  const auto before = list;
  writeBytes(file("bad.txt"), "0700000001 x\r\n");
  EXPECT_FALSE(importUsers(file("bad.txt"), d, 5850, list));
  ImportDescription past = d;
  past[ImportField::Policy] = {11, 3, ""};
  EXPECT_FALSE(importUsers(file("in.txt"), past, 5850, list));
  ImportDescription zero = d;
  zero[ImportField::Counter] = {0, 2, ""};
  EXPECT_FALSE(importUsers(file("in.txt"), zero, 5850, list));
  writeBytes(file("long.txt"), "0700123401 xy\r\n");
  EXPECT_FALSE(importUsers(file("long.txt"), d, 5850, list));
  EXPECT_EQ(list, before);

  // The description checks, in the dialog's order.
  ImportDescription wrong = d;
  wrong.totalLength = 0;
  wrong[ImportField::Expiry].length = 8;
  wrong[ImportField::Extra2].length = 4;
  EXPECT_EQ(checkImportDescription(wrong).message, "Errore lunghezza 'scadenza' non valida (0,10).");
  wrong[ImportField::Expiry].length = 10;
  EXPECT_EQ(checkImportDescription(wrong).field, ImportField::Extra2);
  wrong[ImportField::Extra2].length = 3;
  EXPECT_TRUE(checkImportDescription(wrong).total);
  EXPECT_EQ(checkImportDescription(wrong).message, "Errore lunghezza totale non valida (1-255).");
}

TEST(UserTransfer, SentUsersComeBackAsTheSameFile) {
  test::TempDir dir;
  const std::string file = "01 000012345 0042 31/12/2009 0007 200 001 255\r\n"
                           "99 999999999 9999 01/02/2030 0000 000 000 000\r\n"
                           "00 000000001 0000 28/02/2099 9999 255 128 007\r\n";
  writeBytes(dir / "utenti.txt", file);
  SimLine line("LX-K2");
  ASSERT_TRUE(line.opened);
  line.terminal([](sim::SimTerminal& s) { s.userCapacity = 3; });
  const int capacity = readUserCapacity(line.link, line.messages);
  EXPECT_EQ(capacity, 3);
  std::vector<std::string> list;
  ASSERT_TRUE(loadUserFile(dir / "utenti.txt", LoadMode::Replace, -1, userListCapacity(capacity), list));
  ASSERT_TRUE(confirmUserCapacity(capacity, "LX-K2", list.size(), line.messages));
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return sendUsers(w, line.link, line.messages, list, true); }),
            TableEnd::Done);
  auto sent = line.commands();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[1], "0D");
  EXPECT_EQ(sent[2], "0B" "0100003039" "0000000000" "0042" "091231" "0007" "C8" "01" "FF");

  auto count = queryUserCount(line.link, line.messages);
  ASSERT_TRUE(count);
  EXPECT_EQ(count->stored, 3);
  std::vector<std::string> back{"stale"};
  const int toRead = usersToRead(readUserCapacity(line.link, line.messages), "LX-K2");
  EXPECT_EQ(runWorker(line, [&](Worker& w) { return receiveUsers(w, line.link, line.messages, back, toRead); }),
            TableEnd::Done);
  ASSERT_TRUE(saveUserFile(dir / "back.txt", back));
  const std::string got = readBytes(dir / "back.txt");
  EXPECT_EQ(got, file) << "sent:\n" << hexDump(file) << "\nreceived:\n" << hexDump(got);
  EXPECT_EQ(line.commands().back(), "080002");  // the capacity, and no index past it
  EXPECT_TRUE(line.prompt.texts().empty());
}

TEST(UserTransfer, CapacityOfTheTerminalAndItsFallbacks) {
  // An LX-K2 that cannot tell: nothing is shown, the receive reads 2880
  // indices, the list holds 5850, and a send of 3000 users asks first.
  SimLine k2("LX-K2");
  ASSERT_TRUE(k2.opened);
  k2.terminal([](sim::SimTerminal& s) { s.userCountFails = true; });
  const int none = readUserCapacity(k2.link, k2.messages);
  EXPECT_EQ(none, 0);
  EXPECT_TRUE(k2.prompt.texts().empty());
  EXPECT_TRUE(k2.messages.flags.askOnFailure.load());
  EXPECT_EQ(usersToRead(none, "LX-K2"), 2880);
  EXPECT_EQ(usersToRead(none, "LX-K5"), 5850);
  EXPECT_EQ(userListCapacity(none), 5850);
  EXPECT_FALSE(confirmUserCapacity(none, "LX-K2", 3000, k2.messages));  // No is the default
  EXPECT_EQ(k2.prompt.texts(), std::vector<std::string>{kCapacityQuestion});

  // A terminal that tells 2880 is asked about 2881 users, never about 2880;
  // an LX-P2 is never asked.
  SimLine told("LX-K3");
  ASSERT_TRUE(told.opened);
  const int capacity = readUserCapacity(told.link, told.messages);
  EXPECT_EQ(capacity, 2880);
  told.prompt.script({Answer::Yes});
  EXPECT_TRUE(confirmUserCapacity(capacity, "LX-K3", 2880, told.messages));
  EXPECT_TRUE(told.prompt.texts().empty());
  EXPECT_TRUE(confirmUserCapacity(capacity, "LX-K3", 3000, told.messages));
  EXPECT_TRUE(confirmUserCapacity(0, "LX-P2", 60000, told.messages));
  EXPECT_EQ(told.prompt.texts(), std::vector<std::string>{kCapacityQuestion});
}

}  // namespace
}  // namespace cfg
