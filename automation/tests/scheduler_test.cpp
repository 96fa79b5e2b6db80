#include "automation/scheduler.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "automation/activities.h"
#include "automation/batch_log.h"
#include "link/hex.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

ScheduledActivity activity(const char* description, const char* minutes, std::array<std::string, 3> programs,
                           const char* weekdays = "SSSSSSS") {
  ScheduledActivity a;
  a.description = description;
  a.timetable.minutes = *parseTimeText(minutes);
  a.timetable.weekdays = weekdays;
  a.programs = std::move(programs);
  updateInternal(a);
  return a;
}

std::string pad(std::string text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

TEST(ActivityFile, WrittenByteForByteAndReadBack) {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  FileContext ctx{dir.path(), messages, false};
  LocalTime now{2026, 12, 9, 12, 30, 0};

  ActivityTable table;
  {
    std::lock_guard<std::mutex> guard(table.mutex());
    ScheduledActivity a = activity("Raccolta notturna", "0, 30", {"orbita /srv/notte.cmd", "", "backup \"a b\""});
    a.timetable.hours = *parseTimeText("1-5/2");
    a.timetable.weekdays = "SSSSSNN";
    a.disabled = true;
    table.add(std::move(a));
    table.add(activity("Pulizia", "*", {"", "rm-old", ""}));
  }
  ASSERT_TRUE(writeActivities(ctx, table));

  std::string expected;
  expected += pad("Raccolta notturna", 40) + " 1\r\n";
  expected += pad("00,30", 20) + " " + pad("01-05/02", 20) + " " + pad("*", 20) + " " + pad("*", 20) + " SSSSSNN\r\n";
  expected += pad("orbita /srv/notte.cmd", 255) + "\r\n" + pad("", 255) + "\r\n" + pad("backup \"a b\"", 255) + "\r\n";
  expected += pad("Pulizia", 40) + " 0\r\n";
  expected += pad("*", 20) + " " + pad("*", 20) + " " + pad("*", 20) + " " + pad("*", 20) + " SSSSSSS\r\n";
  expected += pad("", 255) + "\r\n" + pad("rm-old", 255) + "\r\n" + pad("", 255) + "\r\n";
  std::string written = dir.read(kActivityFile);
  ASSERT_EQ(written.size(), 2u * (44 + 93 + 3 * 257));
  ASSERT_EQ(written, expected) << "written:\n" << hexDump(written) << "expected:\n" << hexDump(expected);

  // A third record with a weekday flag other than S/N ends the reading; the
  // two before it stay.
  std::string bad = expected.substr(0, 44 + 93 + 3 * 257);
  bad.replace(44 + 84, 1, "X");
  dir.write(kActivityFile, expected + bad);
  ActivityTable back;
  FileReport report;
  ASSERT_EQ(readActivities(ctx, back, now, &report), 2u);
  ASSERT_EQ(report.badLines.size(), 1u);
  EXPECT_EQ(report.badLines[0], "riga 11: giorni della settimana non validi");
  {
    std::lock_guard<std::mutex> guard(back.mutex());
    const auto& list = back.activities();
    EXPECT_EQ(list[0].description, "Raccolta notturna");
    EXPECT_TRUE(list[0].disabled);
    EXPECT_TRUE(list[0].internal);
    EXPECT_EQ(list[0].programs[2], "backup \"a b\"");
    EXPECT_FALSE(list[1].internal);
    EXPECT_EQ(nextActivationText(list[0]), "   DISATTIVA");
    EXPECT_EQ(nextActivationText(list[1]), "09/12/26 12:31");
  }
  ASSERT_TRUE(writeActivities(ctx, back));
  EXPECT_EQ(dir.read(kActivityFile), expected) << hexDump(dir.read(kActivityFile));

  // A record without programs ends the reading and is not counted; a missing
  // file leaves the table empty.
  ScheduledActivity empty = activity("Vuota", "*", {"", "", ""});
  dir.write(kActivityFile, activityRecord(empty) + expected);
  EXPECT_EQ(readActivities(ctx, back, now), 0u);
  std::filesystem::remove(dir / kActivityFile);
  EXPECT_EQ(readActivities(ctx, back, now), 0u);
}

// The test's clock and the main window's side of a batch run.
struct Harness {
  test::TempDir dir;
  ActivityTable table;
  LocalTime now{2026, 12, 9, 12, 30, 10};
  std::atomic<bool> batchRunning{false};
  std::vector<std::string> batches;
  Scheduler scheduler{table, SchedulerEnvironment{[this] { return now; }, dir.path(),
                                                  [this](const std::string& path) {
                                                    EXPECT_TRUE(batchRunning.load());  // raised before the hand-over
                                                    batches.push_back(path);
                                                  },
                                                  &batchRunning}};

  void add(ScheduledActivity a) {
    std::lock_guard<std::mutex> guard(table.mutex());
    computeNext(a, now);
    table.add(std::move(a));
  }
  int state(std::size_t i) {
    std::lock_guard<std::mutex> guard(table.mutex());
    return table.activities()[i].runState;
  }
  std::string log() const { return dir.read(kBatchLogName); }
  // Passes until activity i is idle again (a real program may take a while).
  void runUntilIdle(std::size_t i) {
    for (int n = 0; n < 200; ++n) {
      scheduler.pass(false);
      if (state(i) == kIdle) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FAIL() << "activity " << i << " still in state " << state(i);
  }
};

TEST(Scheduler, BatchLineIsHandedOverAndTheActivityWaitsForItsEnd) {
  Harness h;
  h.add(activity("Notte", "31", {"orbita /srv/batch/notte.cmd", "", ""}));
  h.scheduler.pass(false);
  EXPECT_EQ(h.state(0), kIdle);  // 12:30: not yet
  EXPECT_TRUE(h.batches.empty());

  h.now = {2026, 12, 9, 12, 31, 4};
  h.scheduler.pass(false);
  ASSERT_EQ(h.batches, std::vector<std::string>{"/srv/batch/notte.cmd"});
  EXPECT_EQ(h.scheduler.lockHolder(), h.table.activities()[0].id);
  for (int i = 0; i < 3; ++i) {
    h.scheduler.pass(false);
    EXPECT_EQ(h.state(0), kProgram1Batch);  // the batch still runs
  }
  EXPECT_FALSE(h.scheduler.pass(true));  // stopping waits for it too

  h.now = {2026, 12, 9, 12, 58, 0};
  h.batchRunning = false;  // the batch run has ended
  h.scheduler.pass(false);
  EXPECT_EQ(h.state(0), kProgram1Done);
  h.scheduler.pass(false);
  h.scheduler.pass(false);
  h.scheduler.pass(false);
  EXPECT_EQ(h.state(0), kIdle);
  EXPECT_FALSE(h.scheduler.lockHolder());
  EXPECT_EQ(nextActivationText(h.table.activities()[0]), "09/12/26 13:31");  // from the end, not caught up
  EXPECT_EQ(h.batches.size(), 1u);
  std::string expected = "****: 09/12/2026 12:31:04 esecuzione orbita /srv/batch/notte.cmd\r\n";
  EXPECT_EQ(h.log(), expected) << hexDump(h.log());
}

TEST(Scheduler, ExternalProgramsRunOneAfterAnotherAndAreReaped) {
  Harness h;
  std::string out = (h.dir / "out.txt").string();
  // Quotes group words; no shell is involved in splitting them.
  h.add(activity("Programmi", "31",
                 {"sh -c \"sleep 0.3; echo primo >> '" + out + "'\"", "programma-che-non-esiste-xyz",
                  "sh -c \"sleep 0.2; echo terzo >> '" + out + "'\""}));
  h.now = {2026, 12, 9, 12, 31, 0};
  h.scheduler.pass(false);  // the first program sleeps, so it is still running after this pass
  EXPECT_EQ(h.state(0), kProgram1Process);
  pid_t first = h.table.activities()[0].process.pid();
  ASSERT_GT(first, 0);
  h.runUntilIdle(0);
  EXPECT_EQ(h.dir.read("out.txt"), "primo\nterzo\n");
  EXPECT_EQ(h.table.activities()[0].process.pid(), -1);
  // Every child was collected: nothing of ours is left to wait for.
  EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  std::string expected =
      "****: 09/12/2026 12:31:00 esecuzione sh -c \"sleep 0.3; echo primo >> '" + out + "'\"\r\n"
      "****: 09/12/2026 12:31:00 esecuzione programma-che-non-esiste-xyz\r\n"
      "****: avvio di programma-che-non-esiste-xyz non riuscito: No such file or directory\r\n"
      "****: 09/12/2026 12:31:00 esecuzione sh -c \"sleep 0.2; echo terzo >> '" + out + "'\"\r\n";
  EXPECT_EQ(h.log(), expected) << hexDump(h.log());
}

TEST(Scheduler, StoppingLetsRunningActivitiesFinishAndStartsNothingNew) {
  Harness h;
  h.add(activity("Lunga", "31", {"sleep 0.3", "", ""}));
  h.add(activity("Dopo", "32", {"true", "", ""}));
  h.now = {2026, 12, 9, 12, 31, 0};
  h.scheduler.pass(false);
  ASSERT_EQ(h.state(0), kProgram1Process);
  h.now = {2026, 12, 9, 12, 32, 0};  // the second one is due, but the stop came first
  auto start = std::chrono::steady_clock::now();
  while (!h.scheduler.pass(true)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(h.state(0), kIdle);
  EXPECT_EQ(h.state(1), kIdle);
  EXPECT_EQ(h.log().find("esecuzione true"), std::string::npos);
}

TEST(Scheduler, OneActivityAtATimeRunsBatchesEvenWhenRowsAreDeleted) {
  Harness h;
  h.add(activity("Prima", "31", {"orbita uno.cmd", "", ""}));
  h.add(activity("Seconda", "31", {"orbita due.cmd", "", ""}));
  h.add(activity("Terza", "33", {"orbita tre.cmd", "", ""}));
  h.now = {2026, 12, 9, 12, 31, 0};
  h.scheduler.pass(false);
  EXPECT_EQ(h.batches, std::vector<std::string>{"uno.cmd"});
  EXPECT_EQ(h.state(1), kWaitingForLock);
  h.batchRunning = false;
  h.runUntilIdle(0);
  h.scheduler.pass(false);
  // Released by the first, the lock goes to the second.
  EXPECT_EQ(h.batches, (std::vector<std::string>{"uno.cmd", "due.cmd"}));
  EXPECT_EQ(h.state(1), kProgram1Batch);
  // The holder is deleted while its batch runs: the third activity still
  // waits for that batch to end.
  {
    std::lock_guard<std::mutex> guard(h.table.mutex());
    h.table.remove(1);
  }
  h.now = {2026, 12, 9, 12, 33, 0};
  h.scheduler.pass(false);
  h.scheduler.pass(false);
  EXPECT_EQ(h.state(1), kWaitingForLock);
  EXPECT_EQ(h.batches.size(), 2u);
  h.batchRunning = false;
  h.scheduler.pass(false);
  h.scheduler.pass(false);
  EXPECT_EQ(h.batches, (std::vector<std::string>{"uno.cmd", "due.cmd", "tre.cmd"}));
}

TEST(Scheduler, DeletingARunningActivityStillCollectsItsProgram) {
  Harness h;
  h.add(activity("Cancellata", "31", {"sleep 0.2", "true", ""}));
  h.now = {2026, 12, 9, 12, 31, 0};
  h.scheduler.pass(false);
  pid_t pid = h.table.activities()[0].process.pid();
  ASSERT_GT(pid, 0);
  {
    std::lock_guard<std::mutex> guard(h.table.mutex());
    h.table.remove(0);
  }
  for (int n = 0; n < 50 && ::kill(pid, 0) == 0; ++n) {
    h.scheduler.pass(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Gone, not a zombie: kill(pid, 0) succeeds on a zombie.
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(h.log().find("esecuzione true"), std::string::npos);  // its next program never starts
}

TEST(CommandLine, DoubleQuotesGroupWords) {
  EXPECT_EQ(splitCommandLine("  prog  a \"b c\"  d\"e f\"g \"\" "),
            (std::vector<std::string>{"prog", "a", "b c", "de fg", ""}));
}

}  // namespace
}  // namespace cfg
