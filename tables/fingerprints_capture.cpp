#include "tables/fingerprints_capture.h"

#include <array>
#include <chrono>
#include <thread>

#include "link/frame.h"
#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr int kShortMs = 750;
constexpr int kFingerMs = 6500;
constexpr std::size_t kPacketCapacity = 64;
constexpr std::size_t kTemplateCapacity = 512;
constexpr int kTemplateReply = 14 + 384;
constexpr std::uint8_t kRead = 0x03, kWrite = 0x01, kSave = 0x02, kStart = 0x17, kScan = 0x05, kTemplate = 0x14;

struct Parameter {
  std::uint8_t code;
  std::uint8_t wanted;
};
constexpr std::array<Parameter, 7> kParameters{{{'b', '5'}, {'e', '2'}, {'g', '0'}, {'u', '0'}, {'w', '0'}, {0x82, '0'}, {0x84, '0'}}};

class Module {
 public:
  Module(Link& link, const Messages& messages) : link_(link), messages_(messages) {}
  // The reply, or nothing when the transaction failed.
  std::optional<std::string> packet(std::uint8_t command, std::array<std::uint8_t, 9> params, int timeoutMs,
                                    int expected = 13, std::size_t capacity = kPacketCapacity) {
    std::uint8_t p[9];
    for (int i = 0; i < 9; ++i) p[i] = params[static_cast<std::size_t>(i)];
    std::string request = buildPacket(command, p);
    std::string reply;
    if (!transactPacket(link_, messages_, request, reply, capacity, timeoutMs, expected)) return std::nullopt;
    return reply;
  }

 private:
  Link& link_;
  const Messages& messages_;
};

std::uint8_t at(const std::string& reply, std::size_t i) {
  return i < reply.size() ? static_cast<std::uint8_t>(reply[i]) : 0;
}

// Byte 10 of a packet's parameters (params index 8); byte 6 is index 4.
std::array<std::uint8_t, 9> params10(std::uint8_t byte10, std::uint8_t byte6 = 0) {
  std::array<std::uint8_t, 9> p{};
  p[4] = byte6;
  p[8] = byte10;
  return p;
}

CaptureEnd run(Worker& worker, Link& link, const Messages& messages, const ReopenFast& reopenFast, int scale,
               std::string& digits) {
  worker.refresh(kCaptureConnecting);
  std::string wake = buildRequest(link.config.address, "00");
  std::string reply;
  if (!transactXor(link, messages, wake, reply, 256, kShortMs, 9)) return CaptureEnd::Failed;
  if (!link.config.tcp && !reopenFast(link)) return CaptureEnd::Failed;
  if (worker.stopRequested()) return CaptureEnd::Stopped;

  Module module(link, messages);
  bool written = false;
  for (const Parameter& p : kParameters) {
    auto r = module.packet(kRead, params10(p.code), kShortMs);
    if (!r || at(*r, 10) != p.code) return CaptureEnd::Failed;
    if (at(*r, 6) != p.wanted) {
      auto w = module.packet(kWrite, params10(p.code, p.wanted), kShortMs);
      if (!w || at(*w, 10) != p.code) return CaptureEnd::Failed;
      written = true;
    }
    if (worker.stopRequested()) return CaptureEnd::Stopped;
  }
  if (written && !module.packet(kSave, {}, kShortMs)) return CaptureEnd::Failed;

  for (;;) {
    if (!module.packet(kStart, {}, kShortMs)) return CaptureEnd::Failed;
    worker.refresh(kCapturePlaceFinger);
    for (;;) {
      if (worker.stopRequested()) return CaptureEnd::Stopped;
      auto r = module.packet(kScan, params10(0x79), kFingerMs);
      if (!r) return CaptureEnd::Failed;
      if (at(*r, 10) == 'a') break;
    }
    worker.refresh(kCaptureLiftFinger);
    if (worker.pause(2000 / scale)) return CaptureEnd::Stopped;
    worker.refresh(kCapturePlaceAgain);
    auto second = module.packet(kScan, {}, kFingerMs);
    if (!second) return CaptureEnd::Failed;
    if (at(*second, 10) != 'a') {
      worker.refresh(kCaptureError);
      if (worker.pause(2000 / scale)) return CaptureEnd::Stopped;
      continue;
    }
    worker.refresh(kCaptureWait);
    std::array<std::uint8_t, 9> ask{};
    ask[0] = 1;  // byte 2
    auto t = module.packet(kTemplate, ask, kShortMs, kTemplateReply, kTemplateCapacity);
    if (!t) return CaptureEnd::Failed;
    if (at(*t, 10) != 'a') continue;
    digits = bytesToHex(std::string_view(*t).substr(13, 384));
    return CaptureEnd::Captured;
  }
}

}  // namespace

CaptureResult captureFingerprint(Worker& worker, Link& link, const Messages& messages, const ReopenFast& reopenFast,
                                 int pauseScale) {
  CaptureResult result;
  const int scale = pauseScale < 1 ? 1 : pauseScale;
  result.end = run(worker, link, messages, reopenFast, scale, result.digits);
  if (result.end != CaptureEnd::Captured) result.digits.clear();
  // The module's session always ends with "+++" and a second's rest, also
  // when the user stopped the capture: the desk reader needs it before it
  // takes Frames again.
  if (link.isOpen()) link.send("+++");
  std::this_thread::sleep_for(std::chrono::milliseconds(1000 / scale));
  return result;
}

}  // namespace cfg
