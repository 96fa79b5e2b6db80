// termsim: simulated fixed terminals on TCP or pseudo-terminals, for tests,
// scripts and the demo. `termsim --help` tells everything; in short:
//
//   termsim [--model MODEL] [--address N] (--tcp PORT | --pty) [--records N] [--fault KIND[:COUNT]] ...
//
// serves one terminal; when ready it prints one line, "tcp 127.0.0.1:PORT"
// or "pty /dev/pts/N", and serves until SIGTERM or SIGINT.
//
//   termsim --plant FILE [--config DIR] [--expect DIR]
//
// serves every terminal of a plant description, each with its records;
// prints one "terminal ..." line per terminal, then "ready". --config writes
// config.dat and porte.dat for them into DIR; --expect writes the archive
// lines one acquisition of every terminal gives (expected_reg.txt, ...).
//
// Exit status: 0 when stopped by a signal, 2 for a bad command line or plant
// file, 3 when a file, folder, port or pseudo-terminal cannot be used.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <system_error>

#include "sim/plant.h"
#include "sim/sim_server.h"

namespace {

constexpr int kBadUsage = 2;  // what was typed (options, plant file) is wrong
constexpr int kFailed = 3;    // the system refused a file, folder, port or pseudo-terminal

// What was typed is wrong; the text says what, and the short usage follows.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A plant file that does not parse: wrong input, but the usage would not help.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char kUsage[] =
    "usage: termsim [--model MODEL] [--address N] (--tcp PORT | --pty)\n"
    "               [--records N] [--attendance N] [--production N] [--canteen N] [--seed N]\n"
    "               [--fault KIND[:COUNT]] [--delay MS] [--loader-image FILE]\n"
    "       termsim --plant FILE [--config DIR] [--expect DIR]\n"
    "       termsim --help\n";

void printHelp() {
  std::printf(
      "termsim: simulated data-collection terminals for tests, scripts and the demo.\n"
      "\n"
      "%s"
      "\n"
      "One terminal:\n"
      "  prints \"tcp 127.0.0.1:PORT\" or \"pty /dev/pts/N\" when ready and serves until\n"
      "  SIGTERM or SIGINT (Ctrl-C).\n"
      "  --model MODEL         the terminal's model (default LX-P2); one of:\n"
      "                        %s\n"
      "  --address N           its address on the line, 0-255 (default 1)\n"
      "  --tcp PORT            listen on 127.0.0.1:PORT; 0 picks a free port\n"
      "  --pty                 serve on a new pseudo-terminal; map a COM name to the printed\n"
      "                        path in porte.dat (\"COM5 /dev/pts/N\")\n"
      "  --records N           N records of every kind, 0-%d: N attendance records,\n"
      "                        N canteen records and N closed production jobs (default 0)\n"
      "  --attendance N        attendance records, 0-%d (overrides --records)\n"
      "  --production N        closed production jobs, 0-%d; a job is 2 to 9 production\n"
      "                        records (overrides --records)\n"
      "  --canteen N           canteen records, 0-%d (overrides --records)\n"
      "  --seed N              which records are made (default 1); the same seed and counts\n"
      "                        always give the same records, from 1 December 2026 on\n"
      "  --fault KIND[:COUNT]  misbehave on every reply, or only on the next COUNT replies\n"
      "  --delay MS            how late the replies of the delay fault go out\n"
      "  --loader-image FILE   after each firmware download (\"33\", blocks, EOT) write the image\n"
      "                        the loader received to FILE (replaced whole); reader modules 1\n"
      "                        and 2 are fitted so that \"3301\" and \"3302\" are taken too\n"
      "\n"
      "Faults:\n"
      "  none       answer normally\n"
      "  noanswer   stay silent\n"
      "  nak        answer NAK\n"
      "  badcheck   send the reply with a wrong check byte\n"
      "  delay      send the reply MS milliseconds late (--delay)\n"
      "  echo       echo every request before the reply, as an echoing line does\n"
      "  close      send half the reply, then hang up\n"
      "  drop       lose one byte from the middle of the reply\n"
      "\n"
      "A plant:\n"
      "  --plant FILE          serve every terminal of FILE, each on a port or\n"
      "                        pseudo-terminal of its own; prints one line per terminal,\n"
      "                        \"terminal N MODEL tcp 127.0.0.1:PORT\" or\n"
      "                        \"terminal N MODEL pty /dev/pts/K COMn\", then \"ready\"\n"
      "  --config DIR          write config.dat and porte.dat for the plant into DIR\n"
      "                        (created when missing)\n"
      "  --expect DIR          write expected_reg.txt, expected_prd.txt and expected_mns.txt:\n"
      "                        the archive lines one acquisition of every terminal gives\n"
      "\n"
      "Plant file: one terminal a line of KEY=VALUE words; \"#\" starts a comment.\n"
      "  terminal number=1 model=LX-P2 address=1 via=tcp attendance=40 production=4 canteen=12 "
      "seed=11 description=Reparto presse\n"
      "  terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=30 seed=33 "
      "description=Magazzino\n"
      "  number=N          registry number, 1-9999, unique (required)\n"
      "  model=MODEL       as --model (default LX-P2)\n"
      "  address=N         0-255 (default 1)\n"
      "  via=tcp|pty       a TCP port or a pseudo-terminal (default tcp)\n"
      "  port=COMn         COM1-COM9: the name porte.dat gives a pseudo-terminal (default COM1;\n"
      "                    unique among the pseudo-terminals)\n"
      "  attendance=N      attendance records, 0-%d\n"
      "  production=N      closed production jobs, 0-%d\n"
      "  canteen=N         canteen records, 0-%d\n"
      "  seed=N            0-999999999 (default 1)\n"
      "  description=TEXT  the rest of the line (config.dat keeps 30 characters)\n"
      "\n"
      "Exit status: 0 when stopped by a signal, 2 for a bad command line or plant file,\n"
      "3 when a file, folder, port or pseudo-terminal cannot be used.\n",
      kUsage, cfg::sim::simulatedModelList().c_str(), cfg::sim::kMaxProduction, cfg::sim::kMaxAttendance, cfg::sim::kMaxProduction,
      cfg::sim::kMaxCanteen, cfg::sim::kMaxAttendance, cfg::sim::kMaxProduction, cfg::sim::kMaxCanteen);
}

// A whole decimal number from low to high, or a UsageError naming the option.
long number(const std::string& option, const std::string& text, long low, long high) {
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digitsOnly || *end != '\0' || errno == ERANGE || v < low || v > high)
    throw UsageError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not \"" + text + "\"");
  return v;
}

struct Options {
  std::optional<std::string> plantFile, configDir, expectDir;
  bool singleOption = false;  // an option of the one-terminal form was given
  cfg::sim::PlantTerminal terminal;
  long tcpPort = -1;
  bool pty = false;
  cfg::sim::Fault fault;
  std::string loaderImage;
};

Options parseOptions(int argc, char** argv) {
  Options o;
  std::optional<long> records, attendance, production, canteen;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(a + " needs a value");
      return argv[++i];
    };
    if (a == "--plant") {
      o.plantFile = value();
    } else if (a == "--config") {
      o.configDir = value();
    } else if (a == "--expect") {
      o.expectDir = value();
    } else if (a == "--model") {
      std::string model = value();
      if (!cfg::sim::isSimulatedModel(model))
        throw UsageError("unknown model \"" + model + "\"; known models: " + cfg::sim::simulatedModelList());
      o.terminal.model = model;
      o.singleOption = true;
    } else if (a == "--address") {
      o.terminal.address = static_cast<unsigned>(number(a, value(), 0, 255));
      o.singleOption = true;
    } else if (a == "--tcp") {
      o.tcpPort = number(a, value(), 0, 65535);
      o.singleOption = true;
    } else if (a == "--pty") {
      o.pty = true;
      o.singleOption = true;
    } else if (a == "--records") {
      records = number(a, value(), 0, cfg::sim::kMaxProduction);
      o.singleOption = true;
    } else if (a == "--attendance") {
      attendance = number(a, value(), 0, cfg::sim::kMaxAttendance);
      o.singleOption = true;
    } else if (a == "--production") {
      production = number(a, value(), 0, cfg::sim::kMaxProduction);
      o.singleOption = true;
    } else if (a == "--canteen") {
      canteen = number(a, value(), 0, cfg::sim::kMaxCanteen);
      o.singleOption = true;
    } else if (a == "--seed") {
      o.terminal.seed = static_cast<unsigned>(number(a, value(), 0, 999999999));
      o.singleOption = true;
    } else if (a == "--fault") {
      std::string text = value();
      auto colon = text.find(':');
      if (!cfg::sim::parseFaultKind(text.substr(0, colon), o.fault.kind))
        throw UsageError("unknown fault \"" + text.substr(0, colon) +
                         "\"; known faults: none noanswer nak badcheck delay echo close drop");
      if (colon != std::string::npos)
        o.fault.count = static_cast<int>(number("--fault COUNT", text.substr(colon + 1), 0, 1000000000));
      o.singleOption = true;
    } else if (a == "--loader-image") {
      o.loaderImage = value();
      o.singleOption = true;
    } else if (a == "--delay") {
      o.fault.delayMs = static_cast<int>(number(a, value(), 0, 3600000));
      o.singleOption = true;
    } else {
      throw UsageError("unknown option \"" + a + "\"");
    }
  }
  if (o.plantFile) {
    if (o.singleOption) throw UsageError("--plant takes only --config and --expect");
    return o;
  }
  if (o.configDir || o.expectDir) throw UsageError("--config and --expect go with --plant");
  if ((o.tcpPort < 0) == !o.pty) throw UsageError("give either --tcp PORT or --pty");
  o.terminal.attendance = static_cast<int>(attendance.value_or(records.value_or(0)));
  o.terminal.production = static_cast<int>(production.value_or(records.value_or(0)));
  o.terminal.canteen = static_cast<int>(canteen.value_or(records.value_or(0)));
  return o;
}

// Creates the folder (and its parents) when missing; says which and why when it cannot.
void makeFolder(const std::string& option, const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error(option + " " + dir + ": " + ec.message());
  if (!std::filesystem::is_directory(dir, ec))
    throw std::runtime_error(option + " " + dir + ": " + std::generic_category().message(ENOTDIR));
}

// The serving threads never take SIGTERM and SIGINT: the main thread waits
// for them with sigwait and then stops the servers from normal code (a
// signal handler must not touch a server that its thread is running).
sigset_t blockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return stopSignals;
}

// Serves a plant until SIGTERM or SIGINT.
int servePlant(const Options& o) {
  const std::string& file = *o.plantFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file + ": " + std::strerror(errno));
  std::string text(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) throw std::runtime_error("cannot read " + file);
  std::string error;
  auto terminals = cfg::sim::parsePlant(text, error);
  if (!terminals) throw InputError(file + ": " + error);
  // Before anything serves: a folder that cannot be made stops the start.
  if (o.configDir) makeFolder("--config", *o.configDir);
  if (o.expectDir) makeFolder("--expect", *o.expectDir);

  sigset_t stopSignals = blockStopSignals();
  cfg::sim::Plant plant(*terminals);
  for (const auto& line : plant.start()) std::printf("%s\n", line.c_str());
  if (o.configDir && !plant.writeSettings(*o.configDir, error))
    throw std::runtime_error("cannot write the settings: " + error);
  if (o.expectDir && !plant.writeExpected(*o.expectDir, error))
    throw std::runtime_error("cannot write the expected archives: " + error);
  std::printf("ready\n");
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stopSignals, &sig);
  plant.stop();
  return 0;
}

// Serves one terminal until SIGTERM or SIGINT.
int serveOne(const Options& o) {
  sigset_t stopSignals = blockStopSignals();
  cfg::sim::SimServer server;
  cfg::sim::SimTerminal terminal = cfg::sim::makeTerminal(o.terminal);
  if (!o.loaderImage.empty()) {
    terminal.loader.imagePath = o.loaderImage;
    terminal.readerVersion[0] = "READER 1 SIM";
    terminal.readerVersion[1] = "READER 2 SIM";
  }
  server.add(std::move(terminal));
  server.setFault(o.fault);
  if (o.pty) {
    std::printf("pty %s\n", server.openPty().c_str());
  } else {
    std::printf("tcp 127.0.0.1:%u\n", server.listenTcp(static_cast<std::uint16_t>(o.tcpPort)));
  }
  server.start();
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stopSignals, &sig);
  server.stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printHelp();
      return 0;
    }
  }
  try {
    Options o = parseOptions(argc, argv);
    return o.plantFile ? servePlant(o) : serveOne(o);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "termsim: %s\n%stry \"termsim --help\" for more\n", e.what(), kUsage);
    return kBadUsage;
  } catch (const InputError& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return kBadUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return kFailed;
  } catch (...) {
    std::fprintf(stderr, "termsim: unexpected failure\n");
    return kFailed;
  }
}
