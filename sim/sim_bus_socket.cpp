#include "sim/sim_bus_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace cfg::sim {

namespace {

std::system_error systemError(const char* what) { return std::system_error(errno, std::system_category(), what); }

}  // namespace

SimBusSocket::SimBusSocket(const char* folderPrefix, const char* socketName)
    : folderPrefix_(folderPrefix), socketName_(socketName) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) throw systemError("pipe");
  wakeRead_.reset(p[0]);
  wakeWrite_.reset(p[1]);
}

SimBusSocket::~SimBusSocket() {
  stop();
  listener_.reset();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

const std::string& SimBusSocket::listen() {
  if (listener_) return socketPath_;
  std::string pattern = std::string("/tmp/") + folderPrefix_ + "XXXXXX";
  if (!::mkdtemp(pattern.data())) throw systemError("mkdtemp");
  folder_ = pattern;
  socketPath_ = (folder_ / socketName_).string();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath_.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long");
  std::memcpy(addr.sun_path, socketPath_.data(), socketPath_.size());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) throw systemError("socket");
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) throw systemError("bind");
  if (::listen(fd.get(), 64) != 0) throw systemError("listen");
  listener_ = std::move(fd);
  return socketPath_;
}

void SimBusSocket::start(std::function<void()> loop) {
  if (running_) return;
  listen();
  // A stop before this one left the pipe readable.
  char drain[16];
  while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
  }
  running_ = true;
  thread_ = std::thread(std::move(loop));
}

bool SimBusSocket::stop() {
  if (!running_) return false;
  running_ = false;
  char b = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeWrite_.get(), &b, 1);
  thread_.join();
  return true;
}

}  // namespace cfg::sim
