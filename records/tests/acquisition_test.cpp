// Acquisition, streaming, retrieval, counts and erase against termsim.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/frame.h"
#include "link/hex.h"
#include "records/acquisition.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/fake_transport.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using sim::Fault;
using sim::FaultKind;
using sim::SimServer;
using sim::SimTerminal;

class AcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.add(SimTerminal("LX-P2", 1));
    link.config.model = "LX-P2";
    link.config.number = 1;
    link.config.address = "01";
    link.config.tcp = true;
    link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
    link.config.tcpPort = server.listenTcp();
    server.start();
    ASSERT_TRUE(link.open(messages, PortMap{}));
  }

  template <typename F>
  auto terminal(F f) {
    return server.with(0, f);
  }

  RecordJob job() { return {link, messages, dir.path(), live, formats}; }

  // Runs a loop on a worker the way its dialog does; returns the count archived.
  int run(const std::function<void(Worker&, const RecordJob&, RecordRun&)>& loop, int limitMs = 20000) {
    RecordRun result;
    RecordJob j = job();
    countdowns.clear();
    HeadlessEnd end = runHeadless(
        worker, messages, [&](Worker& w) { loop(w, j, result); }, limitMs,
        [&](const ProgressUpdate& u) { countdowns.push_back(u.text); });
    EXPECT_EQ(end, HeadlessEnd::Closed);
    failure = result.failure;
    return result.acquired;
  }
  int acquireKind(RecordKind kind) {
    return run([kind](Worker& w, const RecordJob& j, RecordRun& r) { acquire(w, j, kind, r); });
  }

  // The archive lines the terminal's records give, in the order of the list.
  std::string expectedReg(const std::vector<sim::AttendanceRecord>& records) {
    std::string out;
    for (const auto& r : records) out += attendanceLine(sim::attendanceFrame(1, r, 0), link.config);
    return out;
  }

  SimServer server;
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  Worker worker;
  ArchiveSettings live;
  FormatList formats;
  std::vector<std::string> countdowns;
  std::string failure;  // of the last run
};

TEST_F(AcquisitionTest, EveryRecordArchivedAndAcknowledgedWithCountdown) {
  auto records = sim::generateAttendance(7, 12);
  terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 12);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  ASSERT_EQ(countdowns.size(), 13u);
  EXPECT_EQ(countdowns.front(), "00012");
  EXPECT_EQ(countdowns.back(), "00000");
  // A second acquisition finds nothing new.
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
}

TEST_F(AcquisitionTest, ProductionAndCanteenRecords) {
  live.prdEnabled = live.cntEnabled = live.mnsEnabled = 1;
  auto production = sim::generateProduction(3, 2);
  auto canteen = sim::generateCanteen(3, 5);
  terminal([&](SimTerminal& t) {
    for (auto& r : production) t.add(r);
    for (auto& r : canteen) t.add(r);
  });
  EXPECT_EQ(acquireKind(RecordKind::Production), static_cast<int>(production.size()));
  EXPECT_EQ(acquireKind(RecordKind::Canteen), 5);
  EXPECT_EQ(dir.read("file_prd.txt").size(), production.size() * 51);
  EXPECT_EQ(dir.read("file_mns.txt").size(), 5 * 99u);
  std::string cnt = dir.read("file_cnt.txt");
  EXPECT_EQ(std::count(cnt.begin(), cnt.end(), '\n'), 2) << "one line per closed job";
  EXPECT_FALSE(std::filesystem::exists(dir / itemFileName(link.config)));
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.production.unacknowledged() + t.canteen.unacknowledged(); }),
            0u);
}

TEST_F(AcquisitionTest, RecordWhoseWriteFailsStaysInTheTerminal) {
  auto records = sim::generateAttendance(1, 4);
  terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
  dir.write("file_reg.txt", "");
  int fd = ::open((dir / "file_reg.txt").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);  // another program holds the archive
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  ::close(fd);
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 4u);
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 4);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
}

TEST_F(AcquisitionTest, MissingFormatStopsBeforeAnyLine) {
  terminal([&](SimTerminal& t) { for (auto& r : sim::generateAttendance(2, 3)) t.add(r); });
  live.outEnabled = 1;
  live.outFormat = "NONE";
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  EXPECT_EQ(failure, "formato 'NONE' per file_out.txt non trovato nell'elenco formati");
  EXPECT_EQ(dir.read("file_reg.txt"), "");
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 3u);
}

TEST_F(AcquisitionTest, TerminalFallingSilentEndsTheRunWithWhatWasArchived) {
  auto records = sim::generateAttendance(5, 6);
  terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
  messages.flags.askOnFailure = false;
  // count, then next + acknowledge for two records, then silence.
  server.setFault({FaultKind::NoAnswer, -1, 0, 5});
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 2);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg({records[0], records[1]}));
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 4u);
}

TEST_F(AcquisitionTest, LostAcknowledgementWritesTheRecordAgainNeverLosesIt) {
  auto records = sim::generateAttendance(9, 2);
  terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
  messages.flags.askOnFailure = false;
  // The first acknowledgement reaches the terminal but its ACK is lost.
  server.setFault({FaultKind::NoAnswer, 3, 0, 2});
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  server.setFault({});
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 1);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg({records[0], records[1]}));
}

TEST_F(AcquisitionTest, StopRequestEndsBetweenTwoRecords) {
  terminal([&](SimTerminal& t) { for (auto& r : sim::generateAttendance(4, 200)) t.add(r); });
  RecordRun result;
  RecordJob j = job();
  ProgressQueue queue;
  ASSERT_TRUE(worker.start(queue, [&](Worker& w) { acquire(w, j, RecordKind::Attendance, result); }, messages));
  for (int refreshes = 0; refreshes < 4;) {
    auto e = queue.next(2000);
    ASSERT_TRUE(e && !e->close);
    ++refreshes;
  }
  worker.stop();
  int archived = result.acquired;
  EXPECT_GE(archived, 3);
  EXPECT_LT(archived, 200);
  EXPECT_EQ(queue.closeCount(), 0u) << "a stopped run posts no close request";
  EXPECT_EQ(dir.read("file_reg.txt").size(), 45u * archived);
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 200u - archived);
}

TEST_F(AcquisitionTest, ZeroRecordsClosesAtOnce) {
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  EXPECT_EQ(countdowns, std::vector<std::string>{"00000"});
  showRunEnd(messages, 0, false);
  EXPECT_EQ(prompt.texts().back(), "Acquisite 0 registrazioni.");
}

class StreamingTest : public AcquisitionTest {
 protected:
  void SetUp() override {
    AcquisitionTest::SetUp();
    link.config.modem = true;
    link.config.continuousModemDownload = true;
    ASSERT_TRUE(useStreaming(link.config));
  }
  std::vector<sim::AttendanceRecord> load(int n) {
    auto records = sim::generateAttendance(11, n);
    terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
    return records;
  }
  std::vector<std::string> sentCommands() {
    std::vector<std::string> codes;
    for (const auto& f : server.requests()) codes.push_back(f.substr(4, 2));
    return codes;
  }
};

TEST_F(StreamingTest, RecordsArriveUnaskedAndOneCloseAcknowledgesThem) {
  auto records = load(8);
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 8);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
  EXPECT_EQ(sentCommands(), (std::vector<std::string>{"38", "40", "42"}));
}

TEST_F(StreamingTest, SkippedAndRepeatedRecordsAreAskedForAndNeverArchivedTwice) {
  auto records = load(8);
  terminal([](SimTerminal& t) {
    t.streamSkip = 2;
    t.streamRepeat = 5;
  });
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 8);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
  auto frames = server.requests();
  std::size_t asks = 0;
  for (const auto& f : frames) {
    if (f.substr(4, 2) != "41") continue;
    ++asks;
    EXPECT_EQ(static_cast<std::uint8_t>(f[f.size() - 2]), xorCheckByte(f)) << "41 carries the plain-XOR check";
  }
  EXPECT_GE(asks, 1u);
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
}

TEST_F(StreamingTest, PointerWrapsAtTheRingSize) {
  terminal([](SimTerminal& t) { t.attendance.setNextPointer(16382); });
  auto records = load(5);
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 5);
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg(records));
  std::string close = server.requests().back();
  EXPECT_EQ(close.substr(4, 10), "423FFE0003") << hexDump(close);
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
}

TEST_F(StreamingTest, FailedStartSendsNoClose) {
  load(3);
  messages.flags.askOnFailure = false;
  server.setFault({FaultKind::NoAnswer, -1, 0, 1});  // the ring size answers, "40" does not
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 0);
  for (const auto& code : sentCommands()) EXPECT_NE(code, "42");
}

TEST_F(StreamingTest, RingSizeOfZeroOrBadStatusFallsBackTo16384) {
  terminal([](SimTerminal& t) { t.ringStatus = 0; });
  EXPECT_EQ(readRingSize(link, messages), 0u);
  EXPECT_FALSE(showRecoverableCount(link, messages));
  EXPECT_EQ(prompt.count(), 0u);
  terminal([](SimTerminal& t) { t.ringStatus = 1; });
  EXPECT_EQ(showRecoverableCount(link, messages), 16384);
  EXPECT_EQ(prompt.texts().back(), "Registrazioni recuperabili = 16384");
}

TEST_F(AcquisitionTest, RetrievalFromADay) {
  std::vector<sim::AttendanceRecord> records(4);
  int days[] = {3, 4, 5, 6};
  for (int i = 0; i < 4; ++i) {
    records[i].user = 100 + i;
    records[i].when = {8, 3, days[i], 9, 0, 0};
  }
  terminal([&](SimTerminal& t) {
    for (auto& r : records) t.add(r);
    t.attendance.acknowledge(0);  // acknowledged records are retrieved too
  });
  auto retrieveFrom = [&](int y, int m, int d) {
    return run([ref = referenceDate(y, m, d)](Worker& w, const RecordJob& j, RecordRun& r) {
      retrieve(w, j, RecordKind::Attendance, ref, r);
    });
  };
  EXPECT_EQ(retrieveFrom(2008, 3, 5), 2);  // the 6th and the 5th: equal dates are taken
  EXPECT_EQ(dir.read("file_reg.txt"), expectedReg({records[3], records[2]}));
  EXPECT_EQ(countdowns.back(), "00002") << "the index is shown";
  EXPECT_EQ(retrieveFrom(2008, 3, 7), 0);
  EXPECT_EQ(retrieveFrom(2001, 1, 1), 4) << "stops at the first empty slot";
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 3u);
}

TEST_F(AcquisitionTest, CountsAndErase) {
  terminal([&](SimTerminal& t) {
    for (auto& r : sim::generateAttendance(1, 3)) t.add(r);
    for (auto& r : sim::generateCanteen(1, 2)) t.add(r);
  });
  EXPECT_EQ(showRecordCount(link, messages, RecordKind::Attendance), 3);
  EXPECT_EQ(showRecordCount(link, messages, RecordKind::Production), 0);
  EXPECT_EQ(showRecordCount(link, messages, RecordKind::Canteen), 2);
  EXPECT_EQ(prompt.texts(), (std::vector<std::string>{"Registrazioni presenti = 3", "Reg. produzione presenti = 0",
                                                      "Registrazioni mensa presenti = 2"}));
  prompt.clear();
  EXPECT_FALSE(eraseAllRecords(link, messages));  // No is the default
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 3u);
  PromptRequest q = prompt.shown().at(0);
  EXPECT_EQ(q.text, "ATTENZIONE! Tutte le registrazioni presenti verranno perse. Continuare ?");
  EXPECT_EQ(q.title, "Cancellazione Registrazioni");
  EXPECT_EQ(q.defaultButton, Answer::No);
  prompt.script({Answer::Yes});
  EXPECT_TRUE(eraseAllRecords(link, messages));
  EXPECT_EQ(prompt.texts().back(), "Operazione completata con successo.");
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.stored(); }), 0u);
}

// A copy path that cannot be written never adds a line anywhere, however
// often the acquisition is tried; the record stays in the terminal until the
// path is mended, and then stands exactly once.
TEST_F(AcquisitionTest, BadCopyPathNeverAddsALineAndTheRecordWaits) {
  auto records = sim::generateAttendance(3, 1);
  terminal([&](SimTerminal& t) { for (auto& r : records) t.add(r); });
  std::filesystem::create_directory(dir / "cartella");
  const struct {
    std::string path, reason;
  } bad[] = {
      {(dir / "cartella").string(), std::strerror(EISDIR)},
      {(dir / "manca" / "copia.txt").string(), std::strerror(ENOENT)},
      {"/proc/cfgtool-copia.txt", std::strerror(ENOENT)},
      // Shown as a regular file, but writing it would rename this process.
      {"/proc/self/comm", "non e` un file regolare"},
  };
  for (const auto& b : bad) {
    live.regCopy2 = b.path;
    for (int attempt = 0; attempt < 3; ++attempt) {
      EXPECT_EQ(acquireKind(RecordKind::Attendance), 0) << b.path;
      EXPECT_EQ(failure, b.path + ": " + b.reason);
    }
    EXPECT_EQ(dir.read("file_reg.txt"), "") << b.path;
    EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 1u) << b.path;
  }
  EXPECT_FALSE(std::filesystem::exists("/proc/cfgtool-copia.txt"));
  EXPECT_EQ(prompt.count(), 0u);

  live.regCopy2 = (dir / "copia.txt").string();
  EXPECT_EQ(acquireKind(RecordKind::Attendance), 1);
  EXPECT_EQ(failure, "");
  std::string line = expectedReg(records);
  EXPECT_EQ(dir.read("file_reg.txt"), line) << hexDump(dir.read("file_reg.txt"));
  EXPECT_EQ(dir.read("copia.txt"), line);
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 0u);
}

// A FIFO (nobody reading it) named as a copy would block an ordinary open for
// ever: the run ends at once, the record stays in the terminal.
TEST_F(AcquisitionTest, FifoAsCopyEndsTheRunPromptly) {
  terminal([&](SimTerminal& t) { for (auto& r : sim::generateAttendance(6, 2)) t.add(r); });
  ASSERT_EQ(::mkfifo((dir / "tubo").c_str(), 0644), 0);
  live.regCopy2 = (dir / "tubo").string();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run([](Worker& w, const RecordJob& j, RecordRun& r) { acquire(w, j, RecordKind::Attendance, r); }, 3000),
            0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(failure, live.regCopy2 + ": non e` un file regolare");
  EXPECT_EQ(dir.read("file_reg.txt"), "");
  EXPECT_EQ(terminal([](SimTerminal& t) { return t.attendance.unacknowledged(); }), 2u);
}

// Retrieval meets production records newest first: they go to file_prd.txt,
// but the item file of a job being collected and file_cnt.txt stay untouched.
TEST_F(AcquisitionTest, RetrievedProductionLeavesTheJobAlone) {
  auto production = sim::generateProduction(4, 2);
  terminal([&](SimTerminal& t) { for (auto& r : production) t.add(r); });
  live.prdEnabled = live.cntEnabled = 1;
  live.cntCopy2 = (dir / "cnt2.txt").string();
  const std::string item = "001 IN CORSO      \r\n";
  dir.write(itemFileName(link.config), item);
  int n = run([](Worker& w, const RecordJob& j, RecordRun& r) {
    retrieve(w, j, RecordKind::Production, referenceDate(2000, 1, 1), r);
  });
  EXPECT_EQ(n, static_cast<int>(production.size()));
  std::string prd;
  for (auto it = production.rbegin(); it != production.rend(); ++it)
    prd += productionLine(sim::productionFrame(1, *it, 0), link.config);
  EXPECT_EQ(dir.read("file_prd.txt"), prd);
  EXPECT_EQ(dir.read(itemFileName(link.config)), item);
  EXPECT_FALSE(std::filesystem::exists(dir / "file_cnt.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "cnt2.txt"));
}

// "3801" answered with status 1 and size 0 is a count to show; status 0 or no
// answer shows nothing.
TEST(RecoverableCount, StatusOneWithSizeZeroIsShown) {
  auto wire = std::make_shared<test::FakeWire>();
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  messages.flags.askOnFailure = false;
  Link link;
  link.config.address = "01";
  ASSERT_TRUE(link.openWith(std::make_unique<test::FakeTransport>(wire), messages));
  auto reply = [](const char* data) {
    std::string f = buildRequest("01", data);
    sealMain(f);
    return f;
  };
  wire->replies = {reply("38010000000000")};
  EXPECT_EQ(showRecoverableCount(link, messages), 0);
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Registrazioni recuperabili = 0"});
  EXPECT_EQ(wire->sent.at(0).substr(4, 4), "3801");
  wire->replies = {reply("38000400000000")};
  EXPECT_FALSE(showRecoverableCount(link, messages));
  wire->replies = {""};
  EXPECT_FALSE(showRecoverableCount(link, messages));
  EXPECT_EQ(prompt.count(), 1u);
}

}  // namespace
}  // namespace cfg
