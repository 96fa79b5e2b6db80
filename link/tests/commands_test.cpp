// The single-exchange commands and the repeating displays against termsim.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/address_speed.h"
#include "link/commands.h"
#include "link/hex.h"
#include "link/status.h"
#include "link/tests/sim_line.h"

namespace cfg {
namespace {

using sim::SimTerminal;
using test::SimLine;

TEST(DateTime, SettingSendsFourteenZeroPaddedDigitsAndReadsBack) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;  // March
  t.tm_mday = 5;
  t.tm_hour = 8;
  t.tm_min = 7;
  t.tm_sec = 9;
  ASSERT_TRUE(setDateTime(line.link, line.messages, t));
  EXPECT_EQ(line.commands().back(), "2920260305080709");
  EXPECT_EQ(line.server.requests().back().size(), 23u);
  EXPECT_EQ(line.prompt.texts().back(), "Operazione completata con successo.");
  EXPECT_EQ(line.prompt.shown().back().title, "Info Message");

  std::string text;
  ASSERT_TRUE(readDateTime(line.link, line.messages, text));
  EXPECT_EQ(text.substr(0, 17), "05/03/2026 08:07:") << text;
  EXPECT_EQ(text.size(), 19u);
}

TEST(DateTime, ShortAnswerIsNotShownAsADate) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  // A valid 9-byte reply passes the transaction but holds no date.
  line.terminal([](SimTerminal& t) {
    t.setHandler("28", [](SimTerminal&, std::string_view) { return std::optional<std::string>("28"); });
  });
  std::string text = "stale";
  EXPECT_TRUE(readDateTime(line.link, line.messages, text));
  EXPECT_EQ(text, "");
}

TEST(DateTime, DisplayRepeatsAboutOnceASecondUntilStopped) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  Worker worker;
  std::vector<std::chrono::steady_clock::time_point> times;
  std::vector<std::string> texts;
  HeadlessEnd end = runHeadless(
      worker, line.messages, [&](Worker& w) { dateTimeDisplay(w, line.link, line.messages); }, 2300,
      [&](const ProgressUpdate& u) {
        times.push_back(std::chrono::steady_clock::now());
        texts.push_back(u.text);
      });
  EXPECT_EQ(end, HeadlessEnd::TimedOut);
  ASSERT_GE(times.size(), 2u);
  EXPECT_GE(times[1] - times[0], std::chrono::milliseconds(1000));
  EXPECT_LE(times.size(), 3u);
  EXPECT_EQ(texts[0].size(), 19u);
  EXPECT_EQ(texts[0][2], '/');
}

TEST(Reset, ResetAndResetWithDefaultsAskFirst) {
  SimLine line("LX-K3");
  ASSERT_TRUE(line.opened);
  ASSERT_TRUE(resetTerminal(line.link, line.messages));
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.resets; }), 1);
  EXPECT_EQ(line.prompt.texts().back(), "Operazione completata con successo.");

  line.prompt.clear();
  EXPECT_FALSE(resetWithDefaults(line.link, line.messages));  // the scripted prompt answers No
  ASSERT_EQ(line.prompt.count(), 1u);
  PromptRequest q = line.prompt.shown()[0];
  EXPECT_EQ(q.text, "ATTENZIONE! Tutti i dati presenti verranno persi. Continuare ?");
  EXPECT_EQ(q.title, "Reset Terminale");
  EXPECT_EQ(q.buttons, Buttons::YesNo);
  EXPECT_EQ(q.defaultButton, Answer::No);
  EXPECT_EQ(q.icon, Icon::Warning);
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.defaultResets; }), 0);

  line.prompt.script({Answer::Yes});
  EXPECT_TRUE(resetWithDefaults(line.link, line.messages));
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.defaultResets; }), 1);
  EXPECT_EQ(line.commands().back(), "31");
}

TEST(Versions, ReadersThatDoNotAnswerAddNothingAndAskNothing) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.firmwareVersion = "LXP2 3.07";
    t.readerVersion[1] = "RD 1.2";  // reader 2 only
  });
  ASSERT_TRUE(showFirmwareVersion(line.link, line.messages));
  ASSERT_EQ(line.prompt.count(), 1u) << "reader 1's silence is not reported";
  EXPECT_EQ(line.prompt.texts()[0],
            "Versione firmware = 'LXP2 3.07       '\rVersione lettore2 = 'RD 1.2          '");
  EXPECT_EQ(line.prompt.shown()[0].title, "Info Message");
  EXPECT_TRUE(line.messages.flags.askOnFailure.load()) << "ask-on-failure is set again";
  // The silent reader still gets its three attempts.
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"34", "3401", "3401", "3401", "3402"}));

  // When it was already cleared (an unattended run) it stays cleared.
  line.messages.flags.askOnFailure = false;
  ASSERT_TRUE(firmwareVersionText(line.link, line.messages));
  EXPECT_FALSE(line.messages.flags.askOnFailure.load());
}

TEST(Output, OnOffAndDurationGiveTheirActionBytes) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  EXPECT_TRUE(sendOutputCommand(line.link, line.messages, "1", OutputChoice::On, ""));
  EXPECT_TRUE(sendOutputCommand(line.link, line.messages, "2", OutputChoice::Off, "77"));
  EXPECT_TRUE(sendOutputCommand(line.link, line.messages, "4", OutputChoice::Duration, "10"));
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"370181", "370280", "37040A"}));
  EXPECT_EQ(line.server.requests().back().size(), 13u);
  auto outputs = line.terminal([](SimTerminal& t) { return t.outputs; });
  EXPECT_EQ(outputs, (std::vector<std::pair<int, int>>{{1, 0x81}, {2, 0x80}, {4, 0x0A}}));
}

TEST(Output, BadChannelOrDurationIsRefusedBeforeSending) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  for (const char* channel : {"0", "5", "", "x1"}) {
    CommandResult r = sendOutputCommand(line.link, line.messages, channel, OutputChoice::On, "");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.badField, InputField::Channel);
  }
  EXPECT_EQ(line.prompt.texts().back(), "Errore: canale non valido (1-4).");
  EXPECT_EQ(line.prompt.shown().back().title, "Error Message");
  // 256 would not fit its two characters.
  for (const char* duration : {"256", "", "1O"}) {
    CommandResult r = sendOutputCommand(line.link, line.messages, "1", OutputChoice::Duration, duration);
    EXPECT_EQ(r.badField, InputField::Duration);
    EXPECT_EQ(line.prompt.texts().back(), "Errore: dato non valido.");
  }
  EXPECT_TRUE(sendOutputCommand(line.link, line.messages, "3", OutputChoice::Duration, "255"));
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"3703FF"}));
}

TEST(DirectCommand, ShowsTheReplyUpToItsEtx) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.status1 = 0x12;
    t.status2 = 0x34;
  });
  auto text = sendDirectCommand(line.link, line.messages, "36");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "361234");
  EXPECT_EQ(line.prompt.texts().back(), "361234");
  EXPECT_EQ(line.server.requests().back().size(), 2u + 7u);
  // A command answered by ACK has no data to show.
  text = sendDirectCommand(line.link, line.messages, "3701FF");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "");
  // A NAK fails like any transaction.
  line.messages.flags.askOnFailure = false;
  EXPECT_FALSE(sendDirectCommand(line.link, line.messages, "99"));
}

TEST(Status, TopOfTheFirstColumnAndBottomOfTheSecond) {
  SimLine line("LX-P2");
  ASSERT_TRUE(line.opened);
  line.terminal([](SimTerminal& t) {
    t.status1 = 0x80;
    t.status2 = 0x01;
  });
  std::optional<StatusBytes> bytes;
  ASSERT_TRUE(readStatus(line.link, line.messages, bytes));
  ASSERT_TRUE(bytes);
  auto labels = statusLabels(line.link.config.model);
  ASSERT_TRUE(labels);
  StatusDisplay d = statusDisplay(*labels, *bytes);
  for (std::size_t col = 0; col < 2; ++col)
    for (std::size_t row = 0; row < 8; ++row)
      EXPECT_EQ(d[col][row].checked, (col == 0 && row == 0) || (col == 1 && row == 7)) << col << row;
  EXPECT_EQ(d[0][0].label, "Alimentazione 230V");
  EXPECT_EQ(d[1][7].label, "Stato input 1");
  EXPECT_EQ(d[0][4].label, "n.u.");  // bit 3
  EXPECT_EQ(d[1][0].label, "Stato output 4");

  // The worker's text decodes to the same bytes.
  Worker worker;
  std::optional<StatusBytes> shown;
  runHeadless(worker, line.messages, [&](Worker& w) { statusWorker(w, line.link, line.messages); }, 150,
              [&](const ProgressUpdate& u) { shown = parseStatusText(u.text); });
  EXPECT_EQ(shown, bytes);
}

TEST(Status, LabelsFollowTheModel) {
  auto k4 = statusLabels("LX-K4");
  ASSERT_TRUE(k4);
  EXPECT_EQ(k4->first[2], "Buffer reg. full");
  EXPECT_EQ(k4->first[3], "Errore fingerprint");
  EXPECT_EQ(k4->second[7], "n.u.");
  EXPECT_EQ(k4->second[5], "Stato output 2");
  auto k1 = statusLabels("LX-K1");
  EXPECT_EQ(k1->first[7], "Alimentazione 12V");
  EXPECT_EQ(k1->first[5], "n.u.");
  auto p1 = statusLabels("LX-P1");
  EXPECT_EQ(p1->first[7], "n.u.");
  EXPECT_EQ(p1->second[1], "Stato input 2");
  EXPECT_EQ(statusLabels("LX-K3")->second[6], "Stato output 3");
  EXPECT_EQ(statusLabels("LX-K5")->first[7], "Alimentazione 230V");
  EXPECT_FALSE(statusLabels("HND  "));
}

struct Family {
  const char* model;
  const char* read;    // expected read request
  const char* write;   // expected write request for address 0x11, speed index 4, kept ABCD
};

class AddressSpeed : public ::testing::TestWithParam<Family> {};

TEST_P(AddressSpeed, RewritesTheBlockKeepsTwoBytesAndAnswersAtTheNewAddress) {
  const Family& f = GetParam();
  SimLine line(f.model, 5);
  ASSERT_TRUE(line.opened);
  std::uint32_t block = line.terminal([](SimTerminal& t) {
    t.poke(t.configBlockAddress() + 2, 0xAB);
    t.poke(t.configBlockAddress() + 3, 0xCD);
    return t.configBlockAddress();
  });
  AddressSpeedResult r = changeAddressAndSpeed(line.link, line.messages, "17", 4);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.address, 17u);
  EXPECT_EQ(r.speedIndex, 4);
  EXPECT_EQ(line.commands(), (std::vector<std::string>{f.read, f.write, "30"}));
  EXPECT_EQ(line.prompt.texts().back(), "Operazione completata con successo.");
  line.terminal([&](SimTerminal& t) {
    EXPECT_EQ(t.peek(block), 0x11);
    EXPECT_EQ(t.speedIndex(), 4u);
    EXPECT_EQ(t.peek(block + 2), 0xAB);
    EXPECT_EQ(t.peek(block + 3), 0xCD);
  });

  // The restarted terminal answers at its new address.
  EXPECT_EQ(line.terminal([](SimTerminal& t) { return t.address(); }), 17u);
  std::optional<StatusBytes> bytes;
  line.link.config.address = "11";
  EXPECT_TRUE(readStatus(line.link, line.messages, bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Families, AddressSpeed,
    ::testing::Values(Family{"LX-P1", "2AFF00", "2BFF001104ABCD"}, Family{"LX-K3", "2AFF00", "2BFF001104ABCD"},
                      Family{"LX-P2", "2D47FC00", "2E47FC001104ABCD"},
                      Family{"LX-K2", "2D27FC00", "2E27FC001104ABCD"},
                      Family{"LX-K1", "2D27FC00", "2E27FC001104ABCD"},
                      Family{"LX-K4", "2D800000", "2E8000001104ABCD"},
                      Family{"LX-K5", "2D87FC00", "2E87FC001104ABCD"}),
    [](const auto& info) {
      std::string name = info.param.model;
      name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
      return name;
    });

TEST(AddressSpeedInput, BadAddressShortBlockReplyAndUnknownModelWriteNothing) {
  SimLine line("LX-P2", 5);
  ASSERT_TRUE(line.opened);
  for (const char* text : {"256", "", "-1", "1a"}) {
    AddressSpeedResult r = changeAddressAndSpeed(line.link, line.messages, text, 3);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.badField, InputField::Address);
  }
  EXPECT_EQ(line.prompt.texts().back(), "Errore: indirizzo non valido (0-255).");
  EXPECT_TRUE(line.commands().empty());

  // A block reply without the kept bytes must not lead to a write.
  line.terminal([](SimTerminal& t) {
    t.setHandler("2D", [](SimTerminal&, std::string_view) { return std::optional<std::string>("2D47FC00"); });
  });
  line.prompt.clear();
  EXPECT_FALSE(changeAddressAndSpeed(line.link, line.messages, "9", 3).ok);
  EXPECT_EQ(line.commands(), (std::vector<std::string>{"2D47FC00"}));
  EXPECT_EQ(line.prompt.count(), 0u);

  line.link.config.model = "HND  ";
  line.server.clearRequests();
  EXPECT_FALSE(changeAddressAndSpeed(line.link, line.messages, "9", 3).ok);
  EXPECT_TRUE(line.commands().empty());

  EXPECT_EQ(addressFieldText(7), "007");
  EXPECT_EQ(speedIndexOf(19200), 4);
  EXPECT_EQ(std::string(kSpeedTexts[*speedIndexOf(1200)]), " 1200");
  EXPECT_FALSE(speedIndexOf(57600));
}

TEST(AddressSpeedInput, ReconnectQuestion) {
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  prompt.script({Answer::Yes});
  EXPECT_TRUE(askReconnect(messages));
  EXPECT_EQ(prompt.shown()[0].text, "Riconnettere il terminale con i nuovi valori impostati ?");
  EXPECT_EQ(prompt.shown()[0].title, "Connessione");
  EXPECT_EQ(prompt.shown()[0].buttons, Buttons::YesNo);
}

}  // namespace
}  // namespace cfg
