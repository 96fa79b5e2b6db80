// libbtbridge against termsim's simulated radio, called through its exports
// exactly as the program calls them.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "btbridge/btbridge.h"
#include "link/frame.h"
#include "link/hex.h"
#include "sim/sim_bt.h"
#include "sim/sim_terminal.h"

namespace cfg {
namespace {

const std::uint8_t kSerialPort[16] = {0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x10, 0x00,
                                      0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

template <typename F>
bool pollUntil(F done, int limitMs = 10000) {
  for (int waited = 0; waited < limitMs; waited += 20) {
    if (done()) return true;
    ::poll(nullptr, 0, 20);
  }
  return false;
}

class BtBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.addHandheld(*sim::parseBtAddress("00:08:E0:00:00:01"), "H001", std::nullopt, "SPP140", "COM port");
    server.addHandheld(*sim::parseBtAddress("00:A0:96:00:00:02"), "H002", std::nullopt, "HND \xC3\xA8", std::nullopt);
    server.addHandheld(*sim::parseBtAddress("00:08:E0:00:00:01"), "H001", std::nullopt, "SPP140", "COM port");
    ::setenv("CFG_BT_SIM", server.listen().c_str(), 1);
    server.start();
  }
  void TearDown() override { ::unsetenv("CFG_BT_SIM"); }
  sim::SimBtServer server;
};

TEST_F(BtBridgeTest, InquiryStoresEachDeviceOnceInItsRecord) {
  ASSERT_NE(IsWidDeviceReady(), 0);
  ASSERT_NE(StartWidInquiry(), 0);
  ASSERT_TRUE(pollUntil([] { return WidInquiryComplete() != 0; }));
  std::vector<std::uint8_t> records(BTBRIDGE_MAX_DEVICES * BTBRIDGE_DEVICE_RECORD_SIZE, 0xAA);
  ASSERT_EQ(GetWidBthDevices(records.data()), 2) << "the device reported twice is stored once";

  // Size 560, the address most significant first at 8, class 0, the name in UTF-16 at 64; nothing else.
  std::string expected(BTBRIDGE_DEVICE_RECORD_SIZE, '\0');
  expected[0] = '\x30';
  expected[1] = '\x02';
  const char address[] = {0x00, static_cast<char>(0xA0), static_cast<char>(0x96), 0x00, 0x00, 0x02};
  expected.replace(8, 6, address, 6);
  const char16_t name[] = u"HND \u00E8";
  for (std::size_t i = 0; i < 5; ++i) {
    expected[64 + 2 * i] = static_cast<char>(name[i] & 0xFF);
    expected[64 + 2 * i + 1] = static_cast<char>(name[i] >> 8);
  }
  std::string got(reinterpret_cast<const char*>(records.data()) + BTBRIDGE_DEVICE_RECORD_SIZE,
                  BTBRIDGE_DEVICE_RECORD_SIZE);
  EXPECT_EQ(got, expected) << "got:\n" << hexDump(got) << "expected:\n" << hexDump(expected);
  EXPECT_EQ(records[2 * BTBRIDGE_DEVICE_RECORD_SIZE], 0xAA) << "nothing written past the devices found";

  // A device without serial-port records: 0 records and an empty name.
  char service[BTBRIDGE_SERVICE_NAME_SIZE];
  std::memset(service, 'x', sizeof service);
  ASSERT_NE(StartWidDiscovery(records.data() + BTBRIDGE_DEVICE_RECORD_SIZE + 8, kSerialPort), 0);
  std::int32_t count = -1;
  ASSERT_TRUE(pollUntil([&] { return WidDiscoveryComplete(&count) != 0; }));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(GetWidSppServiceName(records.data() + BTBRIDGE_DEVICE_RECORD_SIZE + 8, kSerialPort, service), 0);
  EXPECT_STREQ(service, "");

  // The handheld: its service found twice (it answers for both reports of it).
  ASSERT_NE(StartWidDiscovery(records.data() + 8, kSerialPort), 0);
  ASSERT_TRUE(pollUntil([&] { return WidDiscoveryComplete(&count) != 0; }));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(GetWidSppServiceName(records.data() + 8, kSerialPort, service), 2);
  EXPECT_STREQ(service, "COM port");
}

TEST_F(BtBridgeTest, ConnectionBridgesTheHandheldToAPseudoTerminal) {
  const std::uint8_t address[6] = {0x00, 0x08, 0xE0, 0x00, 0x00, 0x01};
  ASSERT_EQ(CreateWidSppConnection(address, "COM port"), 0);
  std::int32_t port = -1, status = -1;
  EXPECT_EQ(WidSppConnected(&port, &status), 0);
  EXPECT_EQ(status, 0xFFFF) << "connecting";
  EXPECT_EQ(port, 0);
  ASSERT_TRUE(pollUntil([&] { return WidSppConnected(&port, &status) != 0; }));
  EXPECT_EQ(status, 0);
  EXPECT_NE(IsWidRemoteDeviceConnected(address), 0);

  // The handheld greets, then answers the default password with ACK.
  ASSERT_GE(port, 1) << "COM ports count from 1";
  std::string path = "/dev/pts/" + std::to_string(port - 1);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  std::string request = buildRequest("01", "3A3538323033373136");
  request[request.size() - 2] = static_cast<char>(mainCheckByte(request));
  ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string got;
  pollUntil([&] {
    char b[256];
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0) {
      ssize_t n = ::read(fd, b, sizeof b);
      if (n > 0) got.append(b, static_cast<std::size_t>(n));
    }
    return got.size() >= 6 && got.back() == '\r' && got.find('\x06') != std::string::npos;
  }, 3000);
  ::close(fd);
  std::string ack = sim::ackFrame(1);
  ASSERT_GE(got.size(), ack.size());
  EXPECT_EQ(got.substr(got.size() - ack.size()), ack) << hexDump(got);

  EXPECT_EQ(RemoveWidSppConnection(), 0);
  EXPECT_EQ(RemoveWidSppConnection(), 1) << "no connection object any more";
  EXPECT_EQ(IsWidRemoteDeviceConnected(address), 0);
}

TEST(BtBridgeSdkTest, CloseWithoutInitSaysSoAndDoesNothingElse) {
  testing::internal::CaptureStderr();
  sdk_close();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "sdk_close - sdk_init mismatch!\n");
  sdk_init();
  sdk_init();
  testing::internal::CaptureStderr();
  sdk_close();
  sdk_close();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  sdk_close();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "sdk_close - sdk_init mismatch!\n");
}

}  // namespace
}  // namespace cfg
