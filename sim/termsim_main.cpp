// termsim: a fixed terminal on TCP or a pseudo-terminal, for tests, scripts
// and the demo.
//
//   termsim --model MODEL --address N (--tcp PORT | --pty) [--fault KIND[:COUNT]] [--delay MS]
//
// When ready it prints one line, "tcp 127.0.0.1:PORT" or "pty /dev/pts/N",
// and serves until it is terminated.
//
//   termsim --plant FILE [--config DIR] [--expect DIR]
//
// serves every terminal of a plant description, each with its records;
// prints one "terminal ..." line per terminal, then "ready". --config writes
// config.dat and porte.dat for them into DIR; --expect writes the archive
// lines one acquisition of every terminal gives (expected_reg.txt, ...).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fstream>
#include <iterator>
#include <pthread.h>

#include "sim/plant.h"
#include "sim/sim_server.h"

namespace {

cfg::sim::SimServer* gServer = nullptr;

void onSignal(int) {
  if (gServer) gServer->stop();  // only writes to the wake pipe from here
}

int usage() {
  std::fprintf(stderr,
               "usage: termsim --model MODEL --address N (--tcp PORT | --pty)\n"
               "               [--fault none|noanswer|nak|badcheck|delay|echo|close|drop[:COUNT]]\n"
               "               [--delay MS]\n"
               "       termsim --plant FILE [--config DIR] [--expect DIR]\n");
  return 2;
}

}  // namespace

// Serves a plant until SIGTERM or SIGINT.
int servePlant(const char* file, const char* configDir, const char* expectDir) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "termsim: cannot read %s\n", file);
    return 1;
  }
  std::string text(std::istreambuf_iterator<char>(in), {});
  std::string error;
  auto terminals = cfg::sim::parsePlant(text, error);
  if (!terminals) {
    std::fprintf(stderr, "termsim: %s: %s\n", file, error.c_str());
    return 1;
  }
  // The serving threads never take the signals: the main thread waits for them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  try {
    cfg::sim::Plant plant(*terminals);
    for (const auto& line : plant.start()) std::printf("%s\n", line.c_str());
    if (configDir && !plant.writeSettings(configDir)) {
      std::fprintf(stderr, "termsim: cannot write the settings into %s\n", configDir);
      return 1;
    }
    if (expectDir && !plant.writeExpected(expectDir)) {
      std::fprintf(stderr, "termsim: cannot write the expected archives into %s\n", expectDir);
      return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    plant.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--plant") == 0) {
    const char* config = nullptr;
    const char* expect = nullptr;
    for (int i = 3; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--config") == 0) config = argv[i + 1];
      else if (std::strcmp(argv[i], "--expect") == 0) expect = argv[i + 1];
      else return usage();
    }
    if (argc % 2 == 0) return usage();
    return servePlant(argv[2], config, expect);
  }
  std::string model = "LX-P2";
  long address = 1;
  long tcpPort = -1;
  bool pty = false;
  cfg::sim::Fault fault;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--model") {
      const char* v = value();
      if (!v) return usage();
      model = v;
    } else if (a == "--address") {
      const char* v = value();
      if (!v) return usage();
      address = std::strtol(v, nullptr, 10);
    } else if (a == "--tcp") {
      const char* v = value();
      if (!v) return usage();
      tcpPort = std::strtol(v, nullptr, 10);
    } else if (a == "--pty") {
      pty = true;
    } else if (a == "--fault") {
      const char* v = value();
      if (!v) return usage();
      std::string faultText = v;
      auto colon = faultText.find(':');
      if (!cfg::sim::parseFaultKind(faultText.substr(0, colon), fault.kind)) return usage();
      if (colon != std::string::npos) fault.count = std::atoi(faultText.c_str() + colon + 1);
    } else if (a == "--delay") {
      const char* v = value();
      if (!v) return usage();
      fault.delayMs = std::atoi(v);
    } else {
      return usage();
    }
  }
  if (address < 0 || address > 255 || (tcpPort < 0) == !pty || tcpPort > 65535) return usage();

  try {
    cfg::sim::SimServer server;
    server.add(cfg::sim::SimTerminal(model, static_cast<unsigned>(address)));
    server.setFault(fault);
    if (pty) {
      std::printf("pty %s\n", server.openPty().c_str());
    } else {
      std::printf("tcp 127.0.0.1:%u\n", server.listenTcp(static_cast<std::uint16_t>(tcpPort)));
    }
    std::fflush(stdout);
    gServer = &server;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    server.run();
    gServer = nullptr;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
