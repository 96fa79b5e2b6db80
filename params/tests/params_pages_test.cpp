// The page table: where every setting lives, and what each page accepts.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "params/pages.h"
#include "params/transfer.h"

namespace cfg {
namespace {

const ParamModel kModels[] = {ParamModel::P1, ParamModel::P2, ParamModel::K2, ParamModel::K3,
                              ParamModel::K4, ParamModel::K5, ParamModel::Hnd};

std::size_t width(const Field& f) {
  switch (f.encoding) {
    case Encoding::Word16:
    case Encoding::Time: return 2;
    case Encoding::Bcd: return static_cast<std::size_t>(f.arg);
    case Encoding::Text: return kBlockSizes[static_cast<std::size_t>(f.block)];
    default: return 1;
  }
}

// Every byte a field uses is one the model transfers, never the terminal's
// address and speed, and never shared except by the check boxes of one
// byte's bits or the buttons that pick one value of a byte.
TEST(PageTable, EveryFieldLiesInTransferredBytesOfItsOwn) {
  for (ParamModel m : kModels) {
    std::set<std::pair<int, std::size_t>> transferred;
    if (m == ParamModel::Hnd) {
      for (std::size_t i = 0; i < 64; ++i) transferred.insert({0, i});
    } else {
      for (const MemorySegment& s : memoryMap(m))
        for (std::size_t i = 0; i < 4 * static_cast<std::size_t>(s.words); ++i) transferred.insert({s.block, s.offset + i});
    }
    std::map<std::pair<int, std::size_t>, const Field*> owner;
    std::set<int> pages;
    for (const Field& f : fieldsOf(m)) {
      SCOPED_TRACE(std::string(paramModelName(m)) + " page " + std::to_string(f.page) + " " + f.caption);
      pages.insert(f.page);
      for (std::size_t i = 0; i < width(f); ++i) {
        std::pair<int, std::size_t> at{f.block, static_cast<std::size_t>(f.byte) + i};
        EXPECT_TRUE(transferred.count(at)) << "byte " << at.second << " of block " << at.first << " is never read";
        EXPECT_FALSE(at.first == 0 && at.second < 2);
        auto [it, fresh] = owner.emplace(at, &f);
        if (fresh) continue;
        const Field& other = *it->second;
        bool bits = f.encoding == Encoding::Bit && other.encoding == Encoding::Bit && f.arg != other.arg;
        auto choice = [](const Field& x) {
          return x.encoding == Encoding::Value || x.encoding == Encoding::Inverted || x.encoding == Encoding::Flag;
        };
        bool buttons = choice(f) && choice(other) && f.page == other.page;
        bool bandBits = f.band >= 0 && other.band >= 0 && f.encoding == Encoding::Bit;
        EXPECT_TRUE(bits || buttons || bandBits) << "shares a byte with " << other.caption;
      }
    }
    // The pages the model has, and only those.
    std::set<int> expected;
    for (int p = 1; p <= pageCount(m); ++p) expected.insert(p);
    EXPECT_EQ(pages, expected) << paramModelName(m);
  }
}

// Storing what a page shows changes nothing: every encoding reads back
// what it wrote, bits keep their neighbours, a list outside its values
// keeps its byte.
TEST(PageTable, ShowThenStoreKeepsEveryByte) {
  for (ParamModel m : kModels) {
    ParameterImage image;
    for (std::size_t i = 0; i < ParameterImage::kTotal; ++i) image.bytes[i] = static_cast<std::uint8_t>(i * 37 + 5);
    image.at(0, 47) = 0;  // no modem: the pattern would choose it beside the ethernet module
    // Make the pages valid where the pattern is not: numbers in range, BCD and times.
    for (int page = 1; page <= pageCount(m); ++page) {
      auto on = fieldsOnPage(m, page);
      auto values = showPage(m, page, image);
      for (std::size_t k = 0; k < on.size(); ++k) {
        const Field& f = fieldsOf(m)[on[k]];
        if (f.encoding == Encoding::Number || f.encoding == Encoding::Word16) values[k] = std::to_string(f.min);
        if (f.encoding == Encoding::Bcd) values[k] = f.role == FieldRole::Password ? "00000000" : "0";
        if (f.encoding == Encoding::Time) values[k] = f.role == FieldRole::BandFrom ? "08:00" : "17:30";
        if (f.port >= 0) values[k] = "0";
      }
      StoreResult r = storePage(m, page, values, image);
      ASSERT_TRUE(r.ok) << paramModelName(m) << " page " << page << ": " << r.message;
    }
    for (int page = 1; page <= pageCount(m); ++page) {
      ParameterImage again = image;
      StoreResult r = storePage(m, page, showPage(m, page, image), again);
      ASSERT_TRUE(r.ok) << paramModelName(m) << " page " << page << ": " << r.message;
      EXPECT_EQ(again, image) << paramModelName(m) << " page " << page;
    }
  }
}

struct Page {
  ParamModel model;
  int page;
  std::vector<std::size_t> on;
  std::vector<std::string> values;
  ParameterImage image;

  Page(ParamModel m, int p) : model(m), page(p), on(fieldsOnPage(m, p)) {
    loadModelDefaults(image, m);
    values = showPage(m, p, image);
  }
  std::size_t at(const std::string& caption, int nth = 0) const {
    for (std::size_t k = 0; k < on.size(); ++k)
      if (fieldsOf(model)[on[k]].caption == caption && nth-- == 0) return k;
    ADD_FAILURE() << "no " << caption;
    return 0;
  }
  std::string& operator[](const std::string& caption) { return values[at(caption)]; }
  // Stores; on failure checks the focus and message and that nothing moved.
  void refuse(const std::string& focus, const std::string& message, int nth = 0) {
    ParameterImage before = image;
    StoreResult r = storePage(model, page, values, image);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.field, at(focus, nth)) << "focus";
    EXPECT_EQ(image, before) << "a refused page stores nothing";
  }
  bool store() { return storePage(model, page, values, image).ok; }
};

TEST(PageValidation, OneBadValuePerKindKeepsTheUserOnThePage) {
  {
    Page p(ParamModel::Hnd, 1);
    p["Contrasto LCD"] = "64";
    p.refuse("Contrasto LCD", "Errore: range ammesso 0-63.");
    p["Contrasto LCD"] = "63";
    p["Luminosit\xE0 LCD"] = "";
    p.refuse("Luminosit\xE0 LCD", "Errore: range ammesso 0-10.");
    p["Luminosit\xE0 LCD"] = "10";
    p["Password"] = "1234567";
    p.refuse("Password", "Errore: range ammesso 00000000-99999999.");
    p["Password"] = "1234567a";
    p.refuse("Password", "Errore: range ammesso 00000000-99999999.");
    p["Password"] = "00123456";
    p["Cod. terminale"] = "12345";
    p.refuse("Cod. terminale", "Errore: range ammesso 0-9999.");
    p["Cod. terminale"] = "42";
    ASSERT_TRUE(p.store());
    EXPECT_EQ(p.image.at(0, 54), 0x00);
    EXPECT_EQ(p.image.at(0, 55), 0x12);
    EXPECT_EQ(p.image.at(0, 57), 0x56);
    EXPECT_EQ(p.image.at(0, 52), 0x00);
    EXPECT_EQ(p.image.at(0, 53), 0x42);
    EXPECT_EQ(showPage(ParamModel::Hnd, 1, p.image)[p.at("Cod. terminale")], "0042");
  }
  {
    Page p(ParamModel::P1, 2);
    p["Posiz. matricola"] = "0";
    p.refuse("Posiz. matricola", "Errore: range ammesso 1-37.");
    p["Posiz. matricola"] = "37";
    p["Pos. cod. azienda"] = "1";
    p["Lung. matricola"] = "10";
    p.refuse("Lung. matricola", "Errore: range ammesso 1-9.");
  }
  {
    Page p(ParamModel::K5, 4);
    p["Porta"] = "65536";
    p.refuse("Porta", "Errore: range ammesso 0-65535.");
    p["Porta"] = "65535";
    p["Dim. buffer"] = "32769";
    p.refuse("Dim. buffer", "Errore: range ammesso 0-32768.");
    p["Dim. buffer"] = " 258 ";  // blanks around a number are fine
    ASSERT_TRUE(p.store());
    EXPECT_EQ(p.image.at(0, 94), 0xFF);
    EXPECT_EQ(p.image.at(0, 79), 0x01) << "high byte first";
    EXPECT_EQ(p.image.at(0, 80), 0x02);
  }
  {
    Page p(ParamModel::K5, 8);
    p["Codice minimo impronta:"] = "12345678901";
    p.refuse("Codice minimo impronta:", "Errore: codice non valido.");
    p["Codice minimo impronta:"] = "500";
    p["Codice massimo impronta:"] = "499";
    p.refuse("Codice minimo impronta:", "Errore: codice minimo maggiore di codice massimo.");
    p["Codice massimo impronta:"] = "9999999999";
    p["dalle:"] = "24:01";
    p.refuse("dalle:", "Errore: dato non valido (formato 00:00).");
    p["dalle:"] = "24:00";
    p.refuse("dalle:", "Errore: 'dalle' superiore 'alle'.");
    p["dalle:"] = "7:30";
    p.refuse("dalle:", "Errore: dato non valido (formato 00:00).");
    p["dalle:"] = "00:00";
    p.values[p.at("alle:")] = "23:59";
    p.values[p.at("D")] = "1";  // Sunday
    p.values[p.at("F")] = "1";  // holidays
    ASSERT_TRUE(p.store());
    EXPECT_EQ(p.image.at(7, 2), 0x23);
    EXPECT_EQ(p.image.at(7, 3), 0x59);
    EXPECT_EQ(p.image.at(7, 4), 0x81);
    EXPECT_EQ(p.image.at(0, 41), 0x00);
    EXPECT_EQ(p.image.at(0, 42), 0x05);
    EXPECT_EQ(p.image.at(0, 43), 0x00);
  }
}

TEST(PageValidation, SerialPortsAndCommunicationModulesDoNotClash) {
  Page printer(ParamModel::P2, 7);
  printer["Porta stampante"] = "2";
  ASSERT_TRUE(printer.store());
  Page modules(ParamModel::P2, 8);
  modules.image = printer.image;
  modules.values = showPage(ParamModel::P2, 8, modules.image);
  modules["Modulo vocale:"] = "2";
  modules.refuse("Modulo vocale:", "Errore: porta assegnata alla stampante.");
  modules["Modulo vocale:"] = "3";
  modules["Modulo fingerprint:"] = "3";
  modules.refuse("Modulo fingerprint:", "Errore: porta assegnata al modulo vocale.");
  modules["Modulo fingerprint:"] = "1";
  ASSERT_TRUE(modules.store());
  Page ports(ParamModel::P2, 10);
  ports.image = modules.image;
  ports.values = showPage(ParamModel::P2, 10, ports.image);
  ports["Porta UPS:"] = "1";
  ports.refuse("Porta UPS:", "Errore: porta assegnata al modulo fingerprint.");

  Page k5(ParamModel::K5, 5);
  k5["Modulo ethernet/wi-fi"] = "1";
  ASSERT_TRUE(k5.store());
  Page modem(ParamModel::K5, 4);
  modem.image = k5.image;
  modem.values = showPage(ParamModel::K5, 4, modem.image);
  modem["No modem"] = "0";
  modem["Modem GPRS"] = "1";
  modem.refuse("Modem GPRS", "Errore: modulo ethernet/wi-fi selezionato.");
}

TEST(PageBands, SwitchedOnFromTheirSettingWhereverItIs) {
  ParameterImage image;
  const auto& k5 = fieldsOf(ParamModel::K5);
  auto first = [&](const std::string& group) {
    for (const Field& f : k5)
      if (f.group == group) return f;
    return Field{};
  };
  Field pin = first("Fasce disabilitazione pin-code");
  Field display = first("Fasce accensione display grafico");
  Field modem = first("Disabilitazione risposta automatica modem:");
  EXPECT_FALSE(bandEnabled(ParamModel::K5, pin, image));
  EXPECT_FALSE(bandEnabled(ParamModel::K5, display, image));
  EXPECT_TRUE(bandEnabled(ParamModel::K5, modem, image));
  image.at(0, 86) = 1;  // "Abilita fasce pin-code", page 10
  image.at(0, 78) = 2;  // "FASCE ACCENSIONE", page 9
  EXPECT_TRUE(bandEnabled(ParamModel::K5, pin, image));
  EXPECT_TRUE(bandEnabled(ParamModel::K5, display, image));
  EXPECT_EQ(pin.page, 9);
  EXPECT_EQ(display.page, 8);
}

}  // namespace
}  // namespace cfg
