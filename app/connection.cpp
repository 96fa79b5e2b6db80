#include "app/connection.h"

namespace cfg {

bool openCurrentTerminal(ProcessState& state, const Messages& messages) {
  if (state.registry.current < 0) return false;
  if (state.link.isOpen()) state.link.close();
  if (!fillLinkFromRow(state.registry, static_cast<std::size_t>(state.registry.current), state.link.config,
                       messages))
    return false;
  if (!state.link.trace) state.link.trace = traceFromEnvironment();  // CFGTOOL_TRACE
  return state.link.open(messages, state.ports);
}

}  // namespace cfg
