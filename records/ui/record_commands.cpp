#include "records/ui/record_commands.h"

#include "app/command_ids.h"
#include "app/ui/main_window.h"
#include "records/acquisition.h"
#include "records/ui/acquisition_dialogs.h"
#include "records/ui/archive_dialogs.h"

namespace cfg::ui {

void registerRecordCommands(MainWindow& window, ProcessState& state, Messages& messages) {
  auto connected = [&state] { return state.connected && state.link.isOpen(); };
  auto onConnected = [&window, connected](int id, std::function<void()> run) {
    window.setHandler(id, [connected, run = std::move(run)] {
      if (connected()) run();
    });
  };
  QWidget* parent = &window;

  const struct {
    RecordKind kind;
    int acquire, retrieve, count;
  } kinds[] = {
      {RecordKind::Attendance, cmd::Acquire, cmd::Retrieve, cmd::RecordCount},
      {RecordKind::Production, cmd::ProductionAcquire, cmd::ProductionRetrieve, cmd::ProductionCount},
      {RecordKind::Canteen, cmd::CanteenAcquire, cmd::CanteenRetrieve, cmd::CanteenCount},
  };
  for (const auto& k : kinds) {
    RecordKind kind = k.kind;
    onConnected(k.acquire, [&state, &messages, parent, kind] { runAcquisition(state, messages, kind, parent); });
    onConnected(k.retrieve, [&state, &messages, parent, kind] {
      RetrievalDialog dialog(state, messages, kind, parent);
      dialog.exec();
    });
    onConnected(k.count, [&state, &messages, kind] { showRecordCount(state.link, messages, kind); });
  }
  onConnected(cmd::RecoverableCount, [&state, &messages] { showRecoverableCount(state.link, messages); });
  onConnected(cmd::EraseRecords, [&state, &messages] { eraseAllRecords(state.link, messages); });

  window.setHandler(cmd::Formats, [&state, &messages, parent] {
    FormatListDialog dialog(state, messages, parent);
    dialog.exec();
  });
  const std::pair<int, RecordKind> configurations[] = {{cmd::ConfigureArchives, RecordKind::Attendance},
                                                       {cmd::ProductionArchives, RecordKind::Production},
                                                       {cmd::CanteenArchives, RecordKind::Canteen}};
  for (auto [id, kind] : configurations)
    window.setHandler(id, [&state, &messages, parent, kind] {
      ArchiveChoiceDialog dialog(state, messages, kind, ArchiveChoiceDialog::Mode::Configuration, parent);
      dialog.exec();
    });
}

}  // namespace cfg::ui
