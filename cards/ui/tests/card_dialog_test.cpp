// "Inizializza Tessere MF - "B"" against termsim's desk card reader, offscreen:
// a card of another format is written, shown, checked and lifted.
#include <QtTest>

#include "cards/ui/card_dialog.h"
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
};

QTEST_MAIN(CardDialogTest)
#include "card_dialog_test.moc"
