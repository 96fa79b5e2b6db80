// Acquires attendance records from a terminal on 127.0.0.1:PORT into DIR and
// exits 0 when the run ends; the durability test kills it at random moments.
//   acquire_child DIR PORT
#include <cstdlib>
#include <cstdio>

#include "link/link.h"
#include "records/acquisition.h"

namespace {

class Silent : public cfg::Prompt {
 public:
  cfg::Answer ask(const cfg::PromptRequest&) override { return cfg::Answer::Cancel; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  Silent prompt;
  cfg::Messages messages{prompt};
  messages.flags.askOnFailure = false;
  cfg::Link link;
  link.config.model = "LX-P2";
  link.config.number = 1;
  link.config.address = "01";
  link.config.tcp = true;
  link.config.ipNetworkOrder = cfg::ipv4NetworkOrder(127, 0, 0, 1);
  link.config.tcpPort = static_cast<std::uint16_t>(std::atoi(argv[2]));
  if (!link.open(messages, cfg::PortMap{})) return 1;
  cfg::FormatList formats;
  cfg::RecordJob job{link, messages, argv[1], cfg::ArchiveSettings{}, formats};
  cfg::RecordRun run;
  cfg::Worker worker;
  auto end = cfg::runHeadless(
      worker, messages, [&](cfg::Worker& w) { cfg::acquire(w, job, cfg::RecordKind::Attendance, run); }, 600000);
  std::printf("%d\n", run.acquired.load());
  return end == cfg::HeadlessEnd::Closed ? 0 : 1;
}
