// The USB Link and the handheld scan: report framing against a scripted HID
// device, and the scan against termsim's simulated HID server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <deque>
#include <string>

#include "link/frame.h"
#include "link/handheld_scan.h"
#include "link/hex.h"
#include "link/transaction.h"
#include "link/usb_transport.h"
#include "records/archive_lines.h"
#include "sim/sim_hid.h"
#include "sim/sim_records.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

using Clock = std::chrono::steady_clock;

// Output reports as written; input reports handed out in order, an entry
// of -1 as a failed read. An empty queue waits out the timeout like a device.
struct ScriptedHid {
  std::vector<std::string> written;
  std::deque<std::string> input;  // 65 bytes each, or "fail"
  std::vector<Clock::time_point> writeTimes;
};

class ScriptedDevice final : public HidDevice {
 public:
  explicit ScriptedDevice(ScriptedHid& s) : s_(s) {}
  bool write(const std::uint8_t (&report)[kHidReportSize]) override {
    s_.written.emplace_back(reinterpret_cast<const char*>(report), kHidReportSize);
    s_.writeTimes.push_back(Clock::now());
    return true;
  }
  int read(std::uint8_t (&report)[kHidReportSize], int timeoutMs) override {
    if (s_.input.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
      return 0;
    }
    std::string r = s_.input.front();
    s_.input.pop_front();
    if (r == "fail") return -1;
    std::memcpy(report, r.data(), kHidReportSize);
    return static_cast<int>(kHidReportSize);
  }

 private:
  ScriptedHid& s_;
};

class ScriptedBackend final : public HidBackend {
 public:
  explicit ScriptedBackend(ScriptedHid& s) : s_(s) {}
  std::vector<HidDeviceInfo> enumerate() override { return {}; }
  std::unique_ptr<HidDevice> open(const std::string&) override { return std::make_unique<ScriptedDevice>(s_); }

 private:
  ScriptedHid& s_;
};

std::string inputReport(std::string_view data) {
  std::string r(kHidReportSize, '\0');
  std::memcpy(r.data() + 1, data.data(), std::min(data.size(), kHidReportData));
  return r;
}

std::string frameOf(std::size_t length) {
  std::string f;
  for (std::size_t i = 0; i < length; ++i) f += static_cast<char>('A' + i % 26);
  return f;
}

struct UsbLinkTest : ::testing::Test {
  void SetUp() override {
    link.config.usb = true;
    link.config.usbPath = "/dev/hidraw-test";
    ASSERT_TRUE(link.openWith(std::make_unique<UsbTransport>(backend), messages));
  }
  ScriptedHid hid;
  ScriptedBackend backend{hid};
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
};

TEST_F(UsbLinkTest, FramesGoOutInWholeReportsAndNothingIsCut) {
  // 100 bytes: two reports, the second carrying the last 36 bytes first.
  std::string frame = frameOf(100);
  auto start = Clock::now();
  EXPECT_EQ(link.send(frame), 100);
  auto took = Clock::now() - start;
  ASSERT_EQ(hid.written.size(), 2u);
  for (const auto& r : hid.written) {
    ASSERT_EQ(r.size(), kHidReportSize);
    EXPECT_EQ(r[0], '\0') << "report id";
  }
  EXPECT_EQ(hid.written[0].substr(1), frame.substr(0, 64));
  EXPECT_EQ(hid.written[1].substr(1, 36), frame.substr(64)) << hexDump(hid.written[1]);
  EXPECT_EQ(hid.written[1].substr(37), std::string(28, '\0'));
  EXPECT_GE(hid.writeTimes[1] - hid.writeTimes[0], std::chrono::milliseconds(10));
  EXPECT_GE(took, std::chrono::milliseconds(15)) << "10 ms between the reports, 5 ms after the last";

  // 200 bytes: four reports, every byte once and in order.
  hid.written.clear();
  frame = frameOf(200);
  EXPECT_EQ(link.send(frame), 200);
  ASSERT_EQ(hid.written.size(), 4u);
  std::string joined;
  for (const auto& r : hid.written) joined += r.substr(1);
  EXPECT_EQ(joined.substr(0, 200), frame);
  EXPECT_EQ(joined.substr(200), std::string(56, '\0'));
}

TEST_F(UsbLinkTest, EmptyAndRepeatedReportsAreSkipped) {
  // A 100-byte reply: an empty report first, then its first report twice,
  // then the rest; after the CR the report is padding.
  std::string reply = frameOf(99) + "\r";
  hid.input = {inputReport(""), "fail", inputReport(reply.substr(0, 64)), inputReport(reply.substr(0, 64)),
               inputReport(reply.substr(64) + "XYZ")};
  std::string got;
  link.receiveFrame(got, 256, 500);
  EXPECT_EQ(got, reply) << hexDump(got);

  // Before the first byte an empty report is nothing; a report equal to an
  // earlier one but not to the first is data.
  std::string second = frameOf(64);
  std::string third = second.substr(0, 10) + "\r";
  hid.input = {inputReport(""), inputReport(""), inputReport(second), inputReport(second.substr(0, 64)),
               inputReport(third)};
  link.receiveFrame(got, 256, 500);
  EXPECT_EQ(got, second + third) << hexDump(got);
}

TEST_F(UsbLinkTest, EveryReceiveEndsAtItsDeadline) {
  // Nothing but empty reports and failed reads: the reply is empty, on time.
  for (int i = 0; i < 5; ++i) hid.input.push_back(i % 2 ? "fail" : inputReport(""));
  std::string got;
  auto start = Clock::now();
  EXPECT_EQ(link.receiveFrame(got, 256, 200), 0);
  auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(190));
  EXPECT_LT(took, std::chrono::milliseconds(600));

  // A reply without CR ends at the deadline with what came (a report
  // without CR counts whole), and a full buffer ends it at once.
  hid.input = {inputReport(frameOf(20))};
  EXPECT_LT(link.receiveFrame(got, 256, 100), 0);
  EXPECT_EQ(got, inputReport(frameOf(20)).substr(1));
  hid.input = {inputReport(frameOf(64)), inputReport(frameOf(64).substr(1))};
  link.receiveFrame(got, 70, 100);
  EXPECT_EQ(got.size(), 70u);
}

// The scan against simulated devices.
struct UsbScanTest : ::testing::Test {
  void start() {
    path = server.listen();
    server.start();
    backend = makeSimHidBackend(path);
  }
  // Runs the scan as the search dialog does; returns the boxes shown.
  std::vector<std::string> scan(std::string plant = "13572468") {
    prompt.clear();
    UsbScanJob job{*backend, messages, std::move(plant), list, &done};
    done = false;
    Worker worker;
    EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { scanUsbHandhelds(w, job); }, 60000), HeadlessEnd::Closed);
    EXPECT_TRUE(done.load());
    EXPECT_TRUE(messages.flags.showLinkErrors.load());
    EXPECT_TRUE(messages.flags.askOnFailure.load());
    return prompt.texts();
  }
  sim::SimHidServer server;
  std::string path;
  std::unique_ptr<HidBackend> backend;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  HandheldList list;
  std::atomic<bool> done{false};
};

TEST_F(UsbScanTest, ListsHandheldsWithTheirPasswordStates) {
  server.addOther(0xFF00, 2, "Palmare HND-ZZ");             // wrong usage
  server.addHandheld("H001", "13572468");                  // plant password
  server.addHandheld("X999", "13572468", "Palmare HND-ZZ   ");  // three blanks: not a handheld
  server.addOther(0x0001, 6, "Tastiera");
  server.addHandheld("H002", std::nullopt, "Palmare HND-ZZ  ");  // unconfigured
  server.addHandheld("ZZ01", "99990000", "Palmare BOMA-HND");    // another plant
  server.addHandheld("Q001", "13572468", "Palmare HND-Z\xC5\xBB");  // U+017B: narrowed to "?"
  start();

  EXPECT_TRUE(scan().empty());
  ASSERT_EQ(list.size(), 3u);
  const auto& e = list.entries();
  EXPECT_EQ(e[0].number, 1);
  EXPECT_EQ(e[0].id, "H001");
  EXPECT_EQ(e[0].name, "Palmare HND-ZZ");
  EXPECT_EQ(e[0].passwordState, PasswordState::Plant);
  EXPECT_EQ(e[1].number, 2);
  EXPECT_EQ(e[1].id, "H002");
  EXPECT_EQ(e[1].name, "Palmare HND-ZZ  ");
  EXPECT_EQ(e[1].passwordState, PasswordState::Default);
  EXPECT_EQ(e[2].number, 3);
  EXPECT_EQ(e[2].id, "") << "both passwords refused: no id";
  EXPECT_EQ(e[2].passwordState, PasswordState::Neither);
  EXPECT_EQ(passwordStateText(e[2].passwordState), std::string("Password errata"));
  for (const auto& entry : e) {
    EXPECT_TRUE(entry.usb);
    EXPECT_EQ(entry.model, "HND  ");
    EXPECT_EQ(entry.address, 1);
  }
  auto devices = enumerateUsbDevices(*backend);
  ASSERT_EQ(devices.size(), 5u) << "usage 2 and the keyboard are left out";
  EXPECT_EQ(devices.back().product, "Palmare HND-Z?");
  EXPECT_EQ(server.badReports(), 0);

  // The entry makes a Link that unlocks and reads records like a fixed terminal.
  Link link(linkConfigOf(e[1]));
  EXPECT_EQ(link.config.handheldId, "H002");
  // Every USB handheld carries the same product name: the id tells them apart.
  EXPECT_EQ(terminalCode(link.config), "H002");
  EXPECT_EQ(itemFileName(link.config), "H002tmp.txt");
  EXPECT_EQ(itemFileName(linkConfigOf(e[0])), "H001tmp.txt");
  EXPECT_EQ(canteenLine(sim::canteenFrame(1, sim::generateCanteen(1, 1)[0], 0), link.config).substr(0, 5), "H002 ");
  ASSERT_TRUE(link.openWith(std::make_unique<UsbTransport>(*backend), messages));
  std::string reply;
  {
    AskOnFailureGuard quiet(messages.flags, false);
    EXPECT_FALSE(exchange(link, messages, "3B", reply, 256, 500, 17)) << "locked until 3A";
  }
  EXPECT_EQ(unlockHandheld(link, messages, "13572468"), PasswordState::Default);
  EXPECT_EQ(readHandheldId(link, messages), "H002");
}

TEST_F(UsbScanTest, NothingFoundIsSaidOnlyWithLinkErrorsShown) {
  server.addOther(0x0001, 2, "Mouse");
  start();
  EXPECT_EQ(scan(), std::vector<std::string>{"Nessun terminale USB trovato."});
  EXPECT_TRUE(list.empty());
  messages.flags.showLinkErrors = false;
  prompt.clear();
  UsbScanJob job{*backend, messages, "13572468", list, &done};
  done = false;
  Worker worker;
  runHeadless(worker, messages, [&](Worker& w) { scanUsbHandhelds(w, job); }, 10000);
  EXPECT_TRUE(prompt.texts().empty());
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(messages.flags.showLinkErrors.load()) << "restored as found";
}

TEST_F(UsbScanTest, OnlyTheFirstHundredDevicesCount) {
  for (int i = 0; i < 100; ++i) server.addOther(0xFF00, 1, "Altro dispositivo");
  server.addHandheld("H101", "13572468");
  start();
  auto devices = enumerateUsbDevices(*backend);
  ASSERT_EQ(devices.size(), 100u);
  EXPECT_EQ(devices.back().product, "Altro dispositivo");
  EXPECT_TRUE(scan().empty());
  EXPECT_TRUE(list.empty()) << "the 101st device is never probed";
}

TEST_F(UsbScanTest, BackgroundModeFillsTheListAndSaysWhenDone) {
  server.addHandheld("B001", std::nullopt);
  server.addHandheld("B002", "13572468");
  start();
  // A batch run has both flags off; the scan leaves them so.
  MessageFlagsGuard batch(messages.flags, false, false);
  UsbScanJob job{*backend, messages, "13572468", list, &done};
  Worker worker;
  auto start = Clock::now();
  ASSERT_TRUE(runUsbScanInBackground(worker, job));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(worker.running());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].passwordState, PasswordState::Default);
  EXPECT_EQ(list[1].id, "B002");
  EXPECT_FALSE(messages.flags.showLinkErrors.load());
  EXPECT_FALSE(messages.flags.askOnFailure.load());
  EXPECT_TRUE(prompt.texts().empty());
}

TEST_F(UsbScanTest, AStopRequestEndsTheScanThroughItsNormalEnd) {
  for (int i = 0; i < 30; ++i) server.addHandheld("S" + std::to_string(100 + i), "13572468");
  start();
  UsbScanJob job{*backend, messages, "13572468", list, &done};
  ProgressQueue queue;
  Worker worker;
  ASSERT_TRUE(worker.start(queue, [&](Worker& w) { scanUsbHandhelds(w, job); }, messages));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  worker.stop();
  EXPECT_TRUE(done.load());
  EXPECT_LT(list.size(), 30u);
  EXPECT_TRUE(messages.flags.showLinkErrors.load());
  EXPECT_TRUE(messages.flags.askOnFailure.load());
}

}  // namespace
}  // namespace cfg
