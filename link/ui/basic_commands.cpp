#include "link/ui/basic_commands.h"

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "app/ui/operation_dialog.h"
#include "link/commands.h"
#include "link/ui/basic_dialogs.h"

namespace cfg::ui {

void registerBasicCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  // These ids can also be dispatched without a menu item: nothing runs
  // without an open connection.
  auto connected = [&state] { return state.connected && state.link.isOpen(); };
  auto on = [&window, connected](int id, std::function<void()> run) {
    window.setHandler(id, [connected, run = std::move(run)] {
      if (connected()) run();
    });
  };
  QWidget* parent = &window;

  on(cmd::SendDateTime, [&] { setDateTimeNow(state.link, messages); });
  on(cmd::Reset, [&] { resetTerminal(state.link, messages); });
  on(cmd::ResetDefaults, [&] { resetWithDefaults(state.link, messages); });
  on(cmd::FirmwareVersion, [&] { showFirmwareVersion(state.link, messages); });

  on(cmd::ReadDateTime, [&state, &messages, parent] {
    OperationDialog dialog(
        state.workers.general, messages, [&](Worker& w) { dateTimeDisplay(w, state.link, messages); },
        QStringLiteral("Lettura Data e Ora"), QStringLiteral("&Chiudi"), OperationDialog::Display::Text, parent);
    dialog.exec();
  });
  on(cmd::Status, [&state, &messages, parent] {
    // A model outside the status table (a handheld) has no status dialog.
    auto labels = statusLabels(state.link.config.model);
    if (!labels) return;
    StatusDialog dialog(state.workers.general, state.link, messages, *labels, parent);
    dialog.exec();
  });
  on(cmd::OutputCommand, [&state, &messages, parent] {
    OutputCommandDialog dialog(state.link, messages, parent);
    dialog.exec();
  });
  on(cmd::Polling, [&state, &messages, parent] {
    PollingDialog dialog(state.workers.general, state.link, messages, parent);
    dialog.exec();
  });
  on(cmd::MemoryView, [&state, &messages, parent] {
    MemoryViewDialog dialog(state.workers.general, state.link, messages, parent);
    dialog.exec();
  });
  on(cmd::DirectCommand, [&state, &messages, parent] {
    DirectCommandDialog dialog(state.link, messages, parent);
    dialog.exec();
  });

  window.hooks().changeAddressSpeed = [&state, &messages, parent, connected] {
    if (!connected()) return 0;
    AddressSpeedDialog dialog(state, messages, parent);
    return dialog.exec();
  };
}

}  // namespace cfg::ui
