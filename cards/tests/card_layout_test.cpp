// Card layouts: checks of the holder data, labels and template areas.
#include <gtest/gtest.h>

#include <set>

#include "cards/card_forms.h"
#include "cards/card_layout.h"
#include "link/hex.h"

namespace cfg::cards {
namespace {

std::string dump(const std::array<Block, 3>& b) { return blockHex(b[0]) + " " + blockHex(b[1]) + " " + blockHex(b[2]); }

TEST(CardChecks, Crc16ArcAndCardValue) {
  EXPECT_EQ(crc16Arc("123456789"), 0xBB3D);
  // Stored low byte first, the CRC over data and CRC is 0.
  std::string data = "123456789";
  data += static_cast<char>(0x3D);
  data += static_cast<char>(0xBB);
  EXPECT_EQ(crc16Arc(data), 0);

  auto v = cardValue(std::string(64, '0'));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->size(), 8u);
  EXPECT_EQ(cardValue(std::string(63, '0')), std::nullopt);
  EXPECT_EQ(cardValue(std::string(63, '0') + "G"), std::nullopt);
  // Every input word counts: changing the last digit changes the value.
  EXPECT_NE(cardValue(std::string(63, '0') + "1"), v);
  // Lower and upper case digits are the same text.
  EXPECT_EQ(cardValue(std::string(56, '0') + "abcdef12"), cardValue(std::string(56, '0') + "ABCDEF12"));

  auto key = derivedKey("1A2B3C4D");
  ASSERT_TRUE(key);
  ASSERT_EQ(key->size(), 12u);
  EXPECT_EQ(key->substr(0, 2), "00");
  EXPECT_EQ(key->substr(10), "00");
  EXPECT_NE(derivedKey("1A2B3C4E"), key);
}

TEST(CardChecks, FormatAChecksCatchNamePlantAndSerial) {
  const std::string serial = "0A1B2C3D";
  HolderA h{1234, 7, 123456789, 65535, "ROSSI MARIO"};
  auto blocks = encodeA(h, serial);
  ASSERT_EQ(verifyA(blocks, serial), CheckA::Ok) << dump(blocks);
  // Byte layout: little-endian numbers, CRC low first, name split 5 + 15.
  EXPECT_EQ(blockHex(blocks[0]).substr(0, 18), "D204" "07" "15CD5B07" "FFFF") << dump(blocks);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(blocks[0].data() + 11), 5), "ROSSI");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(blocks[1].data()), 15), " MARIO         ");
  EXPECT_EQ(blocks[1][15], 0);
  EXPECT_EQ(blockHex(blocks[2]).substr(0, 16), std::string(16, '0'));
  HolderA back = decodeA(blocks);
  EXPECT_EQ(back.plant, 1234u);
  EXPECT_EQ(back.company, 7u);
  EXPECT_EQ(back.user, 123456789ul);
  EXPECT_EQ(back.info, 65535u);
  EXPECT_EQ(back.name, "ROSSI MARIO         ");

  // One name byte changed: checks 2 and 3 fail, the CRC still holds.
  auto renamed = blocks;
  renamed[1][3] ^= 0x20;
  ChecksA c = checksA(renamed, serial);
  EXPECT_TRUE(c.crc1);
  EXPECT_FALSE(c.check2);
  EXPECT_FALSE(c.check3);
  // A name byte of the first block too.
  renamed = blocks;
  renamed[0][12] = 'X';
  EXPECT_EQ(verifyA(renamed, serial), CheckA::Crc2);

  // The plant changed: check 1 fails first.
  auto moved = blocks;
  moved[0][0] ^= 0x01;
  EXPECT_EQ(verifyA(moved, serial), CheckA::Crc1);

  // Data copied to another card fails check 2.
  EXPECT_EQ(verifyA(blocks, "0A1B2C3E"), CheckA::Crc2);
  // Check 3 alone.
  auto third = blocks;
  third[2][15] ^= 0xFF;
  EXPECT_EQ(verifyA(third, serial), CheckA::Crc3);
}

TEST(CardChecks, FormatBCrcResidue) {
  HolderB h{200, 9999, "ABC", "BIANCHI", "12EF"};
  auto blocks = encodeB(h);
  EXPECT_EQ(blockHex(blocks[0]), "C8" "270F" "0000000ABC" "4249414E43484920") << blockHex(blocks[0]);
  EXPECT_EQ(blockHex(blocks[1]).substr(0, 28), "2020202020202020" "0000000012EF") << blockHex(blocks[1]);
  EXPECT_TRUE(verifyB(blocks));
  HolderB back = decodeB(blocks);
  EXPECT_EQ(back.type, 200u);
  EXPECT_EQ(back.plant, 9999u);
  EXPECT_EQ(back.code, "0000000ABC");
  EXPECT_EQ(back.name, "BIANCHI         ");
  EXPECT_EQ(back.data, "0000000012EF");
  for (std::size_t i = 0; i < 32; ++i) {
    auto bad = blocks;
    bad[i / 16][i % 16] ^= 0x10;
    EXPECT_FALSE(verifyB(bad)) << "byte " << i;
  }
}

TEST(CardLayout, LabelsAndTemplateAreas) {
  auto label = [](std::string_view text) {
    Block b{};
    for (std::size_t i = 0; i < text.size() && i < 16; ++i) b[i] = static_cast<std::uint8_t>(text[i]);
    return b;
  };
  auto l1 = parseLabel(label("VELMARINO 1k 001"));
  ASSERT_TRUE(l1);
  EXPECT_FALSE(l1->is4k);
  EXPECT_EQ(l1->version, '1');
  auto l4 = parseLabel(label("VELMARINO 4k 002"));
  ASSERT_TRUE(l4);
  EXPECT_TRUE(l4->is4k);
  EXPECT_EQ(l4->version, '2');
  EXPECT_FALSE(parseLabel(label("VELMARINO 1k 003")));
  EXPECT_FALSE(parseLabel(label("VELMARINO 2k 001")));
  EXPECT_EQ(templatesOffered(label("VELMARINO 4k 001"), Family::F4x), 5);
  EXPECT_EQ(templatesOffered(label("VELMARINO 4k 001"), Family::F3x), 1);
  EXPECT_EQ(templatesOffered(label("VELMARINO 1k 001"), Family::F4x), 1);

  auto three = templateBlocks(Family::F3x, 0);
  ASSERT_EQ(three.size(), 24u);
  EXPECT_EQ(three.front(), 32);
  EXPECT_EQ(three.back(), 62);
  std::set<int> used;
  for (int k = 0; k < 5; ++k) {
    auto blocks = templateBlocks(Family::F4x, k);
    ASSERT_EQ(blocks.size(), 24u) << k;
    EXPECT_EQ(blocks.front(), templateStarts(Family::F4x)[static_cast<std::size_t>(k)]);
    for (int b : blocks) {
      EXPECT_FALSE(isSectorTrailer(b)) << b;
      EXPECT_TRUE(used.insert(b).second) << "block " << b << " in two templates";
    }
  }
  EXPECT_EQ(templateBlocks(Family::F4x, 4).back(), 254);
  for (int t : {143, 159, 175, 191, 207, 223, 239, 35, 59, 91, 123}) EXPECT_TRUE(isSectorTrailer(t)) << t;
  EXPECT_TRUE(templateBlocks(Family::F3x, 1).empty());

  EXPECT_EQ(blockHex(recordAreaBlock(88)), "5431" + std::string(28, '0'));
  EXPECT_EQ(blockHex(formatBlock('B')), "42" + std::string(30, '0'));
}

TEST(CardForms, ChecksInOrderWithTheFieldToFocus) {
  HolderA a;
  FormCheck c = checkFormA({"10000", "100", "0", "70000", ""}, a);
  EXPECT_EQ(c.field, FormField::Plant);
  EXPECT_EQ(c.message, "Errore: impianto non valido (0-9999).");
  c = checkFormA({"0001", "12", "0", "0", ""}, a);
  EXPECT_EQ(c.field, FormField::User);
  EXPECT_EQ(c.message, "Errore: matricola non valida (1-999.999.999).");
  c = checkFormA({"0001", "12", "999999999", "65536", ""}, a);
  EXPECT_EQ(c.message, "Errore: info non valido (0-65535).");
  ASSERT_TRUE(checkFormA({"0001", "12", "999999999", "00000", "NOME"}, a).ok);
  EXPECT_EQ(a.user, 999999999ul);

  HolderB b;
  c = checkFormB({"1", "2", "abc", "", ""}, b);  // lower case is not taken
  EXPECT_EQ(c.field, FormField::Code);
  EXPECT_EQ(c.message, "Errore: codice non valido.");
  c = checkFormB({"1", "2", "ABC", "", "1234567890123"}, b);
  EXPECT_EQ(c.message, "Errore: dati non validi.");
  c = checkFormB({"256", "2", "ABC", "", ""}, b);
  EXPECT_EQ(c.message, "Errore: tipo non valido (0-255).");
  ASSERT_TRUE(checkFormB({"255", "9999", "ABC", "X", "F"}, b).ok);
  EXPECT_EQ(b.code, "0000000ABC");
  EXPECT_EQ(b.data, "00000000000F");
}

}  // namespace
}  // namespace cfg::cards
