#include "app/loading.h"

#include "app/settings_files.h"
#include "app/text_1252.h"

namespace cfg {

bool takeWorkingDirectory(ProcessState& state, const Messages& messages) {
  std::error_code ec;
  std::filesystem::path current = std::filesystem::current_path(ec);
  state.deskReader = deskReaderDefaults();
  if (ec) return false;
  state.workingDirectory = current;
  if (state.diagnostic) messages.info(utf8ToCp1252(current.string()), "szCurrentDirectory");
  return true;
}

LoadingReport runLoadingSequence(ProcessState& state, const Messages& messages,
                                 const std::function<void()>& loadActivities) {
  LoadingReport report;
  FileContext ctx = state.files(messages);
  readPlantPassword(state, messages);
  report.registry = loadRegistry(ctx, state.registry);
  readFormatList(ctx, state.formats);
  if (loadActivities) loadActivities();
  readArchiveSettings(state, messages, &report.archive);
  readRecentSettings(state, messages, &report.recent);
  return report;
}

}  // namespace cfg
