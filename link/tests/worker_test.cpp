// The worker handshake: stop between two exchanges, close after a failure,
// a thread that cannot start, several records side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/status.h"
#include "link/tests/sim_line.h"
#include "link/worker.h"

namespace cfg {
namespace {

using Clock = std::chrono::steady_clock;
using sim::Fault;
using sim::FaultKind;
using test::ScriptedPrompt;
using test::SimLine;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits (bounded) until pred holds.
template <typename Pred>
bool eventually(Pred pred, int limitMs = 5000) {
  auto start = Clock::now();
  while (!pred()) {
    if (msSince(start) > limitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

TEST(WorkerHandshake, CancelDuringATransactionEndsAfterThatTransaction) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](sim::SimTerminal& t) { t.status1 = 0x80; });
  Worker worker;
  ProgressQueue progress;
  // Every reply comes 150 ms late, inside the 200 ms the status read waits.
  line.server.setFault({FaultKind::Delay, -1, 150});
  ASSERT_TRUE(worker.start(progress, [&](Worker& w) { statusWorker(w, line.link, line.messages); }, line.messages));
  ASSERT_TRUE(eventually([&] { return line.server.requests().size() == 1; }));
  auto start = Clock::now();
  worker.stop();
  auto waited = msSince(start);
  EXPECT_GE(waited, 50) << "stop returned while the reply was still awaited";
  EXPECT_LT(waited, 1000);
  EXPECT_FALSE(worker.running());
  // The answered exchange was shown; nothing was cut short or retried.
  EXPECT_EQ(line.server.requests().size(), 1u);
  EXPECT_EQ(line.prompt.count(), 0u);
  ASSERT_TRUE(progress.latest());
  EXPECT_EQ(progress.latest()->text, "8000");
  EXPECT_EQ(progress.closeCount(), 0u) << "a stopped worker does not ask to close";
}

TEST(WorkerHandshake, FailedTransactionClosesTheOperationAfterThePromptWasAnswered) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.server.setFault({FaultKind::NoAnswer, -1, 0});
  line.prompt.script({Answer::Retry, Answer::Cancel});
  Worker worker;
  ProgressQueue progress;
  ASSERT_TRUE(worker.start(progress, [&](Worker& w) { statusWorker(w, line.link, line.messages); }, line.messages));
  auto event = progress.next(5000);
  ASSERT_TRUE(event);
  EXPECT_TRUE(event->close);
  // Both answers were given before the close request: three attempts, Retry,
  // three more, Cancel.
  EXPECT_EQ(line.prompt.texts(), (std::vector<std::string>{"Errore: il lettore non risponde.",
                                                            "Errore: il lettore non risponde."}));
  EXPECT_EQ(line.server.requests().size(), 6u);
  // The worker waits for its owner: still there, asking nothing more.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_TRUE(worker.running());
  EXPECT_EQ(line.server.requests().size(), 6u);
  auto start = Clock::now();
  worker.stop();
  EXPECT_LT(msSince(start), 500);
  EXPECT_EQ(progress.closeCount(), 1u);
}

TEST(WorkerHandshake, ThreadThatCannotStartIsReportedOnlyWithShowLinkErrors) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  bool ran = false;
  Worker worker([](std::thread&, std::function<void()>) { return false; });
  ProgressQueue progress;
  EXPECT_FALSE(worker.start(progress, [&](Worker&) { ran = true; }, messages));
  EXPECT_FALSE(worker.running());
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.shown()[0].text, "Error: CreateThread failed.");
  EXPECT_EQ(prompt.shown()[0].title, "Error Message");
  EXPECT_EQ(prompt.shown()[0].icon, Icon::Error);
  worker.stop();  // returns at once: nothing runs

  messages.flags.showLinkErrors = false;
  EXPECT_EQ(runHeadless(worker, messages, [&](Worker&) { ran = true; }, 1000), HeadlessEnd::NotStarted);
  EXPECT_EQ(prompt.count(), 1u);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(messages.flags.showLinkErrors == false) << "the flag is left as it was";
}

TEST(WorkerHandshake, FinishedOrThrowingRoutineAsksToCloseAndWaitsForItsOwner) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Worker worker;
  std::vector<int> positions;
  HeadlessEnd end = runHeadless(
      worker, messages,
      [](Worker& w) {
        for (int i = 1; i <= 3; ++i) w.refresh(0, i, {});
      },
      5000, [&](const ProgressUpdate& u) { positions.push_back(u.second); });
  EXPECT_EQ(end, HeadlessEnd::Closed);
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3}));
  EXPECT_FALSE(worker.running());

  end = runHeadless(worker, messages, [](Worker&) { throw std::runtime_error("lost"); }, 5000);
  EXPECT_EQ(end, HeadlessEnd::Closed);
  // A record can be started again once stopped, not while it runs.
  ProgressQueue progress;
  ASSERT_TRUE(worker.start(progress, [](Worker& w) { w.pause(10000); }, messages));
  EXPECT_FALSE(worker.start(progress, [](Worker&) {}, messages));
  auto start = Clock::now();
  worker.stop();
  EXPECT_LT(msSince(start), 500) << "a pause ends at the stop request";
  EXPECT_EQ(prompt.count(), 0u);
}

TEST(WorkerHandshake, RecordsRunSideBySideAndStopIndependently) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  WorkerRecords records;
  ProgressQueue general, modem;
  std::atomic<int> modemSteps{0};
  auto loop = [](std::atomic<int>* steps) {
    return [steps](Worker& w) {
      while (!w.pause(1))
        if (steps) ++*steps;
    };
  };
  ASSERT_TRUE(records.general.start(general, loop(nullptr), messages));
  ASSERT_TRUE(records.modem.start(modem, loop(&modemSteps), messages));
  EXPECT_EQ(records.general.spare.load(), 0);
  records.general.stop();
  EXPECT_FALSE(records.general.running());
  int before = modemSteps.load();
  ASSERT_TRUE(eventually([&] { return modemSteps.load() > before + 3; })) << "the modem worker went on";
  EXPECT_TRUE(records.modem.running());
  records.modem.stop();
  EXPECT_EQ(general.closeCount() + modem.closeCount(), 0u);
}

}  // namespace
}  // namespace cfg
