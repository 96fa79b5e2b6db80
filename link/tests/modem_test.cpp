// Dial and hang-up against the simulated modem on a pseudo-terminal: what
// the modem hears, byte for byte, and what the user is told.
#include <gtest/gtest.h>

#include <chrono>

#include "link/hex.h"
#include "link/modem.h"
#include "link/transaction.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

using Clock = std::chrono::steady_clock;

// Shortened waits for the failure paths, which would otherwise take tens of
// seconds; the simulated modem's guard time shrinks with them.
constexpr ModemTiming kFast{100, 40, 40, 40, 150, 150, 150, 150, 200};
constexpr int kFastGuardMs = 50;

struct ModemLine {
  explicit ModemLine(sim::ModemSettings settings, std::uint8_t type = 0, std::string init = "AT&F") {
    server.add(sim::SimTerminal("LX-P2", 1));
    server.setModem(settings);
    link.config.model = "LX-P2";
    link.config.address = "01";
    link.config.portName = "COM9";
    link.config.modem = true;
    link.config.modemType = type;
    link.config.modemInit = std::move(init);
    link.config.phoneNumber = "0312345678";
    ports.set("COM9", server.openPty());
    server.start();
    opened = link.open(messages, ports);
  }
  static sim::ModemSettings fast() {
    sim::ModemSettings s;
    s.guardMs = kFastGuardMs;
    s.dialDelayMs = 20;
    return s;
  }
  ModemResult dial(const ModemTiming& timing = kFast, int limitMs = 60000) {
    return runModemHeadless(worker, messages, true, link, limitMs, timing);
  }
  ModemResult hangUp(const ModemTiming& timing = kFast) {
    return runModemHeadless(worker, messages, false, link, 60000, timing);
  }
  std::string heard() const { return server.modemHeard(); }

  sim::SimServer server;
  PortMap ports;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  Worker worker;
  bool opened = false;
};

#define EXPECT_BYTES(actual, expected) \
  EXPECT_EQ(actual, expected) << "heard:    " << hexDump(actual) << "\nexpected: " << hexDump(expected)

// With the waits the modems in the field expect: the escape's guard times
// are honoured, frames flow only while the call is up.
TEST(ModemTest, DialCarriesFramesAndHangsUpWithTheRealGuardTimes) {
  ModemLine line({});
  ASSERT_TRUE(line.opened);
  ModemResult dialled = line.dial(ModemTiming{});
  ASSERT_TRUE(dialled.done()) << dialled.message;
  EXPECT_BYTES(line.heard(), std::string("ATE0\rAT&F\rATD0312345678\r"));
  EXPECT_TRUE(line.server.modemOnline());

  std::string reply;
  TxResult r = exchange(line.link, line.messages, "28", reply, 64, 250, 23);
  EXPECT_TRUE(r) << "a frame crosses the call: " << hexDump(reply);
  EXPECT_EQ(line.server.requests().size(), 1u);

  auto start = Clock::now();
  ModemResult hung = line.hangUp(ModemTiming{});
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  ASSERT_TRUE(hung.done()) << hung.message;
  EXPECT_BYTES(line.heard(), std::string("ATE0\rAT&F\rATD0312345678\r+++ATH0\r"));
  EXPECT_FALSE(line.server.modemOnline());
  // 500 ms of silence, two gaps of 350 ms, the modem's own guard time after.
  EXPECT_GE(took, 500 + 700 + sim::ModemSettings{}.guardMs);
  EXPECT_EQ(line.prompt.count(), 0u);
}

TEST(ModemTest, EmptySetUpGoesStraightToTheDialAndTelitHangsUpWithAth) {
  ModemLine line(ModemLine::fast(), 1, "");
  ASSERT_TRUE(line.opened);
  ASSERT_TRUE(line.dial().done());
  EXPECT_BYTES(line.heard(), std::string("ATE0\rATD0312345678\r"));
  ASSERT_TRUE(line.hangUp().done());
  EXPECT_BYTES(line.heard(), std::string("ATE0\rATD0312345678\r+++ATH\r"));
  EXPECT_EQ(line.server.modemLog(), (std::vector<std::string>{"ATE0", "ATD0312345678", "+++", "ATH"}));
}

// Each failure says why in its own words, after exactly the attempts due,
// and leaves no call up.
TEST(ModemTest, FailuresSayWhyAfterTheirAttempts) {
  auto settings = [](auto change) {
    sim::ModemSettings s = ModemLine::fast();
    change(s);
    return s;
  };
  const std::string escape = "+++ATH0\r";
  struct Case {
    const char* name;
    sim::ModemSettings modem;
    bool dial;
    const char* message;
    std::string heard;
  } cases[] = {
      {"busy", settings([](auto& s) { s.dial = sim::DialResult::Busy; }), true, kModemDialFailed,
       "ATE0\rAT&F\rATD0312345678\r"},
      {"no carrier", settings([](auto& s) { s.dial = sim::DialResult::NoCarrier; }), true, kModemDialFailed,
       "ATE0\rAT&F\rATD0312345678\r"},
      {"set-up refused", settings([](auto& s) { s.initReply = "ERROR"; }), true, kModemSetupFailed,
       "ATE0\r" + ("AT&F\r" + escape) + ("AT&F\r" + escape) + ("AT&F\r" + escape)},
      {"no modem", settings([](auto& s) { s.present = false; }), true, kModemAbsent,
       ("ATE0\r" + escape) + ("ATE0\r" + escape) + ("ATE0\r" + escape)},
      {"no modem to hang up", settings([](auto& s) { s.present = false; }), false, kModemHangUpFailed,
       escape + escape + escape},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModemLine line(c.modem);
    ASSERT_TRUE(line.opened);
    ModemResult r = c.dial ? line.dial() : line.hangUp();
    EXPECT_EQ(r.outcome, ModemOutcome::Failed);
    EXPECT_EQ(r.message, c.message);
    EXPECT_BYTES(line.heard(), c.heard);
    EXPECT_FALSE(line.server.modemOnline());
    ASSERT_EQ(line.prompt.count(), 1u);
    PromptRequest shown = line.prompt.shown()[0];
    EXPECT_EQ(shown.text, c.message);
    EXPECT_EQ(shown.title, kErrorTitle);
    EXPECT_EQ(shown.icon, Icon::Error);
    EXPECT_TRUE(shown.systemModal);
  }
  // Unattended: the same failure, and no box waits for anyone.
  ModemLine quiet(settings([](auto& s) { s.dial = sim::DialResult::Busy; }));
  quiet.messages.flags.showLinkErrors = false;
  EXPECT_EQ(quiet.dial().message, kModemDialFailed);
  EXPECT_EQ(quiet.prompt.count(), 0u);
}

// Cancel while the call is ringing: the worker hangs up before it lets its
// owner go, and says nothing.
TEST(ModemTest, StoppedDialHangsUpBeforeTheWorkerEnds) {
  sim::ModemSettings s = ModemLine::fast();
  s.dial = sim::DialResult::None;
  ModemLine line(s);
  ASSERT_TRUE(line.opened);
  ModemResult r = line.dial(kFast, 400);  // the owner stops it after 400 ms
  EXPECT_EQ(r.outcome, ModemOutcome::Stopped);
  // The first hang-up abandons the ringing call ("NO CARRIER"), the second is answered "OK".
  EXPECT_BYTES(line.heard(), std::string("ATE0\rAT&F\rATD0312345678\rATH0\rATH0\r"));
  EXPECT_FALSE(line.server.modemOnline());
  EXPECT_EQ(line.prompt.count(), 0u);
  EXPECT_FALSE(line.worker.running());
}

}  // namespace
}  // namespace cfg
