// "Elenco Utenti" through the main window against termsim, "Scheda Utente"
// validation, "Importa Elenco Utenti" and "Seleziona Utente", offscreen.
#include <QDateEdit>

#include "link/hex.h"
#include "link/ui/tests/ui_plant.h"
#include "tables/ui/user_dialogs.h"

using namespace cfg;
using namespace cfg::ui;
using cfg::test::Plant;

namespace {

const QString kCard = QStringLiteral("Scheda Utente");

}  // namespace

class UserDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void userListCardSendCountAndReceive() {
    Plant p("LX-K2");
    QVERIFY(p.state.connected);
    p.terminal([](sim::SimTerminal& t) { t.userCapacity = 4; });
    processUserList().clear();
    bool ran = false;
    test::whenModal(&p.w(), QStringLiteral("Elenco Utenti"), [&](QWidget* modal) {
      auto* list = qobject_cast<UserListDialog*>(modal);
      QVERIFY(list);
      QVERIFY(list->sendButton()->isEnabled() && list->receiveButton()->isEnabled() && list->countButton()->isEnabled());
      // "Scheda Utente": each fault in the dialog's order, then a good user.
      test::whenModal(list, kCard, [&](QWidget* m) {
        auto* card = qobject_cast<UserCardDialog*>(m);
        QVERIFY(card);
        card->edit(UserField::Company)->setText(QStringLiteral("1"));
        card->edit(UserField::Personnel)->setText(QStringLiteral("0"));
        card->edit(UserField::Extra2)->setText(QStringLiteral("300"));
        card->confirmButton()->click();
        QVERIFY(card->isVisible());
        card->edit(UserField::Personnel)->setText(QStringLiteral("12345"));
        card->confirmButton()->click();
        QVERIFY(card->isVisible());
        card->edit(UserField::Extra2)->setText(QStringLiteral("7"));
        card->edit(UserField::Pin)->setText(QStringLiteral("42"));
        card->expiry()->setDate(QDate(2009, 12, 31));
        card->confirmButton()->click();
      });
      list->addButton()->click();
      QCOMPARE(list->listBox()->topLevelItemCount(), 1);
      QCOMPARE(list->rowText(0), QStringLiteral("01\t000012345\t0042\t31/12/2009\t0000\t000\t000\t007"));

      list->sendButton()->click();  // the clear question is answered No
      list->countButton()->click();
      list->receiveButton()->click();  // the free record at index 1: No ends the list there
      QCOMPARE(list->listBox()->topLevelItemCount(), 1);
      QCOMPARE(list->rowText(0), QStringLiteral("01\t000012345\t0042\t31/12/2009\t0000\t000\t000\t007"));
      ran = true;
      list->closeButton()->click();
    });
    p.w().dispatch(cmd::Users);
    QVERIFY(ran);
    auto stored = p.terminal([](sim::SimTerminal& t) { return t.tables["0B"]; });
    QCOMPARE(stored.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(stored[0]),
             QStringLiteral("0100003039" "0000000000" "0042" "091231" "0000" "00" "00" "07"));
    QString shown;
    for (const auto& t : p.prompt.texts()) shown += QString::fromStdString(t) + QLatin1Char('|');
    QCOMPARE(shown, QString::fromStdString(std::string(kBadPersonnel) + "|" + kBadExtra + "|" + kClearQuestion +
                                           "|Numero utenti nella white-list del terminale = 1|" +
                                           kEmptyRecordQuestion + "|"));
    // The list outlives its dialog.
    QCOMPARE(processUserList().count(), 1);
  }

  void importDescriptionAndChoice() {
    Plant p("LX-P2");
    const std::string source = (p.dir / "paghe.txt").string(), saved = (p.dir / "descr.dat").string();
    p.dir.write("paghe.txt", "0700123401 x\r\n 2000007255x\r\n");
    QString answer;
    auto chooser = [&answer](QWidget*, const QString&, const QString&, bool) { return answer; };

    UserList users;
    users.store(0, UserRecord{5, 5, 0, "01/01/2030", 0, 0, 0, 0});
    UserListDialog listDialog(users, p.state, p.messages);
    listDialog.setChooser(chooser);
    test::whenModal(&listDialog, QStringLiteral("Importa Elenco Utenti"), [&](QWidget* m) {
      auto* d = qobject_cast<UserImportDialog*>(m);
      QVERIFY(d);
      d->fileEdit()->setText(QString::fromStdString(source));
      d->positionEdit(ImportField::Company)->setText(QStringLiteral("1"));
      d->lengthEdit(ImportField::Company)->setText(QStringLiteral("2"));
      d->positionEdit(ImportField::Personnel)->setText(QStringLiteral("3"));
      d->lengthEdit(ImportField::Personnel)->setText(QStringLiteral("6"));
      d->fixedEdit(ImportField::Pin)->setText(QStringLiteral("1234"));
      d->fixedEdit(ImportField::Expiry)->setText(QStringLiteral("1-2-09"));
      d->lengthEdit(ImportField::Expiry)->setText(QStringLiteral("8"));
      d->positionEdit(ImportField::Policy)->setText(QStringLiteral("9"));
      d->lengthEdit(ImportField::Policy)->setText(QStringLiteral("3"));
      d->totalEdit()->setText(QStringLiteral("12"));
      d->runButton()->click();  // a wrong expiry length
      QVERIFY(d->isVisible());
      d->lengthEdit(ImportField::Expiry)->setText(QStringLiteral("0"));
      answer = QString::fromStdString(saved);
      d->saveButton()->click();
      d->runButton()->click();
    });
    listDialog.importButton()->click();
    QCOMPARE(users.records(), (std::vector<std::string>{"07 000001234 1234 01/02/1909 0000 001 000 000",
                                                        "02 000000007 1234 01/02/1909 0000 255 000 000"}));
    QCOMPARE(listDialog.listBox()->topLevelItemCount(), 2);
    const std::string file = p.dir.read("descr.dat");
    QCOMPARE(QString::fromStdString(file),
             QStringLiteral("003 006           \r\n000 000 1234      \r\n000 000 1-2-09    \r\n000 000           \r\n"
                            "009 003           \r\n000 000           \r\n000 000           \r\n001 002           \r\n"
                            "012\r\n"));
    QCOMPARE(users.description.totalLength, 12u);

    // "Seleziona Utente" opens on the user chosen last; Conferma returns the selection.
    users.chosen = 1;
    UserChoiceDialog choice(users, p.state, p.messages);
    QVERIFY(!choice.sendButton()->isVisibleTo(&choice) && !choice.receiveButton()->isVisibleTo(&choice));
    QCOMPARE(choice.selectedIndex(), 1);
    choice.listBox()->clearSelection();
    choice.confirmChoice();
    QCOMPARE(choice.chosenIndex(), -1);
    choice.listBox()->setCurrentItem(choice.listBox()->topLevelItem(0));
    choice.confirmChoice();
    QCOMPARE(choice.chosenIndex(), 0);
    QCOMPARE(users.chosen, 0);
    QCOMPARE(p.prompt.texts(), (std::vector<std::string>{"Errore lunghezza 'scadenza' non valida (0,10).",
                                                         kNoSelection}));
  }
};

QTEST_MAIN(UserDialogsTest)
#include "user_dialogs_test.moc"
