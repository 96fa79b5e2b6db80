// The acquisition, retrieval, format and archive dialogs against termsim,
// each reached through the main window's dispatch; the archives are checked
// byte for byte.
#include <QFileDialog>
#include <cerrno>
#include <cstring>
#include <QLabel>

#include "link/ui/tests/ui_plant.h"
#include "records/archive_choice.h"
#include "records/archive_lines.h"
#include "records/format_edit.h"
#include "records/ui/acquisition_dialogs.h"
#include "records/ui/archive_dialogs.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

const QString kChoice = QStringLiteral("Salva Registrazioni in ...");
const QString kRun = QStringLiteral("Acquisizione Registrazioni");

// Answers the next archive choice: `setup` on its controls, then `button`.
void answerChoice(Plant& p, std::function<void(ArchiveChoiceDialog*)> setup,
                  const QString& button = QStringLiteral("&Esegui")) {
  test::whenModal(&p.w(), kChoice, [setup, button](QWidget* modal) {
    auto* d = qobject_cast<ArchiveChoiceDialog*>(modal);
    QVERIFY(d);
    if (setup) setup(d);
    test::buttonText(d, button)->click();
  });
}

QString allLabels(QWidget* w) {
  QStringList texts;
  for (QLabel* l : w->findChildren<QLabel*>()) texts << l->text();
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) texts << b->text();
  return texts.join(QLatin1Char('|'));
}

AcquisitionFormat format(const char* name, const char* tmpl) { return {name, "Paghe", "E", "U", tmpl}; }

}  // namespace

class RecordDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void attendanceAcquisitionThroughTheDialogs() {
    Plant p("LX-K3", 12);
    p.state.formats.entries = {format("BASE", "%n"), format("PAGHE", "%t;%n;%v;%g%m%a")};
    p.state.recent.outFormat = "paghe";  // found ignoring case
    auto records = sim::generateAttendance(11, 9);
    p.terminal([&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
    std::string copy = (p.dir / "copia_out.txt").string();

    QString terminal;
    answerChoice(p, [&](ArchiveChoiceDialog* d) {
      QVERIFY(allLabels(d).contains(QStringLiteral("Acquisizione registrazioni formato ORBITA (file_reg.txt)")));
      QVERIFY(allLabels(d).contains(QStringLiteral("(file_ou2.txt)")));
      QVERIFY(d->enabledBox(0)->isChecked());
      QCOMPARE(d->formatBox(1)->currentText(), QStringLiteral("PAGHE"));
      QCOMPARE(d->formatBox(2)->currentText(), QStringLiteral("BASE"));  // "" is no format: the first
      d->enabledBox(1)->setChecked(true);
      d->copyEdit(1, 3)->setText(QString::fromStdString(copy));
      test::whenModal(&p.w(), kRun, [&terminal](QWidget* modal) {
        terminal = qobject_cast<AcquisitionDialog*>(modal)->terminalField()->text();
      });
    });
    p.w().dispatch(cmd::Acquire);

    QCOMPARE(terminal, QStringLiteral("0012"));
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Acquisite 9 registrazioni."});
    std::string reg, out;
    for (const auto& r : records) {
      std::string frame = sim::attendanceFrame(1, r, 0);
      reg += attendanceLine(frame, p.state.link.config);
      if (formattedTransit(frame)) out += expandTemplate("%t;%n;%v;%g%m%a", frame, p.state.link.config, "E", "U");
    }
    QCOMPARE(p.dir.read("file_reg.txt"), reg);
    QVERIFY(!out.empty());
    QCOMPARE(p.dir.read("file_out.txt"), out);
    QCOMPARE(p.dir.read("copia_out.txt"), out);
    QVERIFY(!std::filesystem::exists(p.dir / "file_ou2.txt"));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(0));
    // The choice is remembered and live.
    QCOMPARE(p.state.recent.outFormat, std::string("PAGHE"));
    QCOMPARE(p.state.recent.outCopy3, copy);
    QVERIFY(p.state.live == p.state.recent);
    QCOMPARE(p.dir.read("recent.dat"), archiveSettingsBytes(p.state.recent));
  }

  void productionAndCanteenAcquisitionsThroughTheDialogs() {
    Plant p("LX-P2", 4);
    auto production = sim::generateProduction(5, 3);
    auto canteen = sim::generateCanteen(5, 6);
    p.terminal([&](sim::SimTerminal& t) {
      for (auto& r : production) t.add(r);
      for (auto& r : canteen) t.add(r);
    });
    answerChoice(p, [](ArchiveChoiceDialog* d) {
      QVERIFY(allLabels(d).contains(QStringLiteral("Acquisizione reg. prod. formato 'unalinea' (file_cnt.txt)")));
      QVERIFY(!d->formatBox(0) && !d->formatBox(1));
      d->enabledBox(0)->setChecked(true);
      d->enabledBox(1)->setChecked(true);
    });
    p.w().dispatch(cmd::ProductionAcquire);
    answerChoice(p, [&p](ArchiveChoiceDialog* d) {
      QVERIFY(allLabels(d).contains(QStringLiteral("Acquisizione registrazioni di produzione (file_mns.txt)")));
      d->enabledBox(0)->setChecked(true);
      d->copyEdit(0, 2)->setText(QString::fromStdString((p.dir / "mensa2.txt").string()));
    });
    p.w().dispatch(cmd::CanteenAcquire);

    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{"Acquisite " + std::to_string(production.size()) +
                                                             " registrazioni.",
                                                         "Acquisite 6 registrazioni."}));
    std::string prd, mns;
    for (const auto& r : production) prd += productionLine(sim::productionFrame(1, r, 0), p.state.link.config);
    for (const auto& r : canteen) mns += canteenLine(sim::canteenFrame(1, r, 0), p.state.link.config);
    QCOMPARE(p.dir.read("file_prd.txt"), prd);
    QCOMPARE(p.dir.read("file_mns.txt"), mns);
    QCOMPARE(p.dir.read("mensa2.txt"), mns);
    std::string cnt = p.dir.read("file_cnt.txt");
    QCOMPARE(std::count(cnt.begin(), cnt.end(), '\n'), 3L);  // one line per closed job
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.production.unacknowledged() + t.canteen.unacknowledged(); }),
             std::size_t(0));
  }

  void cancelledChoiceIsSavedButNotMadeLive() {
    Plant p("LX-K3");
    p.terminal([](sim::SimTerminal& t) { t.add(sim::AttendanceRecord{}); });
    ArchiveSettings live = p.state.live;
    answerChoice(
        p, [](ArchiveChoiceDialog* d) { d->enabledBox(2)->setChecked(true); }, QStringLiteral("&Annulla"));
    p.w().dispatch(cmd::Acquire);
    QVERIFY(p.state.live == live);
    QCOMPARE(p.state.recent.ou2Enabled, std::uint8_t(0));  // cancelled: the controls are not read
    QCOMPARE(p.dir.read("recent.dat"), archiveSettingsBytes(p.state.recent));
    QCOMPARE(p.prompt.count(), std::size_t(0));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(1));
  }

  // A copy that cannot be written: nothing stored, the records stay in the
  // terminal, and the end message says which file and why.
  void failedCopyIsNamedInTheEndMessage() {
    Plant p("LX-K3");
    p.terminal([](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(3, 2)) t.add(r); });
    std::filesystem::create_directory(p.dir / "cartella");
    const std::string folder = (p.dir / "cartella").string();
    answerChoice(p, [&](ArchiveChoiceDialog* d) { d->copyEdit(0, 3)->setText(QString::fromStdString(folder)); });
    p.w().dispatch(cmd::Acquire);
    QCOMPARE(p.prompt.texts(),
             std::vector<std::string>{"Acquisite 0 registrazioni.\n" + folder + ": " + std::strerror(EISDIR)});
    QCOMPARE(p.dir.read("file_reg.txt"), std::string());
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(2));
  }

  void nothingChosenAsksFirstAndYesAcquiresWithoutArchives() {
    Plant p("LX-K5");
    p.terminal([](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(2, 3)) t.add(r); });
    int questions = 0;
    answerChoice(p, [&](ArchiveChoiceDialog* d) {
      d->enabledBox(0)->setChecked(false);
      p.prompt.script({Answer::No});
      test::buttonText(d, QStringLiteral("&Esegui"))->click();
      QVERIFY(d->isVisible());  // No keeps it open
      questions = static_cast<int>(p.prompt.count());
      p.prompt.script({Answer::Yes});
    });
    p.w().dispatch(cmd::Acquire);
    QCOMPARE(questions, 1);
    auto shown = p.prompt.shown();
    QCOMPARE(shown.size(), std::size_t(3));
    QCOMPARE(shown[0].text, std::string("ATTENZIONE! Le registrazioni non verranno salvate. Continuare ?"));
    QCOMPARE(shown[0].title, std::string("Salva ..."));
    QVERIFY(shown[0].defaultButton == Answer::No);
    QCOMPARE(shown[2].text, std::string("Acquisite 3 registrazioni."));
    QVERIFY(!std::filesystem::exists(p.dir / "file_reg.txt"));
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(0));
  }

  void stoppingMidRunKeepsTheRestInTheTerminal() {
    Plant p("LX-P1");
    const int total = 200;
    p.terminal([&](sim::SimTerminal& t) { for (auto& r : sim::generateAttendance(9, total)) t.add(r); });
    QString lastShown;
    answerChoice(p, [&](ArchiveChoiceDialog*) {
      test::whenModal(&p.w(), kRun, [&](QWidget* modal) {
        auto* d = qobject_cast<AcquisitionDialog*>(modal);
        test::when<AcquisitionDialog>(
            d, [](AcquisitionDialog* d) { return d->recordsField()->text().toInt() <= 195 &&
                                                 !d->recordsField()->text().isEmpty(); },
            [&](AcquisitionDialog* d) {
              lastShown = d->recordsField()->text();
              test::buttonText(d, QStringLiteral("&Annulla"))->click();
            });
      });
    });
    p.w().dispatch(cmd::Acquire);
    QCOMPARE(lastShown.size(), 5);  // "%05d"
    QCOMPARE(p.prompt.count(), std::size_t(1));
    std::string message = p.prompt.texts()[0];
    int acquired = 0;
    QCOMPARE(std::sscanf(message.c_str(), "Acquisite %d registrazioni.", &acquired), 1);
    QVERIFY(acquired >= 5 && acquired < total);
    std::string reg = p.dir.read("file_reg.txt");
    QCOMPARE(static_cast<int>(std::count(reg.begin(), reg.end(), '\n')), acquired);
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }),
             static_cast<std::size_t>(total - acquired));
  }

  void retrievalFromADayStaysOpenForAnotherRun() {
    Plant p("LX-K3");
    auto records = sim::generateAttendance(4, 30);
    p.terminal([&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
    const sim::Stamp from = records[15].when;
    std::string expected;
    int count = 0;
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
      auto key = [](const sim::Stamp& s) { return s.year * 10000 + s.month * 100 + s.day; };
      if (key(it->when) < key(from)) break;
      expected += attendanceLine(sim::attendanceFrame(1, *it, 0), p.state.link.config);
      ++count;
    }
    QVERIFY(count > 0 && count < 30);

    bool stayedOpen = false;
    test::whenModal(&p.w(), QStringLiteral("Recupero Registrazioni"), [&](QWidget* modal) {
      auto* d = qobject_cast<RetrievalDialog*>(modal);
      QVERIFY(d);
      QVERIFY(allLabels(d).contains(QStringLiteral("Recupero registrazioni dal ...")));
      d->datePicker()->setDate(QDate(2000 + from.year, from.month, from.day));
      answerChoice(p, {});
      d->retrieveButton()->click();  // returns when the run has ended
      stayedOpen = d->isVisible();
      // A day after the newest record: nothing.
      d->datePicker()->setDate(QDate(2000 + records.back().when.year + 1, 1, 1));
      answerChoice(p, {});
      d->retrieveButton()->click();
      test::buttonText(d, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::Retrieve);
    QVERIFY(stayedOpen);
    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{"Recuperate " + std::to_string(count) + " registrazioni.",
                                                         "Recuperate 0 registrazioni."}));
    QCOMPARE(p.dir.read("file_reg.txt"), expected);
    // Nothing acknowledged.
    QCOMPARE(p.terminal([](sim::SimTerminal& t) { return t.attendance.unacknowledged(); }), std::size_t(30));
  }

  void canteenRetrievalFromItsCommandId() {
    Plant p("LX-P2");
    auto canteen = sim::generateCanteen(8, 4);
    p.terminal([&](sim::SimTerminal& t) { for (auto& r : canteen) t.add(r); });
    p.state.recent.mnsEnabled = 1;
    test::whenModal(&p.w(), QStringLiteral("Recupero Registrazioni"), [&](QWidget* modal) {
      auto* d = qobject_cast<RetrievalDialog*>(modal);
      d->datePicker()->setDate(QDate(2000, 1, 1));
      answerChoice(p, {});
      d->retrieveButton()->click();
      test::buttonText(d, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::CanteenRetrieve);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Recuperate 4 registrazioni."});
    QCOMPARE(p.dir.read("file_mns.txt").size(), 4 * 99u);
  }

  void countAndEraseCommands() {
    Plant p("LX-K3");
    p.terminal([](sim::SimTerminal& t) {
      for (auto& r : sim::generateAttendance(1, 5)) t.add(r);
      for (auto& r : sim::generateCanteen(1, 2)) t.add(r);
    });
    p.w().dispatch(cmd::RecordCount);
    p.w().dispatch(cmd::CanteenCount);
    p.w().dispatch(cmd::RecoverableCount);
    p.w().dispatch(cmd::EraseRecords);  // No
    p.prompt.script({Answer::Yes});
    p.w().dispatch(cmd::EraseRecords);
    p.w().dispatch(cmd::RecordCount);
    QCOMPARE(p.prompt.texts(),
             (std::vector<std::string>{"Registrazioni presenti = 5", "Registrazioni mensa presenti = 2",
                                       "Registrazioni recuperabili = 16384",
                                       "ATTENZIONE! Tutte le registrazioni presenti verranno perse. Continuare ?",
                                       "ATTENZIONE! Tutte le registrazioni presenti verranno perse. Continuare ?",
                                       "Operazione completata con successo.", "Registrazioni presenti = 0"}));
  }

  void configurationDialogsWriteAcqregAndStayOpenWhenTheyCannot() {
    Plant p("LX-K3");
    p.state.formats.entries = {format("BASE", "%n"), format("PAGHE", "%n")};
    p.state.archive.ou2Format = "SPARITO";  // no longer in the list: the first is shown
    std::string chosen = (p.dir / "scelto.txt").string();
    test::whenModal(&p.w(), QStringLiteral("Configura Archivi"), [&](QWidget* modal) {
      auto* d = qobject_cast<ArchiveChoiceDialog*>(modal);
      QVERIFY(d);
      QCOMPARE(d->confirmButton()->text(), QStringLiteral("&Salva ed esci"));
      QCOMPARE(d->formatBox(2)->currentText(), QStringLiteral("BASE"));
      d->enabledBox(2)->setChecked(true);
      d->formatBox(1)->setCurrentIndex(1);
      // "..." shows "Save Registration File"; cancelled, the field keeps its text.
      d->copyEdit(0, 2)->setText(QStringLiteral("/prima.txt"));
      test::whenModal(d, QStringLiteral("Save Registration File"), [](QWidget* box) {
        auto* files = qobject_cast<QFileDialog*>(box);
        QVERIFY(files);
        QCOMPARE(files->nameFilters(), QStringList{QStringLiteral("Text File (*.txt)")});
        QCOMPARE(files->acceptMode(), QFileDialog::AcceptSave);
        files->reject();
      });
      d->browseButton(0, 2)->click();
      QCOMPARE(d->copyEdit(0, 2)->text(), QStringLiteral("/prima.txt"));
      // A chosen file replaces the field's text.
      d->setFileChooser([&chosen](QWidget*, const QString& start) {
        return start == QStringLiteral("/prima.txt") ? QString::fromStdString(chosen) : QString();
      });
      d->browseButton(0, 2)->click();
      QCOMPARE(d->copyEdit(0, 2)->text(), QString::fromStdString(chosen));
      d->confirmButton()->click();
    });
    p.w().dispatch(cmd::ConfigureArchives);
    QCOMPARE(p.state.archive.ou2Enabled, std::uint8_t(1));
    QCOMPARE(p.state.archive.ou2Format, std::string("BASE"));
    QCOMPARE(p.state.archive.outFormat, std::string("PAGHE"));
    QCOMPARE(p.state.archive.regCopy2, chosen);
    QCOMPARE(p.dir.read("acqreg.dat"), archiveSettingsBytes(p.state.archive));
    QVERIFY(!std::filesystem::exists(chosen));  // the file is not created here

    // acqreg.dat cannot be replaced: the dialog stays open, nothing changes.
    ArchiveSettings before = p.state.archive;
    std::filesystem::remove(p.dir / "acqreg.dat");
    std::filesystem::create_directories(p.dir / "acqreg.dat" / "busy");
    bool stayedOpen = false;
    test::whenModal(&p.w(), QStringLiteral("Configura Archivi Mensa"), [&](QWidget* modal) {
      auto* d = qobject_cast<ArchiveChoiceDialog*>(modal);
      d->enabledBox(0)->setChecked(true);
      d->confirmButton()->click();
      stayedOpen = d->isVisible();
      test::buttonText(d, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::CanteenArchives);
    QVERIFY(stayedOpen);
    QVERIFY(p.state.archive == before);

    test::whenModal(&p.w(), QStringLiteral("Configura Archivi Produzione"), [](QWidget* modal) {
      QVERIFY(allLabels(modal).contains(QStringLiteral("Acquisizione registrazioni di produzione (file_prd.txt)")));
      test::buttonText(modal, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::ProductionArchives);
  }

  // "Configura Archivi": nothing chosen and No keeps the dialog open with the
  // values just entered; a path too long is refused whole, typed or chosen
  // with "..."; an accented path is stored in Windows-1252 and the archive
  // is then written under its UTF-8 name.
  void configurationKeepsWhatWasEnteredAndChecksPathsWhole() {
    Plant p("LX-K3");
    p.state.formats.entries = {format("BASE", "%n"), format("PAGHE", "%n")};
    const std::string accentedUtf8 = (p.dir / "copia_\xC3\xA0.txt").string();
    const QString accented = QString::fromStdString(accentedUtf8);
    const QString tooLong = QStringLiteral("/") + QString(299, QLatin1Char('p'));
    // The file dialog takes only names of existing folders: a deep one.
    std::filesystem::path deep = p.dir.path();
    while (deep.string().size() < 260) deep /= std::string(50, 'd');
    std::filesystem::create_directories(deep);
    const std::string deepFile = (deep / "copia.txt").string();
    QString afterBrowse, typedAfterRefusal;
    bool openAfterNo = false, boxAfterNo = true, openAfterRefusal = false;
    int formatAfterNo = -1;
    test::whenModal(&p.w(), QStringLiteral("Configura Archivi"), [&](QWidget* modal) {
      auto* d = qobject_cast<ArchiveChoiceDialog*>(modal);
      QVERIFY(d);
      d->setFileChooser([&deepFile](QWidget*, const QString&) { return QString::fromStdString(deepFile); });
      d->browseButton(0, 2)->click();
      afterBrowse = d->copyEdit(0, 2)->text();

      d->enabledBox(0)->setChecked(false);
      d->formatBox(1)->setCurrentIndex(1);
      d->confirmButton()->click();  // nothing chosen: No
      openAfterNo = d->isVisible();
      boxAfterNo = d->enabledBox(0)->isChecked();
      formatAfterNo = d->formatBox(1)->currentIndex();

      d->copyEdit(1, 2)->setText(tooLong);
      d->confirmButton()->click();
      openAfterRefusal = d->isVisible();
      typedAfterRefusal = d->copyEdit(1, 2)->text();

      d->copyEdit(1, 2)->setText(accented);
      d->confirmButton()->click();  // a copy is a choice: no question
    });
    p.w().dispatch(cmd::ConfigureArchives);
    QCOMPARE(afterBrowse, QString());
    QVERIFY(openAfterNo);
    QVERIFY(!boxAfterNo);
    QCOMPARE(formatAfterNo, 1);
    QVERIFY(openAfterRefusal);
    QCOMPARE(typedAfterRefusal, tooLong);  // never cut
    const std::string refusal = "Percorso troppo lungo: 300 caratteri, al massimo 255.";
    const std::string deepRefusal =
        "Percorso troppo lungo: " + std::to_string(deepFile.size()) + " caratteri, al massimo 255.";
    QCOMPARE(p.prompt.texts(),
             (std::vector<std::string>{deepRefusal, "ATTENZIONE! Le registrazioni non verranno salvate. Continuare ?",
                                       refusal}));
    const std::string stored = (p.dir / "copia_\xE0.txt").string();
    QCOMPARE(p.state.archive.regEnabled, std::uint8_t(0));
    QCOMPARE(p.state.archive.outFormat, std::string("PAGHE"));
    QCOMPARE(p.state.archive.outCopy2, stored);
    std::string acqreg = p.dir.read("acqreg.dat");
    QCOMPARE(acqreg, archiveSettingsBytes(p.state.archive));
    QVERIFY(acqreg.find("copia_\xE0.txt") != std::string::npos);

    // The same path as an acquisition's "Copia 2:".
    auto records = sim::generateAttendance(5, 3);
    p.terminal([&](sim::SimTerminal& t) { for (auto& r : records) t.add(r); });
    answerChoice(p, [&](ArchiveChoiceDialog* d) { d->copyEdit(0, 2)->setText(accented); });
    p.w().dispatch(cmd::Acquire);
    std::string reg;
    for (const auto& r : records) reg += attendanceLine(sim::attendanceFrame(1, r, 0), p.state.link.config);
    QCOMPARE(p.dir.read("file_reg.txt"), reg);
    QCOMPARE(p.dir.read("copia_\xC3\xA0.txt"), reg);
    QVERIFY(p.dir.read("recent.dat").find("copia_\xE0.txt") != std::string::npos);
  }

  void formatListEditsSavesAndCancels() {
    Plant p("LX-K3");
    p.state.formats.entries = {format("BASE", "%n"), format("PAGHE", "%t%n"), format("TURNI", "%n%v")};
    QVERIFY(writeFormatList(p.state.files(p.messages), p.state.formats));
    const std::string saved = p.dir.read("format.dat");

    // Delete, then cancel: the file brings it back.
    test::whenModal(&p.w(), QStringLiteral("Elenco Formati Acquisizione"), [&](QWidget* modal) {
      auto* d = qobject_cast<FormatListDialog*>(modal);
      QVERIFY(d);
      QCOMPARE(d->view()->topLevelItemCount(), 3);
      test::buttonText(d, QStringLiteral("&Modifica"))->click();
      test::buttonText(d, QStringLiteral("&Elimina"))->click();
      d->selectPosition(1);
      test::buttonText(d, QStringLiteral("&Elimina"))->click();  // No
      QCOMPARE(d->view()->topLevelItemCount(), 3);
      p.prompt.script({Answer::Yes});
      test::buttonText(d, QStringLiteral("&Elimina"))->click();
      QCOMPARE(d->view()->topLevelItemCount(), 2);
      QCOMPARE(d->view()->selectedItems().value(0)->text(0), QStringLiteral("TURNI"));
      test::buttonText(d, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::Formats);
    auto texts = p.prompt.texts();
    QCOMPARE(texts.size(), std::size_t(4));
    QCOMPARE(texts[0], std::string("Nessun formato selezionato !"));
    QCOMPARE(texts[1], std::string("Nessun formato selezionato !"));
    QCOMPARE(texts[2], std::string("Il record selezionato verra` eliminato. Continuare ?"));
    QCOMPARE(p.prompt.shown()[2].title, std::string("Elimina"));
    QCOMPARE(p.state.formats.entries.size(), std::size_t(3));

    // New and modify through the cards, then save.
    QString newLegend, editLegend, newEntry, newExit;
    test::whenModal(&p.w(), QStringLiteral("Elenco Formati Acquisizione"), [&](QWidget* modal) {
      auto* d = qobject_cast<FormatListDialog*>(modal);
      test::whenModal(d, QStringLiteral("Scheda Formato Acquisizione"), [&](QWidget* box) {
        auto* card = qobject_cast<FormatCardDialog*>(box);
        newLegend = allLabels(card);
        newEntry = card->entryEdit()->text();
        newExit = card->exitEdit()->text();
        QCOMPARE(card->nameEdit()->maxLength(), 10);
        QCOMPARE(card->templateEdit()->maxLength(), 64);
        card->nameEdit()->setText(QStringLiteral("NUOVO"));
        card->descriptionEdit()->setText(QStringLiteral("Più campi"));
        card->templateEdit()->setText(QStringLiteral("%t %-4n"));
        test::buttonText(card, QStringLiteral("&Conferma"))->click();
      });
      test::buttonText(d, QStringLiteral("&Nuovo"))->click();
      QCOMPARE(d->view()->topLevelItemCount(), 4);
      d->selectPosition(0);
      test::whenModal(d, QStringLiteral("Scheda Formato Acquisizione"), [&](QWidget* box) {
        auto* card = qobject_cast<FormatCardDialog*>(box);
        editLegend = allLabels(card);
        QCOMPARE(card->nameEdit()->text(), QStringLiteral("BASE"));
        card->exitEdit()->setText(QStringLiteral("OUT"));
        test::buttonText(card, QStringLiteral("&Conferma"))->click();
      });
      test::buttonText(d, QStringLiteral("&Modifica"))->click();
      test::buttonText(d, QStringLiteral("&Salva ed esci"))->click();
    });
    p.w().dispatch(cmd::Formats);
    QCOMPARE(newEntry, QStringLiteral("0"));
    QCOMPARE(newExit, QStringLiteral("1"));
    QVERIFY(newLegend.contains(QStringLiteral("Codice cantiere (9)")));
    QVERIFY(newLegend.contains(QStringLiteral("Codice attività (9)")));
    QVERIFY(!newLegend.contains(QStringLiteral("Indirizzo term. (3)")));
    QVERIFY(editLegend.contains(QStringLiteral("Indirizzo term. (3)")));
    QVERIFY(!editLegend.contains(QStringLiteral("Codice cantiere (9)")));
    for (const QString& legend : {newLegend, editLegend}) {
      QVERIFY(legend.contains(QString::fromLatin1(kFormatUsage)));
      QVERIFY(legend.contains(QStringLiteral("Verso entrata =")));
      QVERIFY(legend.contains(QStringLiteral("+CrLf")));
    }
    const auto& entries = p.state.formats.entries;
    QCOMPARE(entries.size(), std::size_t(4));
    QCOMPARE(entries[0].exitText, std::string("OUT"));
    QCOMPARE(entries[3].description, std::string("Pi\xF9 campi"));
    std::string file = p.dir.read("format.dat");
    QCOMPARE(file.size(), 4 * 116u);
    QVERIFY(file != saved);
    QCOMPARE(file.substr(3 * 116, 116), formatLine(entries[3]) + "\r\n");
  }

  void theHundredAndFirstFormatIsRefused() {
    Plant p("LX-K3");
    for (int i = 0; i < 100; ++i) p.state.formats.entries.push_back(format("F", "%n"));
    test::whenModal(&p.w(), QStringLiteral("Elenco Formati Acquisizione"), [&](QWidget* modal) {
      test::buttonText(modal, QStringLiteral("&Nuovo"))->click();
      QVERIFY(QApplication::activeModalWidget() == modal);  // no card
      test::buttonText(modal, QStringLiteral("&Annulla"))->click();
    });
    p.w().dispatch(cmd::Formats);
    QCOMPARE(p.prompt.texts(), std::vector<std::string>{"Spazio esaurito!"});
    QCOMPARE(p.prompt.shown()[0].title, std::string("Error Message"));
    // No format.dat: cancelling keeps the list as it was on opening.
    QCOMPARE(p.state.formats.entries.size(), std::size_t(100));
  }
};

QTEST_MAIN(RecordDialogsTest)
#include "record_dialogs_test.moc"
