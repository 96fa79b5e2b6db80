// The frame's rules without a display: command line, menu states per model,
// captions, the picture's size, text conversion, the card's validation, the
// single-instance lock, and connecting to a termsim terminal with its lock.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <set>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/connection.h"
#include "app/instance_lock.h"
#include "app/menu_state.h"
#include "app/registry_edit.h"
#include "app/settings_files.h"
#include "app/terminal_lock.h"
#include "app/text_1252.h"
#include "sim/sim_server.h"
#include "tests/support/registry_rows.h"
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

TEST(CommandLineTest, TheBatchDecisionNeedsNoSettingsAndAnUnreadableBatchIsNamed) {
  EXPECT_TRUE(runsBatchAtStart(parseCommandLine({"/data/daily-acq.cmd"})));
  EXPECT_FALSE(runsBatchAtStart(parseCommandLine({"/data/daily-acq.cmd", "-d"})));
  EXPECT_FALSE(runsBatchAtStart(parseCommandLine({"-a", "x.cmd"})));
  EXPECT_FALSE(runsBatchAtStart(parseCommandLine({})));

  TempDir dir;
  std::filesystem::path folder = dir / "Impianto \xC3\xA0";  // "Impianto à" on the file system
  std::filesystem::create_directory(folder);
  std::filesystem::path batch = folder / "daily.cmd";
  EXPECT_EQ(unreadableBatch(batch.string()),
            "Errore: lettura file batch " + (dir.path() / "Impianto \xE0" / "daily.cmd").string() +
                " non riuscita: No such file or directory");
  EXPECT_EQ(unreadableBatch(folder.string()),
            "Errore: lettura file batch " + (dir.path() / "Impianto \xE0").string() + " non riuscita: Is a directory");
  // A FIFO with no writer would block a plain open: it is refused at once.
  ASSERT_EQ(::mkfifo((folder / "pipe.cmd").c_str(), 0600), 0);
  EXPECT_TRUE(unreadableBatch((folder / "pipe.cmd").string()));
  std::filesystem::path secret = folder / "secret.cmd";
  dir.write("Impianto \xC3\xA0/secret.cmd", "");
  std::filesystem::permissions(secret, std::filesystem::perms::none);
  if (::geteuid() != 0) {
    EXPECT_TRUE(unreadableBatch(secret.string()));
  }
  dir.write("Impianto \xC3\xA0/daily.cmd", "");
  EXPECT_EQ(unreadableBatch(batch.string()), std::nullopt);
}

TEST(CommandLineTest, StartUpEndsWithTheBatchOnlyWhenItCanBeRead) {
  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages(prompt);
  ProcessState state;
  state.batchPath = (dir / "daily.cmd").string();
  state.batchOnStart = true;
  StartUpEnd end = finishStartUp(state, messages);
  EXPECT_EQ(end.post, std::vector<int>{cmd::Exit});
  EXPECT_EQ(end.exitStatus, kExitBatchUnreadable);
  EXPECT_FALSE(state.batchOnStart);
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Errore: lettura file batch " + state.batchPath +
                                                     " non riuscita: No such file or directory"});

  dir.write("daily.cmd", "");
  state.batchOnStart = true;
  end = finishStartUp(state, messages);
  EXPECT_EQ(end.post, std::vector<int>{cmd::RunBatch});
  EXPECT_EQ(end.exitStatus, kExitOk);

  state.autoSchedule = true;
  state.scheduledActivities = 1;
  EXPECT_EQ(finishStartUp(state, messages).post, std::vector<int>{cmd::StartScheduling});
  EXPECT_EQ(prompt.count(), 1u);
}

TEST(SettingsPathTest, AWorkingDirectoryWithAccentsShowsInTheMessages) {
  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages(prompt);
  ProcessState state;
  state.workingDirectory = dir / "Mensa citt\xC3\xA0";  // UTF-8 on the file system
  std::filesystem::create_directory(state.workingDirectory);
  readArchiveSettings(state, messages);  // no acqreg.dat
  ASSERT_EQ(prompt.count(), 1u);
  // Messages are Windows-1252: "à" is the one byte E0, which the screen shows as "à".
  EXPECT_EQ(prompt.shown()[0].text,
            "Attenzione: lettura file " + (dir.path() / "Mensa citt\xE0" / "acqreg.dat").string() + " non riuscita.");
  EXPECT_EQ(cp1252ToUtf8(prompt.shown()[0].text),
            "Attenzione: lettura file " + (state.workingDirectory / "acqreg.dat").string() + " non riuscita.");
}

// --- menu ---

// Items of the menu that a connection never touches.
const std::set<int> kAlwaysOn = {cmd::Justifications, cmd::Sites,        cmd::JobActivities, cmd::ConfigureArchives,
                                 cmd::ProductionArchives, cmd::BatchEditor, cmd::Activities, cmd::Formats,
                                 cmd::Exit,           cmd::About,        cmd::ProductionProgram,
                                 cmd::ProductionTables,
                                 // "&Lettori fissi": the registry, tables, cards and settings
                                 cmd::TerminalList, cmd::CanteenArchives, cmd::AccessPolicies, cmd::Sirens,
                                 cmd::ExitDirection, cmd::UserMessages, cmd::Users, cmd::Holidays,
                                 cmd::Fingerprints, cmd::CardsA, cmd::DeskReader};
// The card items deleted at every start-up.
const std::set<int> kCardsDeleted = {cmd::CardsAt, cmd::CardsB};

std::set<int> enabledItems(const MenuState& menu) {
  std::set<int> on;
  for (auto [id, enabled] : menu.items())
    if (enabled) on.insert(id);
  return on;
}

TEST(MenuTest, StartsWithTheTerminalFunctionsGrey) {
  MenuState menu;
  std::set<int> expected = kAlwaysOn;
  expected.insert(kCardsDeleted.begin(), kCardsDeleted.end());
  expected.insert({cmd::PlantPassword, cmd::BluetoothList, cmd::UsbList, cmd::ChooseBatch, cmd::StartScheduling,
                   cmd::Connect});
  EXPECT_EQ(enabledItems(menu), expected);
  // Posted commands have no item.
  for (int id : {cmd::StartUp, cmd::RunBatch}) EXPECT_FALSE(menu.present(id)) << id;
  EXPECT_TRUE(menu.present(cmd::MemoryView));
  EXPECT_TRUE(menu.present(cmd::Status));
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
      for (int id : itemsDeletedAtStartUp(expert)) menu.remove(id);
      menu.apply(connectedFixedChanges(c.model, expert));
      std::set<int> expected = kAlwaysOn;
      expected.insert({cmd::Disconnect, cmd::FirmwareVersion, cmd::Reset, cmd::ResetDefaults, cmd::DownloadFirmware,
                       cmd::AddressSpeed, cmd::Status, cmd::OutputCommand, cmd::FirmwareReader1,
                       cmd::FirmwareReader2});
      if (c.records) expected.insert(records.begin(), records.end());
      if (c.production) expected.insert(production.begin(), production.end());
      if (expert) expected.insert({cmd::MemoryView, cmd::DirectCommand, cmd::Polling});
      std::string model = c.model;
      if (model == "LX-K3") expected.insert(cmd::RecoverableCount);
      if (model == "LX-P2" || model == "LX-K5") expected.insert(cmd::Logo);
      if (model == "LX-P2") expected.insert({cmd::CanteenAcquire, cmd::CanteenRetrieve, cmd::CanteenCount});
      EXPECT_EQ(enabledItems(menu), expected) << c.model << " expert " << expert;

      menu.apply(disconnectedChanges());
      MenuState fresh;
      for (int id : itemsDeletedAtStartUp(expert)) fresh.remove(id);
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
  ASSERT_EQ(menu.size(), 6u);
  EXPECT_EQ(menu[4].text, "Funzioni&Extra");
  EXPECT_EQ(menu[4].children[0].text, "&Produzione");
  EXPECT_EQ(menu[5].text, "&?");
  EXPECT_EQ(menu[5].children[0].text, "&Informazioni");
  EXPECT_EQ(menu[2].children[7].text, "Elenco attività");

  EXPECT_EQ(fixedTerminalCaption(7, "Ingresso"), "ORBITA (0007 - Ingresso)");
  EXPECT_EQ(handheldCaption("00012345", "Palmare"), "ORBITA (00012345 - Palmare)");
  EXPECT_EQ(schedulingCaption(), "ORBITA (esecuzione attivita` programmate)");
  EXPECT_EQ(aboutText(), "ORBITAVersione 1.03");
}

// The mnemonic letter of a label, lower case; 0 when it has none.
char mnemonic(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
  }
  return 0;
}

void collectIds(const std::vector<MenuNode>& nodes, std::vector<int>& out) {
  for (const MenuNode& n : nodes) {
    if (n.kind == MenuNode::Kind::Item) out.push_back(n.id);
    if (n.kind == MenuNode::Kind::Popup) collectIds(n.children, out);
  }
}

// Every label of the program's own menu has a mnemonic, unique in its menu.
void expectOwnMnemonics(const MenuNode& popup) {
  std::map<char, std::string> seen;
  for (const MenuNode& n : popup.children) {
    if (n.kind == MenuNode::Kind::Separator) continue;
    char m = mnemonic(n.text);
    EXPECT_NE(m, 0) << n.text;
    auto [it, fresh] = seen.emplace(m, n.text);
    EXPECT_TRUE(fresh) << popup.text << ": \"" << n.text << "\" and \"" << it->second << "\"";
    if (n.kind == MenuNode::Kind::Popup) expectOwnMnemonics(n);
  }
}

TEST(MenuTest, FixedTerminalMenuHoldsEveryCommandTheHandheldMenusLack) {
  const auto& menu = mainMenu();
  ASSERT_EQ(menu.size(), 6u);
  EXPECT_EQ(menu[0].text, "&Terminali");
  EXPECT_EQ(menu[1].text, "&Lettori fissi");
  EXPECT_EQ(menu[2].text, "&Funzioni");

  std::vector<int> own;
  collectIds(menu[1].children, own);
  std::vector<int> others;
  for (std::size_t i = 0; i < menu.size(); ++i)
    if (i != 1) collectIds(menu[i].children, others);
  std::multiset<int> all(own.begin(), own.end());
  all.insert(others.begin(), others.end());
  // Every command the user can choose has exactly one item; only the posted ones have none.
  for (int id : cmd::kAll) {
    bool posted = id == cmd::StartUp || id == cmd::RunBatch;
    EXPECT_EQ(all.count(id), posted ? 0u : 1u) << id;
  }
  for (int id : cmd::kOwn) EXPECT_EQ(std::count(own.begin(), own.end(), id), 1) << id;
  EXPECT_EQ(own.front(), cmd::Connect);

  expectOwnMnemonics(menu[1]);
  // The menu bar's own mnemonics are unique too.
  std::set<char> bar;
  for (const MenuNode& top : menu) EXPECT_TRUE(bar.insert(mnemonic(top.text)).second) << top.text;
}

// --- connection ---

struct ConnectionPlant {
  sim::SimServer server;
  TempDir dir;
  ScriptedPrompt prompt;
  Messages messages{prompt};
  ProcessState state;
  int selections = 0;
  ConnectionHooks hooks;

  ConnectionPlant() {
    server.add(sim::SimTerminal("LX-K3", 1));
    std::uint16_t port = server.listenTcp();
    server.start();
    state.workingDirectory = dir.path();
    state.registry.rows = {test::tcpRow(12, "LX-K3", port), test::tcpRow(13, "LX-K3", 1)};  // 13: nobody there
    hooks.selectTerminal = [this] {
      ++selections;
      return true;
    };
  }
  FrameUpdate connectRow(int row) {
    state.registry.current = row;
    return connectFixedTerminal(state, messages, hooks);
  }
  // What cfgctl or a second cfgtool would find.
  TerminalLock::Result otherRun(unsigned number) {
    TerminalLock other;
    return other.acquire(terminalLockPath(dir.path(), number));
  }
};

TEST(ConnectionTest, ConnectHoldsTheTerminalsLockUntilDisconnect) {
  ConnectionPlant p;
  FrameUpdate up = p.connectRow(0);
  ASSERT_TRUE(p.state.connected);
  EXPECT_TRUE(p.state.link.isOpen());
  EXPECT_EQ(p.selections, 1);
  EXPECT_EQ(up.menu, connectedFixedChanges("LX-K3", false));
  EXPECT_EQ(up.caption, "ORBITA (0012 - Varco LX-K3)");
  EXPECT_TRUE(up.post.empty());
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Busy);
  EXPECT_EQ(p.otherRun(13), TerminalLock::Result::Held) << "only the connected terminal is locked";

  // A second connect while connected says so and changes nothing.
  FrameUpdate again = p.connectRow(0);
  EXPECT_TRUE(again.menu.empty());
  EXPECT_EQ(p.prompt.texts(), std::vector<std::string>{kAlreadyConnected});
  EXPECT_EQ(p.server.connections(), 1);

  FrameUpdate down = disconnectTerminal(p.state, p.hooks);
  EXPECT_FALSE(p.state.connected);
  EXPECT_FALSE(p.state.link.isOpen());
  EXPECT_EQ(down.menu, disconnectedChanges());
  EXPECT_EQ(down.caption, "ORBITA");
  EXPECT_TRUE(down.post.empty());
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Held) << "released at disconnect";
}

TEST(ConnectionTest, AFailedOpenOrACancelledChoiceLeavesNoLockBehind) {
  ConnectionPlant p;
  FrameUpdate up = p.connectRow(1);  // nobody listens
  EXPECT_FALSE(p.state.connected);
  EXPECT_TRUE(up.menu.empty());
  EXPECT_EQ(p.prompt.count(), 1u);  // the Link's own message
  EXPECT_EQ(p.otherRun(13), TerminalLock::Result::Held);

  p.hooks.selectTerminal = [] { return false; };
  p.state.reconnect = false;
  up = p.connectRow(0);
  EXPECT_FALSE(p.state.connected);
  EXPECT_TRUE(up.menu.empty());
  EXPECT_EQ(p.server.connections(), 0);
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Held);
}

TEST(ConnectionTest, AModemLineIsDialledAfterTheLinkOpensAndHungUpBeforeItCloses) {
  ConnectionPlant p;
  p.state.registry.rows[0].modem = true;
  std::vector<std::string> steps;
  bool dialled = false;
  p.hooks.dialModem = [&] {
    steps.push_back(p.state.link.isOpen() ? "dial on open link" : "dial on closed link");
    return dialled;
  };
  p.hooks.hangUpModem = [&] { steps.push_back(p.state.link.isOpen() ? "hang up on open link" : "late hang up"); };

  // The line does not answer: nothing stays open or locked.
  FrameUpdate up = p.connectRow(0);
  EXPECT_FALSE(p.state.connected);
  EXPECT_FALSE(p.state.modemConnected);
  EXPECT_FALSE(p.state.link.isOpen());
  EXPECT_TRUE(up.menu.empty());
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Held);

  dialled = true;
  up = p.connectRow(0);
  EXPECT_TRUE(p.state.connected);
  EXPECT_TRUE(p.state.modemConnected);
  disconnectTerminal(p.state, p.hooks);
  EXPECT_FALSE(p.state.modemConnected);
  EXPECT_EQ(steps, (std::vector<std::string>{"dial on open link", "dial on open link", "hang up on open link"}));

  // The program ends while dialled: hang up first, then close, then unlock.
  p.connectRow(0);
  ASSERT_TRUE(p.state.connected);
  closeAtShutdown(p.state, p.hooks);
  EXPECT_EQ(steps.back(), "hang up on open link");
  EXPECT_FALSE(p.state.link.isOpen());
  EXPECT_FALSE(p.state.connected);
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Held);

  // Without a way to dial, a modem row cannot be connected.
  p.hooks.dialModem = nullptr;
  p.connectRow(0);
  EXPECT_FALSE(p.state.connected);
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Held);
}

TEST(ConnectionTest, AnAddressChangeSavesTheRowAndReconnectsWithoutAsking) {
  ConnectionPlant p;
  p.connectRow(0);
  ASSERT_TRUE(p.state.connected);

  // The user declines: the row is saved, nothing is posted.
  p.prompt.script({Answer::No});
  recordAddressSpeedChange(p.state, p.messages, 1, 4);
  EXPECT_EQ(p.state.registry.rows[0].speed, "19200");
  EXPECT_NE(p.dir.read("config.dat").find("19200"), std::string::npos);
  EXPECT_TRUE(afterAddressSpeed(p.state, 1).post.empty());

  p.prompt.script({Answer::Yes});
  recordAddressSpeedChange(p.state, p.messages, 1, 5);
  EXPECT_EQ(p.prompt.shown().back().text, "Riconnettere il terminale con i nuovi valori impostati ?");
  EXPECT_EQ(afterAddressSpeed(p.state, 0).post, std::vector<int>{}) << "the dialog was cancelled";
  EXPECT_EQ(afterAddressSpeed(p.state, 1).post, std::vector<int>{cmd::Disconnect});
  FrameUpdate down = disconnectTerminal(p.state, p.hooks);
  EXPECT_EQ(down.post, std::vector<int>{cmd::Connect});
  FrameUpdate up = connectFixedTerminal(p.state, p.messages, p.hooks);
  EXPECT_TRUE(p.state.connected);
  EXPECT_FALSE(p.state.reconnect);
  EXPECT_EQ(p.selections, 1) << "no selection on reconnect";
  EXPECT_EQ(up.caption, "ORBITA (0012 - Varco LX-K3)");
  EXPECT_EQ(p.state.link.config.speed, 38400u);
  EXPECT_EQ(p.otherRun(12), TerminalLock::Result::Busy);
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

TEST_F(CardTest, TheRegistryTakesAHundredRowsAndNoMore) {
  Registry registry;
  registry.rows.resize(kRegistryCapacity - 1);
  EXPECT_TRUE(roomForAnotherRow(registry, messages));
  EXPECT_EQ(prompt.count(), 0u);
  registry.rows.emplace_back();
  EXPECT_FALSE(roomForAnotherRow(registry, messages));
  EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Spazio esaurito!"});
}

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
