// Polling and the memory view against termsim.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/frame.h"
#include "link/hex.h"
#include "link/memory_view.h"
#include "link/polling.h"
#include "link/tests/sim_line.h"
#include "tests/support/fake_transport.h"

namespace cfg {
namespace {

using Clock = std::chrono::steady_clock;
using sim::FaultKind;
using sim::PollEvent;
using sim::SimTerminal;
using test::SimLine;

std::string reply04(std::string_view data) {
  std::string f = buildRequest("01", data);
  sealMain(f);
  return f;
}

TEST(Polling, ReadBadgeIsAnsweredUnlessBusyAndItsTextIsShown) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.pollEvents.push_back({0x81, 'T', "1234"});
    t.pollEvents.push_back({0x91, 'T', "5678"});  // busy: shown, not answered
  });
  PollControl control;
  control.selectReply(1);  // "1: Titolo regolare"
  Worker worker;
  std::vector<std::pair<Clock::time_point, PollDisplay>> shown;
  runHeadless(worker, line.messages, [&](Worker& w) { pollingWorker(w, line.link, line.messages, control); }, 2300,
              [&](const ProgressUpdate& u) {
                auto d = parsePollProgress(u.text);
                ASSERT_TRUE(d);
                shown.emplace_back(Clock::now(), *d);
              });
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.pollCharacters; }), "1");
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[0].second.status, 0x81);
  EXPECT_EQ(shown[0].second.received, "T - 1234");
  EXPECT_EQ(shown[1].second.status, 0x91);
  EXPECT_EQ(shown[1].second.received, "T - 5678");
  EXPECT_EQ(shown[2].second.status, 0x80);
  EXPECT_EQ(shown[2].second.received, "T - 5678") << "the text stays a while";
  // ... and is cleared once 1500 ms have passed without new data.
  auto cleared = std::find_if(shown.begin(), shown.end(), [](const auto& s) { return s.second.received.empty(); });
  ASSERT_NE(cleared, shown.end());
  EXPECT_GE(cleared->first - shown[1].first, std::chrono::milliseconds(1450));
  EXPECT_LT(cleared->first - shown[1].first, std::chrono::milliseconds(2000));
}

TEST(Polling, PendingCommandIsSentOnceWhenTheTerminalIsNotBusy) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) { t.idleStatus = 0x90; });  // busy
  PollControl control;
  control.selectReply(2);
  EXPECT_TRUE(control.press(PollButton::Entry));
  EXPECT_FALSE(control.press(PollButton::Exit)) << "only when none is pending";
  EXPECT_EQ(control.pendingCommand.load(), 'E');
  Worker worker;
  ProgressQueue progress;
  ASSERT_TRUE(worker.start(progress, [&](Worker& w) { pollingWorker(w, line.link, line.messages, control); },
                           line.messages));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.pollCharacters; }), "") << "held while busy";
  line.terminal([](SimTerminal& t) { t.idleStatus = 0x80; });
  for (int i = 0; i < 250 && control.pendingCommand.load() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // a few more polls
  worker.stop();
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.pollCharacters; }), "E");
  EXPECT_EQ(control.pendingCommand.load(), 0);
}

TEST(Polling, AnyValidReplyKeepsThePollGoing) {
  // A terminal with nothing to report may answer 04 with ACK or with a data
  // reply too short to hold the status: neither is a failure.
  auto wire = std::make_shared<test::FakeWire>();
  auto frame = [](std::string f) {
    sealMain(f);
    return f;
  };
  wire->replies = {frame(std::string{SOH} + "01" + ACK + " \r"),  // ACK
                   reply04(""),                                      // 7 bytes
                   reply04("X"),                                     // 8 bytes
                   reply04("0481" "54" "02" "4142"),                 // a badge: "AB"
                   frame(std::string{SOH} + "01" + ACK + " \r")};  // the 05 answer
  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  Link link;
  link.config.model = "LX-P2";
  link.config.address = "01";
  ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire), messages));
  PollControl control;
  Worker worker;
  std::vector<PollDisplay> shown;
  EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { pollingWorker(w, link, messages, control); }, 5000,
                        [&](const ProgressUpdate& u) { shown.push_back(*parsePollProgress(u.text)); }),
            HeadlessEnd::Closed);

  std::vector<std::string> commands;
  for (const std::string& f : wire->sent) commands.push_back(f.substr(4, f.size() - 7));
  // Four polls, the automatic answer, then a silent terminal: three attempts and the box.
  EXPECT_EQ(commands, (std::vector<std::string>{"04", "04", "04", "04", "0530", "04", "04", "04"}));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Errore: il lettore non risponde."});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].status, 0x81);
  EXPECT_EQ(shown[0].received, "T - AB");
}

TEST(Polling, CommandCharactersOfTheButtons) {
  EXPECT_EQ(pollCommandCharacter(PollButton::Entry, '0'), 'A');
  EXPECT_EQ(pollCommandCharacter(PollButton::Entry, '3'), 'F');
  EXPECT_EQ(pollCommandCharacter(PollButton::Exit, '2'), 'B');
  EXPECT_EQ(pollCommandCharacter(PollButton::Open, '0'), 'C');
  EXPECT_EQ(pollCommandCharacter(PollButton::Close, '0'), 'D');
  EXPECT_EQ(pollCommandCharacter(PollButton::Enable, '0'), 'G');
  EXPECT_EQ(pollCommandCharacter(PollButton::Disable, '0'), 'H');
}

TEST(Polling, ReplyIsDecodedOnlyAsFarAsItGoes) {
  // N says 10 bytes, the reply holds 2.
  std::string r = reply04("0481" "54" "0A" "4142");
  auto p = parsePollReply(r, static_cast<int>(r.size()));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->received, "T - AB");
  // Too short for K and N: no text, the status still counts.
  r = reply04("0481" "54");
  p = parsePollReply(r, static_cast<int>(r.size()));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->status, 0x81);
  EXPECT_FALSE(p->received);
  // Too short for S.
  r = reply04("04");
  EXPECT_FALSE(parsePollReply(r, static_cast<int>(r.size())));
}

// Fills a page of the terminal with a recognisable pattern.
void fillPage(SimTerminal& t, std::uint32_t page) {
  for (std::uint32_t i = 0; i < 256; ++i) t.poke(page << 8 | i, static_cast<std::uint8_t>(page + i * 7));
}

struct PageCase {
  const char* model;
  std::uint16_t page;
  const char* firstRequest;  // "" when the page is not asked for
};

class MemoryPageRead : public ::testing::TestWithParam<PageCase> {};

TEST_P(MemoryPageRead, ReadsWhatTheTerminalHolds) {
  const PageCase& c = GetParam();
  SimLine line(c.model);
  ASSERT_TRUE(line.opened);
  line.terminal([&](SimTerminal& t) { fillPage(t, c.page); });
  Worker worker;
  MemoryPage page;
  int position = 0;
  HeadlessEnd end = runHeadless(
      worker, line.messages, [&](Worker& w) { readMemoryPage(w, line.link, line.messages, c.page, page); }, 10000,
      [&](const ProgressUpdate& u) { position = u.second; });
  EXPECT_EQ(end, HeadlessEnd::Closed) << "the dialog closes when the page is read";
  EXPECT_EQ(position, 64);
  EXPECT_EQ(page.page, c.page);
  bool asked = *c.firstRequest != '\0';
  auto commands = line.commands();
  EXPECT_EQ(commands.size(), asked ? 64u : 0u);
  if (asked) {
    EXPECT_EQ(commands[0], c.firstRequest);
  }
  line.terminal([&](SimTerminal& t) {
    for (std::uint32_t i = 0; i < 256; ++i)
      ASSERT_EQ(page.bytes[i], asked ? t.peek(std::uint32_t{c.page} << 8 | i) : 0xFF) << i;
  });
}

INSTANTIATE_TEST_SUITE_P(Areas, MemoryPageRead,
                         ::testing::Values(PageCase{"LX-K3", 0x0012, "2C0480"},    // block 0x12/4, index 2*64
                                           PageCase{"LX-K3", 0x2101, "2A4040"},    // block 0x101/4, index 64
                                           PageCase{"LX-K3", 0x2402, "2D0080"},    // 0x2400 area, LX-K3 only
                                           PageCase{"LX-P1", 0x23FF, "2AFFC0"},
                                           PageCase{"LX-P1", 0x2402, ""},          // no such area on LX-P1
                                           PageCase{"LX-K3", 0x3000, ""},          // outside every area
                                           PageCase{"LX-P2", 0x47FC, "2D47FC00"},  // address form
                                           PageCase{"HND  ", 0x0100, "2D010000"}));

TEST(MemoryView, WrongEchoAsksTheSameGroupAgain) {
  SimLine line("LX-K3");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    fillPage(t, 0x2000);
    t.wrongEchoes = 2;
  });
  Worker worker;
  MemoryPage page;
  runHeadless(worker, line.messages, [&](Worker& w) { readMemoryPage(w, line.link, line.messages, 0x2000, page); },
              10000);
  auto commands = line.commands();
  ASSERT_EQ(commands.size(), 66u);
  EXPECT_EQ(commands[0], "2A0000");
  EXPECT_EQ(commands[1], "2A0000");
  EXPECT_EQ(commands[2], "2A0000");
  EXPECT_EQ(commands[3], "2A0001");
  EXPECT_EQ(page.bytes[0], 0x00);
  EXPECT_EQ(page.bytes[255], static_cast<std::uint8_t>(0x2000 + 255 * 7));
}

TEST(MemoryView, FailedReadEndsTheOperation) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.server.setFault({FaultKind::NoAnswer, -1, 0});
  line.messages.flags.askOnFailure = false;
  Worker worker;
  MemoryPage page;
  EXPECT_EQ(runHeadless(worker, line.messages,
                        [&](Worker& w) { readMemoryPage(w, line.link, line.messages, 0x0010, page); }, 5000),
            HeadlessEnd::Closed);
  EXPECT_EQ(line.server.requests().size(), 3u);
  EXPECT_EQ(page.groupsRead, 0);
  EXPECT_FALSE(page.known[0]);
}

TEST(MemoryView, GoToPageText) {
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  EXPECT_EQ(parsePageText(messages, "2A"), 0x002A);
  EXPECT_EQ(parsePageText(messages, "47FC"), 0x47FC);
  EXPECT_EQ(prompt.count(), 0u);
  for (const char* bad : {"2a", "12345", "G0", " 1"}) {
    EXPECT_FALSE(parsePageText(messages, bad)) << bad;
    EXPECT_EQ(prompt.texts().back(), "Errore: indirizzo non valido.");
  }
}

TEST(MemoryView, ModificaWritesTheGroupAndReadsItBack) {
  SimLine line("LX-K3");
  ASSERT_TRUE(line.opened);
  MemoryPage page;
  page.page = 0x2401;
  ASSERT_TRUE(writeMemoryGroup(line.link, line.messages, page, "8", "DEADBEEF"));
  // block 0, index 64 + 2; then the read-back with the block-form 2D.
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"2E0042DEADBEEF", "2D0042"}));
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.peek(0x240108); }), 0xDE);
  EXPECT_TRUE(page.known[2]);
  EXPECT_EQ(page.bytes[8], 0xDE);
  EXPECT_EQ(page.bytes[11], 0xEF);

  page.page = 0x2001;
  ASSERT_TRUE(writeMemoryGroup(line.link, line.messages, page, "FC", "01020304"));
  EXPECT_EQ(line.commands()[2], "2B007F01020304");
  EXPECT_EQ(page.bytes[252], 0x01);
}

TEST(MemoryView, ModificaInputsAndUnwritablePages) {
  SimLine line("LX-P1");
  ASSERT_TRUE(line.opened);
  MemoryPage page;
  page.page = 0x2000;
  for (const char* offset : {"6", "100", "fc", ""}) {
    CommandResult r = writeMemoryGroup(line.link, line.messages, page, offset, "00000000");
    if (*offset == '\0') {
      EXPECT_TRUE(r.ok) << "an empty offset is 00";
      continue;
    }
    EXPECT_EQ(r.badField, InputField::Offset) << offset;
    EXPECT_EQ(line.prompt.texts().back(), "Errore: indirizzo non valido.");
  }
  for (const char* data : {"deadbeef", "DEADBEE", "DEADBEEF0", "DEADBEEG"}) {
    CommandResult r = writeMemoryGroup(line.link, line.messages, page, "04", data);
    EXPECT_EQ(r.badField, InputField::Data) << data;
    EXPECT_EQ(line.prompt.texts().back(), "Errore: dato non valido.");
  }
  line.server.clearRequests();
  page.page = 0x0010;  // LX-P1 writes only in 0x2000-0x23FF
  EXPECT_FALSE(writeMemoryGroup(line.link, line.messages, page, "04", "00000000").ok);
  page.page = 0x2400;
  EXPECT_FALSE(writeMemoryGroup(line.link, line.messages, page, "04", "00000000").ok);
  EXPECT_TRUE(line.commands().empty());

  SimLine p2("LX-P2");
  ASSERT_TRUE(p2.opened);
  page.page = 0x1234;
  ASSERT_TRUE(writeMemoryGroup(p2.link, p2.messages, page, "FC", "A1B2C3D4"));
  EXPECT_EQ(p2.commands(), (std::vector<std::string>{"2E1234FCA1B2C3D4", "2D1234FC"}));
  EXPECT_EQ(page.bytes[255], 0xD4);
}

}  // namespace
}  // namespace cfg
