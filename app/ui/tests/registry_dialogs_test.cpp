// The registry dialogs: the list's add/modify/delete/save/cancel flows, the
// card's validation and focus, the selection and the desk reader dialogs.
#include <QTest>

#include "app/ui/registry_dialogs.h"
#include "app/ui/tests/ui_support.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

TerminalRecord row(unsigned number, const char* model = "LX-K3") {
  TerminalRecord r;
  r.number = static_cast<std::uint16_t>(number);
  r.description = "Reparto " + std::to_string(number);
  r.model = model;
  r.port = "COM2";
  r.speed = "19200";
  return r;
}

struct Fixture {
  test::TempDir dir;
  test::ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;

  Fixture() { state.workingDirectory = dir.path(); }
  void writeRegistry(const std::vector<TerminalRecord>& rows) {
    std::string bytes;
    for (const auto& r : rows) bytes += registryLine(r) + "\r\n";
    dir.write("config.dat", bytes);
    loadRegistry(state.files(messages), state.registry);
  }
  QAbstractButton* click(QWidget* dialog, const char* text) {
    QAbstractButton* b = test::buttonText(dialog, QString::fromUtf8(text));
    if (b) b->click();
    return b;
  }
};

QStringList column(const TerminalView* view, int c) {
  QStringList texts;
  for (int i = 0; i < view->topLevelItemCount(); ++i) texts << view->topLevelItem(i)->text(c);
  return texts;
}

}  // namespace

class RegistryDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void listIsSortedWithItsHeadings() {
    Fixture f;
    f.writeRegistry({row(30), row(7, "LX-P2"), row(12)});
    TerminalListDialog list(f.state, f.messages);
    QCOMPARE(list.windowTitle(), QStringLiteral("Elenco Terminali"));
    QTreeWidgetItem* header = list.view()->headerItem();
    QCOMPARE(header->text(0), QStringLiteral("Cod."));
    QCOMPARE(header->text(1), QStringLiteral("Riferimento"));
    QCOMPARE(header->text(2), QStringLiteral("Tipo"));
    QCOMPARE(column(list.view(), 0), (QStringList{"0007", "0012", "0030"}));
    QCOMPARE(column(list.view(), 2), (QStringList{"LX-P2", "LX-K3", "LX-K3"}));
  }

  void newRowAtCapacityIsRefused() {
    Fixture f;
    for (unsigned n = 1; n <= 100; ++n) f.state.registry.rows.push_back(row(n));
    TerminalListDialog list(f.state, f.messages);
    list.show();
    f.click(&list, "&Nuovo");
    QCOMPARE(f.prompt.texts(), std::vector<std::string>{"Spazio esaurito!"});
    QCOMPARE(f.prompt.shown()[0].title, std::string("Error Message"));
    QCOMPARE(f.state.registry.rows.size(), std::size_t(100));
  }

  void newRowFromAClearedCard() {
    Fixture f;
    f.writeRegistry({row(20)});
    TerminalListDialog list(f.state, f.messages);
    list.show();
    test::onNextModal(&list, [&f](QWidget* modal) {
      auto* card = qobject_cast<TerminalCardDialog*>(modal);
      QVERIFY(card);
      QVERIFY(card->numberEdit()->text().isEmpty());
      QVERIFY(card->descriptionEdit()->text().isEmpty());
      QCOMPARE(card->typeBox()->currentText(), QStringLiteral("LX-K1"));
      QCOMPARE(card->ipEdit()->address(), 0u);
      QTest::keyClicks(card->numberEdit(), "5");
      QTest::keyClicks(card->addressEdit(), "9");
      QTest::keyClicks(card->descriptionEdit(), "Magazzino");
      f.click(card, "&Conferma");
    }, &list);
    f.click(&list, "&Nuovo");
    QCOMPARE(column(list.view(), 0), (QStringList{"0005", "0020"}));
    QCOMPARE(list.view()->selectedRow(), std::optional<std::size_t>(0));
    QCOMPARE(f.state.registry.rows[0].description, std::string("Magazzino"));
    QCOMPARE(f.state.registry.rows[0].address, 9);
  }

  void deletingTheLastRowThenSavingWritesAnEmptyFile() {
    Fixture f;
    f.writeRegistry({row(3)});
    TerminalListDialog list(f.state, f.messages);
    list.show();
    f.click(&list, "&Elimina");  // nothing selected yet
    QCOMPARE(f.prompt.texts(), std::vector<std::string>{"Nessun terminale selezionato !"});

    list.view()->selectPosition(0);
    f.prompt.script({Answer::No});
    f.click(&list, "&Elimina");
    QCOMPARE(list.view()->topLevelItemCount(), 1);
    PromptRequest question = f.prompt.shown().back();
    QCOMPARE(question.text, std::string("Il record selezionato verra` eliminato. Continuare ?"));
    QCOMPARE(question.title, std::string("Elimina"));
    QVERIFY(question.icon == Icon::Warning);
    QVERIFY(question.buttons == Buttons::YesNo);
    QVERIFY(question.defaultButton == Answer::No);

    f.prompt.script({Answer::Yes});
    f.click(&list, "&Elimina");
    QCOMPARE(list.view()->topLevelItemCount(), 0);
    f.click(&list, "&Salva ed esci");
    QCOMPARE(list.result(), int(QDialog::Accepted));
    QVERIFY(std::filesystem::exists(f.dir / "config.dat"));
    QCOMPARE(f.dir.read("config.dat"), std::string());
  }

  void cancelThrowsTheEditsAway() {
    Fixture f;
    f.writeRegistry({row(1), row(2)});
    f.state.registry.current = 1;
    TerminalListDialog list(f.state, f.messages);
    list.show();
    list.view()->selectPosition(0);
    f.prompt.script({Answer::Yes});
    f.click(&list, "&Elimina");
    QCOMPARE(f.state.registry.rows.size(), std::size_t(1));
    f.click(&list, "&Annulla");
    QCOMPARE(list.result(), int(QDialog::Rejected));
    QCOMPARE(f.state.registry.rows.size(), std::size_t(2));
    // The current row is found again by its number.
    QCOMPARE(f.state.registry.rows[f.state.registry.current].number, 2);
  }

  void cardRefusesBadNumberAndAddressWithFocusBack() {
    Fixture f;
    TerminalRecord r = row(8);
    TerminalCardDialog card(r, false, f.messages);
    card.show();
    card.activateWindow();
    QCOMPARE(card.numberEdit()->text(), QStringLiteral("0008"));
    QCOMPARE(card.addressEdit()->text(), QStringLiteral("000"));

    card.numberEdit()->setText("0");
    card.addressEdit()->setFocus();
    card.confirmButton()->click();
    QVERIFY(card.isVisible());
    QCOMPARE(card.focusWidget(), card.numberEdit());
    QCOMPARE(f.prompt.texts().back(), std::string("Errore: codice non valido (1-9999)."));

    card.numberEdit()->setText("9");
    card.addressEdit()->setText("256");
    card.numberEdit()->setFocus();
    card.confirmButton()->click();
    QVERIFY(card.isVisible());
    QCOMPARE(card.focusWidget(), card.addressEdit());
    QCOMPARE(f.prompt.texts().back(), std::string("Errore: indirizzo non valido (0-255)."));
    QCOMPARE(r.number, 8);

    card.addressEdit()->setText("255");
    card.confirmButton()->click();
    QVERIFY(!card.isVisible());
    QCOMPARE(card.result(), int(QDialog::Accepted));
    QCOMPARE(r.number, 9);
    QCOMPARE(r.address, 255);
    QCOMPARE(card.numberEdit()->maxLength(), 4);
    QCOMPARE(card.addressEdit()->maxLength(), 3);
    QCOMPARE(card.descriptionEdit()->maxLength(), 30);
  }

  void cardKeepsAnLxK5TypeAndGatesTheModemDownload() {
    Fixture f;
    TerminalRecord r = row(5, "LX-K5");
    r.continuousModemDownload = true;
    r.tcp = true;
    r.ip = 0xC0A8010A;
    r.tcpPort = 3001;
    TerminalCardDialog card(r, false, f.messages);
    QCOMPARE(card.typeBox()->currentIndex(), -1);
    QVERIFY(card.continuousDownloadBox()->isEnabled());
    QVERIFY(card.continuousDownloadBox()->isChecked());
    QCOMPARE(card.ipEdit()->address(), 0xC0A8010Au);
    QCOMPARE(card.tcpPortEdit()->text(), QStringLiteral("3001"));
    QVERIFY(!card.keyFieldsChanged());
    card.confirmButton()->click();
    QCOMPARE(r.model, std::string("LX-K5"));
    QVERIFY(r.continuousModemDownload);

    TerminalCardDialog again(r, false, f.messages);
    again.typeBox()->setCurrentIndex(again.typeBox()->findText("LX-K1"));
    QVERIFY(!again.continuousDownloadBox()->isEnabled());
    again.typeBox()->setCurrentIndex(again.typeBox()->findText("LX-P2"));
    QVERIFY(again.continuousDownloadBox()->isEnabled());
    // The port field takes digits up to 65535 only.
    again.tcpPortEdit()->clear();
    QTest::keyClicks(again.tcpPortEdit(), "7x0000");
    QCOMPARE(again.tcpPortEdit()->text(), QStringLiteral("7000"));
  }

  void modifyingAKeyFieldResortsAndKeepsTheRowSelected() {
    Fixture f;
    f.writeRegistry({row(1), row(2), row(3)});
    TerminalListDialog list(f.state, f.messages);
    list.show();
    list.view()->selectPosition(0);
    test::onNextModal(&list, [&f](QWidget* modal) {
      auto* card = qobject_cast<TerminalCardDialog*>(modal);
      QVERIFY(card);
      card->numberEdit()->clear();
      QTest::keyClicks(card->numberEdit(), "9");
      f.click(card, "&Conferma");
    }, &list);
    f.click(&list, "&Modifica");
    QCOMPARE(column(list.view(), 0), (QStringList{"0002", "0003", "0009"}));
    QCOMPARE(list.view()->selectedRow(), std::optional<std::size_t>(2));
    QCOMPARE(f.state.registry.current, 2);
  }

  void selectionDialog() {
    Fixture f;
    f.writeRegistry({row(2), row(1)});
    SelectTerminalDialog select(f.state.registry, f.messages);
    QCOMPARE(select.windowTitle(), QStringLiteral("Seleziona Terminale"));
    select.show();
    f.click(&select, "&Conferma");
    QVERIFY(select.isVisible());
    QCOMPARE(f.prompt.texts(), std::vector<std::string>{"Nessun terminale selezionato !"});
    select.view()->selectPosition(1);
    f.click(&select, "&Conferma");
    QCOMPARE(select.result(), 1);
    QCOMPARE(f.state.registry.rows[f.state.registry.current].number, 2);

    SelectTerminalDialog cancelled(f.state.registry, f.messages);
    cancelled.show();
    f.click(&cancelled, "&Annulla");
    QCOMPARE(cancelled.result(), 0);
  }

  void deskReaderKeepsTheNewValues() {
    TerminalRecord reader = deskReaderDefaults();
    DeskReaderDialog dialog(reader);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Impostazioni Lettore da Tavolo"));
    QCOMPARE(dialog.portBox()->currentText(), QStringLiteral("COM1"));
    QCOMPARE(dialog.speedBox()->currentText(), QStringLiteral(" 9600"));
    QCOMPARE(dialog.tcpPortEdit()->text(), QStringLiteral("3000"));
    dialog.portBox()->setCurrentIndex(dialog.portBox()->findText("COM3"));
    dialog.tcpBox()->setChecked(true);
    dialog.ipEdit()->setAddress(0x0A000001);
    dialog.tcpPortEdit()->setText("4001");
    Fixture f;
    f.click(&dialog, "&Annulla");
    QCOMPARE(reader, deskReaderDefaults());
    f.click(&dialog, "&Conferma");
    QCOMPARE(reader.port, std::string("COM3"));
    QVERIFY(reader.tcp);
    QCOMPARE(reader.ip, 0x0A000001u);
    QCOMPARE(reader.tcpPort, 4001);
    QCOMPARE(reader.number, 0);
  }
};

QTEST_MAIN(RegistryDialogsTest)
#include "registry_dialogs_test.moc"
