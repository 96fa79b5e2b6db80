// "Inizializza Tessere MF" against termsim's desk card reader, offscreen:
// "B": a card of another format is written, shown, checked and lifted; "@":
// a blank card initialised over a serial line, then a fingerprint captured
// with the reader's module and added to it; "A": a 4K card of version 2
// written with its records erased. Each is checked on the card image.
#include <QtTest>

#include "cards/card_layout.h"
#include "cards/ui/card_dialog.h"
#include "link/hex.h"
#include "sim/sim_cards.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/scripted_prompt.h"

using namespace cfg;
using namespace cfg::ui;

class CardDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void formatBWrittenShownAndCleared() {
    sim::SimServer server;
    server.add(sim::makeDeskReader(1));
    const std::uint16_t port = server.listenTcp();
    server.start();
    ProcessState state;
    state.deskReader = test::tcpRow(0, "DESK ", port, 1);
    test::ScriptedPrompt prompt;
    Messages messages{prompt};

    CardDialog dialog('B', state, messages);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Inizializza Tessere MF - \"B\""));
    QVERIFY(dialog.startReader());
    QTRY_COMPARE(dialog.statusLine()->text(), QStringLiteral("Avvicinare una tessera."));
    auto card = sim::parseSimCard("00C0FFEE,1k,1,A");
    QVERIFY(card);
    server.with(0, [&](sim::SimTerminal& t) { t.cardReader.cards.push_back(*card); });
    QTRY_COMPARE(dialog.statusLine()->text(), QStringLiteral("Tessera non inizializzata!"));

    // A wrong type: its message, the focus on its field, nothing written.
    dialog.writeField(0)->setText(QStringLiteral("300"));
    dialog.writeButton()->click();
    QCOMPARE(prompt.texts().back(), std::string("Errore: tipo non valido (0-255)."));
    QCOMPARE(dialog.session().pending(), cards::Operation::None);

    dialog.writeField(0)->setText(QStringLiteral("12"));
    dialog.writeField(1)->setText(QStringLiteral("34"));
    dialog.writeField(2)->setText(QStringLiteral("BEEF"));
    dialog.writeField(3)->setText(QStringLiteral("ROSSI"));
    dialog.writeField(4)->setText(QStringLiteral("1F"));
    dialog.writeButton()->click();
    QTRY_COMPARE(dialog.readField(2)->text(), QStringLiteral("000000BEEF"));
    QCOMPARE(dialog.readField(0)->text(), QStringLiteral("012"));
    QCOMPARE(dialog.readField(1)->text(), QStringLiteral("0034"));
    QCOMPARE(dialog.readField(3)->text(), QStringLiteral("ROSSI"));
    QCOMPARE(dialog.readField(4)->text(), QStringLiteral("00000000001F"));
    QCOMPARE(dialog.statusLine()->text(), QString());
    QVERIFY(dialog.presentBox(0)->isEnabled() && !dialog.presentBox(1)->isEnabled());
    const auto blocks = server.with(0, [](sim::SimTerminal& t) { return t.cardReader.cards[0].blocks; });
    const auto expected = cards::encodeB({12, 34, "BEEF", "ROSSI", "1F"});
    QCOMPARE(cards::blockHex(blocks[16]) + cards::blockHex(blocks[17]),
             cards::blockHex(expected[0]) + cards::blockHex(expected[1]));
    QCOMPARE(blocks[2][0], std::uint8_t{'B'});

    // No template to erase; lifting the card clears the fields.
    dialog.eraseButton()->click();
    QCOMPARE(prompt.texts().back(), std::string("Nessuna impronta da eliminare !"));
    server.with(0, [](sim::SimTerminal& t) { t.cardReader.cards.clear(); });
    QTRY_COMPARE(dialog.readField(2)->text(), QString());
    dialog.reject();
    QVERIFY(!state.workers.general.running());
    QVERIFY(!dialog.readerFailed());
  }

  void formatAtInitialisedAndATemplateAdded() {
    sim::SimServer server;
    server.add(sim::makeDeskReader(1));
    ProcessState state;
    state.ports.set("COM8", server.openPty());
    server.start();
    state.deskReader.port = "COM8";
    state.deskReader.address = 1;
    state.deskReaderReady = true;
    const std::string templ = sim::SimFingerprintModule::sampleTemplate(5);
    server.with(0, [&](sim::SimTerminal& t) {
      t.cardReader.module.templateBytes = templ;
      t.cardReader.module.badTouches = 1;  // one "Errore!" on the way
      t.cardReader.cards.push_back(*sim::parseSimCard("00C0FFEE,1k,1"));
      return 0;
    });
    test::ScriptedPrompt prompt;
    Messages messages{prompt};

    CardDialog dialog('@', state, messages);
    QVERIFY(dialog.startReader());
    QTRY_COMPARE(dialog.statusLine()->text(), QStringLiteral("Tessera non inizializzata!"));
    QCOMPARE(dialog.writeButton()->text(), QStringLiteral("&Inizializza"));
    dialog.writeButton()->click();
    QTRY_COMPARE(dialog.readField(0)->text(), QStringLiteral("0012648430"));
    auto card = [&] { return server.with(0, [](sim::SimTerminal& t) { return t.cardReader.cards.at(0).blocks; }); };
    QCOMPARE(cards::blockHex(card()[2]), cards::blockHex(cards::formatBlock('@')));
    QVERIFY(!dialog.presentBox(0)->isChecked());

    // "&Aggiungi": the worker gives the reader to the capture and takes it back.
    dialog.addButton()->click();
    QTRY_VERIFY(dialog.presentBox(0)->isChecked());
    QCOMPARE(dialog.session().pending(), cards::Operation::None);
    const auto blocks = card();
    std::string onCard;
    for (int b : cards::templateBlocks(cards::Family::F3x, 0))
      onCard.append(reinterpret_cast<const char*>(blocks[static_cast<std::size_t>(b)].data()), 16);
    QVERIFY2(onCard == templ, hexDump(onCard).c_str());
    QCOMPARE(server.with(0, [](sim::SimTerminal& t) { return t.cardReader.module.endings; }), 1);

    // A 1K card holds one template.
    dialog.addButton()->click();
    QCOMPARE(prompt.texts().back(), std::string(cards::kNoSpace));
    dialog.reject();
    QVERIFY(!dialog.readerFailed());
    QVERIFY(state.deskReaderReady);
  }

  void formatAWrittenOnA4kVersion2CardWithItsRecordsErased() {
    sim::SimServer server;
    server.add(sim::makeDeskReader(1));
    const std::uint16_t port = server.listenTcp();
    server.start();
    ProcessState state;
    state.deskReader = test::tcpRow(0, "DESK ", port, 1);
    auto laid = sim::parseSimCard("00ABCDEF,4k,2,B");
    QVERIFY(laid);
    laid->blocks[89].fill(0x77);  // a record left on the card
    server.with(0, [&](sim::SimTerminal& t) { return t.cardReader.cards.push_back(*laid), 0; });
    test::ScriptedPrompt prompt;
    Messages messages{prompt};

    CardDialog dialog('A', state, messages);
    QVERIFY(dialog.startReader());
    QTRY_COMPARE(dialog.statusLine()->text(), QStringLiteral("Tessera non inizializzata!"));
    const QStringList typed{QStringLiteral("12"), QStringLiteral("3"), QStringLiteral("123456"),
                            QStringLiteral("VERDI"), QStringLiteral("65535")};
    for (int i = 0; i < typed.size(); ++i) dialog.writeField(i)->setText(typed[i]);
    prompt.script({Answer::Yes});  // erase the records on the card
    dialog.writeButton()->click();
    QCOMPARE(prompt.texts().back(), std::string(cards::kEraseRecordsQuestion));
    QTRY_COMPARE(dialog.readField(2)->text(), QStringLiteral("000123456"));
    QCOMPARE(dialog.readField(0)->text(), QStringLiteral("0012"));
    QCOMPARE(dialog.readField(1)->text(), QStringLiteral("03"));
    QCOMPARE(dialog.readField(3)->text(), QStringLiteral("VERDI"));
    QCOMPARE(dialog.readField(4)->text(), QStringLiteral("65535"));
    QCOMPARE(dialog.statusLine()->text(), QString());
    for (int i = 0; i < 5; ++i) QVERIFY(dialog.presentBox(i)->isEnabled());  // a 4K card offers five

    cards::HolderA a;
    QVERIFY(cards::checkFormA({"12", "3", "123456", "65535", "VERDI"}, a).ok);
    const auto expected = cards::encodeA(a, "00ABCDEF");
    const auto blocks = server.with(0, [](sim::SimTerminal& t) { return t.cardReader.cards[0].blocks; });
    for (int i = 0; i < 3; ++i)
      QCOMPARE(cards::blockHex(blocks[static_cast<std::size_t>(32 + i)]), cards::blockHex(expected[static_cast<std::size_t>(i)]));
    QCOMPARE(cards::blockHex(blocks[2]), cards::blockHex(cards::formatBlock('A')));
    QCOMPARE(cards::blockHex(blocks[88]), cards::blockHex(cards::recordAreaBlock(88)));
    QCOMPARE(cards::blockHex(blocks[89]), std::string(32, '0'));
    // Version 2: the holder blocks were written under the derived key in mode "01".
    const auto keys = server.with(0, [](sim::SimTerminal& t) { return t.cardReader.keyLoads; });
    QVERIFY(std::any_of(keys.begin(), keys.end(), [](const std::string& k) { return k.rfind("01", 0) == 0; }));
    dialog.reject();
    QVERIFY(!dialog.readerFailed());
  }
};

QTEST_MAIN(CardDialogTest)
#include "card_dialog_test.moc"
