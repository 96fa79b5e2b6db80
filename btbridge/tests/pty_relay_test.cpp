// The relay between a connection's stream and its pseudo-terminal, with a
// socket pair standing in for the RFCOMM socket; and the adapter library
// on a machine without a radio.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "btbridge/btbridge.h"
#include "btbridge/pty_relay.h"
#include "link/hex.h"

namespace btbridge {
namespace {

int openDescriptors() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') ++n;
  ::closedir(d);
  return n;
}

// Reads from fd until `want` bytes came or 3 s passed.
std::string readBytes(int fd, std::size_t want) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char b[4096];
    ssize_t n = ::read(fd, b, sizeof b);
    if (n > 0) got.append(b, static_cast<std::size_t>(n));
  }
  return got;
}

// Every byte value, a CR, LF and the terminal's special characters among them.
std::string allBytes(std::size_t size) {
  std::string s;
  for (std::size_t i = 0; i < size; ++i) s += static_cast<char>(i * 7 % 256);
  return s;
}

bool writeAll(int fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

TEST(PtyRelayTest, CarriesEveryByteBothWaysUntilThePeerClosesAndLeaksNothing) {
  int before = openDescriptors();
  {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    cfg::UniqueFd handheld(pair[0]), stream(pair[1]);
    int wake[2];
    ASSERT_EQ(::pipe2(wake, O_CLOEXEC), 0);
    cfg::UniqueFd wakeRead(wake[0]), wakeWrite(wake[1]);

    PtyRelay relay;
    ASSERT_TRUE(relay.open());
    EXPECT_EQ(relay.path(), "/dev/pts/" + std::to_string(relay.number()));
    auto running = std::async(std::launch::async, [&] { relay.run(stream.get(), wakeRead.get()); });

    // The program's side: the port as the serial Link opens it.
    cfg::UniqueFd port(::open(relay.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(port);
    termios t{};
    ASSERT_EQ(::tcgetattr(port.get(), &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u) << "raw: no line editing, no echo";

    // More than one pseudo-terminal buffer each way, every byte value unchanged.
    const std::string request = allBytes(10000);
    auto writer = std::async(std::launch::async, [&] { return writeAll(port.get(), request); });
    std::string got = readBytes(handheld.get(), request.size());
    ASSERT_TRUE(writer.get());
    EXPECT_EQ(got, request) << "first difference at "
                            << std::mismatch(got.begin(), got.end(), request.begin(), request.end()).first - got.begin();

    const std::string reply = "\x02" "0106" "\r\n\x03\x11\x13\x7F" + allBytes(9000);
    auto sender = std::async(std::launch::async, [&] { return writeAll(handheld.get(), reply); });
    got = readBytes(port.get(), reply.size());
    ASSERT_TRUE(sender.get());
    EXPECT_EQ(got.substr(0, 16), reply.substr(0, 16)) << cfg::hexDump(got.substr(0, 16));
    EXPECT_EQ(got, reply);

    // The handheld drops the connection: the relay ends by itself.
    handheld.reset();
    EXPECT_EQ(running.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  }
  EXPECT_EQ(openDescriptors(), before) << "socket, pipe, pseudo-terminal: all closed";
}

TEST(PtyRelayTest, TheStopEndsItEvenWhileThePortIsFull) {
  int before = openDescriptors();
  {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    cfg::UniqueFd handheld(pair[0]), stream(pair[1]);
    int wake[2];
    ASSERT_EQ(::pipe2(wake, O_CLOEXEC), 0);
    cfg::UniqueFd wakeRead(wake[0]), wakeWrite(wake[1]);
    PtyRelay relay;
    ASSERT_TRUE(relay.open());
    auto running = std::async(std::launch::async, [&] { relay.run(stream.get(), wakeRead.get()); });
    // Nobody reads the port: the relay waits for room, and still hears the stop.
    std::string flood(256 * 1024, 'x');
    ::fcntl(handheld.get(), F_SETFL, O_NONBLOCK);
    [[maybe_unused]] ssize_t sent = ::send(handheld.get(), flood.data(), flood.size(), MSG_NOSIGNAL);
    EXPECT_EQ(running.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(::write(wakeWrite.get(), "x", 1), 1);
    EXPECT_EQ(running.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  }
  EXPECT_EQ(openDescriptors(), before);
}

// No simulator and no adapter here: the library says "no radio" at once
// and a connection fails with a failure state instead of hanging.
TEST(BtBridgeNoRadioTest, SaysNoRadioAndFailsAConnectionCleanly) {
  const char* sim = std::getenv("CFG_BT_SIM");
  std::string saved = sim ? sim : "";
  ::unsetenv("CFG_BT_SIM");
  EXPECT_EQ(IsWidDeviceReady(), 0);
  const std::uint8_t address[6] = {0x00, 0x08, 0xE0, 0x00, 0x00, 0x01};
  ASSERT_EQ(CreateWidSppConnection(address, "COM port"), 0);
  std::int32_t port = -1, status = -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(25);
  while (WidSppConnected(&port, &status) == 0 && status == 0xFFFF && std::chrono::steady_clock::now() < deadline)
    ::poll(nullptr, 0, 20);
  EXPECT_GE(status, 1);
  EXPECT_LE(status, 5);
  EXPECT_EQ(port, 0);
  EXPECT_EQ(RemoveWidSppConnection(), 3) << "not connected";
  if (!saved.empty()) ::setenv("CFG_BT_SIM", saved.c_str(), 1);
}

}  // namespace
}  // namespace btbridge
