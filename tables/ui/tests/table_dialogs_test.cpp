// The table dialogs against termsim: a list reached through the menu,
// edited through its record dialog, filed, loaded, sent and received back;
// the program line's checks and order; the reader identification card.
// Files and wire data are compared byte for byte.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "link/ui/tests/ui_plant.h"
#include "tables/record_forms.h"
#include "tables/table_list.h"
#include "tables/ui/reader_id_dialog.h"
#include "tables/ui/record_dialogs.h"
#include "tables/ui/table_list_dialog.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

std::string hexDump(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

#define COMPARE_BYTES(actual, expected)                                                    \
  do {                                                                                     \
    const std::string a_ = (actual), e_ = (expected);                                      \
    if (a_ != e_)                                                                          \
      QFAIL(("bytes differ\n got:  " + hexDump(a_) + "\n want: " + hexDump(e_)).c_str()); \
  } while (0)

QLineEdit* edit(QWidget* w, const char* name) { return w->findChild<QLineEdit*>(QString::fromLatin1(name)); }
void click(QWidget* w, const char* text) {
  QAbstractButton* b = test::buttonText(w, QString::fromUtf8(text));
  QVERIFY2(b, text);
  b->click();
}

// Answers the next record dialog with this title by running `fill` on it.
void answerRecord(QObject* owner, const QString& title, std::function<void(QWidget*)> fill) {
  test::whenModal(owner, title, std::move(fill));
}

// Answers "Modalità Leggi File" with `mode`.
void answerLoadMode(QObject* owner, LoadMode mode) {
  test::whenModalOf<LoadModeDialog>(owner, [mode](LoadModeDialog* d) {
    d->modeButton(mode)->setChecked(true);
    d->runButton()->click();
  });
}

QStringList rows(TableListDialog* d) {
  QStringList out;
  for (int i = 0; i < d->listBox()->topLevelItemCount(); ++i) out << d->rowText(i);
  return out;
}

void selectRow(TableListDialog* d, int row) { d->listBox()->setCurrentItem(d->listBox()->topLevelItem(row)); }

}  // namespace

class TableDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // "Politiche di Accesso" on an LX-P2: add through "Fascia Oraria" (a
  // refused band keeps the dialog and its field), save, load in insert
  // mode (one old 25-byte line among them), send with the clear answered
  // Yes, empty the list, receive it back and save it again.
  void policyListEndToEnd() {
    Plant p("LX-P2");
    QVERIFY(p.state.connected);
    processList(TableId::Policies).clear();
    const std::string saved = (p.dir / "politica.txt").string();
    const std::string extra = (p.dir / "extra.txt").string();
    p.dir.write("extra.txt", std::string("020 06:00 06:30 NNNNNNSS\r\n") + "021 22:00 24:00 SSSSSSS\r\n");
    QString chosen;
    bool ran = false;

    test::whenModalOf<TableListDialog>(&p.w(), [&](TableListDialog* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Politiche di Accesso"));
      QVERIFY(d->sendButton()->isEnabled() && d->receiveButton()->isEnabled());
      d->setFileChooser([&chosen](QWidget*, const QString& title, const QString& filter, bool) {
        if (filter != QStringLiteral("Text File (*.txt)")) return QString();
        return title == QStringLiteral("Save Data File") || title == QStringLiteral("Open Data File") ? chosen
                                                                                                      : QString();
      });

      // Nothing selected: the commands that need a row say so.
      d->modifyRecord();
      d->removeRecord();
      d->removeAll();
      QCOMPARE(p.prompt.texts(), (std::vector<std::string>{kNoSelection, kNoSelection, kNothingToDelete}));
      p.prompt.clear();

      bool focusKept = false;
      answerRecord(d, QStringLiteral("Fascia Oraria"), [&](QWidget* r) {
        edit(r, "code")->setText(QStringLiteral("7"));
        edit(r, "from")->setText(QStringLiteral("18:00"));
        edit(r, "to")->setText(QStringLiteral("17:30"));
        r->findChild<QCheckBox*>(QStringLiteral("day0"))->setChecked(true);
        click(r, "&Conferma");
        focusKept = r->isVisible() && r->focusWidget() == edit(r, "from");
        edit(r, "from")->setText(QStringLiteral("08:00"));
        click(r, "&Conferma");
      });
      d->addRecord();
      QVERIFY(focusKept);
      QCOMPARE(p.prompt.texts(), std::vector<std::string>{kFromAfterTo});
      p.prompt.clear();

      answerRecord(d, QStringLiteral("Fascia Oraria"), [&](QWidget* r) {
        edit(r, "code")->setText(QStringLiteral("255"));
        edit(r, "from")->setText(QStringLiteral("24:00"));
        edit(r, "to")->setText(QStringLiteral("24:00"));
        r->findChild<QCheckBox*>(QStringLiteral("day7"))->setChecked(true);
        click(r, "&Conferma");
      });
      d->addRecord();
      QCOMPARE(rows(d), (QStringList{QStringLiteral("007\t08:00\t17:30\tSNNNNNNN"),
                                     QStringLiteral("255\t24:00\t24:00\tNNNNNNNS")}));

      chosen = QString::fromStdString(saved);
      d->saveFile();
      COMPARE_BYTES(p.dir.read("politica.txt"), "007 08:00 17:30 SNNNNNNN\r\n"
                                                "255 24:00 24:00 NNNNNNNS\r\n");

      // Insert before the second record; the old line gets holidays "N".
      selectRow(d, 1);
      chosen = QString::fromStdString(extra);
      answerLoadMode(d, LoadMode::Insert);
      d->loadFile();
      QCOMPARE(tableSession().loadMode, LoadMode::Insert);
      QCOMPARE(rows(d), (QStringList{QStringLiteral("007\t08:00\t17:30\tSNNNNNNN"),
                                     QStringLiteral("020\t06:00\t06:30\tNNNNNNSS"),
                                     QStringLiteral("021\t22:00\t24:00\tSSSSSSSN"),
                                     QStringLiteral("255\t24:00\t24:00\tNNNNNNNS")}));

      p.prompt.script({Answer::Yes});  // clear first
      p.server.clearRequests();
      d->send();
      QCOMPARE(p.prompt.texts(), std::vector<std::string>{kClearQuestion});
      std::vector<std::string> sent;
      for (const auto& frame : p.server.requests()) sent.push_back(frame.substr(4, frame.size() - 7));
      QCOMPARE(sent, (std::vector<std::string>{"1C", "1A07080017300200", "1A14060006308100",
                                               "1A15220024007F00", "1AFF2400240080"
                                               "00"}));
      p.prompt.clear();

      p.prompt.script({Answer::Yes});
      d->removeAll();
      QCOMPARE(d->listBox()->topLevelItemCount(), 0);

      p.prompt.script({Answer::No});  // the first free record ends the table
      d->receive();
      QCOMPARE(p.prompt.texts(), (std::vector<std::string>{kDeleteAllQuestion, kEmptyRecordQuestion}));
      QCOMPARE(d->listBox()->topLevelItemCount(), 4);
      chosen = QString::fromStdString(saved);
      d->saveFile();
      COMPARE_BYTES(p.dir.read("politica.txt"), "007 08:00 17:30 SNNNNNNN\r\n"
                                                "020 06:00 06:30 NNNNNNSS\r\n"
                                                "021 22:00 24:00 SSSSSSSN\r\n"
                                                "255 24:00 24:00 NNNNNNNS\r\n");

      // Delete the last row: the selection moves to the new last one.
      p.prompt.clear();
      p.prompt.script({Answer::Yes});
      selectRow(d, 3);
      d->removeRecord();
      QCOMPARE(d->selectedIndex(), 2);
      ran = true;
      d->closeButton()->click();
    });
    p.w().dispatch(cmd::AccessPolicies);
    QVERIFY(ran);
    QCOMPARE(processList(TableId::Policies).count(), 3);  // the list outlives its dialog
  }

  // "Linea di Programma": the checks in their order, the focus on the
  // failing field, and the list kept in line order.
  void programLinesCheckedAndSorted() {
    test::ScriptedPrompt prompt;
    Messages messages(prompt);
    ProcessState state;
    DescriptorList& program = processList(TableId::ProductionProgram);
    program.clear();
    TableListDialog d(program, recordEditor(TableId::ProductionProgram, state, messages), state, messages);
    QVERIFY(!d.sendButton()->isEnabled());  // not connected

    std::vector<QString> focused;
    auto focusName = [&focused](QWidget* r) {
      QWidget* f = r->focusWidget();
      focused.push_back(f ? f->objectName() : QString());
    };
    auto radio = [](QWidget* r, const char* text) {
      for (QRadioButton* b : r->findChildren<QRadioButton*>())
        if (b->text() == QString::fromLatin1(text)) return b;
      return static_cast<QRadioButton*>(nullptr);
    };

    answerRecord(&d, QStringLiteral("Linea di Programma"), [&](QWidget* r) {
      edit(r, "1543")->setText(QStringLiteral("0"));
      click(r, "&Conferma");  // the line comes first, even with no operation
      focusName(r);
      edit(r, "1543")->setText(QStringLiteral("30"));
      click(r, "&Conferma");
      radio(r, "goto diretto")->setChecked(true);
      edit(r, "1549")->setText(QStringLiteral("70000"));
      click(r, "&Conferma");
      focusName(r);
      edit(r, "1549")->setText(QStringLiteral("5"));
      edit(r, "1544")->setText(QStringLiteral("SALTO"));
      click(r, "&Conferma");
    });
    d.addRecord();
    answerRecord(&d, QStringLiteral("Linea di Programma"), [&](QWidget* r) {
      edit(r, "1543")->setText(QStringLiteral("20"));
      edit(r, "1544")->setText(QStringLiteral("PEZZI"));
      radio(r, "display")->setChecked(true);
      edit(r, "1261")->setText(QStringLiteral("65536"));
      click(r, "&Conferma");
      focusName(r);
      edit(r, "1261")->setText(QStringLiteral("300"));
      click(r, "&Conferma");
    });
    d.addRecord();
    answerRecord(&d, QStringLiteral("Linea di Programma"), [&](QWidget* r) {
      edit(r, "1543")->setText(QStringLiteral("30"));
      radio(r, "tabella")->setChecked(true);
      edit(r, "1545")->setText(QStringLiteral("0"));
      click(r, "&Conferma");
      focusName(r);
      edit(r, "1545")->setText(QStringLiteral("3"));
      click(r, "&Conferma");  // line 30 is taken
      focusName(r);
      click(r, "&Annulla");
    });
    d.addRecord();

    QCOMPARE(prompt.texts(), (std::vector<std::string>{kBadLine, kNoOperation, kBadGotoLine, kBadTimeValue,
                                                       kBadTableCode, kLineTaken}));
    QCOMPARE(focused, (std::vector<QString>{QStringLiteral("1543"), QStringLiteral("1549"), QStringLiteral("1261"),
                                            QStringLiteral("1545"), QStringLiteral("1543")}));
    QCOMPARE(rows(&d), (QStringList{QStringLiteral("00020\tPEZZI\tout display"),
                                    QStringLiteral("00030\tSALTO\tgoto 00005")}));
    QCOMPARE(program.records()[0], std::string("00020 PEZZI            128 008 032 001 044 000"));

    // Changing line 20 keeps its own number free; moving it past 30 reorders.
    selectRow(&d, 0);
    answerRecord(&d, QStringLiteral("Linea di Programma"), [&](QWidget* r) {
      QCOMPARE(edit(r, "1261")->text(), QStringLiteral("300"));
      QVERIFY(radio(r, "display")->isChecked());
      click(r, "&Conferma");
    });
    d.modifyRecord();
    QCOMPARE(prompt.count(), std::size_t{6});
    selectRow(&d, 0);
    answerRecord(&d, QStringLiteral("Linea di Programma"), [&](QWidget* r) {
      edit(r, "1543")->setText(QStringLiteral("40"));
      radio(r, "lettore")->setChecked(true);
      click(r, "&Conferma");
    });
    d.modifyRecord();
    QCOMPARE(rows(&d), (QStringList{QStringLiteral("00030\tSALTO\tgoto 00005"),
                                    QStringLiteral("00040\tPEZZI\tlettore")}));
    program.clear();
  }

  // "Scheda Identificazione Lettore" on a handheld: a bad ID is refused on
  // its field, a good one goes to the next slot and reads back.
  void readerIdCardRoundTrip() {
    sim::SimServer server;
    server.add(sim::SimTerminal("HND  ", 1));
    test::ScriptedPrompt prompt;
    Messages messages(prompt);
    ProcessState state;
    state.link.config.model = "HND  ";
    state.link.config.address = "01";
    state.link.config.portName = "COM9";
    state.ports.set("COM9", server.openPty());
    server.start();
    QVERIFY(state.link.open(messages, state.ports));
    state.connected = true;
    server.with(0, [](sim::SimTerminal& t) {
      for (std::uint32_t i = 0; i < 128; ++i) t.poke(0x27E000 + i, static_cast<std::uint8_t>(i == 0 ? 1 : 0x20));
    });

    ReaderIdDialog d(state, messages);
    d.idEdit()->setText(QStringLiteral("0a1b2c3d4e"));
    d.description1Edit()->setText(QStringLiteral("MAGAZZINO"));
    d.description2Edit()->setText(QString::fromUtf8("TURNO \xC3\xA8"));  // è, 0xE8 in the terminal
    d.send();
    QCOMPARE(prompt.texts(), std::vector<std::string>{kBadReaderId});
    QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.idEdit()));

    d.idEdit()->setText(QStringLiteral("0A1B2C3D4E"));
    d.send();
    QCOMPARE(prompt.count(), std::size_t{1});
    std::string slot1 = server.with(0, [](sim::SimTerminal& t) {
      std::string b;
      for (std::uint32_t i = 0; i < 46; ++i) b += static_cast<char>(t.peek(0x27E080 + i));
      return b;
    });
    COMPARE_BYTES(slot1, std::string("\x01\x0A\x1B\x2C\x3D\x4E", 6) + "MAGAZZINO           " + "TURNO \xE8" +
                             std::string(13, ' '));
    QCOMPARE(server.with(0, [](sim::SimTerminal& t) { return t.peek(0x27E000); }), std::uint8_t{0});

    d.idEdit()->clear();
    d.description1Edit()->clear();
    d.description2Edit()->clear();
    d.receive();
    QCOMPARE(d.idEdit()->text(), QStringLiteral("0A1B2C3D4E"));
    QCOMPARE(d.description1Edit()->text(), QStringLiteral("MAGAZZINO"));
    QCOMPARE(d.description2Edit()->text(), QString::fromUtf8("TURNO \xC3\xA8"));
    state.link.close();
  }
};

QTEST_MAIN(TableDialogsTest)
#include "table_dialogs_test.moc"
