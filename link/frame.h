// Frames of the terminal protocol: layout, check bytes, validation.
//
// Main protocol, request and data reply:
//   SOH  address(2, "%02X")  STX  command(2) data(n)  ETX  check  CR
// Short reply (ACK or NAK): SOH address(2) ACK|NAK check CR, exactly 6 bytes.
// The check byte covers every byte before it. It is never SOH or CR, so a CR
// always ends a Frame.
//
// The plain-XOR variant (desk card reader) has the same layout with a plain
// XOR check byte. The binary packet variant (fingerprint module) is a 13-byte
// header [0x40, command, 9 parameter bytes, sum, LF]; when byte 1 is 20 the
// header announces a data block of the little-endian length in bytes 6-7 and
// the packet is 14 + length bytes, ending in LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cfg {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char ACK = 0x06;
inline constexpr char LF = 0x0A;
inline constexpr char CR = 0x0D;
inline constexpr char NAK = 0x15;
// Expected length of a request that takes any valid reply (polling's 04):
// an ACK or a data reply of any length; a NAK still fails the attempt.
inline constexpr int kAnyValidReply = -1;

inline constexpr std::uint8_t kPacketHead = 0x40;
inline constexpr std::uint8_t kPacketWithData = 20;
inline constexpr std::size_t kPacketHeaderLength = 13;

// "%02X" of a terminal address 0-255.
std::string addressText(unsigned address);

// SOH address STX command+data ETX ' ' CR; the blank is the check byte's place.
std::string buildRequest(std::string_view address, std::string_view commandAndData);

// Check byte of the main protocol over bytes 0 .. length-3: inverted XOR,
// 0x01 and 0x0D bumped to 0x02 and 0x0E.
std::uint8_t mainCheckByte(std::string_view frame);
// Plain XOR over bytes 0 .. length-3, 0x01 and 0x0D bumped.
std::uint8_t xorCheckByte(std::string_view frame);
// 8-bit sum of bytes 0 .. length-3.
std::uint8_t sumCheckByte(std::string_view frame);

// Write the check byte at position length-2. Frames shorter than 3 bytes are left alone.
void sealMain(std::string& frame);
void sealXor(std::string& frame);
void sealPacket(std::string& packet);

// n when bytes hold a valid reply of n bytes, -n otherwise (0 when empty).
// A reply shorter than 6 bytes is never valid.
int validateMain(std::string_view reply);
int validateXor(std::string_view reply);
// Binary packet: at least 13 bytes, byte 0 0x40, byte 12 or the last byte LF,
// byte 11 the sum of bytes 0-10 (the data block is not summed).
int validatePacket(std::string_view reply);

// True once a binary packet collected so far is complete: at least 13 bytes,
// and either byte 1 is not 20, or the data block announced in bytes 6-7 is in.
bool packetComplete(std::string_view received);

// 13-byte request packet with its sum and LF.
std::string buildPacket(std::uint8_t command, const std::uint8_t (&params)[9]);

}  // namespace cfg
