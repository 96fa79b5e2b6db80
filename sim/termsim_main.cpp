// termsim: simulated fixed terminals on TCP or pseudo-terminals, for tests,
// scripts and the demo. `termsim --help` tells everything; in short:
//
//   termsim [--model MODEL] [--address N] (--tcp PORT | --pty [--modem]) [--records N] [--fault KIND[:COUNT]] ...
//
// serves one terminal; when ready it prints one line, "tcp 127.0.0.1:PORT"
// or "pty /dev/pts/N", and serves until SIGTERM or SIGINT.
//
//   termsim --plant FILE [--config DIR] [--expect DIR]
//
// serves every terminal of a plant description, each with its records;
// prints one "terminal ..." line per terminal, then "ready". --config writes
// config.dat and porte.dat for them into DIR; --expect writes the archive
// lines one acquisition of every terminal gives (expected_reg.txt, ...).
//
// Exit status: 0 when stopped by a signal, 2 for a bad command line or plant
// file, 3 when a file, folder, port or pseudo-terminal cannot be used.
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "sim/plant.h"
#include "sim/sim_bt.h"
#include "sim/sim_cards.h"
#include "sim/sim_fingerprint_module.h"
#include "sim/sim_hid.h"
#include "sim/sim_server.h"

namespace {

constexpr int kBadUsage = 2;  // what was typed (options, plant file) is wrong
constexpr int kFailed = 3;    // the system refused a file, folder, port or pseudo-terminal

// What was typed is wrong; the text says what, and the short usage follows.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// A plant file that does not parse: wrong input, but the usage would not help.
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char kUsage[] =
    "usage: termsim [--model MODEL] [--address N] (--tcp PORT | --pty)\n"
    "               [--records N] [--attendance N] [--production N] [--canteen N] [--seed N]\n"
    "               [--fault KIND[:COUNT]] [--delay MS] [--loader-image FILE]\n"
    "               [--user-capacity N] [--no-user-count]\n"
    "       termsim --desk-reader [--address N] [--card SERIAL,1k|4k[,VERSION[,LETTER]]] (--tcp PORT | --pty)\n"
    "               [--fp-template HEX|FILE] [--fp-fault KIND[:COUNT]] ... [--fp-scan-ms MS]\n"
    "       termsim --usb-handheld ID,PASSWORD[,PRODUCT] ... [--usb-other PAGE,USAGE,PRODUCT] ...\n"
    "               [--records N] ... [--seed N] [--tcp PORT | --pty]\n"
    "               [--modem [--modem-init-reply TEXT] [--modem-dial-result RESULT]]\n"
    "       termsim --bt-handheld ADDRESS,ID,PASSWORD[,NAME[,SERVICE]] ... [--bt-no-radio]\n"
    "               [--records N] ... [--seed N] [--usb-handheld ...] [--tcp PORT | --pty]\n"
    "       termsim --plant FILE [--config DIR] [--expect DIR]\n"
    "       termsim --help\n";

void printHelp() {
  std::printf(
      "termsim: simulated data-collection terminals for tests, scripts and the demo.\n"
      "\n"
      "%s"
      "\n"
      "One terminal:\n"
      "  prints \"tcp 127.0.0.1:PORT\" or \"pty /dev/pts/N\" when ready and serves until\n"
      "  SIGTERM or SIGINT (Ctrl-C).\n"
      "  --model MODEL         the terminal's model (default LX-P2); one of:\n"
      "                        %s\n"
      "  --address N           its address on the line, 0-255 (default 1)\n"
      "  --tcp PORT            listen on 127.0.0.1:PORT; 0 picks a free port\n"
      "  --pty                 serve on a new pseudo-terminal; map a COM name to the printed\n"
      "                        path in porte.dat (\"COM5 /dev/pts/N\")\n"
      "  --records N           N records of every kind, 0-%d: N attendance records,\n"
      "                        N canteen records and N closed production jobs (default 0)\n"
      "  --attendance N        attendance records, 0-%d (overrides --records)\n"
      "  --production N        closed production jobs, 0-%d; a job is 2 to 9 production\n"
      "                        records (overrides --records)\n"
      "  --canteen N           canteen records, 0-%d (overrides --records)\n"
      "  --seed N              which records are made (default 1); the same seed and counts\n"
      "                        always give the same records, from 1 December 2026 on\n"
      "  --fault KIND[:COUNT]  misbehave on every reply, or only on the next COUNT replies\n"
      "  --delay MS            how late the replies of the delay fault go out\n"
      "  --modem               put a Hayes-style modem in front of the terminal on the\n"
      "                        pseudo-terminal (with --pty): it echoes until \"ATE0\",\n"
      "                        answers \"OK\", dials on \"ATD...\", leaves the call on \"+++\"\n"
      "                        (%d ms of silence before and after, at most %d ms between the\n"
      "                        \"+\") and hangs up on \"ATH\" or \"ATH0\"; frames reach the\n"
      "                        terminal only while a call is up\n"
      "  --modem-init-reply TEXT\n"
      "                        the modem's answer to any other AT command, such as the\n"
      "                        initialisation string (default OK; ERROR refuses it)\n"
      "  --modem-dial-result RESULT\n"
      "                        the answer to \"ATD\": connect (\"CONNECT 9600\", the default),\n"
      "                        busy (\"BUSY\"), nocarrier (\"NO CARRIER\") or none (no answer)\n"
      "  --loader-image FILE   after each firmware download (\"33\", blocks, EOT) write the image\n"
      "                        the loader received to FILE (replaced whole); reader modules 1\n"
      "                        and 2 are fitted so that \"3301\" and \"3302\" are taken too\n"
      "  --user-capacity N     users the terminal holds, 1-65535 (default 5850 on LX-P2 and\n"
      "                        LX-K5, 2880 on the others); \"3802\" reports it\n"
      "  --desk-reader         serve a desk card reader (plain-XOR Frames, card commands\n"
      "                        30-33, 40-43 and 50) instead of a terminal\n"
      "  --card SERIAL,1k|4k[,VERSION[,LETTER]]\n"
      "                        a labelled MIFARE card lies on the desk reader: eight\n"
      "                        hexadecimal digits, its size, label version (default 1) and\n"
      "                        format letter in block 2 (default none)\n"
      "  --fp-template HEX|FILE\n"
      "                        the template the desk reader's fingerprint module returns:\n"
      "                        768 hexadecimal digits, or a file that starts with them (a\n"
      "                        template file \"tmp00001.tpl\"); default a fixed pattern\n"
      "  --fp-fault KIND[:COUNT]\n"
      "                        the fingerprint module misbehaves every time, or the next\n"
      "                        COUNT times (repeatable, one KIND each): nofinger (a first\n"
      "                        touch finds no finger), badtouch (the second touch does not\n"
      "                        match: the program shows \"Errore!\" and starts again),\n"
      "                        badtemplate (the template request comes without one),\n"
      "                        silent (a packet goes unanswered)\n"
      "  --fp-scan-ms MS       how long a touch takes before the module answers (default 0)\n"
      "                        The module takes the line when the desk reader answers \"00\"\n"
      "                        and speaks 13-byte binary packets until \"+++\"; its\n"
      "                        parameters start at factory values ('b' is '3'), so the first\n"
      "                        capture writes and saves them.\n"
      "  --no-user-count       refuse \"3802\" (NAK), as a terminal that cannot tell its user\n"
      "                        count and capacity\n"
      "\n"
      "Faults:\n"
      "  none       answer normally\n"
      "  noanswer   stay silent\n"
      "  nak        answer NAK\n"
      "  badcheck   send the reply with a wrong check byte\n"
      "  delay      send the reply MS milliseconds late (--delay)\n"
      "  echo       echo every request before the reply, as an echoing line does\n"
      "  close      send half the reply, then hang up\n"
      "  drop       lose one byte from the middle of the reply\n"
      "\n"
      "USB handhelds (HID devices, model \"HND  \"):\n"
      "  prints \"hid PATH\" when ready: PATH is the Unix socket to put in CFG_HID_SIM for\n"
      "  cfgtool, cfgctl and the tests; with --tcp or --pty the fixed terminal is served too\n"
      "  and its line comes first.\n"
      "  --usb-handheld ID,PASSWORD[,PRODUCT]\n"
      "                        one handheld (repeatable): ID its 4-character id, PASSWORD its\n"
      "                        8-digit password or \"-\" for none configured (then only the\n"
      "                        default password 58203716 unlocks it), PRODUCT its product\n"
      "                        string (default \"Palmare HND-ZZ\"). It obeys only after a 3A\n"
      "                        with its password (or the master password 47150932) and\n"
      "                        answers in 65-byte reports, now and then with empty reports\n"
      "                        first and the first report of a long reply repeated.\n"
      "                        The record options give every handheld its records, the\n"
      "                        n-th handheld (from 0) with seed N+n; faults do not apply.\n"
      "  --usb-other PAGE,USAGE,PRODUCT\n"
      "                        another HID device (repeatable) with that usage page and\n"
      "                        usage (decimal or 0x hexadecimal) and product string\n"
      "\n"
      "Bluetooth handhelds (model \"HND  \", reached through a simulated radio):\n"
      "  prints \"bt PATH\" when ready (after the \"hid\" line, if any): PATH is the Unix\n"
      "  socket to put in CFG_BT_SIM; both the system-stack and the vendor-stack code then\n"
      "  use the simulated radio instead of the real one.\n"
      "  --bt-handheld ADDRESS,ID,PASSWORD[,NAME[,SERVICE]]\n"
      "                        one Bluetooth device (repeatable; the same ADDRESS twice is a\n"
      "                        device the inquiry reports twice): ADDRESS as\n"
      "                        00:08:E0:12:34:56, ID and PASSWORD as for --usb-handheld,\n"
      "                        NAME its device name (default \"SPP140\"), SERVICE the name of\n"
      "                        its serial-port service (default NAME; \"-\" for none). Only\n"
      "                        devices of 00:08:E0 and 00:A0:96 are handhelds to the search.\n"
      "                        Records as for the USB handhelds; their seeds follow theirs.\n"
      "  --bt-no-radio         the radio is absent\n"
      "\n"
      "A plant:\n"
      "  --plant FILE          serve every terminal of FILE, each on a port or\n"
      "                        pseudo-terminal of its own; prints one line per terminal,\n"
      "                        \"terminal N MODEL tcp 127.0.0.1:PORT\" or\n"
      "                        \"terminal N MODEL pty /dev/pts/K COMn\", then \"hid PATH\" and\n"
      "                        \"bt PATH\" when it has handhelds, then \"ready\"\n"
      "  --config DIR          write config.dat and porte.dat for the plant into DIR\n"
      "                        (created when missing)\n"
      "  --expect DIR          write expected_reg.txt, expected_prd.txt and expected_mns.txt:\n"
      "                        the archive lines one acquisition of every terminal gives;\n"
      "                        with handhelds also expected_batch_reg.txt and\n"
      "                        expected_batch_prd.txt: the lines of a batch that acquires\n"
      "                        both kinds from every handheld (Bluetooth first, then USB)\n"
      "\n"
      "Plant file: one terminal a line of KEY=VALUE words; \"#\" starts a comment.\n"
      "  terminal number=1 model=LX-P2 address=1 via=tcp attendance=40 production=4 canteen=12 "
      "seed=11 description=Reparto presse\n"
      "  terminal number=3 model=LX-K3 address=3 via=pty port=COM3 attendance=30 seed=33 "
      "description=Magazzino\n"
      "  terminal number=5 model=LX-P2 address=5 via=modem port=COM5 phone=0312345678 continuous=yes "
      "attendance=20\n"
      "  number=N          registry number, 1-9999, unique (required)\n"
      "  model=MODEL       as --model (default LX-P2)\n"
      "  address=N         0-255 (default 1)\n"
      "  via=tcp|pty       a TCP port or a pseudo-terminal (default tcp)\n"
      "  via=modem         a pseudo-terminal with a modem in front (as --modem); config.dat\n"
      "                    gets the row as a modem row\n"
      "  port=COMn         COM1-COM9: the name porte.dat gives a pseudo-terminal (default COM1;\n"
      "                    unique among the pseudo-terminals)\n"
      "  phone=NUMBER      the number config.dat dials for a modem row, up to 15 digits\n"
      "                    (default 0123456789)\n"
      "  continuous=yes    continuous modem download (LX-P2, LX-K5 behind a modem): the\n"
      "                    records stream\n"
      "  attendance=N      attendance records, 0-%d\n"
      "  production=N      closed production jobs, 0-%d\n"
      "  canteen=N         canteen records, 0-%d\n"
      "  seed=N            0-999999999 (default 1)\n"
      "  description=TEXT  the rest of the line (config.dat keeps 30 characters)\n"
      "Handhelds, one a line:\n"
      "  handheld id=H001 via=usb password=13572468 attendance=8 production=2 seed=61\n"
      "  handheld id=B001 via=bt address=00:08:E0:00:00:21 password=- attendance=6 name=SPP140\n"
      "  id=ID             four characters, unique (required)\n"
      "  via=usb|bt        the simulated USB bus (default) or Bluetooth radio\n"
      "  address=ADDRESS   the Bluetooth device address\n"
      "  password=DIGITS   its own 8-digit password; \"-\" (default): not configured\n"
      "  attendance=N, production=N, seed=N   as for terminals\n"
      "  name=TEXT         the rest of the line: USB product (default Palmare HND-ZZ) or\n"
      "                    Bluetooth device name (default SPP140)\n"
      "\n"
      "Exit status: 0 when stopped by a signal, 2 for a bad command line or plant file,\n"
      "3 when a file, folder, port or pseudo-terminal cannot be used.\n",
      kUsage, cfg::sim::simulatedModelList().c_str(), cfg::sim::kMaxProduction, cfg::sim::kMaxAttendance, cfg::sim::kMaxProduction,
      cfg::sim::kMaxCanteen, cfg::sim::ModemSettings{}.guardMs,
      static_cast<int>(cfg::sim::SimModem::kMaxPlusGap.count()), cfg::sim::kMaxAttendance, cfg::sim::kMaxProduction,
      cfg::sim::kMaxCanteen);
}

// A whole decimal number from low to high, or a UsageError naming the option.
long number(const std::string& option, const std::string& text, long low, long high) {
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  bool digitsOnly = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digitsOnly || *end != '\0' || errno == ERANGE || v < low || v > high)
    throw UsageError(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", not \"" + text + "\"");
  return v;
}

struct Options {
  std::optional<std::string> plantFile, configDir, expectDir;
  bool singleOption = false;  // an option of the one-terminal form was given
  cfg::sim::PlantTerminal terminal;
  long tcpPort = -1;
  bool pty = false;
  cfg::sim::Fault fault;
  struct Handheld {
    std::string id;
    std::optional<std::string> password;
    std::string product = cfg::sim::kHandheldProduct;
  };
  struct OtherDevice {
    std::uint16_t usagePage = 0, usage = 0;
    std::string product;
  };
  std::vector<Handheld> handhelds;
  std::vector<OtherDevice> others;
  struct BtHandheld {
    std::array<std::uint8_t, 6> address{};
    Handheld handheld;
    std::string name = "SPP140";
    std::optional<std::string> service;
  };
  std::vector<BtHandheld> btHandhelds;
  bool btNoRadio = false;
  bool bt() const { return !btHandhelds.empty() || btNoRadio; }
  bool usb() const { return !handhelds.empty() || !others.empty(); }
  std::optional<cfg::sim::ModemSettings> modem;
  std::string loaderImage;
  int userCapacity = 0;  // 0: the model's
  bool noUserCount = false;
  bool deskReader = false;
  std::optional<cfg::sim::SimCard> card;
  cfg::sim::SimFingerprintModule module;
  bool moduleOption = false;  // an option of the fingerprint module was given
};

// ID,PASSWORD[,PRODUCT]
Options::Handheld parseHandheld(const std::string& text) {
  Options::Handheld h;
  auto first = text.find(',');
  if (first == std::string::npos) throw UsageError("--usb-handheld takes ID,PASSWORD[,PRODUCT], not \"" + text + "\"");
  auto second = text.find(',', first + 1);
  h.id = text.substr(0, first);
  std::string password = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos) h.product = text.substr(second + 1);
  if (h.id.size() != 4 || h.id.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_") !=
                              std::string::npos)
    throw UsageError("--usb-handheld: the id is 4 letters or digits, not \"" + h.id + "\"");
  if (password != "-") {
    if (password.size() != 8 || password.find_first_not_of("0123456789") != std::string::npos)
      throw UsageError("--usb-handheld: the password is 8 digits or \"-\", not \"" + password + "\"");
    h.password = password;
  }
  return h;
}

// ADDRESS,ID,PASSWORD[,NAME[,SERVICE]]
Options::BtHandheld parseBtHandheld(const std::string& text) {
  Options::BtHandheld b;
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    auto comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() < 3 || parts.size() > 5)
    throw UsageError("--bt-handheld takes ADDRESS,ID,PASSWORD[,NAME[,SERVICE]], not \"" + text + "\"");
  auto address = cfg::sim::parseBtAddress(parts[0]);
  if (!address) throw UsageError("--bt-handheld: the address is like 00:08:E0:12:34:56, not \"" + parts[0] + "\"");
  b.address = *address;
  b.handheld = parseHandheld(parts[1] + "," + parts[2]);
  if (parts.size() > 3) b.name = parts[3];
  if (b.name.size() > 248) throw UsageError("--bt-handheld: a device name has at most 248 bytes");
  if (parts.size() > 4) {
    if (parts[4] != "-") b.service = parts[4];
  } else {
    b.service = b.name;
  }
  return b;
}

long usageNumber(const std::string& option, const std::string& text) {
  bool hex = text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0);
  std::string digits = hex ? text.substr(2) : text;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(digits.c_str(), &end, hex ? 16 : 10);
  if (digits.empty() || *end != '\0' || errno == ERANGE || v < 0 || v > 0xFFFF ||
      digits.find_first_of("+- ") != std::string::npos)
    throw UsageError(option + " takes numbers from 0 to 65535 (or 0x0000 to 0xFFFF), not \"" + text + "\"");
  return v;
}

// PAGE,USAGE,PRODUCT
Options::OtherDevice parseOther(const std::string& text) {
  auto first = text.find(',');
  auto second = first == std::string::npos ? first : text.find(',', first + 1);
  if (second == std::string::npos) throw UsageError("--usb-other takes PAGE,USAGE,PRODUCT, not \"" + text + "\"");
  Options::OtherDevice d;
  d.usagePage = static_cast<std::uint16_t>(usageNumber("--usb-other", text.substr(0, first)));
  d.usage = static_cast<std::uint16_t>(usageNumber("--usb-other", text.substr(first + 1, second - first - 1)));
  d.product = text.substr(second + 1);
  return d;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  std::optional<long> records, attendance, production, canteen;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError(a + " needs a value");
      return argv[++i];
    };
    if (a == "--plant") {
      o.plantFile = value();
    } else if (a == "--config") {
      o.configDir = value();
    } else if (a == "--expect") {
      o.expectDir = value();
    } else if (a == "--model") {
      std::string model = value();
      if (!cfg::sim::isSimulatedModel(model))
        throw UsageError("unknown model \"" + model + "\"; known models: " + cfg::sim::simulatedModelList());
      o.terminal.model = model;
      o.singleOption = true;
    } else if (a == "--address") {
      o.terminal.address = static_cast<unsigned>(number(a, value(), 0, 255));
      o.singleOption = true;
    } else if (a == "--tcp") {
      o.tcpPort = number(a, value(), 0, 65535);
      o.singleOption = true;
    } else if (a == "--pty") {
      o.pty = true;
      o.singleOption = true;
    } else if (a == "--records") {
      records = number(a, value(), 0, cfg::sim::kMaxProduction);
      o.singleOption = true;
    } else if (a == "--attendance") {
      attendance = number(a, value(), 0, cfg::sim::kMaxAttendance);
      o.singleOption = true;
    } else if (a == "--production") {
      production = number(a, value(), 0, cfg::sim::kMaxProduction);
      o.singleOption = true;
    } else if (a == "--canteen") {
      canteen = number(a, value(), 0, cfg::sim::kMaxCanteen);
      o.singleOption = true;
    } else if (a == "--seed") {
      o.terminal.seed = static_cast<unsigned>(number(a, value(), 0, 999999999));
      o.singleOption = true;
    } else if (a == "--fault") {
      std::string text = value();
      auto colon = text.find(':');
      if (!cfg::sim::parseFaultKind(text.substr(0, colon), o.fault.kind))
        throw UsageError("unknown fault \"" + text.substr(0, colon) +
                         "\"; known faults: none noanswer nak badcheck delay echo close drop");
      if (colon != std::string::npos)
        o.fault.count = static_cast<int>(number("--fault COUNT", text.substr(colon + 1), 0, 1000000000));
      o.singleOption = true;
    } else if (a == "--usb-handheld") {
      o.handhelds.push_back(parseHandheld(value()));
    } else if (a == "--bt-handheld") {
      o.btHandhelds.push_back(parseBtHandheld(value()));
    } else if (a == "--bt-no-radio") {
      o.btNoRadio = true;
    } else if (a == "--usb-other") {
      o.others.push_back(parseOther(value()));
    } else if (a == "--modem") {
      if (!o.modem) o.modem.emplace();
      o.singleOption = true;
    } else if (a == "--modem-init-reply") {
      std::string text = value();
      if (text.empty() || text.size() > 40 || text.find_first_of("\r\n") != std::string::npos)
        throw UsageError("--modem-init-reply takes a text of 1 to 40 characters on one line");
      if (!o.modem) o.modem.emplace();
      o.modem->initReply = text;
      o.singleOption = true;
    } else if (a == "--modem-dial-result") {
      std::string text = value();
      if (!o.modem) o.modem.emplace();
      if (!cfg::sim::parseDialResult(text, o.modem->dial))
        throw UsageError("unknown dial result \"" + text + "\"; known results: connect busy nocarrier none");
      o.singleOption = true;
    } else if (a == "--loader-image") {
      o.loaderImage = value();
      o.singleOption = true;
    } else if (a == "--user-capacity") {
      o.userCapacity = static_cast<int>(number(a, value(), 1, 65535));
      o.singleOption = true;
    } else if (a == "--desk-reader") {
      o.deskReader = true;
      o.singleOption = true;
    } else if (a == "--card") {
      std::string text = value();
      o.card = cfg::sim::parseSimCard(text);
      if (!o.card) throw UsageError("--card takes SERIAL,1k|4k[,VERSION[,LETTER]], not \"" + text + "\"");
      o.singleOption = true;
    } else if (a == "--fp-template") {
      std::string text = value();
      auto bytes = cfg::sim::parseTemplateDigits(text);
      if (!bytes) {
        std::ifstream in(text, std::ios::binary);
        std::string head(768, '\0');
        if (in) in.read(head.data(), 768);
        if (in) bytes = cfg::sim::parseTemplateDigits(head);
        if (!bytes)
          throw UsageError("--fp-template takes 768 hexadecimal digits or a file that starts with them, not \"" + text +
                           "\"");
      }
      o.module.templateBytes = *bytes;
      o.moduleOption = true;
      o.singleOption = true;
    } else if (a == "--fp-fault") {
      std::string text = value();
      if (!cfg::sim::applyModuleFault(text, o.module))
        throw UsageError("--fp-fault takes KIND[:COUNT], KIND one of nofinger badtouch badtemplate silent, not \"" +
                         text + "\"");
      o.moduleOption = true;
      o.singleOption = true;
    } else if (a == "--fp-scan-ms") {
      o.module.scanMs = static_cast<int>(number(a, value(), 0, 60000));
      o.moduleOption = true;
      o.singleOption = true;
    } else if (a == "--no-user-count") {
      o.noUserCount = true;
      o.singleOption = true;
    } else if (a == "--delay") {
      o.fault.delayMs = static_cast<int>(number(a, value(), 0, 3600000));
      o.singleOption = true;
    } else {
      throw UsageError("unknown option \"" + a + "\"");
    }
  }
  if (o.plantFile) {
    if (o.singleOption || o.usb() || o.bt()) throw UsageError("--plant takes only --config and --expect");
    return o;
  }
  if (o.configDir || o.expectDir) throw UsageError("--config and --expect go with --plant");
  if (o.tcpPort >= 0 && o.pty) throw UsageError("give either --tcp PORT or --pty");
  if (o.tcpPort < 0 && !o.pty && !o.usb() && !o.bt()) throw UsageError("give either --tcp PORT or --pty");
  if (o.modem && !o.pty) throw UsageError("--modem and its options go with --pty");
  if ((o.card || o.moduleOption) && !o.deskReader) throw UsageError("--card and the --fp- options go with --desk-reader");
  o.terminal.attendance = static_cast<int>(attendance.value_or(records.value_or(0)));
  o.terminal.production = static_cast<int>(production.value_or(records.value_or(0)));
  o.terminal.canteen = static_cast<int>(canteen.value_or(records.value_or(0)));
  return o;
}

// Creates the folder (and its parents) when missing; says which and why when it cannot.
void makeFolder(const std::string& option, const std::string& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) throw std::runtime_error(option + " " + dir + ": " + ec.message());
  if (!std::filesystem::is_directory(dir, ec))
    throw std::runtime_error(option + " " + dir + ": " + std::generic_category().message(ENOTDIR));
}

// The serving threads never take SIGTERM and SIGINT: the main thread waits
// for them with sigwait and then stops the servers from normal code (a
// signal handler must not touch a server that its thread is running).
sigset_t blockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  return stopSignals;
}

// Serves a plant until SIGTERM or SIGINT.
int servePlant(const Options& o) {
  const std::string& file = *o.plantFile;
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file + ": " + std::strerror(errno));
  std::string text(std::istreambuf_iterator<char>(in), {});
  if (in.bad()) throw std::runtime_error("cannot read " + file);
  std::string error;
  auto terminals = cfg::sim::parsePlant(text, error);
  if (!terminals) throw InputError(file + ": " + error);
  auto handhelds = cfg::sim::parsePlantHandhelds(text, error);
  if (!handhelds) throw InputError(file + ": " + error);
  // Before anything serves: a folder that cannot be made stops the start.
  if (o.configDir) makeFolder("--config", *o.configDir);
  if (o.expectDir) makeFolder("--expect", *o.expectDir);

  sigset_t stopSignals = blockStopSignals();
  cfg::sim::Plant plant(*terminals, *handhelds);
  for (const auto& line : plant.start()) std::printf("%s\n", line.c_str());
  if (o.configDir && !plant.writeSettings(*o.configDir, error))
    throw std::runtime_error("cannot write the settings: " + error);
  if (o.expectDir && !plant.writeExpected(*o.expectDir, error))
    throw std::runtime_error("cannot write the expected archives: " + error);
  std::printf("ready\n");
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stopSignals, &sig);
  plant.stop();
  return 0;
}

// Serves one terminal until SIGTERM or SIGINT.
int serveOne(const Options& o) {
  sigset_t stopSignals = blockStopSignals();
  cfg::sim::SimServer server;
  bool line = o.pty || o.tcpPort >= 0;
  if (line) {
    cfg::sim::SimTerminal terminal = cfg::sim::makeTerminal(o.terminal);
    if (!o.loaderImage.empty()) {
      terminal.loader.imagePath = o.loaderImage;
      terminal.readerVersion[0] = "READER 1 SIM";
      terminal.readerVersion[1] = "READER 2 SIM";
    }
    terminal.userCapacity = o.userCapacity;
    terminal.userCountFails = o.noUserCount;
    if (o.deskReader) {
      terminal = cfg::sim::makeDeskReader(o.terminal.address);
      if (o.card) terminal.cardReader.cards.push_back(*o.card);
      terminal.cardReader.module = o.module;
    }
    server.add(std::move(terminal));
    server.setFault(o.fault);
    if (o.modem) server.setModem(*o.modem);
    if (o.pty) {
      std::printf("pty %s\n", server.openPty().c_str());
    } else {
      std::printf("tcp 127.0.0.1:%u\n", server.listenTcp(static_cast<std::uint16_t>(o.tcpPort)));
    }
    server.start();
  }
  cfg::sim::SimHidServer hid;
  if (o.usb()) {
    // Handhelds and other devices keep the order of the command line within their kind.
    for (std::size_t i = 0; i < o.handhelds.size(); ++i) {
      cfg::sim::PlantTerminal t = o.terminal;
      t.model = "HND  ";
      t.address = 1;
      t.seed = o.terminal.seed + static_cast<unsigned>(i);
      const auto& h = o.handhelds[i];
      hid.addHandheld(h.id, h.password, h.product, cfg::sim::makeTerminal(t));
    }
    for (const auto& d : o.others) hid.addOther(d.usagePage, d.usage, d.product);
    std::printf("hid %s\n", hid.listen().c_str());
    hid.start();
  }
  cfg::sim::SimBtServer bt;
  if (o.bt()) {
    for (std::size_t i = 0; i < o.btHandhelds.size(); ++i) {
      cfg::sim::PlantTerminal t = o.terminal;
      t.model = "HND  ";
      t.address = 1;
      t.seed = o.terminal.seed + static_cast<unsigned>(o.handhelds.size() + i);
      const auto& b = o.btHandhelds[i];
      bt.addHandheld(b.address, b.handheld.id, b.handheld.password, b.name, b.service, cfg::sim::makeTerminal(t));
    }
    if (o.btNoRadio) bt.setNoRadio();
    std::printf("bt %s\n", bt.listen().c_str());
    bt.start();
  }
  std::fflush(stdout);
  int sig = 0;
  sigwait(&stopSignals, &sig);
  bt.stop();
  hid.stop();
  if (line) server.stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printHelp();
      return 0;
    }
  }
  try {
    Options o = parseOptions(argc, argv);
    return o.plantFile ? servePlant(o) : serveOne(o);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "termsim: %s\n%stry \"termsim --help\" for more\n", e.what(), kUsage);
    return kBadUsage;
  } catch (const InputError& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return kBadUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termsim: %s\n", e.what());
    return kFailed;
  } catch (...) {
    std::fprintf(stderr, "termsim: unexpected failure\n");
    return kFailed;
  }
}
