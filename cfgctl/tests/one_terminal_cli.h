// cfgctl run in a plant folder whose config.dat names one termsim terminal:
// number 21, over TCP, address 6.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/registry.h"
#include "cfgctl/cli.h"
#include "cfgctl/tests/cli_folder.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
#include "tests/support/temp_dir.h"

namespace cfg::test {

class OneTerminalCli : public ::testing::Test, public test::CliFolder {
 protected:
  explicit OneTerminalCli(const char* model) : model_(model) {}
  void SetUp() override {
    server.add(sim::SimTerminal(model_, 6));
    dir.write("config.dat", registryLine(tcpRow(21, model_, server.listenTcp(), 6)) + "\r\n");
    server.start();
  }

  sim::SimServer server;

 private:
  const char* model_;
};

}  // namespace cfg::test
