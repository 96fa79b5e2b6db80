// Connecting to a handheld through the one function every caller shares,
// against termsim's simulated USB handhelds; and the list's order.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link/handheld_connect.h"
#include "link/handheld_scan.h"
#include "sim/sim_hid.h"
#include "tests/support/scripted_prompt.h"

namespace cfg {
namespace {

constexpr const char* kPlant = "13572468";

class HandheldConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.addHandheld("H001", std::string(kPlant));
    server.addHandheld("H002", std::nullopt);
    ::setenv(kHidSimVariable, server.listen().c_str(), 1);
    server.start();
    for (const UsbDevice& d : enumerateUsbDevices(hidBackend())) {
      HandheldEntry e;
      e.usb = true;
      e.usbPath = d.path;
      configs.push_back(linkConfigOf(e));
    }
  }
  void TearDown() override { ::unsetenv(kHidSimVariable); }

  HandheldConnectResult connect(std::size_t device, std::optional<PasswordState> known = std::nullopt) {
    HandheldConnectOptions options;
    options.plantPassword = kPlant;
    options.knownPassword = known;
    return connectHandheld(link, configs.at(device), messages, PortMap{}, options);
  }

  sim::SimHidServer server;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  std::vector<LinkConfig> configs;
};

TEST_F(HandheldConnectTest, AKnownPasswordIsTheOnlyOneTriedAndARefusalLeavesNothingOpen) {
  // The batch's rule: a handheld found with the factory password gets only that one.
  ASSERT_EQ(configs.size(), 2u);
  HandheldConnectResult r = connect(0, PasswordState::Default);
  EXPECT_EQ(r.outcome, HandheldConnectResult::Outcome::Refused);
  EXPECT_FALSE(r.accepted);
  EXPECT_FALSE(link.isOpen());
  EXPECT_TRUE(prompt.texts().empty()) << "no Retry/Cancel for a refused password";
  EXPECT_TRUE(messages.flags.askOnFailure.load()) << "the failure prompt is on again";

  r = connect(1, PasswordState::Default);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.accepted, PasswordState::Default);
  EXPECT_EQ(readHandheldId(link, messages), "H002") << "the handheld obeys on the Link left open";

  std::size_t reports = server.outputReports().size();
  r = connect(0, PasswordState::Neither);
  EXPECT_EQ(r.outcome, HandheldConnectResult::Outcome::Refused);
  EXPECT_EQ(server.outputReports().size(), reports) << "another plant's handheld is not even opened";

  LinkConfig gone = configs[0];
  gone.usbPath = "/no/such/device";
  messages.flags.showLinkErrors = false;
  HandheldConnectOptions options;
  options.plantPassword = kPlant;
  EXPECT_EQ(connectHandheld(link, gone, messages, PortMap{}, options).outcome,
            HandheldConnectResult::Outcome::OpenFailed);
  EXPECT_FALSE(link.isOpen());
}

TEST(HandheldListOrder, IdsCompareAsUnsignedBytesUpToTheirFirstZero) {
  HandheldList list;
  for (std::string id : {std::string("\xE0" "AB1"), std::string("ZZ01"), std::string(), std::string("A\0Zq", 4),
                         std::string("A0")}) {
    HandheldEntry e;
    e.id = id;
    list.add(e);
  }
  list.sortById();
  std::vector<std::uint16_t> numbers;
  for (const auto& e : list.entries()) numbers.push_back(e.number);
  // "", "A" (cut at its zero byte), "A0", "ZZ01", then 0xE0 above every ASCII byte.
  EXPECT_EQ(numbers, (std::vector<std::uint16_t>{3, 4, 5, 2, 1}));
}

}  // namespace
}  // namespace cfg
