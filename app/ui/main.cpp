// cfgtool: the process entry.
//
// Without a display the program falls back to Qt's offscreen platform, so a
// command-line batch or "-a" also runs on a headless server; message boxes
// then go to standard error and answer themselves the safe way, as they do
// during a command-line batch run on a desktop too. Without a display and
// with neither, there is nothing to do: the program says so and ends (an
// offscreen platform asked for by name is taken as meant). SIGTERM and
// SIGINT close the program the orderly way, as "&Uscita" does.
//
// Exit status: 0 after an orderly close; kExitAlreadyRunning when another
// copy runs, kExitBatchUnreadable when the command-line batch cannot be
// read, kExitBatchNotRun when it cannot be run, kExitNoDisplay as above, 1
// on an unexpected error.
#include <QApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/process_state.h"
#include "app/ui/main_window.h"
#include "app/ui/qt_prompt.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  char byte = 1;
  [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

void closeOnSignals(cfg::ui::MainWindow& window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char byte;
    [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
    window.postCommand(cfg::cmd::Exit);
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

int run(int argc, char** argv) {
  auto isPlatformSwitch = [](const char* a) { return std::strcmp(a, "-platform") == 0; };
  bool platformChosen =
      qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || std::any_of(argv + 1, argv + argc, isPlatformSwitch);
  if (!platformChosen) qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  QApplication app(argc, argv);
  cfg::ui::installItalianTranslation();

  // What Qt left of the arguments (it takes its own, such as -platform).
  std::vector<std::string> args(argv + 1, argv + argc);
  cfg::CommandLine line = cfg::parseCommandLine(args);

  bool headless = QGuiApplication::platformName() == QLatin1String("offscreen");
  bool fellBack = headless && !platformChosen;
  if (fellBack && !line.autoSchedule && !cfg::runsBatchAtStart(line)) {
    std::fputs("cfgtool: nessun display disponibile, nessuna finestra da mostrare "
               "(indicare un file batch oppure -a)\n",
               stderr);
    return cfg::kExitNoDisplay;
  }
  // A command-line batch runs unattended and the program closes after it:
  // no box of that run may wait for a click, with or without a display.
  bool console = headless || cfg::runsBatchAtStart(line);
  cfg::ui::QtPrompt prompt(console ? cfg::ui::QtPrompt::Mode::Console : cfg::ui::QtPrompt::Mode::Boxes);
  cfg::Messages messages(prompt);

  cfg::ProcessState state;
  state.diagnostic = line.diagnostic;
  state.autoSchedule = line.autoSchedule;
  state.batchPath = line.batchPath;
  state.batchOnStart = cfg::runsBatchAtStart(line);

  cfg::ui::MainWindow window(state, messages);
  closeOnSignals(window);
  window.show();
  window.postCommand(cfg::cmd::StartUp);
  int status = app.exec();
  return status != 0 ? status : window.exitStatus();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cfgtool: errore inatteso: %s\n", e.what());
  } catch (...) {
    std::fputs("cfgtool: errore inatteso\n", stderr);
  }
  return 1;
}
