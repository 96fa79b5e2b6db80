#include "link/frame.h"

#include "link/hex.h"

namespace cfg {

namespace {

std::uint8_t xorOf(std::string_view frame) {
  std::uint8_t x = 0;
  for (std::size_t i = 0; i + 2 < frame.size(); ++i) x ^= static_cast<std::uint8_t>(frame[i]);
  return x;
}

std::uint8_t bumpSohCr(std::uint8_t c) { return (c == 0x01 || c == 0x0D) ? c + 1 : c; }

void writeCheck(std::string& frame, std::uint8_t c) {
  if (frame.size() >= 3) frame[frame.size() - 2] = static_cast<char>(c);
}

int validateWith(std::string_view reply, std::uint8_t (*check)(std::string_view)) {
  int n = static_cast<int>(reply.size());
  if (n < 6) return -n;
  if (reply.front() != SOH || reply.back() != CR) return -n;
  if (static_cast<std::uint8_t>(reply[reply.size() - 2]) != check(reply)) return -n;
  return n;
}

}  // namespace

std::string addressText(unsigned address) { return byteToHex(static_cast<std::uint8_t>(address)); }

std::string buildRequest(std::string_view address, std::string_view commandAndData) {
  std::string f;
  f.reserve(address.size() + commandAndData.size() + 5);
  f += SOH;
  f += address;
  f += STX;
  f += commandAndData;
  f += ETX;
  f += ' ';
  f += CR;
  return f;
}

std::uint8_t mainCheckByte(std::string_view frame) {
  return bumpSohCr(static_cast<std::uint8_t>(~xorOf(frame)));
}

std::uint8_t xorCheckByte(std::string_view frame) { return bumpSohCr(xorOf(frame)); }

std::uint8_t sumCheckByte(std::string_view frame) {
  std::uint8_t s = 0;
  for (std::size_t i = 0; i + 2 < frame.size(); ++i) s = static_cast<std::uint8_t>(s + static_cast<std::uint8_t>(frame[i]));
  return s;
}

void sealMain(std::string& frame) { writeCheck(frame, mainCheckByte(frame)); }
void sealXor(std::string& frame) { writeCheck(frame, xorCheckByte(frame)); }
void sealPacket(std::string& packet) { writeCheck(packet, sumCheckByte(packet)); }

int validateMain(std::string_view reply) { return validateWith(reply, mainCheckByte); }
int validateXor(std::string_view reply) { return validateWith(reply, xorCheckByte); }

int validatePacket(std::string_view reply) {
  int n = static_cast<int>(reply.size());
  if (reply.size() < kPacketHeaderLength) return -n;
  if (static_cast<std::uint8_t>(reply[0]) != kPacketHead) return -n;
  if (reply[12] != LF && reply.back() != LF) return -n;
  if (static_cast<std::uint8_t>(reply[11]) != sumCheckByte(reply.substr(0, kPacketHeaderLength))) return -n;
  return n;
}

bool packetComplete(std::string_view received) {
  if (received.size() < kPacketHeaderLength) return false;
  if (static_cast<std::uint8_t>(received[1]) != kPacketWithData) return true;
  std::size_t length = static_cast<std::uint8_t>(received[6]) | static_cast<std::uint8_t>(received[7]) << 8;
  // The terminal sends exactly 14 + length bytes; more in one read also ends the wait.
  return received.size() >= 14 + length;
}

std::string buildPacket(std::uint8_t command, const std::uint8_t (&params)[9]) {
  std::string p(kPacketHeaderLength, '\0');
  p[0] = static_cast<char>(kPacketHead);
  p[1] = static_cast<char>(command);
  for (int i = 0; i < 9; ++i) p[2 + i] = static_cast<char>(params[i]);
  p[12] = LF;
  sealPacket(p);
  return p;
}

}  // namespace cfg
