// One simulated terminal on a pseudo-terminal line, with an open Link to it
// and a scripted Prompt: the setting of the command and worker tests.
#pragma once

#include <string>

#include "link/frame.h"
#include "link/link.h"
#include "link/prompt.h"
#include "sim/sim_server.h"
#include "tests/support/scripted_prompt.h"

namespace cfg::test {

struct SimLine {
  explicit SimLine(const std::string& model, unsigned address = 1) {
    server.add(sim::SimTerminal(model, address));
    link.config.model = model;
    link.config.address = addressText(address);
    link.config.portName = "COM9";
    ports.set("COM9", server.openPty());
    server.start();
    opened = link.open(messages, ports);
  }

  // Runs f on the terminal with the line locked.
  template <typename F>
  auto terminal(F f) {
    return server.with(0, f);
  }

  // Command code and data of each request received ("2D47FC00"), in order.
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& frame : server.requests()) out.push_back(frame.substr(4, frame.size() - 7));
    return out;
  }

  sim::SimServer server;
  PortMap ports;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  Link link;
  bool opened = false;
};

}  // namespace cfg::test
