// The system-stack Bluetooth scan against a stack that fails at each step:
// every failure says its own text only while link errors are shown, and
// every way out ends the scan properly (flags back, scan-done set).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "link/bt_system.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

enum class FailAt { Nothing, Radio, Inquiry, ServiceLookup, Connect };

class FailingStack final : public BtSystemStack {
 public:
  explicit FailingStack(FailAt at) : at_(at) {}
  bool radioPresent() override { return at_ != FailAt::Radio; }
  bool inquire(std::vector<BtDevice>& devices, std::string& error) override {
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

}  // namespace
}  // namespace cfg
