// The Windows platform files against the system's own calls.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/archive_settings.h"
#include "app/instance_lock.h"
#include "app/terminal_lock.h"
#include "app/text_1252.h"
#include "automation/process.h"
#include "link/serial_transport.h"
#include "link/tcp_transport.h"
#include "records/append_line.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A listener on 127.0.0.1 that greets, takes one request and answers it.
class OneShotServer {
 public:
  OneShotServer() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 1);
    int len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~OneShotServer() {
    if (thread_.joinable()) thread_.join();
    ::closesocket(listener_);
    ::WSACleanup();
  }
  std::uint16_t port() const { return port_; }
  // Greets, reads `requestSize` bytes, answers, then hangs up.
  void serve(std::size_t requestSize, std::string reply) {
    thread_ = std::thread([this, requestSize, reply] {
      SOCKET c = ::accept(listener_, nullptr, nullptr);
      ::send(c, "ORBITA TCP\r\n", 12, 0);
      char buffer[256];
      while (request_.size() < requestSize) {
        int n = ::recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request_.append(buffer, static_cast<std::size_t>(n));
      }
      ::send(c, reply.data(), static_cast<int>(reply.size()), 0);
      ::closesocket(c);
    });
  }
  std::string request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::string request_;
};

LinkConfig tcpConfig(std::uint16_t port) {
  LinkConfig c;
  c.tcp = true;
  c.ipNetworkOrder = ipv4NetworkOrder(127, 0, 0, 1);
  c.tcpPort = port;
  return c;
}

TEST(Win32Transports, TcpCarriesEveryByteAndAHangUpEndsTheWaitAtOnce) {
  OneShotServer server;
  std::string request;
  for (int i = 0; i < 256; ++i) request += static_cast<char>(i);
  server.serve(request.size(), std::string("\x00\xFF\r\x80", 4));
  LinkConfig config = tcpConfig(server.port());
  TcpTransport tcp(2000);
  std::string error;
  ASSERT_TRUE(tcp.open(config, error)) << error;
  EXPECT_EQ(tcp.send(request), 256);
  std::string got;
  char buffer[64];
  auto deadline = Clock::now() + std::chrono::seconds(5);
  int n;
  while ((n = tcp.readSome(buffer, sizeof buffer, deadline)) > 0) got.append(buffer, static_cast<std::size_t>(n));
  EXPECT_EQ(got, std::string("ORBITA TCP\r\n\x00\xFF\r\x80", 16));
  EXPECT_EQ(n, -1);  // the terminal hung up: not a wait until the deadline
  EXPECT_LT(Clock::now(), deadline - std::chrono::seconds(3));
  EXPECT_EQ(server.request(), request);
  tcp.close();
  EXPECT_FALSE(tcp.isOpen());
}

TEST(Win32Transports, RefusedConnectionAndMissingPortSayWhichAndWhy) {
  std::uint16_t port;
  {
    OneShotServer closed;  // a port nobody listens on once it is gone
    port = closed.port();
  }
  LinkConfig config = tcpConfig(port);
  TcpTransport tcp(2000);
  std::string error;
  EXPECT_FALSE(tcp.open(config, error));
  EXPECT_EQ(error.rfind("Error: connect failed.\n127.0.0.1:" + std::to_string(port) + ": ", 0), 0u) << error;
  EXPECT_FALSE(tcp.isOpen());

  LinkConfig serial;
  serial.portName = "COM231";
  SerialTransport port231("\\\\.\\COM231");
  EXPECT_FALSE(port231.open(serial, error));
  EXPECT_EQ(error.rfind("ATTENZIONE! Porta seriale COM231 non presente o gia` assegnata.\nCOM231 = \\\\.\\COM231: ", 0), 0u)
      << error;
}

TEST(Win32Files, ArchiveAppendIsExclusiveAllOrNothingAndNamedInCodePage1252) {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages(prompt);
  // A copy's name as stored in acqreg.dat, in Windows-1252: "copia è.txt".
  std::filesystem::path copy = archivePathOnDisk(utf8ToCp1252(utf8FromPath(dir.path())) + "\\copia \xE8.txt");
  EXPECT_EQ(copy.filename().native(), L"copia \u00E8.txt");
  std::filesystem::path fixed = dir / "file_reg.txt";

  ArchiveAppend first;
  first.add(fixed, "0001 A\r\n");
  first.add(copy, "0001 B\r\n");
  std::string failure;
  ASSERT_TRUE(first.commit(messages, failure)) << failure;
  EXPECT_EQ(fileBytes(fixed), "0001 A\r\n");
  EXPECT_EQ(fileBytes(copy), "0001 B\r\n");

  // Another program holds the copy: nothing of the record is written.
  HANDLE other = ::CreateFileW(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ArchiveAppend second;
  second.add(dir / "file_new.txt", "0002 N\r\n");
  second.add(fixed, "0002 A\r\n");
  second.add(copy, "0002 B\r\n");
  EXPECT_FALSE(second.commit(messages, failure));
  EXPECT_NE(failure.find("file in uso da un altro programma"), std::string::npos) << failure;
  EXPECT_EQ(fileBytes(fixed), "0001 A\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "file_new.txt"));  // created for the record, removed again
  ::CloseHandle(other);
  EXPECT_TRUE(second.commit(messages, failure)) << failure;
  EXPECT_EQ(fileBytes(copy), "0001 B\r\n0002 B\r\n");

  // Two names of one file get the lines once each, in one write.
  ArchiveAppend twice;
  twice.add(fixed, "0003 A\r\n");
  twice.add(dir.path() / "." / "FILE_REG.TXT", "0003 C\r\n");
  EXPECT_TRUE(twice.commit(messages, failure)) << failure;
  EXPECT_EQ(fileBytes(fixed), "0001 A\r\n0002 A\r\n0003 A\r\n0003 C\r\n");
}

TEST(Win32Locks, MailslotAndTerminalLocksAdmitOneHolder) {
  std::filesystem::path slot = pathFromUtf8("\\\\.\\mailslot\\orbita-test-" + std::to_string(::GetCurrentProcessId()));
  InstanceLock first, second;
  EXPECT_TRUE(first.acquire(slot));
  EXPECT_FALSE(second.acquire(slot));
  first.release();
  EXPECT_TRUE(second.acquire(slot));

  test::TempDir dir;
  TerminalLock a, b;
  EXPECT_EQ(a.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Held);
  EXPECT_EQ(b.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Busy);
  a.release();
  EXPECT_EQ(b.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Held);
  EXPECT_TRUE(std::filesystem::exists(dir / "terminale-0012.lck"));  // never deleted
}

TEST(Win32Processes, ExitCodeIsPolledAndAMissingProgramIsRefused) {
  ChildProcess child;
  std::string error;
  ASSERT_TRUE(child.start("cmd /c \"exit 7\"", &error)) << error;
  auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!child.ended() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(child.running());
  EXPECT_EQ(child.exitStatus(), 7);

  ChildProcess missing;
  EXPECT_FALSE(missing.start("programma-che-non-esiste-xyz.exe", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(missing.running());
}

}  // namespace
}  // namespace cfg
