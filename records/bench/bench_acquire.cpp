// Acquisition throughput: records per second from termsim over TCP loopback
// and over a pseudo-terminal, next to the bound that the loop's 25 ms pause
// per record and the flush of each line to disk set.
//
//   bench_acquire [COUNT]        (default 10000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "records/acquisition.h"
#include "records/append_line.h"
#include "sim/sim_server.h"

namespace {

using Clock = std::chrono::steady_clock;

class Silent : public cfg::Prompt {
 public:
  cfg::Answer ask(const cfg::PromptRequest&) override { return cfg::Answer::Cancel; }
};

std::filesystem::path freshDir(const char* name) {
  auto dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void runOne(const char* via, int count, double boundPerSecond) {
  Silent prompt;
  cfg::Messages messages{prompt};
  cfg::sim::SimServer server;
  server.add(cfg::sim::SimTerminal("LX-P2", 1));
  server.with(0, [&](cfg::sim::SimTerminal& t) {
    for (auto& r : cfg::sim::generateAttendance(1, count)) t.add(r);
  });
  cfg::Link link;
  link.config.model = "LX-P2";
  link.config.number = 1;
  link.config.address = "01";
  cfg::PortMap ports;
  if (std::string(via) == "tcp") {
    link.config.tcp = true;
    link.config.ipNetworkOrder = cfg::ipv4NetworkOrder(127, 0, 0, 1);
    link.config.tcpPort = server.listenTcp();
  } else {
    link.config.portName = "COM1";
    link.config.speed = 38400;
    ports.set("COM1", server.openPty());
  }
  server.start();
  if (!link.open(messages, ports)) {
    std::fprintf(stderr, "cannot open the %s link\n", via);
    return;
  }
  cfg::FormatList formats;
  cfg::RecordJob job{link, messages, freshDir("cfgtool-bench"), cfg::ArchiveSettings{}, formats};
  cfg::RecordRun run;
  cfg::Worker worker;
  auto start = Clock::now();
  cfg::runHeadless(
      worker, messages, [&](cfg::Worker& w) { cfg::acquire(w, job, cfg::RecordKind::Attendance, run); },
      24 * 3600 * 1000);
  double seconds = msSince(start) / 1000.0;
  double rate = run.acquired / seconds;
  std::printf("%-4s %6d records in %7.1f s: %6.1f records/s (bound %5.1f, %4.1f%% of it)\n", via,
              run.acquired.load(), seconds, rate, boundPerSecond, 100.0 * rate / boundPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  Silent prompt;
  cfg::Messages messages{prompt};
  // What one durable 45-byte append costs on this disk.
  auto dir = freshDir("cfgtool-bench-fsync");
  const std::string line(43, 'x');
  constexpr int kAppends = 200;
  auto start = Clock::now();
  for (int i = 0; i < kAppends; ++i) cfg::appendLine(dir / "file_reg.txt", line + "\r\n", messages);
  double appendMs = msSince(start) / kAppends;
  double bound = 1000.0 / (25.0 + appendMs);
  std::printf("durable append: %.2f ms; bound = 1000 / (25 + %.2f) = %.1f records/s\n", appendMs, appendMs, bound);
  runOne("tcp", count, bound);
  runOne("pty", count, bound);
  return 0;
}
