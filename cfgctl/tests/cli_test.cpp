// cfgctl against termsim, in-process: exit codes, messages, archives, trace.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/registry_rows.h"
#include "app/registry.h"
#include "app/settings_files.h"
#include "app/terminal_lock.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "cfgctl/cli_support.h"
#include "link/hex.h"
#include "records/archive_lines.h"
#include "sim/sim_server.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

class CliTest : public ::testing::Test, public test::CliFolder {
 protected:
  void SetUp() override {
    server.add(sim::SimTerminal("LX-K3", 4));
    dir.write("config.dat", registryLine(test::tcpRow(12, "LX-K3", server.listenTcp(), 4)) + "\r\n");
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
    server.start();
  }

  std::size_t pending() {
    return server.with(0, [](sim::SimTerminal& t) { return t.attendance.unacknowledged(); });
  }
  std::size_t pendingProduction() {
    return server.with(0, [](sim::SimTerminal& t) { return t.production.unacknowledged(); });
  }
  // The archive lines of the first n records, each once.
  std::string attendanceLines(const std::vector<sim::AttendanceRecord>& records, std::size_t n) {
    LinkConfig code;
    code.number = 12;
    code.model = "LX-K3";
    std::string lines;
    for (std::size_t i = 0; i < n; ++i) lines += attendanceLine(sim::attendanceFrame(4, records[i], 0), code);
    return lines;
  }
  // Waits until the terminal has fewer than `below` records to deliver.
  bool waitPendingBelow(std::size_t below) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pending() >= below) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  sim::SimServer server;
};

TEST_F(CliTest, AcquireArchivesEveryRecordOnce) {
  auto records = sim::generateAttendance(3, 5);
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  EXPECT_EQ(run({"12", "acquire"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 5 registrazioni.\n");
  LinkConfig code;
  code.number = 12;
  code.model = "LX-K3";
  std::string expected;
  for (const auto& r : records) expected += attendanceLine(sim::attendanceFrame(4, r, 0), code);
  EXPECT_EQ(dir.read("file_reg.txt"), expected);
  EXPECT_EQ(run({"12", "acquire", "attendance"}), 0);
  EXPECT_EQ(out.str(), "Acquisite 0 registrazioni.\n");
  EXPECT_EQ(pending(), 0u);
}

TEST_F(CliTest, DestructiveCommandsNeedYes) {
  server.with(0, [](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(1, 2)) t.add(r); });
  EXPECT_EQ(run({"12", "erase"}), 2);
  EXPECT_EQ(run({"12", "reset", "--defaults"}), 2);
  EXPECT_EQ(pending(), 2u);
  EXPECT_EQ(run({"12", "erase", "--yes"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Operazione completata con successo.\n");
  EXPECT_EQ(pending(), 0u);
}

TEST_F(CliTest, CommandLineAndSetupErrors) {
  EXPECT_EQ(run({}), 2);
  EXPECT_EQ(run({"12"}), 2);
  EXPECT_EQ(run({"12", "fly"}), 2);
  EXPECT_EQ(run({"12", "count", "lunch"}), 2);
  EXPECT_EQ(run({"12", "retrieve", "attendance", "--from", "2026-02-30"}), 2);
  EXPECT_EQ(run({"x12", "version"}), 2);
  EXPECT_EQ(run({"13", "version"}), 3);
  EXPECT_NE(err.str().find("il terminale 13 non e` in"), std::string::npos) << err.str();
  EXPECT_EQ(run({"acquire", "--help"}), 0);
  EXPECT_NE(out.str().find("acqreg.dat"), std::string::npos);
  EXPECT_EQ(run({"12", "memory", "read", "12G"}), 2);
  EXPECT_EQ(err.str(), "Errore: indirizzo non valido.\n");
}

TEST_F(CliTest, SilentTerminalPrintsTheSystemMessageAndFails) {
  server.setFault({sim::FaultKind::NoAnswer, -1, 0, 0});
  EXPECT_EQ(run({"12", "count", "attendance"}), 1);
  EXPECT_EQ(err.str(), "Errore: il lettore non risponde.\n");
  server.setFault({sim::FaultKind::Nak, -1, 0, 0});
  EXPECT_EQ(run({"12", "time", "set"}), 1);
  EXPECT_EQ(err.str(), "Errore: il lettore risponde NAK.\n");
}

TEST_F(CliTest, BasicCommands) {
  server.with(0, [](sim::SimTerminal& t) {
    t.status1 = 0x20;
    t.readerVersion[0] = "RD 2.1";
  });
  EXPECT_EQ(run({"12", "status"}), 0) << err.str();
  EXPECT_EQ(out.str(), "20 00\n  Registrazioni presenti\n");
  EXPECT_EQ(run({"12", "version"}), 0);
  // The box's line break is a line break on the terminal, not a raw CR.
  EXPECT_EQ(out.str(), "Versione firmware = 'FW 1.00 SIM     '\nVersione lettore1 = 'RD 2.1          '\n");
  EXPECT_EQ(run({"12", "output", "2", "10"}), 0);
  EXPECT_EQ(run({"12", "output", "5", "on"}), 2);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.outputs; }),
            (std::vector<std::pair<int, int>>{{2, 10}}));
  EXPECT_EQ(run({"12", "time", "get"}), 0);
  EXPECT_EQ(out.str().size(), 20u) << out.str();
  EXPECT_EQ(run({"12", "memory", "write", "2000", "04", "12345678"}), 0) << err.str();
  EXPECT_EQ(run({"12", "memory", "read", "2000"}), 0) << err.str();
  EXPECT_EQ(out.str().substr(0, 31), "200000: FF FF FF FF 12 34 56 78");
}

TEST_F(CliTest, TraceRecordsBytesAndVerdicts) {
  std::string trace = (dir / "trace.txt").string();
  EXPECT_EQ(run({"--trace", trace, "12", "count", "attendance"}), 0);
  std::string t = dir.read("trace.txt");
  EXPECT_NE(t.find("tcp -> 01 30 34 02 30 30 03"), std::string::npos) << t;
  EXPECT_NE(t.find("|.04.00."), std::string::npos) << t;
  EXPECT_NE(t.find("tcp <- "), std::string::npos) << t;
  EXPECT_NE(t.find("tcp == accepted"), std::string::npos) << t;
}

TEST_F(CliTest, RecordsAreNeverAcknowledgedUnstoredWithoutYes) {
  // No acqreg.dat: its defaults keep attendance in file_reg.txt and store
  // production and canteen records nowhere.
  server.with(0, [](sim::SimTerminal& t) {
    for (auto& r : sim::generateProduction(2, 3)) t.add(r);
    for (auto& r : sim::generateCanteen(2, 4)) t.add(r);
  });
  std::filesystem::remove(dir / "acqreg.dat");
  std::size_t production = pendingProduction();
  ASSERT_GT(production, 0u);
  std::string path = shownPath(dir.path(), "acqreg.dat");
  std::string missing = "cfgctl: " + path +
                        " non trovato: valgono le impostazioni predefinite (presenze in file_reg.txt, nessun "
                        "archivio di produzione o mensa).\n";
  EXPECT_EQ(run({"12", "acquire", "production"}), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), missing +
                           "ATTENZIONE! Le registrazioni non verranno salvate. Continuare ? -> No (senza --yes)\n"
                           "cfgctl: acqreg.dat non sceglie alcun archivio per le registrazioni di produzione: nessuna "
                           "registrazione acquisita (\"cfgctl archives set\" ne sceglie uno).\n");
  EXPECT_EQ(run({"12", "acquire", "canteen"}), 1);
  EXPECT_EQ(run({"12", "retrieve", "canteen", "--from", "2020-01-01"}), 1);
  EXPECT_EQ(pendingProduction(), production);
  EXPECT_EQ(server.with(0, [](sim::SimTerminal& t) { return t.canteen.unacknowledged(); }), 4u);

  // Attendance goes on with the defaults, saying so.
  server.with(0, [](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(1, 2)) t.add(r); });
  EXPECT_EQ(run({"12", "acquire"}), 0) << err.str();
  EXPECT_EQ(err.str(), missing);
  EXPECT_EQ(out.str(), "Acquisite 2 registrazioni.\n");

  // A truncated acqreg.dat is not read as "everything off": nothing is collected.
  ArchiveSettings prd;
  prd.prdEnabled = 1;
  dir.write("acqreg.dat", archiveSettingsBytes(prd).substr(0, 1000));
  EXPECT_EQ(run({"12", "acquire", "production"}), 3);
  EXPECT_EQ(err.str(), "cfgctl: impostazioni degli archivi illeggibili: " + path +
                           ": il file finisce nella riga 7 (209 byte dei 257 attesi)\n"
                           "cfgctl: nessuna registrazione acquisita; correggere il file o riscriverlo con \"cfgctl "
                           "archives set\".\n");
  EXPECT_EQ(pendingProduction(), production);

  // Whole, it collects; --yes answers the question and collects into nothing, as the program's Yes does.
  dir.write("acqreg.dat", archiveSettingsBytes(prd));
  EXPECT_EQ(run({"12", "acquire", "production"}), 0) << err.str();
  EXPECT_EQ(pendingProduction(), 0u);
  EXPECT_FALSE(dir.read("file_prd.txt").empty());
  EXPECT_EQ(run({"--yes", "12", "acquire", "canteen"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Acquisite 4 registrazioni.\n");
}

TEST_F(CliTest, OneCollectorPerTerminal) {
  auto records = sim::generateAttendance(5, 100);
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  server.setFault({sim::FaultKind::Delay, -1, 2, 0});  // a run that lasts
  std::ostringstream firstOut, firstErr;
  int first = -1;
  std::thread collector([&] {
    first = cli::run({"-C", dir.path().string(), "12", "acquire"}, firstOut, firstErr, false);
  });
  ASSERT_TRUE(waitPendingBelow(100));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run({"12", "acquire"}), 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(err.str(), "Errore: terminale occupato.\n");
  EXPECT_EQ(out.str(), "");
  collector.join();
  EXPECT_EQ(first, 0) << firstErr.str();
  EXPECT_EQ(firstOut.str(), "Acquisite 100 registrazioni.\n");
  EXPECT_EQ(dir.read("file_reg.txt"), attendanceLines(records, 100));

  // A lock that cannot be taken says where and why.
  std::filesystem::remove(terminalLockPath(dir.path(), 12));
  std::filesystem::create_directory(terminalLockPath(dir.path(), 12));
  EXPECT_EQ(run({"12", "count", "attendance"}), 3);
  EXPECT_EQ(err.str(), "cfgctl: impossibile riservare il terminale: " + terminalLockPath(dir.path(), 12).string() +
                           ": Is a directory\n");
}

TEST_F(CliTest, InterruptStopsAfterTheRecordInHandAndSaysWhatWasCollected) {
  const std::size_t total = 2000;
  auto records = sim::generateAttendance(9, static_cast<int>(total));
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
  server.setFault({sim::FaultKind::Delay, -1, 2, 0});

  std::string outPath = (dir / "out.txt").string(), errPath = (dir / "err.txt").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string directory = dir.path().string();
  std::vector<char*> argv = {const_cast<char*>(CFGCTL_BINARY), const_cast<char*>("-C"), directory.data(),
                             const_cast<char*>("12"), const_cast<char*>("acquire"), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, CFGCTL_BINARY, &files, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);

  bool started = waitPendingBelow(total - 20);
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  int status = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      FAIL() << "cfgctl did not stop within 5 s of SIGINT";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(started);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  std::size_t acknowledged = total - pending();
  EXPECT_GT(acknowledged, 0u);
  EXPECT_LT(acknowledged, total);
  EXPECT_EQ(dir.read("out.txt"), "Acquisite " + std::to_string(acknowledged) + " registrazioni.\n");
  EXPECT_EQ(dir.read("err.txt"), "cfgctl: interrotto; le registrazioni non ancora confermate restano nel terminale.\n");
  // Every acknowledged record is in the archive, once, and nothing else.
  std::string archive = dir.read("file_reg.txt");
  EXPECT_TRUE(archive == attendanceLines(records, acknowledged)) << archive.size() << " bytes for " << acknowledged;
}

TEST_F(CliTest, EveryFailureSaysWhatAndWhy) {
  auto fails = [&](std::vector<std::string> args, int code, const std::string& text) {
    EXPECT_EQ(run(args), code) << args.back();
    EXPECT_NE(err.str().find(text), std::string::npos) << err.str();
  };
  fails({"12", "retrieve", "attendance", "--from", "2026-13-45"}, 2,
        "cfgctl: data \"2026-13-45\": mese 13 non valido (1-12)\n");
  fails({"12", "retrieve", "attendance", "--from", "2026-02-29"}, 2,
        "cfgctl: data \"2026-02-29\": giorno 29 non valido (il mese 2 ha 28 giorni)\n");
  fails({"12", "retrieve", "attendance", "--from", "26-2-3"}, 2, "va scritta AAAA-MM-GG");
  fails({"12", "direct", std::string(33, '0')}, 2, "cfgctl: il testo di direct ha 33 caratteri, al massimo 32\n");

  std::string longPath = "/" + std::string(5000, 'd');
  fails({"-C", longPath, "12", "version"}, 3, ": File name too long\n");
  fails({"-C", longPath, "terminals"}, 3, ": File name too long\n");
  fails({"-C", (dir / "gone").string(), "12", "acquire"}, 3,
        "cfgctl: cartella di lavoro " + (dir / "gone").string() + ": No such file or directory\n");
  fails({"-C", (dir / "config.dat").string(), "12", "acquire"}, 3, ": Not a directory\n");
  fails({"--trace", (dir / "gone" / "t.txt").string(), "12", "version"}, 3,
        "cfgctl: impossibile scrivere la traccia " + (dir / "gone" / "t.txt").string() +
            ": No such file or directory\n");

  // Bytes a terminal sends are shown, never sent raw to the screen.
  server.with(0, [](sim::SimTerminal& t) {
    t.setHandler("9Z", [](sim::SimTerminal&, std::string_view) -> std::optional<std::string> {
      return std::string("9Z\x1B[2J\r\x7F ok");
    });
  });
  EXPECT_EQ(run({"12", "direct", "9Z"}), 0) << err.str();
  EXPECT_EQ(out.str(), "9Z<1B>[2J<0D><7F> ok\n");
  EXPECT_EQ(cli::printable("riga 1\rriga 2\r\nfine\x1B"), "riga 1\nriga 2\nfine<1B>");
}

TEST_F(CliTest, ADeletedWorkingDirectoryIsSaid) {
  std::filesystem::create_directory(dir / "gone");
  std::string gone = (dir / "gone").string();
  std::string errPath = (dir / "err.txt").string();
  std::vector<char*> argv = {const_cast<char*>(CFGCTL_BINARY), const_cast<char*>("12"), const_cast<char*>("version"),
                             nullptr};
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, 2) < 0 || ::chdir(gone.c_str()) != 0 || ::rmdir(gone.c_str()) != 0) ::_exit(99);
    ::execv(CFGCTL_BINARY, argv.data());
    ::_exit(98);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(dir.read("err.txt"), "cfgctl: cartella di lavoro .: No such file or directory\n");
}

TEST_F(CliTest, FirstRowOfANumberIsUsedAndAModemRowIsDialledOnItsOwnPort) {
  // A bad line first, then LF-only line ends: the terminal is still found.
  TerminalRecord dead = test::tcpRow(12, "LX-K3", 1, 4);  // nobody listens on port 1
  TerminalRecord modem = test::tcpRow(20, "LX-P2", 1);
  modem.tcp = false;
  modem.modem = true;
  modem.phoneNumber = "0312345678";
  modem.port = "COM8";
  dir.write("porte.dat", "COM8 " + (dir.path() / "no-such-port").string() + "\n");
  std::string live = dir.read("config.dat");
  dir.write("config.dat", "0012 Varco\r\n" + live.substr(0, 206) + "\n" + registryLine(dead) + "\n" +
                              registryLine(modem));
  EXPECT_EQ(run({"12", "count", "attendance"}), 0) << err.str();
  EXPECT_EQ(out.str(), "Registrazioni presenti = 0\n");
  EXPECT_EQ(err.str(), "cfgctl: " + shownPath(dir.path(), "config.dat") +
                           ", riga 1: lunghezza 12 byte con CR LF, attesi 104, 106, 206 o 208: riga ignorata.\n");
  EXPECT_EQ(run({"20", "count", "attendance"}), 3);
  // The modem's port is opened before anything is dialled.
  EXPECT_NE(err.str().find("ATTENZIONE! Porta seriale COM8 non presente o gia` assegnata."), std::string::npos)
      << err.str();
}

TEST_F(CliTest, AnArchiveThatCannotBeWrittenIsNamedWithItsReasonAndKeepsTheRecord) {
  server.with(0, [&](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(3, 2)) t.add(r); });
  // The copy names a folder whose name holds an accented letter: stored in
  // Windows-1252, shown in this system's UTF-8.
  std::filesystem::create_directory(dir / "copi\xC3\xA0");
  ArchiveSettings settings;
  settings.regCopy2 = (dir.path() / "copi").string() + "\xE0";
  dir.write("acqreg.dat", archiveSettingsBytes(settings));
  EXPECT_EQ(run({"12", "acquire"}), 1);
  EXPECT_EQ(out.str(), "Acquisite 0 registrazioni.\n");
  EXPECT_NE(err.str().find("cfgctl: " + (dir / "copi\xC3\xA0").string() + ": Is a directory\n"), std::string::npos)
      << err.str();
  EXPECT_EQ(pending(), 2u);
  EXPECT_EQ(dir.read("file_reg.txt"), "");
}

}  // namespace
}  // namespace cfg
