// The parameter pages through the main window's dispatch, against termsim.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "link/ui/tests/ui_plant.h"
#include "params/ui/parameter_pages.h"
#include "sim/sim_params.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

// Closes the dialog when the checks end, also when one of them failed.
struct CloseAtEnd {
  ParameterPagesDialog* d;
  ~CloseAtEnd() { d->reject(); }
};

QLineEdit* edit(ParameterPagesDialog* d, const char* caption) {
  return qobject_cast<QLineEdit*>(d->fieldWidget(static_cast<std::size_t>(d->fieldIndex(caption))));
}

}  // namespace

class ParameterPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void refusedValueKeepsThePageThenWriteAndReadBack() {
    Plant p("LX-P1", 12, 3);
    QCOMPARE(p.state.parameters.model, ParamModel::P1);
    bool ran = false;
    test::whenModalOf<ParameterPagesDialog>(&p.w(), [&](ParameterPagesDialog* d) {
      CloseAtEnd close{d};
      ran = true;
      QCOMPARE(d->windowTitle(), QStringLiteral("Parametri di Configurazione (1)"));
      for (int page = 1; page <= 11; ++page) QCOMPARE(d->pageButton(page)->isHidden(), page > 5);

      // A value out of range: the message, the focus, no page change and nothing sent.
      std::size_t before = p.server.requests().size();
      edit(d, "Timeout rientro")->setText(QStringLiteral("300"));
      d->writeButton()->click();
      d->pageButton(3)->click();
      QCOMPARE(p.prompt.texts(),
               (std::vector<std::string>{"Errore: range ammesso 0-255.", "Errore: range ammesso 0-255."}));
      QCOMPARE(d->page(), 1);
      QCOMPARE(p.server.requests().size(), before);

      edit(d, "Timeout rientro")->setText(QStringLiteral("200"));
      d->pageButton(5)->click();
      QCOMPARE(d->page(), 5);
      QCOMPARE(d->windowTitle(), QStringLiteral("Parametri di Configurazione (5)"));
      edit(d, "Tempo rele` 1")->setText(QStringLiteral("77"));
      auto* relay = qobject_cast<QComboBox*>(d->fieldWidget(static_cast<std::size_t>(d->fieldIndex("Modo rele` 1"))));
      QVERIFY(relay);
      QCOMPARE(relay->count(), 9);  // without "ALLARME PORTA AP." on this model
      relay->setCurrentIndex(8);
      d->writeButton()->click();  // runs "Aggiornamento Dati" to its end

      p.terminal([](sim::SimTerminal& t) {
        QCOMPARE(t.peek(0x23FC00 + 48), 200);  // block 0 byte 48, word 12
        QCOMPARE(t.peek(0x23FC00 + 5), 77);
        QCOMPARE(t.peek(0x23FC00 + 4), 8);
        QCOMPARE(t.peek(0x23FC00), 3);  // its own address
        QCOMPARE(t.resets, 1);
        t.poke(0x23FC00 + 5, 99);
      });
      d->readButton()->click();
      QCOMPARE(edit(d, "Tempo rele` 1")->text(), QStringLiteral("99"));
    });
    p.w().dispatch(cmd::Parameters);
    QVERIFY(ran);
    QCOMPARE(p.state.parameters.image.at(0, 5), 99);
  }

  void fileButtonsAndTheHandheldPages() {
    Plant p("LX-K2", 4);
    QString path = QString::fromStdString((p.dir / "k2.txt").string());
    test::whenModalOf<ParameterPagesDialog>(&p.w(), [&](ParameterPagesDialog* d) {
      CloseAtEnd close{d};
      d->chooseFile = [&](bool) { return path; };
      d->pageButton(6)->click();
      auto* enable = qobject_cast<QCheckBox*>(d->fieldWidget(static_cast<std::size_t>(d->fieldIndex("Abilita fasce pin-code"))));
      QVERIFY(enable);
      QVERIFY(!edit(d, "dalle:")->isEnabled());
      enable->setChecked(true);
      QVERIFY2(edit(d, "dalle:")->isEnabled(), "the switch on the same page takes effect at once");
      d->saveButton()->click();  // stores the page first
      QCOMPARE(p.dir.read("k2.txt").substr(0, 10), std::string("001\r\n004\r\n"));  // the defaults
      QCOMPARE(p.dir.read("k2.txt").substr(56 * 5, 5), std::string("001\r\n"));
      p.dir.write("k2.txt", "001\r\n");
      d->loadButton()->click();
      QCOMPARE(p.prompt.texts().back(), std::string(kParameterFileReadFailed));
      QVERIFY2(edit(d, "dalle:")->isEnabled(), "the image is kept after a failed load");
    });
    p.w().dispatch(cmd::Parameters);

    // A handheld shows pages 1-3 and opens at page 1 after the password question.
    ProcessState hnd;
    selectParameterLayout(hnd.parameters, "HND  ");
    hnd.link.config.model = "HND  ";
    test::ScriptedPrompt prompt;
    Messages messages{prompt};
    prompt.script({Answer::Ok});
    bool shown = false;
    test::whenModalOf<ParameterPagesDialog>(&p.w(), [&](ParameterPagesDialog* d) {
      CloseAtEnd close{d};
      shown = true;
      QCOMPARE(d->page(), 1);
      for (int page = 1; page <= 11; ++page) QCOMPARE(d->pageButton(page)->isHidden(), page > 3);
      QVERIFY(d->fieldIndex("Password") >= 0);
    });
    offerPasswordSetup(hnd, messages, &p.w());
    QVERIFY(shown);
    QCOMPARE(prompt.texts(), std::vector<std::string>{"Configurare la password del terminale ?"});
  }
};

QTEST_MAIN(ParameterPagesTest)
#include "parameter_pages_test.moc"
