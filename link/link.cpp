#include "link/link.h"

#include "link/bt_system.h"
#include "link/bt_vendor.h"
#include "link/frame.h"
#include "link/serial_transport.h"
#include "link/tcp_transport.h"
#include "link/usb_transport.h"

namespace cfg {

namespace {

std::unique_ptr<Transport> makeTransport(const LinkConfig& config, const PortMap& ports) {
  switch (linkKindOf(config)) {
    case LinkKind::Tcp:
      return std::make_unique<TcpTransport>();
    case LinkKind::SystemBluetooth:
      return std::make_unique<BtSocketTransport>(btSystemStack());
    case LinkKind::Usb:
      return std::make_unique<UsbTransport>(hidBackend());
    case LinkKind::VendorBluetooth:
      return std::make_unique<VendorBtTransport>();
    case LinkKind::Serial:
      break;
  }
  return std::make_unique<SerialTransport>(ports.devicePath(config.portName));
}

}  // namespace

Link::~Link() { close(); }

bool Link::open(const Messages& messages, const PortMap& ports) {
  return openWith(makeTransport(config, ports), messages);
}

bool Link::openWith(std::unique_ptr<Transport> transport, const Messages& messages) {
  close();
  std::string error;
  if (!transport->open(config, error)) {
    transport->close();
    messages.linkError(error);
    return false;
  }
  transport_ = std::move(transport);
  echoLength_ = 0;
  if (transport_->kind() == LinkKind::Tcp || transport_->kind() == LinkKind::SystemBluetooth) {
    // The terminal greets every new connection with one line; drop it.
    std::string greeting;
    receiveTextLine(greeting, 100, 300);
  }
  return true;
}

void Link::close() {
  if (transport_) transport_->close();
  transport_.reset();
  echoLength_ = 0;
}

bool Link::isOpen() const { return transport_ && transport_->isOpen(); }

int Link::send(std::string_view bytes) {
  if (!transport_) return 0;
  transport_->discardInput();
  int n = transport_->send(bytes);
  if (trace) trace->sent(transport_->kind(), bytes.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0));
  if (transport_->removesEcho()) echoLength_ = n > 0 ? static_cast<std::size_t>(n) : 0;
  return n;
}

int Link::collect(std::string& out, std::size_t capacity, int timeoutMs, End end) {
  out.clear();
  if (!transport_) return 0;
  bool echo = config.echo && transport_->removesEcho();
  std::size_t skip = echo ? echoLength_ : 0;
  int extra = transport_->extraWaitMs();
  if (end == End::Prompt && config.modem && transport_->kind() == LinkKind::Serial) extra += 3000;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs + extra);

  // The echo never counts against the caller's capacity, and an end byte
  // inside the echo does not end the wait.
  auto done = [&](std::string_view r) {
    if (r.size() <= skip) return false;
    char last = r.back();
    switch (end) {
      case End::FrameCr:
        return last == CR;
      case End::TextLine:
        return last == LF && r.size() > (echo ? skip : 2);
      case End::Prompt:
        return last == '?' || last == ACK || last == NAK;
      case End::Packet:
        return packetComplete(r.substr(skip));
    }
    return false;
  };
  transport_->collect(out, capacity + skip, deadline, done);
  if (trace && !out.empty()) trace->received(transport_->kind(), out);
  if (skip) out.erase(0, std::min(skip, out.size()));
  return static_cast<int>(out.size());
}

int Link::receiveFrame(std::string& reply, std::size_t capacity, int timeoutMs) {
  collect(reply, capacity, timeoutMs, End::FrameCr);
  return validateMain(reply);
}

int Link::receiveXorFrame(std::string& reply, std::size_t capacity, int timeoutMs) {
  collect(reply, capacity, timeoutMs, End::FrameCr);
  return validateXor(reply);
}

int Link::receivePacket(std::string& reply, std::size_t capacity, int timeoutMs) {
  collect(reply, capacity, timeoutMs, End::Packet);
  return validatePacket(reply);
}

int Link::receiveTextLine(std::string& text, std::size_t capacity, int timeoutMs) {
  return collect(text, capacity, timeoutMs, End::TextLine);
}

int Link::receiveUntilPrompt(std::string& text, std::size_t capacity, int timeoutMs) {
  return collect(text, capacity, timeoutMs, End::Prompt);
}

}  // namespace cfg
