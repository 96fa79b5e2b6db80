#include "app/menu_state.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "app/command_ids.h"
#include "link/link_config.h"

namespace cfg {

namespace {

MenuNode item(int id, std::string text, bool grey = false) {
  return {MenuNode::Kind::Item, std::move(text), id, grey, {}};
}
MenuNode separator() { return {MenuNode::Kind::Separator, {}, 0, false, {}}; }
MenuNode popup(std::string text, std::vector<MenuNode> children) {
  return {MenuNode::Kind::Popup, std::move(text), 0, false, std::move(children)};
}

std::vector<MenuNode> buildMenu() {
  using namespace cmd;
  return {
      popup("&Terminali",
            {item(PlantPassword, "&Password palmari impianto"), item(BluetoothList, "Elenco palmari &bluetooth"),
             item(UsbList, "Elenco palmari &USB"), separator(), item(Disconnect, "&Disconnessione terminale", true),
             separator(), item(Formats, "Elenco &formati acquisizione"), separator(), item(Exit, "&Uscita")}),
      popup("&Lettori fissi",
            {item(Connect, "&Connessione terminale"), item(TerminalList, "&Elenco terminali"), separator(),
             item(Status, "Lettura &Stato Terminale", true), item(OutputCommand, "Invio Comando &Output", true),
             item(AddressSpeed, "Cambia &Indirizzo/Velocita`", true),
             item(RecoverableCount, "Lettura numero reg. &recuperabili", true),
             item(Polling, "&Polling Terminale", true), separator(),
             popup("&Mensa",
                   {item(CanteenArchives, "&Configura Archivi Mensa"),
                    item(CanteenAcquire, "&Acquisizione registrazioni", true),
                    item(CanteenRetrieve, "&Recupero registrazioni", true),
                    item(CanteenCount, "Lettura &numero registrazioni", true)}),
             separator(), item(AccessPolicies, "Politiche di &Accesso"), item(Sirens, "Attivazione Sire&ne"),
             item(ExitDirection, "Verso Tim&bratura di Uscita"), item(UserMessages, "Messa&ggi Utente"),
             item(Users, "Elenco &Utenti"), item(Holidays, "Elenco &Festivita`"),
             item(Fingerprints, "Elenco Impronte &Digitali"), item(CardsAt, "Ini&zializza Tessere MF - \"@\""),
             item(CardsA, "Inizializza &Tessere MF - \"A\""), item(CardsB, "Inizia&lizza Tessere MF - \"B\""),
             item(Logo, "Do&wnload logo", true), item(FirmwareReader1, "Download firmware lettore &1", true),
             item(FirmwareReader2, "Download firmware lettore &2", true), separator(),
             item(DeskReader, "Impostazioni Lettore da Ta&volo")}),
      popup("&Funzioni",
            {item(Acquire, "Acquisizione registrazioni", true), item(Retrieve, "Recupero registrazioni", true),
             item(EraseRecords, "Cancellazione registrazioni", true), separator(),
             item(ReaderId, "Identificazione lettore", true), item(Justifications, "Elenco giustificativi"),
             item(Sites, "Elenco cantieri"), item(JobActivities, "Elenco attività"),
             item(Parameters, "Parametri di configurazione", true), separator(),
             item(SendDateTime, "Invio data e ora", true), item(ReadDateTime, "Lettura data e ora", true),
             item(RecordCount, "Lettura numero registrazioni", true),
             item(FirmwareVersion, "Lettura versione firmware", true), item(Reset, "Invio reset", true),
             separator(), item(DownloadFirmware, "Download Firmware", true),
             item(ResetDefaults, "Invio reset + default", true),
             item(MemoryView, "Lettura/scrittura memoria", true), item(DirectCommand, "Comando diretto", true)}),
      popup("&Batch",
            {item(ConfigureArchives, "&Configura archivi"), item(ProductionArchives, "&Archivi produzione"),
             separator(), item(BatchEditor, "&Imposta batch file"), item(ChooseBatch, "&Esegui batch file"),
             separator(), item(Activities, "&Programma attivita`"), item(StartScheduling, "&Start programmazione"),
             item(StopScheduling, "Sto&p programmazione", true)}),
      popup("Funzioni&Extra",
            {popup("&Produzione",
                   {item(ProductionProgram, "&Programma"), item(ProductionTables, "&Tabelle"), separator(),
                    item(ProductionAcquire, "&Acquisizione", true), item(ProductionRetrieve, "&Recupero", true),
                    separator(), item(ProductionCount, "&Numero reg.", true)})}),
      popup("&?", {item(About, "&Informazioni")}),
  };
}

void collect(const std::vector<MenuNode>& nodes, std::map<int, bool>& out) {
  for (const MenuNode& n : nodes) {
    if (n.kind == MenuNode::Kind::Item) out[n.id] = !n.grey;
    if (n.kind == MenuNode::Kind::Popup) collect(n.children, out);
  }
}

bool isOneOf(std::string_view model, std::initializer_list<std::string_view> models) {
  return std::any_of(models.begin(), models.end(), [&](std::string_view m) { return sameModel(model, m); });
}

void add(MenuChanges& out, std::initializer_list<int> ids, bool enabled) {
  for (int id : ids) out.push_back({id, enabled});
}

}  // namespace

const std::vector<MenuNode>& mainMenu() {
  static const std::vector<MenuNode> menu = buildMenu();
  return menu;
}

MenuState::MenuState() { collect(mainMenu(), enabled_); }

bool MenuState::enabled(int id) const {
  auto it = enabled_.find(id);
  return it != enabled_.end() && it->second;
}

void MenuState::set(int id, bool enabled) {
  auto it = enabled_.find(id);
  if (it != enabled_.end()) it->second = enabled;
}

void MenuState::apply(const MenuChanges& changes) {
  for (const MenuChange& c : changes) set(c.id, c.enabled);
}

void MenuState::remove(int id) { enabled_.erase(id); }

MenuChanges connectedFixedChanges(std::string_view model, bool expert) {
  using namespace cmd;
  MenuChanges c;
  add(c, {PlantPassword, BluetoothList, UsbList, Connect, StartScheduling}, false);
  add(c, {Disconnect, AddressSpeed}, true);
  bool recordModel = isOneOf(model, {"LX-P1", "LX-P2", "LX-K3", "LX-K2", "LX-K4", "LX-K5"});
  add(c, {Acquire, Retrieve, EraseRecords, Parameters, SendDateTime, ReadDateTime, RecordCount}, recordModel);
  add(c, {RecoverableCount}, sameModel(model, "LX-K3"));
  add(c, {FirmwareVersion, OutputCommand, Status}, true);
  add(c, {Logo}, isOneOf(model, {"LX-P2", "LX-K5"}));
  add(c, {Reset, ResetDefaults, DownloadFirmware, FirmwareReader1, FirmwareReader2}, true);
  add(c, {MemoryView, DirectCommand, Polling}, expert);
  add(c, {ProductionAcquire, ProductionRetrieve, ProductionCount}, isOneOf(model, {"LX-P1", "LX-P2", "HND  "}));
  add(c, {CanteenAcquire, CanteenRetrieve, CanteenCount}, sameModel(model, "LX-P2"));
  add(c, {ChooseBatch}, false);
  return c;
}

MenuChanges connectedHandheldChanges(bool expert) {
  using namespace cmd;
  MenuChanges c;
  add(c, {PlantPassword, BluetoothList, UsbList, StartScheduling, ChooseBatch}, false);
  add(c, {Disconnect, Acquire, Retrieve, EraseRecords, ReaderId, Justifications, Parameters, SendDateTime,
          ReadDateTime, RecordCount, FirmwareVersion, Reset, ResetDefaults, DownloadFirmware, ProductionAcquire,
          ProductionRetrieve, ProductionCount},
      true);
  if (expert) add(c, {MemoryView, DirectCommand}, true);
  return c;
}

MenuChanges disconnectedChanges() {
  using namespace cmd;
  MenuChanges c;
  add(c, {PlantPassword, BluetoothList, UsbList, Connect, StartScheduling, ChooseBatch}, true);
  add(c, {Disconnect,      AddressSpeed,    Acquire,         Retrieve,           EraseRecords,
          ReaderId,        Parameters,      SendDateTime,    ReadDateTime,       RecordCount,
          RecoverableCount, FirmwareVersion, OutputCommand,  Status,             Logo,
          Reset,           ResetDefaults,   DownloadFirmware, FirmwareReader1,   FirmwareReader2,
          MemoryView,      DirectCommand,   Polling,         ProductionAcquire,  ProductionRetrieve,
          ProductionCount, CanteenAcquire,  CanteenRetrieve, CanteenCount},
      false);
  return c;
}

MenuChanges schedulingStartedChanges() {
  using namespace cmd;
  MenuChanges c;
  add(c, {StartScheduling, Connect, ChooseBatch}, false);
  add(c, {StopScheduling}, true);
  return c;
}

MenuChanges schedulingStoppedChanges() {
  using namespace cmd;
  MenuChanges c;
  add(c, {StartScheduling, Connect, ChooseBatch}, true);
  add(c, {StopScheduling}, false);
  return c;
}

std::vector<int> itemsDeletedAtStartUp(bool expert) {
  using namespace cmd;
  std::vector<int> ids;
  if (!expert) ids = {MemoryView, DirectCommand, Polling};
  ids.push_back(CardsAt);
  ids.push_back(CardsB);
  return ids;
}

std::string fixedTerminalCaption(unsigned number, std::string_view description) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04u", number);
  return std::string(kProgramCaption) + " (" + digits + " - " + std::string(description) + ")";
}

std::string handheldCaption(std::string_view id, std::string_view name) {
  return std::string(kProgramCaption) + " (" + std::string(id) + " - " + std::string(name) + ")";
}

std::string schedulingCaption() { return std::string(kProgramCaption) + " (esecuzione attivita` programmate)"; }

std::string aboutText() { return std::string(kProgramCaption) + kProgramVersion; }

Size pictureSize(Size picture, Size client) {
  if (picture.width <= 0 || picture.height <= 0) return {};
  if (picture.width <= client.width && picture.height <= client.height) return picture;
  long long cw = std::max(client.width, 0);
  long long ch = std::max(client.height, 0);
  long long factor = std::min(cw * 1000 / picture.width, ch * 1000 / picture.height);
  return {static_cast<int>(picture.width * factor / 1000), static_cast<int>(picture.height * factor / 1000)};
}

int firstMinuteTickMs(int currentSecond) { return (62 - std::clamp(currentSecond, 0, 60)) * 1000; }

}  // namespace cfg
