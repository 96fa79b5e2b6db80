// The main window's menu as data, and how it changes with the connection.
//
// The menu tree (texts with their mnemonics, separators, the items grey at
// start) is described here once; the GUI builds its menu bar from it and
// mirrors a MenuState into its actions. Every enable/grey rule of connect,
// disconnect and scheduling is a list of MenuChanges, so the rules are
// tested without a display.
//
// Texts are UTF-8: they are the GUI's own, never written to a file.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cfg {

inline constexpr const char* kProgramCaption = "ORBITA";
inline constexpr const char* kProgramVersion = "Versione 1.03";
// What an enabled item whose function is not built yet shows ("Info Message").
inline constexpr const char* kNotAvailableYet = "Funzione non ancora disponibile.";

struct MenuNode {
  enum class Kind { Item, Separator, Popup };
  Kind kind = Kind::Item;
  std::string text;               // items and popups
  int id = 0;                     // items
  bool grey = false;              // items: grey at start
  std::vector<MenuNode> children; // popups
};

// The menu bar: its top-level popups in order. Besides the handheld menus it
// holds "&Lettori fissi", the program's own menu of the fixed-terminal
// commands (connection, registry, status, tables, cards, canteen, ...).
const std::vector<MenuNode>& mainMenu();

struct MenuChange {
  int id;
  bool enabled;
  bool operator==(const MenuChange&) const = default;
};
using MenuChanges = std::vector<MenuChange>;

// Which items are in the menu and whether each is enabled. Changes to an id
// that has no item (a command without a menu entry, or a deleted one) are
// ignored, as the menu itself ignores them.
class MenuState {
 public:
  MenuState();  // the menu at start: every item, grey as described
  bool present(int id) const { return enabled_.count(id) != 0; }
  bool enabled(int id) const;
  void set(int id, bool enabled);
  void apply(const MenuChanges& changes);
  void remove(int id);
  const std::map<int, bool>& items() const { return enabled_; }

 private:
  std::map<int, bool> enabled_;
};

// Connected to a fixed terminal of `model` (a registry model text).
MenuChanges connectedFixedChanges(std::string_view model, bool expertFunctions);
// Connected to a handheld from the USB or Bluetooth list.
MenuChanges connectedHandheldChanges(bool expertFunctions);
// Back to the disconnected state.
MenuChanges disconnectedChanges();
MenuChanges schedulingStartedChanges();
MenuChanges schedulingStoppedChanges();
// The items deleted at start-up: the expert ones unless enabdump.dat exists,
// and always the card initialisations "@" and "B" (40069, 40080).
std::vector<int> itemsDeletedAtStartUp(bool expertFunctions);

// Captions of the main window. Texts are passed through as given.
std::string fixedTerminalCaption(unsigned number, std::string_view description);  // "ORBITA (%04d - %s)"
std::string handheldCaption(std::string_view id, std::string_view name);         // "ORBITA (%s - %s)"
std::string schedulingCaption();  // "ORBITA (esecuzione attivita` programmate)"
// The about box's line: the caption followed directly by the version.
std::string aboutText();

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};
// The main window picture's drawn size: the picture's own size when it fits
// the client area, otherwise reduced by the smaller of the two ratios (in
// thousandths) so that it keeps its proportions. Never enlarged.
Size pictureSize(Size picture, Size client);

// The minute timer first fires 2 s after the next full minute.
int firstMinuteTickMs(int currentSecond);
inline constexpr int kMinuteTickMs = 60000;

}  // namespace cfg
