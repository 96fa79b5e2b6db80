#include "app/handhelds.h"

#include "app/settings_files.h"

namespace cfg {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool plantPasswordSet(const ProcessState& state) { return state.plantPassword != kDefaultPlantPassword; }

std::string shownPlantPassword(std::string_view current) {
  for (char c : current)
    if (!isDigit(c)) return {};
  return std::string(current);
}

bool validPlantPassword(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && isDigit(text[digits])) ++digits;
  return digits == kPlantPasswordLength && text.size() == kPlantPasswordLength;
}

bool confirmPlantPassword(ProcessState& state, const Messages& messages, std::string_view text) {
  if (!validPlantPassword(text)) {
    messages.error(kInvalidPlantPassword);
    return false;
  }
  state.plantPassword = std::string(text);
  writePlantPassword(state, messages);
  return true;
}

void prepareHandheldList(ProcessState& state, HandheldListOrigin kind) {
  if (state.handheldOrigin != kind) state.handhelds.clear();
  if (state.handhelds.size() >= 2) state.handhelds.sortById();
}

std::vector<std::string> handheldRowTexts(const HandheldEntry& entry, HandheldListOrigin kind) {
  std::string state = passwordStateText(entry.passwordState);
  if (kind == HandheldListOrigin::Bluetooth) return {entry.id, entry.name, entry.addressText, entry.secondName, state};
  return {entry.id, entry.name, state};
}

}  // namespace cfg
