// The frame's rules without a display: command line, menu states per model,
// captions, the picture's size, text conversion, the card's validation and
// the single-instance lock.
#include <gtest/gtest.h>

#include <set>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/instance_lock.h"
#include "app/menu_state.h"
#include "app/registry_edit.h"
#include "app/terminal_lock.h"
#include "app/text_1252.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/temp_dir.h"

namespace cfg {
namespace {

using test::ScriptedPrompt;
using test::TempDir;

// --- command line ---

TEST(CommandLineTest, SwitchesAreWholeArgumentsAndTheRestIsTheBatchPath) {
  CommandLine batch = parseCommandLine({"/data/daily-acq.cmd"});
  EXPECT_FALSE(batch.autoSchedule);
  EXPECT_FALSE(batch.diagnostic);
  EXPECT_EQ(batch.batchPath, "/data/daily-acq.cmd");
  EXPECT_EQ(startUpAction(batch, 3), StartUpAction::RunBatch);

  CommandLine spaced = parseCommandLine({"/data/my", "batch-d.cmd"});
  EXPECT_FALSE(spaced.diagnostic);
  EXPECT_EQ(spaced.batchPath, "/data/my batch-d.cmd");

  CommandLine both = parseCommandLine({"-d", "-a"});
  EXPECT_TRUE(both.diagnostic);
  EXPECT_TRUE(both.autoSchedule);
  EXPECT_TRUE(both.batchPath.empty());
}

TEST(CommandLineTest, StartUpActions) {
  EXPECT_EQ(startUpAction(parseCommandLine({}), 0), StartUpAction::None);
  // "-a" starts the scheduler only when there are activities, and never a batch.
  EXPECT_EQ(startUpAction(parseCommandLine({"-a"}), 0), StartUpAction::None);
  EXPECT_EQ(startUpAction(parseCommandLine({"-a"}), 2), StartUpAction::StartScheduling);
  EXPECT_EQ(startUpAction(parseCommandLine({"-a", "x.cmd"}), 0), StartUpAction::None);
  // "-d" with a batch path runs nothing.
  EXPECT_EQ(startUpAction(parseCommandLine({"x.cmd", "-d"}), 0), StartUpAction::None);
}

// --- menu ---

// Items of the menu that a connection never touches.
const std::set<int> kAlwaysOn = {cmd::Justifications, cmd::Sites,        cmd::JobActivities, cmd::ConfigureArchives,
                                 cmd::ProductionArchives, cmd::BatchEditor, cmd::Activities, cmd::Formats,
                                 cmd::Exit,           cmd::About,        cmd::ProductionProgram,
                                 cmd::ProductionTables};

std::set<int> enabledItems(const MenuState& menu) {
  std::set<int> on;
  for (auto [id, enabled] : menu.items())
    if (enabled) on.insert(id);
  return on;
}

TEST(MenuTest, StartsWithTheTerminalFunctionsGrey) {
  MenuState menu;
  std::set<int> expected = kAlwaysOn;
  expected.insert({cmd::PlantPassword, cmd::BluetoothList, cmd::UsbList, cmd::ChooseBatch, cmd::StartScheduling});
  EXPECT_EQ(enabledItems(menu), expected);
  // Commands without a menu entry have no item.
  for (int id : {cmd::TerminalList, cmd::Connect, cmd::AddressSpeed, cmd::Status, cmd::Polling, cmd::CardsAt})
    EXPECT_FALSE(menu.present(id)) << id;
  EXPECT_TRUE(menu.present(cmd::MemoryView));
  EXPECT_FALSE(menu.enabled(cmd::ProductionAcquire));
}

TEST(MenuTest, ConnectedStatePerModel) {
  const std::set<int> records = {cmd::Acquire,      cmd::Retrieve,     cmd::EraseRecords, cmd::Parameters,
                                 cmd::SendDateTime, cmd::ReadDateTime, cmd::RecordCount};
  const std::set<int> production = {cmd::ProductionAcquire, cmd::ProductionRetrieve, cmd::ProductionCount};
  struct Case {
    const char* model;
    bool records;
    bool production;
  };
  for (Case c : {Case{"LX-K1", false, false}, Case{"LX-K2", true, false}, Case{"LX-K3", true, false},
                 Case{"LX-K4", true, false}, Case{"LX-K5", true, false}, Case{"LX-P1", true, true},
                 Case{"LX-P2", true, true}}) {
    for (bool expert : {false, true}) {
      MenuState menu;
      if (!expert)
        for (int id : itemsDeletedAtStartUp(false)) menu.remove(id);
      menu.apply(connectedFixedChanges(c.model, expert));
      std::set<int> expected = kAlwaysOn;
      expected.insert({cmd::Disconnect, cmd::FirmwareVersion, cmd::Reset, cmd::ResetDefaults, cmd::DownloadFirmware});
      if (c.records) expected.insert(records.begin(), records.end());
      if (c.production) expected.insert(production.begin(), production.end());
      if (expert) expected.insert({cmd::MemoryView, cmd::DirectCommand});
      EXPECT_EQ(enabledItems(menu), expected) << c.model << " expert " << expert;

      menu.apply(disconnectedChanges());
      MenuState fresh;
      if (!expert)
        for (int id : itemsDeletedAtStartUp(false)) fresh.remove(id);
      EXPECT_EQ(menu.items(), fresh.items()) << "after disconnecting " << c.model;
    }
  }
}

TEST(MenuTest, HandheldAndScheduling) {
  MenuState menu;
  menu.apply(connectedHandheldChanges(false));
  EXPECT_TRUE(menu.enabled(cmd::ReaderId));
  EXPECT_TRUE(menu.enabled(cmd::ProductionAcquire));
  EXPECT_FALSE(menu.enabled(cmd::ChooseBatch));
  EXPECT_FALSE(menu.enabled(cmd::MemoryView));

  MenuState scheduling;
  scheduling.apply(schedulingStartedChanges());
  EXPECT_FALSE(scheduling.enabled(cmd::StartScheduling));
  EXPECT_FALSE(scheduling.enabled(cmd::ChooseBatch));
  EXPECT_TRUE(scheduling.enabled(cmd::StopScheduling));
  scheduling.apply(schedulingStoppedChanges());
  EXPECT_EQ(scheduling.items(), MenuState().items());
}

TEST(MenuTest, TextsAndCaptions) {
  const auto& menu = mainMenu();
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[3].text, "Funzioni&Extra");
  EXPECT_EQ(menu[3].children[0].text, "&Produzione");
  EXPECT_EQ(menu[4].text, "&?");
  EXPECT_EQ(menu[4].children[0].text, "&Informazioni");
  EXPECT_EQ(menu[1].children[7].text, "Elenco attività");

  EXPECT_EQ(fixedTerminalCaption(7, "Ingresso"), "ORBITA (0007 - Ingresso)");
  EXPECT_EQ(handheldCaption("00012345", "Palmare"), "ORBITA (00012345 - Palmare)");
  EXPECT_EQ(schedulingCaption(), "ORBITA (esecuzione attivita` programmate)");
  EXPECT_EQ(aboutText(), "ORBITAVersione 1.03");
}

TEST(PictureTest, ReducedKeepingProportionsNeverEnlarged) {
  EXPECT_EQ(pictureSize({300, 180}, {400, 230}), (Size{300, 180}));
  EXPECT_EQ(pictureSize({300, 180}, {150, 400}), (Size{150, 90}));
  EXPECT_EQ(pictureSize({300, 180}, {400, 90}), (Size{150, 90}));
  EXPECT_EQ(pictureSize({300, 180}, {0, 0}), (Size{0, 0}));
  EXPECT_EQ(firstMinuteTickMs(0), 62000);
  EXPECT_EQ(firstMinuteTickMs(59), 3000);
}

// --- text ---

TEST(TextTest, Windows1252RoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
  EXPECT_EQ(cp1252ToUtf8("attivit\xE0 \x80"), "attività €");
  EXPECT_EQ(utf8ToCp1252("caffè ✓"), "caff\xE8 ?");
  EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");  // cut sequence
}

// --- the card ---

class CardTest : public ::testing::Test {
 protected:
  CardFields valid() {
    CardFields card = newCard();
    card.number = "12";
    card.address = "3";
    card.description = "Ingresso";
    return card;
  }
  ScriptedPrompt prompt;
  Messages messages{prompt};
};

TEST_F(CardTest, RefusesNumbersAndAddressesOutOfRange) {
  TerminalRecord row;
  row.number = 5;
  for (const char* number : {"0", "10000", "", "12a"}) {
    CardFields card = valid();
    card.number = number;
    EXPECT_EQ(storeCard(card, row, messages), CardError::Number) << number;
  }
  for (const char* address : {"256", "", "-1"}) {
    CardFields card = valid();
    card.address = address;
    EXPECT_EQ(storeCard(card, row, messages), CardError::Address) << address;
  }
  EXPECT_EQ(row.number, 5);  // a refused card leaves the row alone
  ASSERT_EQ(prompt.count(), 7u);
  EXPECT_EQ(prompt.shown()[0].text, "Errore: codice non valido (1-9999).");
  EXPECT_EQ(prompt.shown()[0].title, "Error Message");
  EXPECT_EQ(prompt.shown()[6].text, "Errore: indirizzo non valido (0-255).");

  CardFields edge = valid();
  edge.number = "9999";
  edge.address = "255";
  EXPECT_EQ(storeCard(edge, row, messages), CardError::None);
  EXPECT_EQ(row.number, 9999);
  EXPECT_EQ(row.address, 255);
}

TEST_F(CardTest, StoresEveryFieldAndKeepsAnUnlistedType) {
  TerminalRecord k5;
  k5.model = "LX-K5";
  k5.port = "COM1";
  k5.speed = " 9600";
  k5.continuousModemDownload = true;
  k5.tcpPort = 3001;
  CardFields card = cardFromRow(k5);
  EXPECT_EQ(card.model, "");  // the list has no LX-K5
  EXPECT_EQ(card.speed, " 9600");
  EXPECT_EQ(card.tcpPort, "3001");
  EXPECT_TRUE(card.continuousModemDownload);
  card.number = "1";
  card.address = "7";
  ASSERT_EQ(storeCard(card, k5, messages), CardError::None);
  EXPECT_EQ(k5.model, "LX-K5");
  EXPECT_TRUE(k5.continuousModemDownload);

  // The download flag is kept for LX-P2 and LX-K5 only.
  card.model = "LX-K3";
  ASSERT_EQ(storeCard(card, k5, messages), CardError::None);
  EXPECT_FALSE(k5.continuousModemDownload);

  CardFields fresh = valid();
  fresh.tcpPort = "";
  TerminalRecord row;
  ASSERT_EQ(storeCard(fresh, row, messages), CardError::None);
  EXPECT_EQ(row.model, "LX-K1");
  EXPECT_EQ(row.port, "COM1");
  EXPECT_EQ(row.speed, " 1200");
  EXPECT_EQ(row.tcpPort, 0);
}

TEST(RegistryEditTest, DeleteAndSortKeepTheCurrentRow) {
  Registry registry;
  for (unsigned n : {30u, 10u, 20u}) {
    TerminalRecord r;
    r.number = static_cast<std::uint16_t>(n);
    registry.rows.push_back(r);
  }
  registry.current = 0;  // number 30
  sortKeepingCurrent(registry);
  EXPECT_EQ(registry.rows[0].number, 10);
  EXPECT_EQ(registry.current, 2);

  EXPECT_EQ(deleteRow(registry, 0), std::optional<std::size_t>(0));
  EXPECT_EQ(registry.rows[registry.current].number, 30);
  EXPECT_EQ(deleteRow(registry, 1), std::optional<std::size_t>(0));  // the last one: select the new last
  EXPECT_EQ(deleteRow(registry, 0), std::nullopt);
  EXPECT_TRUE(registry.rows.empty());
  EXPECT_EQ(registry.current, 0);
  EXPECT_EQ(deleteRow(registry, 0), std::nullopt);
}

// --- single instance ---

TEST(InstanceLockTest, OneHolderAtATimeAndTheFileStays) {
  TempDir dir;
  auto path = dir / "orbita.lock";
  InstanceLock first;
  InstanceLock second;
  ASSERT_TRUE(first.acquire(path));
  EXPECT_FALSE(second.acquire(path));
  EXPECT_TRUE(std::filesystem::exists(path));
  first.release();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_TRUE(second.acquire(path));
}

TEST(TerminalLockTest, OneRunPerTerminalAndAClearCauseWhenTheFolderIsUnusable) {
  TempDir dir;
  EXPECT_EQ(terminalLockPath(dir.path(), 12), dir / "terminale-0012.lck");
  EXPECT_EQ(handheldLockPath(dir.path(), "../x"), dir / "palmare-___x.lck");
  TerminalLock first, second, other;
  ASSERT_EQ(first.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Held);
  EXPECT_EQ(second.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Busy);
  EXPECT_EQ(other.acquire(terminalLockPath(dir.path(), 13)), TerminalLock::Result::Held);
  first.release();
  EXPECT_EQ(second.acquire(terminalLockPath(dir.path(), 12)), TerminalLock::Result::Held);

  std::string error;
  TerminalLock missing;
  EXPECT_EQ(missing.acquire(terminalLockPath(dir / "gone", 1), &error), TerminalLock::Result::Failed);
  EXPECT_NE(error.find("gone/terminale-0001.lck: "), std::string::npos) << error;
}

}  // namespace
}  // namespace cfg
