// Links against the terminal simulator over TCP and a pseudo-terminal.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "link/frame.h"
#include "link/hex.h"
#include "link/tcp_transport.h"
#include "link/transaction.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using sim::Fault;
using sim::FaultKind;
using sim::SimServer;
using sim::SimTerminal;
using test::ScriptedPrompt;

enum class Via { Tcp, Pty };

class LinkSimTest : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override {
    server.add(SimTerminal("LX-P2", 7));
    link.config.model = "LX-P2";
    link.config.address = "07";
    link.config.portName = "COM3";
    link.config.speed = 19200;
    if (GetParam() == Via::Tcp) {
      link.config.tcp = true;
      link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
      link.config.tcpPort = server.listenTcp();
    } else {
      ports.set("COM3", server.openPty());
    }
    server.start();
    ASSERT_TRUE(link.open(messages, ports)) << (prompt.count() ? prompt.texts()[0] : "");
  }

  TxResult run(std::string_view command, int expected, int timeout = 200) {
    return exchange(link, messages, command, reply, 64, timeout, expected);
  }

  SimServer server;
  PortMap ports;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  std::string reply;
};

TEST_P(LinkSimTest, ReadsTheClockAndSetsIt) {
  TxResult r = run("28", 23, 400);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.length, 23);
  EXPECT_EQ(reply.substr(4, 2), "28");
  ASSERT_TRUE(run("2920260305080709", 6).ok);
  ASSERT_TRUE(run("28", 23, 400).ok);
  EXPECT_EQ(reply.substr(6, 12), "202603050807") << hexDump(reply);
}

TEST_P(LinkSimTest, OtherAddressesAndBadCheckBytesGetNoAnswer) {
  messages.flags.askOnFailure = false;
  link.config.address = "08";
  EXPECT_FALSE(run("36", 13, 100).ok);
  EXPECT_EQ(server.requests().size(), 3u);
  link.config.address = "07";
  EXPECT_TRUE(run("36", 13).ok);
  // An unknown command is answered with NAK.
  EXPECT_FALSE(run("99", 6).ok);
}

TEST_P(LinkSimTest, BadCheckByteFromTheTerminalIsRetried) {
  server.setFault({FaultKind::BadCheck, 2, 0});
  EXPECT_TRUE(run("36", 13).ok);
  EXPECT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(prompt.count(), 0u);
}

TEST_P(LinkSimTest, NakFromTheTerminalGivesTheNakMessage) {
  server.setFault({FaultKind::Nak, -1, 0});
  EXPECT_FALSE(run("36", 13).ok);
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore risponde NAK.");
}

TEST_P(LinkSimTest, LateReplyOfOneAttemptIsNotTakenForTheNext) {
  // The first reply comes after the deadline of its attempt; the second
  // attempt must not accept it (it is dropped before the request is resent).
  server.setFault({FaultKind::Delay, 1, 350});
  ASSERT_TRUE(run("2920260305080709", 6, 100).ok);  // late ACK dropped, second answered
  server.setFault({FaultKind::Delay, 1, 350});
  TxResult r = run("36", 13, 100);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(reply.substr(4, 2), "36");
}

TEST_P(LinkSimTest, DroppedBytesMakeTheAttemptFail) {
  server.setFault({FaultKind::DropBytes, 1, 0});
  EXPECT_TRUE(run("36", 13).ok);
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_P(LinkSimTest, NoAnswerEndsAtTheDeadline) {
  server.setFault({FaultKind::NoAnswer, -1, 0});
  messages.flags.askOnFailure = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(run("36", 13, 100).ok);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  int extra = GetParam() == Via::Tcp ? 500 : 0;  // sockets wait 500 ms more
  EXPECT_GE(ms, 3 * (100 + extra) - 10);
  EXPECT_LT(ms, 3 * (100 + extra) + 400);
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkSimTest, ::testing::Values(Via::Tcp, Via::Pty),
                         [](const auto& info) { return info.param == Via::Tcp ? "Tcp" : "Pty"; });

TEST(TcpLink, PeerClosingMidReplyFailsTheAttemptWithoutCrash) {
  SimServer server;
  server.add(SimTerminal("LX-P2", 1));
  std::uint16_t port = server.listenTcp();
  server.setFault({FaultKind::Close, 1, 0});
  server.start();
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.tcp = true;
  link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = port;
  link.config.address = "01";
  ASSERT_TRUE(link.open(messages, PortMap{}));
  std::string reply;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(exchange(link, messages, "36", reply, 64, 200, 13).ok);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 1000) << "a closed connection does not wait for the deadline";
  EXPECT_EQ(prompt.texts().at(0), "Errore: il lettore non risponde.");
  // A new connection works again.
  ASSERT_TRUE(link.open(messages, PortMap{}));
  EXPECT_TRUE(exchange(link, messages, "36", reply, 64, 200, 13).ok);
  EXPECT_EQ(server.connections(), 2);
}

TEST(TcpLink, GreetingLineIsDroppedAndConnectFailureIsReported) {
  SimServer server;
  server.add(SimTerminal("LX-K5", 2));
  std::uint16_t port = server.listenTcp();
  server.start();
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.tcp = true;
  link.config.model = "LX-K5";
  link.config.address = "02";
  link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = port;
  ASSERT_TRUE(link.open(messages, PortMap{}));
  std::string reply;
  ASSERT_TRUE(exchange(link, messages, "34", reply, 64, 200, 41).ok);
  EXPECT_EQ(reply.substr(4, 2), "34") << "the greeting must not be taken for the reply";
  server.stop();
  link.close();

  Link refused;
  refused.config = link.config;
  EXPECT_FALSE(refused.open(messages, PortMap{}));
  // The system's text stays as it is; the cause names the terminal's endpoint.
  EXPECT_EQ(prompt.texts().back(),
            "Error: connect failed.\n127.0.0.1:" + std::to_string(port) + ": Connection refused");
  EXPECT_EQ(prompt.shown().back().title, "Error Message");
  EXPECT_FALSE(refused.isOpen());

  // A listener whose queue is full never completes the handshake: the
  // connect gives up at its deadline and says it timed out.
  UniqueFd full(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(full.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(full.get(), 0), 0);
  ::getsockname(full.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  std::vector<UniqueFd> queued;
  for (int i = 0; i < 4; ++i) {
    queued.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(queued.back().get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  }
  Link late;
  late.config = link.config;
  late.config.tcpPort = ntohs(addr.sin_port);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(late.openWith(std::make_unique<TcpTransport>(300), messages));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(prompt.texts().back(), "Error: connect failed.\n127.0.0.1:" + std::to_string(late.config.tcpPort) +
                                       ": Connection timed out");
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, 1000);
}

TEST(SerialLink, MissingPortAndHeldPortGiveThePortMessage) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  PortMap ports;
  ports.set("COM3", "/dev/does-not-exist");
  Link link;
  link.config.portName = "COM3";
  EXPECT_FALSE(link.open(messages, ports));
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0],
            "ATTENZIONE! Porta seriale COM3 non presente o gia` assegnata.\n"
            "COM3 = /dev/does-not-exist: No such file or directory");
  EXPECT_EQ(prompt.shown()[0].title, "Error Message");

  SimServer server;
  server.add(SimTerminal("LX-K3", 1));
  std::string pty = server.openPty();
  ports.set("COM4", pty);
  Link first, second;
  first.config.portName = second.config.portName = "COM4";
  ASSERT_TRUE(first.open(messages, ports));
  EXPECT_FALSE(second.open(messages, ports));
  EXPECT_EQ(prompt.texts().back(), "ATTENZIONE! Porta seriale COM4 non presente o gia` assegnata.\nCOM4 = " + pty +
                                       ": Device or resource busy");
  first.close();
  EXPECT_TRUE(second.open(messages, ports)) << "closing releases the port";
}

TEST(SerialLink, OpenFailuresAreSilentWithoutShowLinkErrors) {
  ScriptedPrompt prompt;
  Messages messages{prompt};
  messages.flags.showLinkErrors = false;
  PortMap ports;
  ports.set("COM1", "/dev/does-not-exist");
  Link serial;
  serial.config.portName = "COM1";
  EXPECT_FALSE(serial.open(messages, ports));
  Link usb;
  usb.config.usb = true;
  EXPECT_FALSE(usb.open(messages, ports));
  EXPECT_EQ(prompt.count(), 0u);
}

TEST(SerialLink, RegularFileIsNotAPort) {
  test::TempDir dir;
  dir.write("notatty", "x");
  ScriptedPrompt prompt;
  Messages messages{prompt};
  PortMap ports;
  ports.set("COM2", (dir / "notatty").string());
  Link link;
  link.config.portName = "COM2";
  EXPECT_FALSE(link.open(messages, ports));
  EXPECT_EQ(prompt.texts().at(0),
            "Error: SetCommState failed.\nCOM2 = " + (dir / "notatty").string() + ": Inappropriate ioctl for device");
}

TEST(SerialLink, EchoingLineAt1200BaudWithRs485Requested) {
  SimServer server;
  server.add(SimTerminal("LX-K3", 3));
  PortMap ports;
  ports.set("COM2", server.openPty());
  server.setFault({FaultKind::Echo, -1, 0});
  server.start();
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.portName = "COM2";
  link.config.address = "03";
  link.config.model = "LX-K3";
  link.config.speed = 1200;
  link.config.echo = true;
  link.config.rs485 = true;  // a pseudo-terminal has no RS-485 mode: no effect, no error
  ASSERT_TRUE(link.open(messages, ports));
  std::string reply;
  TxResult r = exchange(link, messages, "36", reply, 13, 200, 13);
  ASSERT_TRUE(r.ok) << hexDump(reply);
  EXPECT_EQ(reply.substr(4, 2), "36");
  EXPECT_EQ(link.echoLength(), 9u);

  // Silence at 1200 baud: every wait is 500 ms longer.
  server.setFault({FaultKind::NoAnswer, -1, 0});
  messages.flags.askOnFailure = false;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(exchange(link, messages, "36", reply, 13, 100, 13).ok);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 3 * 600 - 10);
  EXPECT_LT(ms, 3 * 600 + 400);
}

TEST(PortMapFile, OverridesAndDefaults) {
  test::TempDir dir;
  dir.write("porte.dat", "# plant PC\r\nCOM5 /dev/ttyUSB0\r\ncom6   /tmp/x\r\n\r\nbroken\r\n");
  PortMap map = PortMap::load(dir.path());
  EXPECT_EQ(map.devicePath("COM5"), "/dev/ttyUSB0");
  EXPECT_EQ(map.devicePath("COM6"), "/tmp/x");
  EXPECT_EQ(map.devicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(map.devicePath("COM8"), "/dev/ttyS7");
  EXPECT_EQ(PortMap::load(dir / "missing").devicePath("COM2"), "/dev/ttyS1");
}

// What the user reads when a connection or a file cannot be opened: the
// system's text unchanged, then the device or file and the system's reason.
TEST(OpenFailureCause, NamesTheDeviceBehindTheComNameAndTheTraceFile) {
  test::TempDir dir;
  dir.write("porte.dat", "COM5 " + (dir / "ttyUSB9").string() + "\r\n");
  PortMap ports = PortMap::load(dir.path());
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.portName = "COM5";
  EXPECT_FALSE(link.open(messages, ports));
  EXPECT_FALSE(link.isOpen());
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "ATTENZIONE! Porta seriale COM5 non presente o gia` assegnata.\nCOM5 = " +
                                   (dir / "ttyUSB9").string() + ": No such file or directory");

  // A device that is there but refuses this user.
  if (::geteuid() != 0) {
    dir.write("ttyUSB9", "");
    std::filesystem::permissions(dir / "ttyUSB9", std::filesystem::perms::none);
    EXPECT_FALSE(link.open(messages, ports));
    EXPECT_EQ(prompt.texts().back(), "ATTENZIONE! Porta seriale COM5 non presente o gia` assegnata.\nCOM5 = " +
                                         (dir / "ttyUSB9").string() + ": Permission denied");
  }

  // A pseudo-terminal at a speed the line cannot have; the port is left closed.
  SimServer server;
  server.add(SimTerminal("LX-K3", 1));
  std::string pty = server.openPty();
  ports.set("COM6", pty);
  Link slow;
  slow.config.portName = "COM6";
  slow.config.speed = 1234;
  EXPECT_FALSE(slow.open(messages, ports));
  EXPECT_EQ(prompt.texts().back(), "Error: SetCommState failed.\nCOM6 = " + pty + ": velocita` 1234 non ammessa");
  slow.config.speed = 9600;
  EXPECT_TRUE(slow.open(messages, ports)) << "the failed open left the port held";

  // A trace file in a folder that does not exist: no trace, and the reason.
  std::string error;
  EXPECT_EQ(LinkTrace::open(dir / "none" / "trace.txt", &error), nullptr);
  EXPECT_EQ(error, (dir / "none" / "trace.txt").string() + ": No such file or directory");
  EXPECT_EQ(LinkTrace::open(dir / "none" / "trace.txt"), nullptr) << "the call without a reason still works";
  EXPECT_NE(LinkTrace::open(dir / "trace.txt", &error), nullptr);
}

}  // namespace
}  // namespace cfg
