// The Qt Prompt (boxes, Italian buttons, questions from a worker thread)
// and the operation dialog's side of the worker handshake.
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

#include "app/ui/grey_dialog.h"
#include "app/ui/operation_dialog.h"
#include "app/ui/qt_prompt.h"
#include "app/ui/tests/ui_support.h"
#include "tests/support/scripted_prompt.h"

using namespace cfg;
using namespace cfg::ui;

namespace {

void clickBoxButton(QWidget* modal, QMessageBox::StandardButton which) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  QVERIFY(box);
  box->button(which)->click();
}

}  // namespace

class PromptOperationTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(installItalianTranslation()); }

  void boxesCarryTitleIconButtonsAndDefault() {
    PromptRequest question{"Il record selezionato verra` eliminato. Continuare ?", "Elimina", Icon::Warning,
                           Buttons::YesNo, Answer::No, false};
    std::unique_ptr<QMessageBox> box(QtPrompt::makeBox(question));
    QCOMPARE(box->windowTitle(), QStringLiteral("Elimina"));
    QCOMPARE(box->text(), QStringLiteral("Il record selezionato verra` eliminato. Continuare ?"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
    QCOMPARE(box->button(QMessageBox::Yes)->text().remove('&'), QString::fromUtf8("Sì"));
    QCOMPARE(box->button(QMessageBox::No)->text().remove('&'), QStringLiteral("No"));
    QVERIFY(box->parent() == nullptr);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);

    std::unique_ptr<QMessageBox> error(QtPrompt::makeBox({"caff\xE8", "Error Message", Icon::Error}));
    QCOMPARE(error->icon(), QMessageBox::Critical);
    QCOMPARE(error->text(), QString::fromUtf8("caffè"));
  }

  void aWorkerThreadWaitsForTheAnswer() {
    QtPrompt prompt;
    QObject owner;
    test::onNextModal(&owner, [](QWidget* modal) {
      QCOMPARE(modal->windowTitle(), QStringLiteral("Error Message"));
      clickBoxButton(modal, QMessageBox::Retry);
    });
    std::atomic<int> answer{-1};
    std::thread worker([&] {
      answer = static_cast<int>(
          prompt.ask({"Errore di comunicazione", "Error Message", Icon::Error, Buttons::RetryCancel, Answer::Retry}));
    });
    QTRY_VERIFY(answer.load() != -1);
    worker.join();
    QCOMPARE(answer.load(), static_cast<int>(Answer::Retry));
  }

  void consoleModeAnswersTheSafeWay() {
    QtPrompt prompt(QtPrompt::Mode::Console);
    QVERIFY(prompt.ask({"?", "Reset Terminale", Icon::Question, Buttons::YesNo, Answer::No}) == Answer::No);
    QVERIFY(prompt.ask({"x", "Error Message", Icon::Error, Buttons::RetryCancel, Answer::Retry}) ==
            Answer::Cancel);
    QVERIFY(prompt.ask({"ok", "Info Message", Icon::Info}) == Answer::Ok);
  }

  void aFinishedWorkerClosesItsDialog() {
    test::ScriptedPrompt scripted;
    Messages messages(scripted);
    Worker worker;
    OperationDialog dialog(
        worker, messages,
        [](Worker& w) {
          for (int i = 1; i <= 3; ++i) w.refresh("passo " + std::to_string(i));
        },
        QStringLiteral("Prova"));
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(dialog.exec(), 1);
    QVERIFY(!worker.running());
    QCoreApplication::processEvents();
    QCOMPARE(dialog.progressText()->text(), QStringLiteral("passo 3"));
  }

  void textsFromTerminalsAndFilesAreShownAsTheyAre() {
    // A badge text or a file line that looks like markup stays text.
    const std::string markup = "<b>Varco</b> <img src=\"x\"> &amp;";
    std::unique_ptr<QMessageBox> box(QtPrompt::makeBox({markup, "Info Message", Icon::Info}));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), QString::fromStdString(markup));

    test::ScriptedPrompt scripted;
    Messages messages(scripted);
    Worker worker;
    OperationDialog dialog(
        worker, messages, [&markup](Worker& w) { w.refresh(markup); }, QStringLiteral("Prova"));
    QCOMPARE(dialog.exec(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(dialog.progressText()->textFormat(), Qt::PlainText);
    QCOMPARE(dialog.progressText()->text(), QString::fromStdString(markup));
  }

  void cancelStopsTheWorkerOnceEvenWhenPressedTwice() {
    test::ScriptedPrompt scripted;
    Messages messages(scripted);
    Worker worker;
    std::atomic<int> steps{0};
    OperationDialog dialog(
        worker, messages,
        [&steps](Worker& w) {
          do {
            w.refresh(0, ++steps % 100, {});
          } while (!w.pause(25));
        },
        QStringLiteral("Prova"), QStringLiteral("&Interrompi"), OperationDialog::Display::Bar);
    QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("&Interrompi"));
    int cancels = 0;
    QTimer::singleShot(150, &dialog, [&] {
      QVERIFY(dialog.workerRunning());
      QVERIFY(dialog.progressBar()->value() > 0);
      // The second click arrives while the first one is still stopping.
      QTimer::singleShot(0, &dialog, [&] {
        ++cancels;
        dialog.cancelButton()->click();
      });
      ++cancels;
      dialog.cancelButton()->click();
    });
    QCOMPARE(dialog.exec(), 1);
    QTRY_COMPARE(cancels, 2);
    QVERIFY(!worker.running());
    int after = steps;
    QTest::qWait(60);
    QCOMPARE(steps.load(), after);
  }

  void aQuestionAskedWhileStoppingIsStillAnswered() {
    // Cancel arrives while a transaction is under way; the transaction then
    // fails and asks Retry/Cancel before the worker can see the stop request.
    QtPrompt prompt;
    Messages messages(prompt);
    Worker worker;
    std::atomic<bool> answered{false};
    OperationDialog dialog(
        worker, messages,
        [&](Worker& w) {
          while (!w.stopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          messages.ask({"Errore di comunicazione", "Error Message", Icon::Error, Buttons::RetryCancel, Answer::Retry});
          answered = true;
        },
        QStringLiteral("Prova"));
    QTimer::singleShot(50, &dialog, [&] {
      test::onNextModal(&dialog, [](QWidget* box) { clickBoxButton(box, QMessageBox::Cancel); }, &dialog);
      dialog.cancelButton()->click();
    });
    QCOMPARE(dialog.exec(), 1);
    QVERIFY(answered);
    QVERIFY(!worker.running());
  }

  void aWorkerThatCannotStartEndsTheDialogWithZero() {
    test::ScriptedPrompt scripted;
    Messages messages(scripted);
    Worker worker([](std::thread&, std::function<void()>) { return false; });
    OperationDialog dialog(worker, messages, [](Worker&) {}, QStringLiteral("Prova"));
    QCOMPARE(dialog.exec(), 0);
    QCOMPARE(scripted.texts(), std::vector<std::string>{"Error: CreateThread failed."});
  }
};

QTEST_MAIN(PromptOperationTest)
#include "prompt_operation_test.moc"
