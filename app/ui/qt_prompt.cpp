#include "app/ui/qt_prompt.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QThread>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "app/ui/text.h"

namespace cfg::ui {

namespace {

QMessageBox::Icon boxIcon(Icon icon) {
  switch (icon) {
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Info: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return QMessageBox::Ok;
    case Buttons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case Buttons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton boxButton(Answer answer) {
  switch (answer) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    case Answer::Retry: return QMessageBox::Retry;
  }
  return QMessageBox::Ok;
}

}  // namespace

QtPrompt::QtPrompt(Mode mode, QObject* parent) : QObject(parent), mode_(mode) {}

Answer QtPrompt::safeAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::OkCancel:
    case Buttons::RetryCancel: return Answer::Cancel;
  }
  return Answer::Cancel;
}

QMessageBox* QtPrompt::makeBox(const PromptRequest& request) {
  auto* box = new QMessageBox(boxIcon(request.icon), fromCp1252(request.title), fromCp1252(request.text),
                              boxButtons(request.buttons));
  // Texts come from terminals and files: never read them as rich text.
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(boxButton(request.defaultButton));
  box->setWindowModality(Qt::ApplicationModal);
  box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  return box;
}

Answer QtPrompt::ask(const PromptRequest& request) {
  if (QThread::currentThread() == thread()) return show(request);
  Answer answer = safeAnswer(request.buttons);
  QMetaObject::invokeMethod(this, [&] { answer = show(request); }, Qt::BlockingQueuedConnection);
  return answer;
}

Answer QtPrompt::show(const PromptRequest& request) {
  if (mode_ == Mode::Console) {
    std::string line = "[" + cp1252ToUtf8(request.title) + "] " + cp1252ToUtf8(request.text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return safeAnswer(request.buttons);
  }
  std::unique_ptr<QMessageBox> box(makeBox(request));
  switch (box->exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    default: return safeAnswer(request.buttons);
  }
}

bool installItalianTranslation() {
  auto* translator = new QTranslator(qApp);
  if (!translator->load(QStringLiteral("qtbase_it"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace cfg::ui
