// The built termsim program, run as a user runs it: its help, its refusals
// of bad input (exit status and message), a single terminal with records,
// and a plant writing its settings into folders it creates.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "link/fd.h"
#include "link/frame.h"
#include "link/hex.h"
#include "link/link.h"
#include "link/handheld_scan.h"
#include "link/transaction.h"
#include "link/usb_transport.h"
#include "link/modem.h"
#include "sim/plant.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace cfg {
namespace {

using Clock = std::chrono::steady_clock;

// One termsim process with its standard output and error read through pipes.
class Termsim {
 public:
  explicit Termsim(std::vector<std::string> args) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    out_.reset(outPipe[0]);
    err_.reset(errPipe[0]);
    UniqueFd outWrite(outPipe[1]), errWrite(errPipe[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), 2);
    args.insert(args.begin(), TERMSIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = ::posix_spawn(&pid_, TERMSIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " TERMSIM_PATH);
  }
  ~Termsim() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Termsim(const Termsim&) = delete;
  Termsim& operator=(const Termsim&) = delete;

  std::string out, err;

  // The next line of standard output, waiting at most timeoutMs.
  std::optional<std::string> line(int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (auto nl = out.find('\n', taken_); nl != std::string::npos) {
        std::string l = out.substr(taken_, nl - taken_);
        taken_ = nl + 1;
        return l;
      }
      if (!pump(deadline)) return std::nullopt;
    }
  }

  // Waits for the program to end by itself; its exit status, -1 when it had to be killed.
  int finish(int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pump(deadline)) {
    }
    if (out_ || err_) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // SIGTERM, then the exit status.
  int terminate() {
    ::kill(pid_, SIGTERM);
    return finish();
  }

 private:
  // Reads what is there on either pipe; false at the deadline or when both are closed.
  bool pump(Clock::time_point deadline) {
    if (!out_ && !err_) return false;
    pollfd fds[2] = {{out_ ? out_.get() : -1, POLLIN, 0}, {err_ ? err_.get() : -1, POLLIN, 0}};
    if (::poll(fds, 2, millisecondsUntil(deadline)) <= 0) return false;
    UniqueFd* pipes[2] = {&out_, &err_};
    std::string* texts[2] = {&out, &err};
    for (int i = 0; i < 2; ++i) {
      if (!fds[i].revents) continue;
      char buffer[4096];
      ssize_t n = ::read(pipes[i]->get(), buffer, sizeof buffer);
      if (n > 0) texts[i]->append(buffer, static_cast<std::size_t>(n));
      else pipes[i]->reset();
    }
    return true;
  }

  pid_t pid_ = -1;
  UniqueFd out_, err_;
  std::size_t taken_ = 0;
};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

TEST(TermsimCommandLine, HelpListsModelsFaultsAndPlantKeysThatWork) {
  Termsim help({"--help"});
  ASSERT_EQ(help.finish(), 0) << help.err;
  EXPECT_EQ(help.err, "");
  for (const char* model : sim::kSimulatedModels) EXPECT_NE(help.out.find(model), std::string::npos) << model;
  // Every fault the help lists is one the server knows, and every one it knows is listed.
  std::vector<std::string> listed;
  bool inFaults = false;
  for (const auto& l : lines(help.out)) {
    if (l == "Faults:") inFaults = true;
    else if (l.empty()) inFaults = false;
    else if (inFaults) listed.push_back(l.substr(2, l.find(' ', 2) - 2));
  }
  sim::FaultKind kind;
  for (const auto& f : listed) EXPECT_TRUE(sim::parseFaultKind(f, kind)) << f;
  EXPECT_EQ(listed, (std::vector<std::string>{"none", "noanswer", "nak", "badcheck", "delay", "echo", "close", "drop"}));
  // The plant lines the help shows parse, and every key of the key list is used by them.
  std::string examples;
  for (const auto& l : lines(help.out))
    if (l.rfind("  terminal ", 0) == 0) examples += l + "\n";
  std::string error;
  auto plant = sim::parsePlant(examples, error);
  ASSERT_TRUE(plant) << error;
  EXPECT_EQ(plant->size(), 3u);
  for (const char* key : {"number=", "model=", "address=", "via=", "port=", "attendance=", "production=",
                          "canteen=", "seed=", "description=", "phone=", "continuous="}) {
    EXPECT_NE(examples.find(key), std::string::npos) << key;
    EXPECT_NE(help.out.find(std::string("\n  ") + key), std::string::npos) << key << " is not explained";
  }
}

TEST(TermsimCommandLine, BadInputIsRefusedWithItsReasonAndExitStatus) {
  test::TempDir dir;
  dir.write("file", "x");
  dir.write("twice.txt", "terminal number=1\r\nterminal number=1 model=LX-K1\r\n");
  dir.write("badmodel.txt", "# first line\nterminal number=4 model=LX-Z\n");
  dir.write("good.txt", "terminal number=1 via=tcp attendance=2\n");
  // A port held by someone else.
  UniqueFd holder(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(holder.get(), 1), 0);
  ::getsockname(holder.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  std::string held = std::to_string(ntohs(addr.sin_port));
  const std::string d = dir.path().string();

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;  // the first line on standard error
  };
  const Case cases[] = {
      {{"--model", "LX-X9", "--tcp", "0"},
       2,
       "termsim: unknown model \"LX-X9\"; known models: LX-K1 LX-K2 LX-K3 LX-K4 LX-K5 LX-P1 LX-P2"},
      {{"--address", "256", "--tcp", "0"}, 2, "termsim: --address takes a number from 0 to 255, not \"256\""},
      {{"--tcp", "0", "--seed", "99999999999999999999"},
       2,
       "termsim: --seed takes a number from 0 to 999999999, not \"99999999999999999999\""},
      {{"--fault", "nak:", "--tcp", "0"}, 2, "termsim: --fault COUNT takes a number from 0 to 1000000000, not \"\""},
      {{"--tcp"}, 2, "termsim: --tcp needs a value"},
      {{"--pty", "--tcp", "0"}, 2, "termsim: give either --tcp PORT or --pty"},
      {{"--tcp", "0", "--modem"}, 2, "termsim: --modem and its options go with --pty"},
      {{"--pty", "--modem-dial-result", "maybe"},
       2,
       "termsim: unknown dial result \"maybe\"; known results: connect busy nocarrier none"},
      {{"--tcp", "0", "--config", d}, 2, "termsim: --config and --expect go with --plant"},
      {{"--plant", d + "/good.txt", "--records", "3"}, 2, "termsim: --plant takes only --config and --expect"},
      {{"--usb-handheld", "H01,12345678"}, 2, "termsim: --usb-handheld: the id is 4 letters or digits, not \"H01\""},
      {{"--usb-handheld", "H001,1234567"},
       2,
       "termsim: --usb-handheld: the password is 8 digits or \"-\", not \"1234567\""},
      {{"--usb-handheld", "H001"}, 2, "termsim: --usb-handheld takes ID,PASSWORD[,PRODUCT], not \"H001\""},
      {{"--usb-other", "0xFF00,-1,Mouse"},
       2,
       "termsim: --usb-other takes numbers from 0 to 65535 (or 0x0000 to 0xFFFF), not \"-1\""},
      {{"--plant", d + "/good.txt", "--usb-handheld", "H001,-"}, 2, "termsim: --plant takes only --config and --expect"},
      {{"--tcp", held}, 3, "termsim: cannot listen on 127.0.0.1:" + held + ": Address already in use"},
      {{"--plant", d + "/missing.txt"}, 3, "termsim: cannot read " + d + "/missing.txt: No such file or directory"},
      {{"--plant", d + "/twice.txt"}, 2, "termsim: " + d + "/twice.txt: line 2: number 1 is used twice"},
      {{"--plant", d + "/badmodel.txt"},
       2,
       "termsim: " + d + "/badmodel.txt: line 2: unknown model \"LX-Z\" (known models: LX-K1 LX-K2 LX-K3 LX-K4 "
       "LX-K5 LX-P1 LX-P2)"},
      {{"--plant", d + "/good.txt", "--config", d + "/file/sub"}, 3,
       "termsim: --config " + d + "/file/sub: Not a directory"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += " " + a;
    SCOPED_TRACE("termsim" + shown);
    Termsim run(c.args);
    EXPECT_EQ(run.finish(), c.status) << run.err;
    EXPECT_EQ(firstLine(run.err), c.message);
    EXPECT_EQ(run.out, "") << "nothing may be served after a refusal";
    if (c.status == 2 && c.args[0] != "--plant") {
      EXPECT_NE(run.err.find("\nusage: termsim"), std::string::npos) << "a bad option shows the short usage";
    }
  }
}

// One terminal given records from the command line answers the count, next
// record and read-by-index commands byte for byte as the same terminal made
// in-process does.
TEST(TermsimRecords, OneTerminalServesTheRecordsOfEveryKind) {
  Termsim run({"--model", "LX-K3", "--address", "7", "--tcp", "0", "--records", "3", "--canteen", "5", "--seed",
               "9"});
  auto ready = run.line();
  ASSERT_TRUE(ready) << run.err;
  ASSERT_EQ(ready->rfind("tcp 127.0.0.1:", 0), 0u) << *ready;
  sim::PlantTerminal same;
  same.model = "LX-K3";
  same.address = 7;
  same.attendance = 3;
  same.production = 3;
  same.canteen = 5;
  same.seed = 9;
  sim::SimTerminal local = sim::makeTerminal(same);
  ASSERT_EQ(local.attendance.unacknowledged(), 3u);
  ASSERT_EQ(local.production.unacknowledged(), sim::generateProduction(9, 3).size());
  ASSERT_EQ(local.canteen.unacknowledged(), 5u);

  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  link.config.tcp = true;
  link.config.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = static_cast<std::uint16_t>(std::stoi(ready->substr(14)));
  ASSERT_TRUE(link.open(messages, PortMap{})) << (prompt.count() ? prompt.texts().back() : "");
  for (const char* command : {"00", "60", "80", "01", "61", "81", "0301", "6302", "8305"}) {
    std::string request = buildRequest("07", command);
    sealMain(request);
    auto expected = local.handle(request);
    ASSERT_TRUE(expected) << command;
    ASSERT_GT(link.send(request), 0);
    std::string reply;
    int n = link.receiveFrame(reply, 256, 2000);
    EXPECT_EQ(n, static_cast<int>(expected->size())) << command;
    EXPECT_EQ(reply, *expected) << command << "\n got      " << hexDump(reply) << "\n expected " << hexDump(*expected);
  }
  link.close();
  EXPECT_EQ(run.terminate(), 0) << run.err;
}

TEST(TermsimPlant, ConfigAndExpectFoldersAreCreatedAndFilled) {
  test::TempDir dir;
  dir.write("plant.txt",
            "terminal number=1 model=LX-P2 address=1 via=tcp attendance=4 seed=5 description=Presse\n"
            "terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=2 canteen=1 seed=6\n");
  auto config = dir / "settings" / "plant";
  auto expect = dir / "expected";
  Termsim run({"--plant", (dir / "plant.txt").string(), "--config", config.string(), "--expect", expect.string()});
  auto first = run.line(), second = run.line(), ready = run.line();
  ASSERT_TRUE(first && second && ready) << run.err;
  EXPECT_EQ(first->rfind("terminal 1 LX-P2 tcp 127.0.0.1:", 0), 0u) << *first;
  ASSERT_EQ(second->rfind("terminal 3 LX-K3 pty /dev/", 0), 0u) << *second;
  EXPECT_EQ(*ready, "ready");
  std::string pty = second->substr(std::string("terminal 3 LX-K3 pty ").size());
  pty = pty.substr(0, pty.find(' '));
  EXPECT_EQ(second->substr(second->size() - 5), " COM3");

  auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string registry = read(config / "config.dat");
  EXPECT_EQ(registry.size(), 2 * 208u) << hexDump(registry);
  EXPECT_EQ(registry.substr(0, 4), "0001");
  EXPECT_EQ(registry.substr(208, 4), "0003");
  EXPECT_EQ(read(config / "porte.dat"), "COM3 " + pty + "\n");
  EXPECT_EQ(lines(read(expect / "expected_reg.txt")).size(), 6u);
  EXPECT_EQ(lines(read(expect / "expected_mns.txt")).size(), 1u);
  EXPECT_EQ(read(expect / "expected_prd.txt"), "");
  EXPECT_EQ(run.terminate(), 0) << run.err;
}

// The modem options as a user gives them: the call dialled through
// termsim's modem carries frames to the terminal behind it and hangs up; a
// busy line fails the dial.
TEST(TermsimModem, TheModemInFrontOfAPseudoTerminalDialsCarriesAndHangsUp) {
  auto dialled = [](std::vector<std::string> args, const std::function<void(Link&, Messages&)>& then) {
    Termsim run(std::move(args));
    auto ready = run.line();
    ASSERT_TRUE(ready) << run.err;
    ASSERT_EQ(ready->rfind("pty /dev/", 0), 0u) << *ready;
    test::ScriptedPrompt prompt;
    Messages messages{prompt};
    PortMap ports;
    ports.set("COM5", ready->substr(4));
    Link link;
    link.config.portName = "COM5";
    link.config.address = "07";
    link.config.model = "LX-K3";
    link.config.modem = true;
    link.config.phoneNumber = "0312345678";
    ASSERT_TRUE(link.open(messages, ports));
    then(link, messages);
    link.close();
    EXPECT_EQ(run.terminate(), 0) << run.err;
  };
  dialled({"--model", "LX-K3", "--address", "7", "--pty", "--modem", "--attendance", "2"},
          [](Link& link, Messages& messages) {
            Worker worker;
            ModemResult r = runModemHeadless(worker, messages, true, link, 10000);
            ASSERT_TRUE(r.done()) << r.message;
            std::string request = buildRequest("07", "00");
            sealMain(request);
            link.send(request);
            std::string reply;
            EXPECT_EQ(link.receiveFrame(reply, 64, 2000), 13) << hexDump(reply);
            EXPECT_EQ(reply.substr(4, 6), "000002") << hexDump(reply);
            EXPECT_TRUE(runModemHeadless(worker, messages, false, link, 10000).done());
          });
  dialled({"--pty", "--modem-dial-result", "busy", "--address", "7"}, [](Link& link, Messages& messages) {
    Worker worker;
    EXPECT_EQ(runModemHeadless(worker, messages, true, link, 10000).message, kModemDialFailed);
  });
}

}  // namespace
}  // namespace cfg

namespace cfg {
namespace {

// Handhelds served by the built program are found through CFG_HID_SIM's socket,
// products and usages as given, and answer with their records.
TEST(TermsimUsb, ServesHandheldsAsHidDevices) {
  Termsim run({"--usb-handheld", "H001,13572468", "--usb-handheld", "H002,-,Palmare BOMA-HND", "--usb-other",
               "0xFF00,2,Palmare HND-ZZ", "--attendance", "2"});
  auto ready = run.line();
  ASSERT_TRUE(ready) << run.err;
  ASSERT_EQ(ready->rfind("hid /", 0), 0u) << *ready;
  auto hid = makeSimHidBackend(ready->substr(4));
  auto devices = hid->enumerate();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(narrowProduct(devices[1].product), "Palmare BOMA-HND");
  EXPECT_EQ(devices[2].usage, 2);
  EXPECT_EQ(enumerateUsbDevices(*hid).size(), 2u);

  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  Link link;
  link.config.usb = true;
  link.config.address = "01";
  link.config.usbPath = devices[1].path;
  ASSERT_TRUE(link.openWith(std::make_unique<UsbTransport>(*hid), messages));
  EXPECT_EQ(unlockHandheld(link, messages, "13572468"), PasswordState::Default);
  EXPECT_EQ(readHandheldId(link, messages), "H002");
  std::string reply;
  ASSERT_TRUE(exchange(link, messages, "00", reply, 256, 500, 13));
  EXPECT_EQ(reply.substr(4, 6), "000002") << hexDump(reply);
  EXPECT_EQ(run.terminate(), 0);
}

}  // namespace
}  // namespace cfg
