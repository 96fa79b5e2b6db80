#include "link/serial_transport.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>

#include "link/tcp_transport.h"

namespace cfg {

namespace {

bool speedConstant(std::uint32_t speed, speed_t& out) {
  switch (speed) {
    case 1200: out = B1200; return true;
    case 2400: out = B2400; return true;
    case 4800: out = B4800; return true;
    case 9600: out = B9600; return true;
    case 19200: out = B19200; return true;
    case 38400: out = B38400; return true;
    default: return false;
  }
}

}  // namespace

bool SerialTransport::open(LinkConfig& config, std::string& error) {
  close();
  const SerialOpenFailure failure(devicePath_, config.portName);
  auto fail = [&](const std::string& message, const std::string& cause) { return failure(error, message, cause); };
  const std::string& portMessage = failure.portMessage();
  const std::string stateMessage = SerialOpenFailure::kStateMessage;
  UniqueFd fd(::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return fail(portMessage, std::system_category().message(errno));
  // Another program holding the port must make this open fail, not share it.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
    return fail(portMessage, std::system_category().message(errno == EWOULDBLOCK ? EBUSY : errno));
  termios tio{};
  speed_t speed;
  if (::tcgetattr(fd.get(), &tio) != 0) return fail(stateMessage, std::system_category().message(errno));
  if (!speedConstant(config.speed, speed))
    return fail(stateMessage, "velocita` " + std::to_string(config.speed) + " non ammessa");
  original_ = tio;
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) return fail(stateMessage, std::system_category().message(errno));
  restoreTermios_ = true;
  ::ioctl(fd.get(), TIOCEXCL);
  int dtr = TIOCM_DTR;
  ::ioctl(fd.get(), TIOCMBIS, &dtr);  // a pseudo-terminal has no modem lines: not an error

  if (config.rs485) {
    // The kernel drives RTS as the converter's direction line while sending.
    // Ports without RS-485 mode (and pseudo-terminals) refuse it: no effect.
    serial_rs485 rs{};
    if (::ioctl(fd.get(), TIOCGRS485, &rs) == 0) {
      originalRs485_ = rs;
      rs.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
      rs.flags &= ~SER_RS485_RTS_AFTER_SEND;
      if (::ioctl(fd.get(), TIOCSRS485, &rs) == 0) restoreRs485_ = true;
    }
  }
  speed_ = config.speed;
  fd_ = std::move(fd);
  return true;
}

void SerialTransport::close() {
  if (!fd_) return;
  if (restoreRs485_) ::ioctl(fd_.get(), TIOCSRS485, &originalRs485_);
  if (restoreTermios_) ::tcsetattr(fd_.get(), TCSANOW, &original_);
  ::ioctl(fd_.get(), TIOCNXCL);
  restoreRs485_ = restoreTermios_ = false;
  fd_.reset();
}

int SerialTransport::send(std::string_view bytes) {
  if (!fd_) return 0;
  std::size_t sent = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(1000);
  while (sent < bytes.size()) {
    ssize_t n = ::write(fd_.get(), bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && (pollUntil(fd_.get(), POLLOUT, millisecondsUntil(deadline)) & POLLOUT))
      continue;
    break;
  }
  ::tcdrain(fd_.get());  // the whole Frame is on the line before the reply is awaited
  return static_cast<int>(sent);
}

int SerialTransport::readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
  if (!fd_) return -1;
  for (;;) {
    ssize_t n = ::read(fd_.get(), buffer, capacity);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return -1;  // device gone (EIO on a hung-up line)
    int left = millisecondsUntil(deadline);
    if (left <= 0) return 0;
    short ev = pollUntil(fd_.get(), POLLIN, left);
    if (ev == 0) return 0;
    if ((ev & (POLLHUP | POLLERR | POLLNVAL)) && !(ev & POLLIN)) return -1;
  }
}

void SerialTransport::discardInput() {
  if (fd_) ::tcflush(fd_.get(), TCIFLUSH);
}

}  // namespace cfg
