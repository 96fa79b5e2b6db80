// The system-stack Bluetooth scan against a stack that fails at each step:
// every failure says its own text only while link errors are shown, and
// every way out ends the scan properly (flags back, scan-done set). Both
// Bluetooth scans in a batch's background mode against termsim's radio.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/bt_bluez.h"
#include "link/bt_system.h"
#include "link/bt_vendor.h"
#include "sim/sim_bt.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

enum class FailAt { Nothing, Radio, Inquiry, ServiceLookup, Connect };

class FailingStack final : public BtSystemStack {
 public:
  explicit FailingStack(FailAt at) : at_(at) {}
  bool radioPresent() override { return at_ != FailAt::Radio; }
  bool inquire(std::vector<BtDevice>& devices, std::string& error, const BtStopCheck&) override {
    ++inquiries;
    if (at_ == FailAt::Inquiry) {
      error = kBtInquiryFailed;
      return false;
    }
    devices = {BtDevice{{0x00, 0x08, 0xE1, 1, 2, 3}, "SPP140"}, BtDevice{{0x00, 0xA0, 0x96, 1, 2, 3}, "SPP140"}};
    return true;
  }
  bool serialServices(const BtAddress& device, std::vector<BtService>& services, std::string& error) override {
    lookedUp.push_back(btAddressText(device));
    if (at_ == FailAt::ServiceLookup) {
      error = kBtServiceStartFailed;
      return false;
    }
    services = {BtService{3, "SPP140"}};
    return true;
  }
  UniqueFd connect(const BtAddress&, std::uint8_t, int) override {
    ++connects;
    return {};  // the handheld does not answer: skipped silently
  }
  int inquiries = 0, connects = 0;
  std::vector<std::string> lookedUp;

 private:
  FailAt at_;
};

TEST(BtSystemScanTest, EachFailureSaysItsTextOnlyWhileLinkErrorsAreShown) {
  struct Case {
    FailAt at;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {FailAt::Radio, {"Attenzione: periferica bluetooth non trovata !"}},
      {FailAt::Inquiry, {"Error: Device inquiry failed."}},
      {FailAt::ServiceLookup, {"Error: Starting service discovey failed."}},
      {FailAt::Connect, {}},
  };
  for (const Case& c : cases) {
    for (bool show : {true, false}) {
      SCOPED_TRACE(static_cast<int>(c.at) * 2 + show);
      test::ScriptedPrompt prompt;
      Messages messages{prompt};
      messages.flags.showLinkErrors = show;
      FailingStack stack(c.at);
      HandheldList list;
      list.add(HandheldEntry{});  // the last search's entry: gone however this one ends
      std::atomic<bool> done{false};
      BtSystemScanJob job{stack, messages, "13572468", list, &done};
      Worker worker;
      EXPECT_EQ(runHeadless(worker, messages, [&](Worker& w) { scanBtSystemHandhelds(w, job); }, 10000),
                HeadlessEnd::Closed);
      EXPECT_TRUE(done.load());
      EXPECT_TRUE(list.empty());
      EXPECT_EQ(messages.flags.showLinkErrors.load(), show);
      EXPECT_TRUE(messages.flags.askOnFailure.load());
      EXPECT_EQ(prompt.texts(), show ? c.texts : std::vector<std::string>{});
      EXPECT_EQ(stack.inquiries, c.at == FailAt::Radio ? 0 : 1) << "no radio: no search";
      if (c.at == FailAt::ServiceLookup || c.at == FailAt::Connect) {
        EXPECT_EQ(stack.lookedUp, std::vector<std::string>{"00:A0:96:01:02:03"}) << "00:08:E1 never looked up";
      }
      EXPECT_EQ(stack.connects, c.at == FailAt::Connect ? 1 : 0);
    }
  }
}

// termsim's radio with an ignored device, a handheld that knows the plant
// password and one on the default password, named as they come off the air.
class BtBackgroundScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.addHandheld(*sim::parseBtAddress("00:08:E1:00:00:09"), "X009", "13572468", "SPP140", "COM port");
    server.addHandheld(*sim::parseBtAddress("00:08:E0:00:00:01"), "H001", "13572468", "SPP140", "Serial Port");
    server.addHandheld(*sim::parseBtAddress("00:A0:96:00:00:02"), "H002", std::nullopt, "HND 2", "COM port");
    ::setenv(kBtSimVariable, server.listen().c_str(), 1);
    server.start();
    messages.flags.showLinkErrors = false;  // as a batch runs
    messages.flags.askOnFailure = false;
  }
  void TearDown() override { ::unsetenv(kBtSimVariable); }

  void expectBothHandhelds(BluetoothKind kind) {
    EXPECT_TRUE(done.load());
    EXPECT_FALSE(worker.running()) << "the worker is collected before the batch goes on";
    EXPECT_TRUE(prompt.texts().empty());
    EXPECT_FALSE(messages.flags.showLinkErrors.load()) << "the batch's flags are left as found";
    EXPECT_FALSE(messages.flags.askOnFailure.load());
    EXPECT_EQ(server.lookups(0), 0) << "00:08:E1 is never looked up";
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].id, "H001");
    EXPECT_EQ(list[0].name, "Palmare HND");
    EXPECT_EQ(list[0].passwordState, PasswordState::Plant);
    EXPECT_EQ(list[0].secondName, "Serial Port");
    EXPECT_EQ(list[0].addressText, "00:08:E0:00:00:01");
    EXPECT_EQ(list[0].bluetooth, kind);
    EXPECT_EQ(list[1].id, "H002");
    EXPECT_EQ(list[1].name, "HND 2");
    EXPECT_EQ(list[1].passwordState, PasswordState::Default);
    EXPECT_EQ(list[1].bluetooth, kind);
  }

  sim::SimBtServer server;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  HandheldList list;
  std::atomic<bool> done{true};
  Worker worker;
};

TEST_F(BtBackgroundScanTest, SystemStackFillsTheListAndSaysWhenDone) {
  BtSystemScanJob job{btSystemStack(), messages, "13572468", list, &done};
  ASSERT_TRUE(runBtSystemScanInBackground(worker, job));
  expectBothHandhelds(BluetoothKind::SystemStack);
  EXPECT_NE(list[0].rfcommChannel, 0);
}

TEST_F(BtBackgroundScanTest, VendorStackFillsTheListAndSaysWhenDone) {
  BtVendorScanJob job{messages, "13572468", list, &done};
  ASSERT_TRUE(runBtVendorScanInBackground(worker, job));
  expectBothHandhelds(BluetoothKind::VendorStack);
}

TEST_F(BtBackgroundScanTest, ACancelledBatchStopsTheScanBeforeItsNextDevice) {
  // The vendor stack waits 2 s for each new serial port: a cancel during the
  // first handheld ends the scan there.
  std::atomic<bool> cancel{false};
  std::thread batch([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  BtVendorScanJob job{messages, "13572468", list, &done};
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(runBtVendorScanInBackground(worker, job, &cancel));
  batch.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(done.load());
  EXPECT_FALSE(worker.running());
  EXPECT_LE(list.size(), 1u);
  EXPECT_EQ(server.lookups(2), 0) << "the last handheld is never reached";
  EXPECT_FALSE(messages.flags.showLinkErrors.load());
}

TEST(BtBackgroundScanStartTest, AWorkerThatCannotStartStillSaysDone) {
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  messages.flags.showLinkErrors = false;
  FailingStack stack(FailAt::Nothing);
  HandheldList list;
  std::atomic<bool> done{false};
  BtSystemScanJob job{stack, messages, "13572468", list, &done};
  Worker worker([](std::thread&, std::function<void()>) { return false; });
  EXPECT_FALSE(runBtSystemScanInBackground(worker, job));
  EXPECT_TRUE(done.load()) << "a batch waiting on the flag would hang";
  EXPECT_EQ(stack.inquiries, 0);
}

// The real stacks on a machine without an adapter: both searches say there
// is no radio, and nothing else.
TEST(BtNoRadioTest, BothStacksSayThereIsNoRadio) {
  if (bluez::radioPresent()) GTEST_SKIP() << "this machine has a Bluetooth adapter";
  ::unsetenv(kBtSimVariable);
  for (bool vendor : {false, true}) {
    SCOPED_TRACE(vendor ? "vendor stack" : "system stack");
    test::ScriptedPrompt prompt;
    Messages messages{prompt};
    HandheldList list;
    std::atomic<bool> done{false};
    Worker worker;
    auto stack = makeBlueZSystemStack();
    BtSystemScanJob system{*stack, messages, "13572468", list, &done};
    BtVendorScanJob vendorJob{messages, "13572468", list, &done};
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(vendor ? runBtVendorScanInBackground(worker, vendorJob) : runBtSystemScanInBackground(worker, system));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Attenzione: periferica bluetooth non trovata !"});
    EXPECT_TRUE(list.empty());
  }
}

}  // namespace
}  // namespace cfg
