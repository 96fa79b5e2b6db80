// Hexadecimal helpers, check bytes and reply validation.
#include <gtest/gtest.h>

#include "link/frame.h"
#include "link/hex.h"

namespace cfg {
namespace {

TEST(Hex, PairsAcceptOnlyUpperCaseDigits) {
  EXPECT_EQ(hexPairToByte('4', '1'), 0x41);
  EXPECT_EQ(hexPairToByte('F', 'F'), 0xFF);
  EXPECT_EQ(hexPairToByte('4', 'a'), -1);
  EXPECT_EQ(hexPairToByte('G', '0'), -1);
  EXPECT_EQ(hexPairToByte(' ', '0'), -1);
  EXPECT_EQ(hexPairAt("A", 0), -1);   // too short: never reads past the text
  EXPECT_EQ(hexPairAt("0A", 1), -1);
  EXPECT_EQ(nibbleToChar(0x1C), 'C');
}

TEST(Hex, SixteenAndThirtyTwoBitsBothByteOrders) {
  EXPECT_EQ(hex4ToU16("12AB"), 0x12AB);
  EXPECT_EQ(hex4ToU16LowFirst("AB12"), 0x12AB);
  EXPECT_EQ(hex8ToU32("12345678"), 0x12345678u);
  EXPECT_EQ(hex8ToU32LowFirst("78563412"), 0x12345678u);
  EXPECT_EQ(u16ToHex4LowFirst(0x12AB), "AB12");
  EXPECT_FALSE(hex4ToU16("12a0").has_value());
  EXPECT_FALSE(hex8ToU32("1234567").has_value());
}

TEST(Hex, BitReverseTrimAndZeroFill) {
  EXPECT_EQ(bitReverse(0x01), 0x80);
  EXPECT_EQ(bitReverse(0xC5), 0xA3);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(bitReverse(bitReverse(static_cast<std::uint8_t>(v))), v);
  std::string s = "ABC   ";
  trimTrailingBlanks(s);
  EXPECT_EQ(s, "ABC");
  s = "   ";
  trimTrailingBlanks(s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(zeroFillRight("1F", 4), "001F");
  EXPECT_EQ(zeroFillRight("12345", 4), "12345");
}

TEST(Frame, RequestLayoutAndCheckByte) {
  std::string f = buildRequest(addressText(10), "28");
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f, std::string("\x01" "0A\x02" "28\x03 \r", 9));
  sealMain(f);
  std::uint8_t x = 0;
  for (int i = 0; i < 7; ++i) x ^= static_cast<std::uint8_t>(f[i]);
  EXPECT_EQ(static_cast<std::uint8_t>(f[7]), static_cast<std::uint8_t>(~x)) << hexDump(f);
  EXPECT_EQ(validateMain(f), 9);
}

// Inverted XOR 0x01 or 0x0D would look like SOH or CR on the line.
TEST(Frame, CheckByteNeverSohOrCr) {
  std::string soh = std::string("\xFE", 1) + " \r";  // ~0xFE = 0x01
  std::string cr = std::string("\xF2", 1) + " \r";   // ~0xF2 = 0x0D
  EXPECT_EQ(mainCheckByte(soh), 0x02);
  EXPECT_EQ(mainCheckByte(cr), 0x0E);
  // Plain XOR bumps the same two values.
  EXPECT_EQ(xorCheckByte(std::string("\x01 \r", 3)), 0x02);
  EXPECT_EQ(xorCheckByte(std::string("\x0D \r", 3)), 0x0E);

  // Hexadecimal text alone never gets there; free text with 8-bit characters
  // (a direct command) does.
  int bumped = 0;
  for (int a = 0; a < 256; ++a) {
    std::string f = buildRequest("00", std::string("05") + static_cast<char>(a));
    sealMain(f);
    std::uint8_t c = static_cast<std::uint8_t>(f[f.size() - 2]);
    EXPECT_NE(c, 0x01);
    EXPECT_NE(c, 0x0D);
    if (c == 0x02 || c == 0x0E) ++bumped;
  }
  EXPECT_GT(bumped, 0);
}

TEST(Frame, ReplyWithSohOrCrAsCheckByteIsRejected) {
  for (char bad : {'\x01', '\x0D'}) {
    std::string reply = std::string("\x01" "00\x06", 4) + bad + '\r';
    EXPECT_LT(validateMain(reply), 0) << hexDump(reply);
    EXPECT_LT(validateXor(reply), 0) << hexDump(reply);
  }
}

TEST(Frame, ValidationRejectsShortGarbledAndTruncatedReplies) {
  std::string ok = buildRequest("01", "3612AB");
  sealMain(ok);
  EXPECT_EQ(validateMain(ok), 13);
  EXPECT_EQ(validateMain(""), 0);
  EXPECT_EQ(validateMain(ok.substr(0, 12)), -12);         // no CR
  EXPECT_EQ(validateMain(std::string("\x01\x0D", 2)), -2);  // shorter than 6
  std::string flipped = ok;
  flipped[5] ^= 0x01;
  EXPECT_EQ(validateMain(flipped), -13);
  std::string noSoh = ok;
  noSoh[0] = 'X';
  EXPECT_EQ(validateMain(noSoh), -13);
  // The plain-XOR check is a different rule: a main Frame is not a valid XOR Frame.
  std::string x = buildRequest("01", "30");
  sealXor(x);
  EXPECT_EQ(validateXor(x), 9);
  EXPECT_LT(validateMain(x), 0);
}

TEST(Frame, BinaryPacketsHeaderSumDataBlockAndEnd) {
  const std::uint8_t params[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::string p = buildPacket(0x21, params);
  ASSERT_EQ(p.size(), 13u);
  EXPECT_EQ(static_cast<std::uint8_t>(p[11]), static_cast<std::uint8_t>(0x40 + 0x21 + 45));
  EXPECT_EQ(p[12], '\n');
  EXPECT_EQ(validatePacket(p), 13);
  EXPECT_TRUE(packetComplete(p));

  // A data packet: byte 1 is 20, bytes 6-7 the block length (little-endian).
  std::string d = p;
  d[1] = 20;
  d[6] = 3;
  d[7] = 0;
  d[11] = static_cast<char>(sumCheckByte(d));
  EXPECT_FALSE(packetComplete(d));
  d += std::string("abc\n");
  EXPECT_FALSE(packetComplete(d.substr(0, 16)));
  EXPECT_TRUE(packetComplete(d));
  EXPECT_EQ(validatePacket(d), 17);  // the data block is not summed

  std::string badHead = p;
  badHead[0] = 0x41;
  EXPECT_LT(validatePacket(badHead), 0);
  std::string badSum = p;
  badSum[11] ^= 1;
  EXPECT_LT(validatePacket(badSum), 0);
  EXPECT_LT(validatePacket(p.substr(0, 12)), 0);
}

}  // namespace
}  // namespace cfg
