// Windows COM ports. The port is opened by name in the device namespace,
// not shared, with 1024-byte driver buffers, the line settings below and
// the timeouts: reads return what the driver holds, writes give up after
// 5 s. A receive asks the driver how many bytes wait and reads just those,
// looking again every 20 ms until the deadline.
#include "link/serial_transport.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/os_handle.h"
#include "platform/win32/win32_text.h"

namespace cfg {

namespace {

constexpr DWORD kDriverBuffer = 1024;
constexpr int kIdleMs = 20;

bool allowedSpeed(std::uint32_t speed) {
  switch (speed) {
    case 1200: case 2400: case 4800: case 9600: case 19200: case 38400: return true;
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

  // Not shared: another program holding the port makes this open fail.
  // No security attributes: a started program does not inherit the port.
  OsHandle h(::CreateFileW(win32::wideFromUtf8(devicePath_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return fail(portMessage, win32::errorText(::GetLastError()));
  if (!allowedSpeed(config.speed))
    return fail(stateMessage, "velocita` " + std::to_string(config.speed) + " non ammessa");
  ::SetCommMask(h.get(), 0);
  ::SetupComm(h.get(), kDriverBuffer, kDriverBuffer);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 5000;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 5000;
  ::SetCommTimeouts(h.get(), &timeouts);

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h.get(), &dcb)) return fail(stateMessage, win32::errorText(::GetLastError()));
  dcb.BaudRate = config.speed;
  dcb.fBinary = TRUE;
  dcb.fParity = TRUE;
  dcb.Parity = NOPARITY;
  dcb.ByteSize = 8;
  dcb.StopBits = ONESTOPBIT;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  // RTS is raised while the driver transmits: an RS-485 converter's
  // direction line follows the sending by itself.
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.XonLim = 100;
  dcb.XoffLim = 100;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.EvtChar = 13;
  if (!::SetCommState(h.get(), &dcb)) {
    // Drivers without the toggle mode (virtual ports) still take the rest.
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::SetCommState(h.get(), &dcb)) return fail(stateMessage, win32::errorText(::GetLastError()));
  }
  ::PurgeComm(h.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  speed_ = config.speed;
  handle_ = std::move(h);
  return true;
}

void SerialTransport::close() { handle_.reset(); }

int SerialTransport::send(std::string_view bytes) {
  if (!handle_) return 0;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - sent, 0x10000));
    if (!::WriteFile(handle_.get(), bytes.data() + sent, want, &n, nullptr) || n == 0) break;
    sent += n;
  }
  // The whole Frame is on the line before the reply is awaited.
  ::FlushFileBuffers(handle_.get());
  return static_cast<int>(sent);
}

int SerialTransport::readSome(char* buffer, std::size_t capacity, Clock::time_point deadline) {
  if (!handle_) return -1;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle_.get(), &errors, &status)) return -1;  // the port went away
    if (status.cbInQue > 0 && capacity > 0) {
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, capacity));
      DWORD n = 0;
      if (!::ReadFile(handle_.get(), buffer, want, &n, nullptr)) return -1;
      if (n > 0) return static_cast<int>(n);
    }
    int left = millisecondsUntil(deadline);
    if (left <= 0) return 0;
    ::Sleep(static_cast<DWORD>(std::min(left, kIdleMs)));
  }
}

void SerialTransport::discardInput() {
  if (handle_) ::PurgeComm(handle_.get(), PURGE_RXCLEAR);
}

}  // namespace cfg
