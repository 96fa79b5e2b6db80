// The scheduled activities' dialogs and the scheduler inside the main window
// (offscreen): the card's checks in their order, the list, attivita.dat as
// saved, and a batch line handed to the window and waited for.
#include <QApplication>
#include <QTest>

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/tests/ui_support.h"
#include "automation/batch_log.h"
#include "automation/ui/activity_dialogs.h"
#include "link/hex.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg::ui {
namespace {

std::string pad(std::string text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

LocalTime fixedNow() { return LocalTime{2026, 12, 9, 12, 30, 0}; }

ScheduledActivity activity(const char* description, const char* days, const char* months, const char* program) {
  ScheduledActivity a;
  a.description = description;
  a.timetable.minutes = *parseTimeText("0");
  a.timetable.hours = *parseTimeText("6");
  a.timetable.days = *parseTimeText(days);
  a.timetable.months = *parseTimeText(months);
  a.programs[0] = program;
  updateInternal(a);
  computeNext(a, fixedNow());
  return a;
}

QString columnText(QTreeWidget* view, int row, int column) { return view->topLevelItem(row)->text(column); }

}  // namespace

class ActivityDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void cardChecksItsFieldsInOrderAndTheListSavesThem() {
    test::TempDir dir;
    test::ScriptedPrompt prompt;
    Messages messages(prompt);
    ActivityTable table;
    auto chooser = [](QWidget*, const QString& title, const QString& filter) {
      return title == QStringLiteral("Open Program File") && filter.startsWith(QStringLiteral("Program File (*.exe)"))
                 ? QStringLiteral("/opt/my tools/nightly")
                 : QString();
    };
    ActivityListDialog list(table, FileContext{dir.path(), messages, false}, fixedNow, messages, chooser);

    std::vector<std::pair<std::string, QWidget*>> refusals;  // the box and where the focus went
    QWidget* expectedFocus[3] = {};
    test::onNextModal(&list, [&](QWidget* modal) {
      auto* card = qobject_cast<ActivityCardDialog*>(modal);
      QVERIFY(card);
      QCOMPARE(card->windowTitle(), QStringLiteral("Scheda Attivita` Programmata"));
      auto confirmOnce = [&](QWidget* expected, int slot) {
        std::size_t before = prompt.count();
        card->confirmButton()->click();
        QCOMPARE(prompt.count(), before + 1);
        refusals.emplace_back(prompt.texts().back(), card->focusWidget());
        expectedFocus[slot] = expected;
      };
      card->descriptionEdit()->setText(QStringLiteral("Raccolta serale"));
      card->timeEdit(0)->setText(QStringLiteral("1,2,3,4,5,6,7,8"));  // eight values
      card->timeEdit(2)->setText(QStringLiteral("x"));                // also wrong, but checked later
      confirmOnce(card->timeEdit(0), 0);
      card->timeEdit(0)->setText(QStringLiteral("0, 30"));
      card->timeEdit(1)->setText(QStringLiteral("20"));
      card->timeEdit(2)->setText(QString());
      for (int d = 0; d < 7; ++d) card->weekdayBox(d)->setChecked(false);
      confirmOnce(card->weekdayBox(0), 1);
      card->weekdayBox(5)->setChecked(true);
      card->weekdayBox(6)->setChecked(true);
      confirmOnce(card->programEdit(0), 2);
      card->browseButton(1)->click();
      QCOMPARE(card->programEdit(1)->text(), QStringLiteral("\"/opt/my tools/nightly\""));
      card->programEdit(1)->setText(card->programEdit(1)->text() + QStringLiteral(" --all"));
      card->confirmButton()->click();
    });
    test::buttonText(&list, QStringLiteral("&Nuovo"))->click();

    QCOMPARE(refusals.size(), std::size_t{3});
    QCOMPARE(refusals[0].first, std::string("Errore: sintassi non corretta."));
    QCOMPARE(refusals[1].first, std::string("Errore: attivare almeno un giorno."));
    QCOMPARE(refusals[2].first, std::string("Errore: nessuna attivita` programmata."));
    for (int i = 0; i < 3; ++i) QCOMPARE(refusals[static_cast<std::size_t>(i)].second, expectedFocus[i]);
    for (const PromptRequest& r : prompt.shown()) QCOMPARE(r.title, std::string("Error Message"));

    // Wednesday 9 December 2026, 12:30: the coming Saturday at 20:00.
    QCOMPARE(list.view()->topLevelItemCount(), 1);
    QCOMPARE(columnText(list.view(), 0, 0), QStringLiteral("12/12/26 20:00"));
    QCOMPARE(columnText(list.view(), 0, 1), QStringLiteral("Raccolta serale"));

    test::buttonText(&list, QStringLiteral("&Salva ed esci"))->click();
    std::string expected = pad("Raccolta serale", 40) + " 0\r\n" + pad("00,30", 20) + " " + pad("20", 20) + " " +
                           pad("*", 20) + " " + pad("*", 20) + " NNNNNSS\r\n" + pad("", 255) + "\r\n" +
                           pad("\"/opt/my tools/nightly\" --all", 255) + "\r\n" + pad("", 255) + "\r\n";
    std::string written = dir.read(kActivityFile);
    QVERIFY2(written == expected, ("written:\n" + hexDump(written) + "expected:\n" + hexDump(expected)).c_str());
  }

  void listSortsShowsDisabledAndDeletes() {
    test::TempDir dir;
    test::ScriptedPrompt prompt;
    Messages messages(prompt);
    ActivityTable table;
    {
      std::lock_guard<std::mutex> guard(table.mutex());
      table.add(activity("Fine mese", "28", "*", "a"));
      table.add(activity("Mai", "31", "4", "b"));  // 31 April never comes
      table.add(activity("Domani", "10", "*", "c"));
    }
    ActivityListDialog list(table, FileContext{dir.path(), messages, false}, fixedNow, messages);
    QTreeWidget* view = list.view();
    QCOMPARE(view->headerItem()->text(0), QStringLiteral("Prossima attiv."));
    QCOMPARE(view->headerItem()->text(1), QStringLiteral("Descrizione"));
    QCOMPARE(view->topLevelItemCount(), 3);
    QCOMPARE(columnText(view, 0, 0), QStringLiteral("10/12/26 06:00"));
    QCOMPARE(columnText(view, 1, 0), QStringLiteral("28/12/26 06:00"));
    QCOMPARE(columnText(view, 2, 0), QStringLiteral("   DISATTIVA"));
    QCOMPARE(columnText(view, 2, 1), QStringLiteral("Mai"));

    view->setFocus();  // focus makes a row current, which is not a choice
    test::buttonText(&list, QStringLiteral("&Elimina"))->click();
    QCOMPARE(prompt.texts().back(), std::string("Nessuna attivita` selezionata !"));

    view->topLevelItem(1)->setSelected(true);
    prompt.script({Answer::No});
    test::buttonText(&list, QStringLiteral("&Elimina"))->click();
    QCOMPARE(prompt.shown().back().text, std::string("Il record selezionato verra` eliminato. Continuare ?"));
    QCOMPARE(prompt.shown().back().title, std::string("Elimina"));
    QCOMPARE(view->topLevelItemCount(), 3);
    prompt.script({Answer::Yes});
    test::buttonText(&list, QStringLiteral("&Elimina"))->click();
    QCOMPARE(view->topLevelItemCount(), 2);
    QCOMPARE(columnText(view, 1, 1), QStringLiteral("Mai"));
    QVERIFY(view->topLevelItem(1)->isSelected());

    // "&Chiudi" writes nothing; the table keeps the edit for the scheduler.
    test::buttonText(&list, QStringLiteral("&Chiudi"))->click();
    QVERIFY(!std::filesystem::exists(dir / kActivityFile));
    std::lock_guard<std::mutex> guard(table.mutex());
    QCOMPARE(table.activities().size(), std::size_t{2});
  }

  void schedulerHandsABatchToTheWindowAndWaitsForIt() {
    test::TempDir dir;
    test::ScriptedPrompt prompt;
    Messages messages(prompt);
    ProcessState state;
    state.workingDirectory = dir.path();
    MainWindow window(state, messages);
    window.setLockPath(dir / "orbita.lock");
    {
      std::lock_guard<std::mutex> guard(state.activities.mutex());
      ScheduledActivity a = activity("Notte", "*", "*", "orbita /srv/notte.cmd");
      a.next = LocalTime{2026, 1, 1, 0, 0, 0};  // overdue: due at the first pass
      state.activities.add(std::move(a));
    }
    std::vector<std::string> ran;
    bool flagWhileRunning = false;
    window.hooks().runBatch = [&] {
      flagWhileRunning = state.batchRunning.load();
      ran.push_back(state.batchPath);
      QTest::qWait(700);  // the batch takes a while; the activity waits for it
      std::lock_guard<std::mutex> guard(state.activities.mutex());
      QCOMPARE(state.activities.activities()[0].runState, int{kProgram1Batch});
    };
    window.dispatch(cmd::StartScheduling);
    QVERIFY(state.workers.scheduler.running());
    QCOMPARE(window.windowTitle(), QStringLiteral("ORBITA (esecuzione attivita` programmate)"));
    QTRY_COMPARE(ran.size(), std::size_t{1});
    QCOMPARE(ran[0], std::string("/srv/notte.cmd"));
    QVERIFY(flagWhileRunning);
    auto idle = [&] {
      std::lock_guard<std::mutex> guard(state.activities.mutex());
      const ScheduledActivity& a = state.activities.activities()[0];
      return a.runState == kIdle && a.next.key() > LocalTime{2026, 1, 1, 0, 0, 0}.key();
    };
    QTRY_VERIFY_WITH_TIMEOUT(idle(), 10000);
    QVERIFY(!state.batchRunning.load());
    window.dispatch(cmd::StopScheduling);
    QVERIFY(!state.workers.scheduler.running());
    QCOMPARE(window.windowTitle(), QStringLiteral("ORBITA"));
    std::string log = dir.read(kBatchLogName);
    QVERIFY2(log.size() > 25 && log.rfind("****: ", 0) == 0 && log[8] == '/' && log[11] == '/' &&
                 log.substr(25) == " esecuzione orbita /srv/notte.cmd\r\n",
             hexDump(log).c_str());
  }
};

}  // namespace cfg::ui

QTEST_MAIN(cfg::ui::ActivityDialogsTest)
#include "activity_dialogs_test.moc"
