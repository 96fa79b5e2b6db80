// The basic commands against a terminal that misbehaves: each fault termsim
// can inject, on a serial line (pseudo-terminal) and over TCP.
//
// Whatever the fault, a command ends within its deadlines (exchanges x
// attempts x (timeout + the transport's extra wait)) and reports what
// happened: on a clean line, or an echoing line the Link knows to echo, the
// data it read; otherwise a failure with the right message ("risponde NAK"
// when NAKs came), and never the success message. Once the fault is gone,
// the same line (over TCP a new connection after a hang-up) works again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"
#include "link/memory_view.h"
#include "link/status.h"
#include "link/transaction.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

using sim::FaultKind;
using sim::SimServer;
using sim::SimTerminal;

enum class Via { Pty, Tcp };

// Later than every attempt of any command here, over either transport.
constexpr int kLateReplyMs = 4000;
// Scheduling on a loaded two-core machine, sanitizer builds included.
constexpr long kSlackMs = 2000;

struct Line {
  Line(Via via, FaultKind fault) : via(via) {
    server.add(SimTerminal("LX-P2", 1));
    link.config.model = "LX-P2";
    link.config.address = "01";
    if (via == Via::Tcp) {
      link.config.tcp = true;
      link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
      link.config.tcpPort = server.listenTcp();
    } else {
      link.config.portName = "COM9";
      link.config.echo = fault == FaultKind::Echo;  // the line is known to echo
      ports.set("COM9", server.openPty());
    }
    server.start();
    opened = link.open(messages, ports);
    server.setFault({fault, -1, kLateReplyMs});
  }
  int extraWaitMs() const { return via == Via::Tcp ? 500 : 0; }

  Via via;
  SimServer server;
  PortMap ports;
  test::ScriptedPrompt prompt;  // answers Retry/Cancel with Cancel
  Messages messages{prompt};
  Link link;
  bool opened = false;
};

struct Command {
  const char* name;
  int timeoutMs;
  int cleanExchanges;  // exchanges of a run on a clean line
  // Runs the command; true when it reports success, after checking that
  // what it read is whole.
  std::function<bool(Line&)> run;
};

const std::vector<Command>& basicCommands() {
  static const std::vector<Command> commands = {
      {"set date and time", 200, 1,
       [](Line& l) {
         std::tm t{};
         t.tm_year = 2026 - 1900;
         t.tm_mday = 1;
         return setDateTime(l.link, l.messages, t);
       }},
      {"read date and time", 400, 1,
       [](Line& l) {
         std::string text;
         if (!readDateTime(l.link, l.messages, text)) return false;
         EXPECT_EQ(text.size(), 19u) << text;
         return true;
       }},
      {"status", 200, 1,
       [](Line& l) {
         std::optional<StatusBytes> bytes;
         if (!readStatus(l.link, l.messages, bytes)) return false;
         EXPECT_TRUE(bytes.has_value());
         return true;
       }},
      // 34, then the two reader modules, which termsim's terminal does not have.
      {"versions", 200, 7,
       [](Line& l) {
         auto text = firmwareVersionText(l.link, l.messages);
         if (!text) return false;
         EXPECT_EQ(text->rfind("Versione firmware = 'FW 1.00 SIM", 0), 0u) << *text;
         return true;
       }},
      {"output", 200, 1,
       [](Line& l) { return sendOutputCommand(l.link, l.messages, "2", OutputChoice::On, "").ok; }},
      {"memory read", 250, 64,
       [](Line& l) {
         Worker worker;
         MemoryPage page;
         HeadlessEnd end = runHeadless(
             worker, l.messages, [&](Worker& w) { readMemoryPage(w, l.link, l.messages, 0x0010, page); }, 60000);
         EXPECT_EQ(end, HeadlessEnd::Closed) << "the worker ends by itself, read or failed";
         if (page.groupsRead == 0) return false;
         EXPECT_EQ(page.groupsRead, 64);
         return true;
       }},
  };
  return commands;
}

struct Cell {
  Via via;
  FaultKind fault;
};

std::string cellName(const ::testing::TestParamInfo<Cell>& info) {
  static const char* faults[] = {"None", "NoAnswer", "Nak", "BadCheck", "Delay", "Echo", "Close", "DropBytes"};
  return std::string(info.param.via == Via::Tcp ? "Tcp" : "Pty") + faults[static_cast<int>(info.param.fault)];
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, BasicCommandsEndInTimeWithTheRightOutcome) {
  const Cell cell = GetParam();
  const bool clean = cell.fault == FaultKind::None || cell.fault == FaultKind::Echo;
  for (const Command& command : basicCommands()) {
    SCOPED_TRACE(command.name);
    Line line(cell.via, cell.fault);
    ASSERT_TRUE(line.opened);

    auto start = std::chrono::steady_clock::now();
    bool ok = command.run(line);
    long ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

    // A failing command gives up after the first exchange's three attempts.
    int exchanges = clean ? command.cleanExchanges : 1;
    EXPECT_LE(ms, exchanges * 3L * (command.timeoutMs + line.extraWaitMs()) + kSlackMs);
    EXPECT_EQ(ok, clean);
    std::vector<std::string> texts = line.prompt.texts();
    if (clean) {
      for (const auto& shown : line.prompt.shown()) EXPECT_NE(shown.title, kErrorTitle) << shown.text;
    } else {
      ASSERT_EQ(texts.size(), 1u) << "one Retry/Cancel question, answered Cancel";
      EXPECT_EQ(texts[0], cell.fault == FaultKind::Nak ? kNakMessage : kNoAnswerMessage);
    }

    // The fault gone, the line answers again (an echoing line stops echoing).
    line.server.setFault({});
    line.link.config.echo = false;
    if (cell.via == Via::Tcp && cell.fault == FaultKind::Close) {
      ASSERT_TRUE(line.link.open(line.messages, line.ports));
    }
    std::optional<StatusBytes> bytes;
    EXPECT_TRUE(readStatus(line.link, line.messages, bytes));
    EXPECT_TRUE(bytes.has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    ::testing::Values(Cell{Via::Pty, FaultKind::None}, Cell{Via::Pty, FaultKind::NoAnswer},
                      Cell{Via::Pty, FaultKind::Nak}, Cell{Via::Pty, FaultKind::BadCheck},
                      Cell{Via::Pty, FaultKind::Delay}, Cell{Via::Pty, FaultKind::Echo},
                      Cell{Via::Pty, FaultKind::Close}, Cell{Via::Pty, FaultKind::DropBytes},
                      Cell{Via::Tcp, FaultKind::None}, Cell{Via::Tcp, FaultKind::NoAnswer},
                      Cell{Via::Tcp, FaultKind::Nak}, Cell{Via::Tcp, FaultKind::Delay},
                      Cell{Via::Tcp, FaultKind::Close}),
    cellName);

}  // namespace
}  // namespace cfg
