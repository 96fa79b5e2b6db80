// A program connected to one termsim terminal, for the dialog tests: the
// main window started in a temporary working directory, its registry holding
// the terminal, connected through "Seleziona Terminale". Message boxes go to
// a scripted prompt; dialogs are answered with whenModal().
#pragma once

#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "tests/support/registry_rows.h"
#include "app/command_ids.h"
#include "app/registry.h"
#include "app/settings_files.h"
#include "app/ui/main_window.h"
#include "app/ui/registry_dialogs.h"
#include "app/ui/tests/ui_support.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg::test {

// The modal window with this title that is showing: the active modal one
// when it has the title, otherwise any visible modal top-level window with
// it (on the offscreen platform a dialog opened from a dialog is not always
// made the active one, e.g. a file dialog).
inline QWidget* shownModal(const QString& title) {
  QWidget* active = QApplication::activeModalWidget();
  if (active && active->windowTitle() == title) return active;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->isModal() && w->windowTitle() == title) return w;
  return nullptr;
}

// Runs `action` once on the first modal window with this title, as soon as
// it shows. The timer goes with `owner`.
inline void whenModal(QObject* owner, const QString& title, std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(owner);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, owner, [timer, title, action] {
    QWidget* modal = shownModal(title);
    if (!modal) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

// The same for the first active modal window of type T.
template <typename T>
void whenModalOf(QObject* owner, std::function<void(T*)> action) {
  auto* timer = new QTimer(owner);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, owner, [timer, action] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!modal) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

// Calls `action` on `widget` once `ready` holds, looking every 10 ms.
template <typename W>
void when(W* widget, std::function<bool(W*)> ready, std::function<void(W*)> action) {
  auto* timer = new QTimer(widget);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, widget, [timer, widget, ready, action] {
    if (!ready(widget)) return;
    timer->stop();
    action(widget);
  });
  timer->start();
}

struct Plant {
  sim::SimServer server;
  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  std::unique_ptr<ui::MainWindow> window;
  unsigned number;

  explicit Plant(const char* model, unsigned number = 7, unsigned address = 1) : number(number) {
    server.add(sim::SimTerminal(model, address));
    std::uint16_t port = server.listenTcp();
    server.start();
    dir.write("acqreg.dat", archiveSettingsBytes(ArchiveSettings{}));
    dir.write("config.dat", registryLine(test::tcpRow(number, model, port, address)) + "\r\n");
    {
      ScopedCurrentDirectory cwd(dir.path());
      window = std::make_unique<ui::MainWindow>(state, messages);
      window->setLockPath(dir / "orbita.lock");
      window->dispatch(cmd::StartUp);
    }
    onNextModal(window.get(), [](QWidget* modal) {
      auto* select = qobject_cast<ui::SelectTerminalDialog*>(modal);
      select->view()->selectPosition(0);
      buttonText(select, QStringLiteral("&Conferma"))->click();
    });
    window->dispatch(cmd::Connect);
  }
  ~Plant() { window.reset(); }

  template <typename F>
  auto terminal(F f) {
    return server.with(0, f);
  }
  ui::MainWindow& w() { return *window; }
};

}  // namespace cfg::test
