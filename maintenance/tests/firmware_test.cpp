// Firmware download: the file's checks, and whole downloads into termsim's
// loader, a handheld's (fake) loader and lrzsz's rx.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <thread>

#include "link/fd.h"
#include "link/frame.h"
#include "link/hex.h"
#include "link/progress.h"
#include "link/transaction.h"
#include "maintenance/firmware.h"
#include "sim/sim_server.h"
#include "tests/support/fake_transport.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace cfg {
namespace {

using sim::SimServer;
using sim::SimTerminal;

// A valid image of `blocks` blocks: random bytes with one word per checked
// part set so that the part's words XOR to 0xFFFF. `breakPart` (1 or 2)
// spoils that part's check instead.
std::vector<std::uint8_t> makeImage(std::size_t blocks, unsigned seed = 7, int breakPart = 0) {
  std::vector<std::uint8_t> b(blocks * 128);
  std::mt19937 rng(seed);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  auto fix = [&](std::size_t from, std::size_t to, bool spoil) {
    std::uint16_t x = 0;
    for (std::size_t i = from; i < to - 2; i += 2) x ^= static_cast<std::uint16_t>(b[i] | b[i + 1] << 8);
    std::uint16_t last = static_cast<std::uint16_t>((x ^ 0xFFFF) ^ (spoil ? 1 : 0));
    b[to - 2] = static_cast<std::uint8_t>(last & 0xFF);
    b[to - 1] = static_cast<std::uint8_t>(last >> 8);
  };
  std::size_t first = std::min(b.size(), std::size_t{1024 * 128});
  if (first) fix(0, first, breakPart == 1);
  if (b.size() > first) fix(first, b.size(), breakPart == 2);
  return b;
}

std::filesystem::path writeFile(const test::TempDir& dir, const std::string& name, const std::vector<std::uint8_t>& b) {
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                                     static_cast<std::streamsize>(b.size()));
  return dir / name;
}

std::string hex(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::size_t from = at > 8 ? at - 8 : 0;
  return hexDump(std::string_view(reinterpret_cast<const char*>(b.data()) + from, std::min<std::size_t>(24, b.size() - from)));
}

// First differing byte, with hex dumps of both sides around it.
::testing::AssertionResult sameBytes(const std::vector<std::uint8_t>& expected, const std::vector<std::uint8_t>& got) {
  std::size_t n = std::min(expected.size(), got.size());
  for (std::size_t i = 0; i < n; ++i)
    if (expected[i] != got[i])
      return ::testing::AssertionFailure() << "byte " << i << " differs\n  expected " << hex(expected, i)
                                           << "\n  got      " << hex(got, i);
  if (expected.size() != got.size())
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << got.size();
  return ::testing::AssertionSuccess();
}

TEST(FirmwareFile, BlockCountsAndXorChecksDecide) {
  test::TempDir dir;
  FirmwareImage image;
  auto p479 = writeFile(dir, "479.bin", makeImage(479));
  auto p480 = writeFile(dir, "480.bin", makeImage(480));
  for (const char* model : {"LX-P1", "LX-K3"}) {
    EXPECT_TRUE(loadFirmwareFile(p479, model, FirmwareTarget::Terminal, image)) << model;
    EXPECT_EQ(image.blocks(), 479u);
    EXPECT_FALSE(loadFirmwareFile(p480, model, FirmwareTarget::Terminal, image)) << model;
    EXPECT_TRUE(image.bytes.empty());
    // A reader module's firmware is not bound to the terminal's block count.
    EXPECT_TRUE(loadFirmwareFile(p480, model, FirmwareTarget::Reader1, image)) << model;
    EXPECT_TRUE(loadFirmwareFile(p480, model, FirmwareTarget::Reader2, image)) << model;
  }
  for (const char* model : {"LX-K1", "LX-K5", "LX-P2", "HND  "})
    EXPECT_TRUE(loadFirmwareFile(p480, model, FirmwareTarget::Terminal, image)) << model;

  // 1000 blocks: one check; the bytes past 128 KiB do not exist.
  EXPECT_TRUE(loadFirmwareFile(writeFile(dir, "1000.bin", makeImage(1000)), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "1000b.bin", makeImage(1000, 7, 1)), "LX-K1", FirmwareTarget::Terminal, image));
  // 1100 blocks: both parts must hold.
  EXPECT_TRUE(loadFirmwareFile(writeFile(dir, "1100.bin", makeImage(1100)), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_EQ(image.blocks(), 1100u);
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "1100a.bin", makeImage(1100, 7, 1)), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "1100b.bin", makeImage(1100, 7, 2)), "LX-K1", FirmwareTarget::Terminal, image));
  // The image buffer holds 4096 blocks.
  EXPECT_TRUE(loadFirmwareFile(writeFile(dir, "4096.bin", makeImage(4096)), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "4097.bin", makeImage(4097)), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_TRUE(image.bytes.empty());
}

TEST(FirmwareFile, TornEmptyMissingOrSpecialFilesAreRefused) {
  test::TempDir dir;
  FirmwareImage image;
  auto b = makeImage(10);
  b.push_back(0x00);  // one byte past the last whole block
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "torn.bin", b), "LX-K1", FirmwareTarget::Terminal, image));
  b.resize(10 * 128 - 1);
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "short.bin", b), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(writeFile(dir, "empty.bin", {}), "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(dir / "missing.bin", "LX-K1", FirmwareTarget::Terminal, image));
  EXPECT_FALSE(loadFirmwareFile(dir.path(), "LX-K1", FirmwareTarget::Terminal, image));
  // A FIFO nobody writes to is refused at once instead of blocking the program.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(loadFirmwareFile(dir / "fifo", "LX-K1", FirmwareTarget::Terminal, image));
}

class TermsimLoader : public ::testing::Test {
 protected:
  void setUp(const char* model) {
    SimTerminal t(model, 1);
    t.readerVersion[0] = "READER 1";
    server.add(std::move(t));
    link.config.model = model;
    link.config.address = "01";
    link.config.tcp = true;
    link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
    link.config.tcpPort = server.listenTcp();
    server.start();
    ASSERT_TRUE(link.open(messages, PortMap{}));
  }

  struct Outcome {
    std::size_t blocksSent;
    bool declined, completed;
  };
  Outcome download(const FirmwareImage& image, FirmwareTarget target = FirmwareTarget::Terminal) {
    FirmwareRun run;
    FirmwareJob job{link, messages, image, target};
    positions.clear();
    EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { downloadFirmware(w, job, run); }, 60000,
                          [&](const ProgressUpdate& u) { positions.push_back(u.second); }),
              HeadlessEnd::Closed);
    return {run.blocksSent, run.declined, run.completed};
  }

  std::vector<std::uint8_t> received() {
    return server.with(0, [](SimTerminal& t) { return t.loader.image(); });
  }

  SimServer server;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  Worker worker;
  std::vector<int> positions;
};

TEST_F(TermsimLoader, ImageArrivesByteExactPastBlock256WithARefusedBlockResent) {
  setUp("LX-K1");
  FirmwareImage image;
  image.bytes = makeImage(300, 11);
  server.with(0, [](SimTerminal& t) { t.loader.refuseOnce = {3, 256}; });
  Outcome run = download(image);
  EXPECT_TRUE(run.completed);
  EXPECT_EQ(run.blocksSent, 300u);
  EXPECT_TRUE(sameBytes(image.bytes, received()));
  server.with(0, [](SimTerminal& t) {
    EXPECT_TRUE(t.loader.finished());  // EOT came
    EXPECT_EQ(t.loader.naks(), 2);
    EXPECT_EQ(t.loader.target(), 0);
  });
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 300);
  EXPECT_EQ(prompt.count(), 0u);
  // The loader gave the line back: the terminal answers Frames again.
  std::string reply;
  EXPECT_TRUE(exchange(link, messages, "36", reply, 64, 500, 9));
}

TEST_F(TermsimLoader, AStoppedDownloadSendsNoEotAndTheNextStartsAgainFromThirtyThree) {
  setUp("LX-K1");
  FirmwareImage image;
  image.bytes = makeImage(600, 13);
  FirmwareRun run;
  FirmwareJob job{link, messages, image, FirmwareTarget::Terminal};
  ProgressQueue queue;
  ASSERT_TRUE(worker.start(queue, [&](Worker& w) { downloadFirmware(w, job, run); }, messages));
  for (;;) {
    auto e = queue.next(10000);
    ASSERT_TRUE(e && !e->close);
    if (e->update.second >= 40) break;
  }
  worker.stop();  // "&Annulla": ends after the exchange under way
  EXPECT_FALSE(run.completed);
  EXPECT_LT(run.blocksSent, 600u);
  server.with(0, [](SimTerminal& t) {
    // The loader was never told the image is whole: it still waits for blocks.
    EXPECT_FALSE(t.loader.finished());
    EXPECT_TRUE(t.loader.active());
  });
  // Over a new connection (as after a restart of the program) the download starts again from "33".
  link.close();
  ASSERT_TRUE(link.open(messages, PortMap{}));
  image.bytes = makeImage(30, 14);
  Outcome again = download(image);
  EXPECT_TRUE(again.completed);
  EXPECT_TRUE(sameBytes(image.bytes, received()));
}

TEST_F(TermsimLoader, RecordsStillInTheTerminalAreWarnedOfAndNoSendsNothing) {
  setUp("LX-P2");
  server.with(0, [](SimTerminal& t) {
    for (int i = 0; i < 5; ++i) t.add(sim::AttendanceRecord{});
  });
  FirmwareImage image;
  image.bytes = makeImage(20);
  server.clearRequests();
  prompt.script({Answer::No});
  Outcome run = download(image);
  EXPECT_TRUE(run.declined);
  EXPECT_FALSE(run.completed);
  ASSERT_EQ(prompt.count(), 1u);
  auto shown = prompt.shown()[0];
  EXPECT_EQ(shown.text, "ATTENZIONE! Rilevate 5 transazioni non scaricate che verranno cancellate. Continuare?");
  EXPECT_EQ(shown.title, "Question Message");
  EXPECT_EQ(shown.buttons, Buttons::YesNo);
  EXPECT_EQ(shown.defaultButton, Answer::No);
  // Only the count went out.
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(4, 2), "00");
  EXPECT_TRUE(received().empty());

  // Yes goes on; a reader module's download does not ask at all.
  prompt.clear();
  prompt.script({Answer::Yes});
  EXPECT_TRUE(download(image).completed);
  EXPECT_TRUE(sameBytes(image.bytes, received()));
  prompt.clear();
  EXPECT_TRUE(download(image, FirmwareTarget::Reader1).completed);
  EXPECT_EQ(prompt.count(), 0u);
  EXPECT_EQ(server.with(0, [](SimTerminal& t) { return t.loader.target(); }), 1);
  EXPECT_EQ(server.requests().back().substr(4, 4), "3301");
}

TEST_F(TermsimLoader, ASilentLoaderIsAskedThreeTimesThenRetryCancel) {
  setUp("LX-K1");
  server.with(0, [](SimTerminal& t) { t.loader.silent = true; });
  FirmwareImage image;
  image.bytes = makeImage(4);
  server.clearRequests();
  prompt.script({Answer::Retry, Answer::Cancel});
  Outcome run = download(image, FirmwareTarget::Reader1);
  EXPECT_FALSE(run.completed);
  EXPECT_EQ(run.blocksSent, 0u);
  ASSERT_EQ(prompt.count(), 2u);
  EXPECT_EQ(prompt.shown()[0].text, "Errore: il lettore non risponde.");
  EXPECT_EQ(prompt.shown()[0].buttons, Buttons::RetryCancel);
  // 3 attempts, Retry, 3 more; the 11-byte request carries the reader.
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[0].size(), 11u);
  EXPECT_EQ(requests[0].substr(4, 4), "3301");
}

// A handheld over USB or Bluetooth, scripted: "33" acknowledged, the 16-byte
// prompt, NAK, then ACK for every block.
struct HandheldCase {
  LinkKind kind;
  std::size_t blocks, blockLength;
};

TEST(HandheldFirmware, UsbTakesFourPiecesPerBlockBluetoothWholeBlocks) {
  for (HandheldCase c : {HandheldCase{LinkKind::Usb, 400, 36}, HandheldCase{LinkKind::SystemBluetooth, 100, 132}}) {
    auto wire = std::make_shared<test::FakeWire>();
    wire->chunk = 1;
    std::string ack = std::string{SOH} + "00" + ACK + " " + CR;
    sealMain(ack);
    wire->replies.push_back(ack + "HND LOADER V1.0?" + NAK);
    for (std::size_t i = 0; i < c.blocks; ++i) wire->replies.push_back(std::string(1, ACK));
    test::ScriptedPrompt prompt;
    Messages messages{prompt};
    Link link;
    link.config.model = "HND  ";
    link.config.usb = c.kind == LinkKind::Usb;
    link.config.bluetooth = c.kind == LinkKind::SystemBluetooth ? BluetoothKind::SystemStack : BluetoothKind::None;
    ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire, c.kind), messages));
    FirmwareImage image;
    image.bytes = makeImage(100, 3);
    ASSERT_EQ(transferBlockCount(link.config, image), c.blocks);
    FirmwareRun run;
    FirmwareJob job{link, messages, image, FirmwareTarget::Terminal};
    Worker worker;
    std::vector<int> positions;
    ASSERT_EQ(runHeadless(worker, messages, [&](Worker& w) { downloadFirmware(w, job, run); }, 20000,
                          [&](const ProgressUpdate& u) { positions.push_back(u.second); }),
              HeadlessEnd::Closed);
    EXPECT_TRUE(run.completed);
    // "33" first (no record question for a handheld), then the blocks, then EOT.
    ASSERT_EQ(wire->sent.size(), c.blocks + 2);
    EXPECT_EQ(wire->sent[0].substr(4, 2), "33");
    std::vector<std::uint8_t> joined;
    std::size_t n = c.blockLength - 4;
    for (std::size_t i = 0; i < c.blocks; ++i) {
      const std::string& b = wire->sent[i + 1];
      ASSERT_EQ(b.size(), c.blockLength) << "block " << i;
      ASSERT_EQ(static_cast<std::uint8_t>(b[1]), (i + 1) & 0xFF);
      ASSERT_EQ(static_cast<std::uint8_t>(b[2]), 255 - ((i + 1) & 0xFF));
      unsigned sum = 0;
      for (std::size_t k = 0; k < n; ++k) sum += static_cast<std::uint8_t>(b[3 + k]);
      ASSERT_EQ(static_cast<std::uint8_t>(b[3 + n]), sum & 0xFF);
      joined.insert(joined.end(), b.begin() + 3, b.begin() + 3 + static_cast<std::ptrdiff_t>(n));
    }
    EXPECT_TRUE(sameBytes(image.bytes, joined));
    EXPECT_EQ(wire->sent.back(), std::string(1, EOT));
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(static_cast<std::size_t>(positions.back()), c.blocks);
  }
}

TEST(HandheldFirmware, APromptShorterThanSixteenBytesIsNoPrompt) {
  auto wire = std::make_shared<test::FakeWire>();
  wire->chunk = 1;
  std::string ack = std::string{SOH} + "00" + ACK + " " + CR;
  sealMain(ack);
  wire->replies.push_back(ack + "LOADER?" + NAK);
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.model = "HND  ";
  link.config.usb = true;
  ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire, LinkKind::Usb), messages));
  FirmwareImage image;
  image.bytes = makeImage(2);
  FirmwareRun run;
  FirmwareJob job{link, messages, image, FirmwareTarget::Terminal};
  Worker worker;
  EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { downloadFirmware(w, job, run); }, 20000),
            HeadlessEnd::Closed);
  EXPECT_FALSE(run.completed);
  EXPECT_EQ(wire->sent.size(), 1u);  // nothing after "33"
  ASSERT_EQ(prompt.count(), 1u);
  EXPECT_EQ(prompt.texts()[0], "Errore: il lettore non risponde.");
}

// ---- lrzsz's rx as the loader ----

struct Pty {
  UniqueFd master;
  std::string slave;
  static Pty open() {
    Pty p;
    p.master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!p.master || ::grantpt(p.master.get()) != 0 || ::unlockpt(p.master.get()) != 0) return {};
    p.slave = ::ptsname(p.master.get());
    termios t{};
    ::tcgetattr(p.master.get(), &t);
    ::cfmakeraw(&t);
    ::tcsetattr(p.master.get(), TCSANOW, &t);
    return p;
  }
};

std::string findProgram(const char* name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    std::string p = std::string(dir) + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}

TEST(FirmwareRealPeer, LrzszRxReceivesTheImageByteExact) {
  std::string rx = findProgram("rx");
  if (rx.empty()) GTEST_SKIP() << "lrzsz is not installed (rx not found): the real-peer check is skipped";
  test::TempDir dir;
  // program <-> shim on one pseudo-terminal, shim <-> rx on another.
  Pty programSide = Pty::open(), rxSide = Pty::open();
  ASSERT_TRUE(programSide.master && rxSide.master);
  UniqueFd rxTty(::open(rxSide.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(rxTty);

  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.model = "LX-K1";
  link.config.address = "07";
  link.config.portName = "COM9";
  PortMap ports;
  ports.set("COM9", programSide.slave);
  ASSERT_TRUE(link.open(messages, ports));

  FirmwareImage image;
  image.bytes = makeImage(260, 5);
  image.bytes[image.bytes.size() - 3] = 0x55;  // no trailing ^Z for rx to take as padding
  std::atomic<bool> stop{false};
  std::string seenRequest;
  pid_t child = -1;
  std::thread shim([&] {
    // Answer "33" and the loader prompt as a terminal would, then hand the line to rx.
    std::string in;
    char buf[512];
    while (!stop && in.find(CR) == std::string::npos) {
      if (pollUntil(programSide.master.get(), POLLIN, 100) & POLLIN) {
        ssize_t n = ::read(programSide.master.get(), buf, sizeof buf);
        if (n > 0) in.append(buf, static_cast<std::size_t>(n));
      }
    }
    seenRequest = in;
    std::string promptText = "\r\n33 LOADER ?";
    if (::write(programSide.master.get(), promptText.data(), promptText.size()) < 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, rxTty.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, rxTty.get(), 1);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    std::string out = "received.bin";  // rx refuses paths outside its folder
    char* argv[] = {const_cast<char*>("rx"), const_cast<char*>("-b"), const_cast<char*>("-q"),
                    const_cast<char*>(out.c_str()), nullptr};
    posix_spawn(&child, rx.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    // Relay both ways until told to stop.
    while (!stop) {
      pollfd fds[2] = {{programSide.master.get(), POLLIN, 0}, {rxSide.master.get(), POLLIN, 0}};
      if (::poll(fds, 2, 100) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
        if (n > 0 && ::write(fds[1 - i].fd, buf, static_cast<std::size_t>(n)) < 0) return;
      }
    }
  });

  FirmwareRun run;
  FirmwareJob job{link, messages, image, FirmwareTarget::Reader2};
  Worker worker;
  EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { downloadFirmware(w, job, run); }, 90000),
            HeadlessEnd::Closed);
  int status = 0;
  bool exited = false;
  for (int i = 0; i < 100 && child > 0 && !exited; ++i) {
    exited = ::waitpid(child, &status, WNOHANG) == child;
    if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  stop = true;
  shim.join();
  if (!exited && child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  EXPECT_TRUE(exited) << "rx did not end after EOT";
  EXPECT_TRUE(run.completed);
  EXPECT_EQ(prompt.count(), 0u) << (prompt.count() ? prompt.texts()[0] : "");
  // "33" with reader 2, sealed with the check byte.
  std::string expected = buildRequest("07", "3302");
  sealMain(expected);
  EXPECT_EQ(hexDump(seenRequest), hexDump(expected));
  std::ifstream f(dir / "received.bin", std::ios::binary);
  std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(sameBytes(image.bytes, got));
}

}  // namespace
}  // namespace cfg
