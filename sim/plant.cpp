#include "sim/plant.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sstream>

#include "app/registry.h"
#include "link/port_map.h"
#include "records/archive_lines.h"
#include "sim/sim_bt.h"
#include "sim/sim_hid.h"

namespace cfg::sim {

namespace {

// The demo's records are from the first days of December 2026.
constexpr Stamp kFirstDay{26, 12, 1, 8, 0, 0};

bool toNumber(const std::string& v, long low, long high, long& out) {
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::stol(v);
  return out >= low && out <= high;
}

// config.dat keeps four characters of a port name: COM1 to COM9.
bool isRegistryPort(const std::string& port) {
  return port.size() == 4 && port.compare(0, 3, "COM") == 0 && port[3] >= '1' && port[3] <= '9';
}

// Replaces the file with `content`; on failure says which file and why.
bool writeFile(const std::filesystem::path& path, const std::string& content, std::string& error) {
  auto fail = [&] {
    error = path.string() + ": " + std::strerror(errno);
    return false;
  };
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd) return fail();
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail();
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd.release()) != 0) return fail();
  return true;
}

// One KEY=VALUE of a plant line: the complaint, or empty. A key whose value
// is a free text takes the rest of the line from `rest` and sets `lineDone`.
using PlantKey = std::function<std::string(const std::string& key, const std::string& value, std::istringstream& rest,
                                           bool& lineDone)>;

// Walks the lines of the plant description that start with `kind`
// ("terminal" or "handheld"), comments and CR line ends dropped: `begin`
// starts a row, `key` takes each KEY=VALUE, `end` checks the finished row
// (the complaint, or empty). With `strict`, a line that starts with neither
// kind fails. A failure names its line in `error`.
bool readPlantLines(std::string_view text, std::string_view kind, bool strict, std::string& error,
                    const std::function<void()>& begin, const PlantKey& key, const std::function<std::string()>& end) {
  std::istringstream in{std::string(text)};
  std::string line;
  for (int lineNo = 1; std::getline(in, line); ++lineNo) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string word;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (!(words >> word)) continue;
    if (word != kind) {
      if (strict && word != "terminal" && word != "handheld") return fail("expected \"terminal\" or \"handheld\"");
      continue;
    }
    begin();
    bool lineDone = false;
    while (!lineDone && words >> word) {
      std::size_t eq = word.find('=');
      if (eq == std::string::npos) return fail("expected KEY=VALUE, got \"" + word + "\"");
      if (std::string why = key(word.substr(0, eq), word.substr(eq + 1), words, lineDone); !why.empty()) return fail(why);
    }
    if (std::string why = end(); !why.empty()) return fail(why);
  }
  return true;
}

std::string freeText(const std::string& value, std::istringstream& rest, bool& lineDone) {
  std::string more;
  std::getline(rest, more);
  lineDone = true;
  return value + more;
}

}  // namespace

bool isSimulatedModel(std::string_view model) {
  for (const char* m : kSimulatedModels)
    if (model == m) return true;
  return false;
}

std::string simulatedModelList() {
  std::string list;
  for (const char* m : kSimulatedModels) list += (list.empty() ? "" : " ") + std::string(m);
  return list;
}

std::optional<std::vector<PlantTerminal>> parsePlant(std::string_view text, std::string& error) {
  std::vector<PlantTerminal> plant;
  std::set<unsigned> numbers;
  std::set<std::string> ptyPorts;
  PlantTerminal t;
  auto key = [&t](const std::string& key, const std::string& value, std::istringstream& rest,
                  bool& lineDone) -> std::string {
    long n = 0;
    if (key == "description") {
      t.description = freeText(value, rest, lineDone);
    } else if (key == "model") {
      if (!isSimulatedModel(value) || !isRegistryModel(value))
        return "unknown model \"" + value + "\" (known models: " + simulatedModelList() + ")";
      t.model = value;
    } else if (key == "via") {
      if (value != "tcp" && value != "pty" && value != "modem") return "via is tcp, pty or modem";
      t.pty = value != "tcp";
      t.modem = value == "modem";
    } else if (key == "phone") {
      if (value.empty() || value.size() > 15 || value.find_first_not_of("0123456789,*#PTW") != std::string::npos)
        return "bad phone \"" + value + "\" (up to 15 digits)";
      t.phone = value;
    } else if (key == "continuous") {
      if (value != "yes" && value != "no") return "continuous is yes or no";
      t.continuous = value == "yes";
    } else if (key == "port" && isRegistryPort(value)) {
      t.port = value;
    } else if (key == "number" && toNumber(value, 1, 9999, n)) {
      t.number = static_cast<unsigned>(n);
    } else if (key == "address" && toNumber(value, 0, 255, n)) {
      t.address = static_cast<unsigned>(n);
    } else if (key == "attendance" && toNumber(value, 0, kMaxAttendance, n)) {
      t.attendance = static_cast<int>(n);
    } else if (key == "production" && toNumber(value, 0, kMaxProduction, n)) {
      t.production = static_cast<int>(n);
    } else if (key == "canteen" && toNumber(value, 0, kMaxCanteen, n)) {
      t.canteen = static_cast<int>(n);
    } else if (key == "seed" && toNumber(value, 0, 999999999, n)) {
      t.seed = static_cast<unsigned>(n);
    } else {
      return "bad " + key + " \"" + value + "\"";
    }
    return {};
  };
  auto end = [&]() -> std::string {
    if (t.number == 0) return "every terminal needs a number";
    if (t.continuous && (!t.modem || (t.model != "LX-P2" && t.model != "LX-K5")))
      return "continuous=yes is for an LX-P2 or LX-K5 behind a modem (via=modem)";
    // Two rows with one number, or two pseudo-terminals behind one COM name,
    // would send the program to the wrong terminal.
    if (!numbers.insert(t.number).second) return "number " + std::to_string(t.number) + " is used twice";
    if (t.pty && !ptyPorts.insert(t.port).second) return "port " + t.port + " is used twice";
    plant.push_back(t);
    return {};
  };
  if (!readPlantLines(text, "terminal", true, error, [&t] { t = PlantTerminal{}; }, key, end)) return std::nullopt;
  return plant;
}

std::optional<std::vector<PlantHandheld>> parsePlantHandhelds(std::string_view text, std::string& error) {
  std::vector<PlantHandheld> handhelds;
  std::set<std::string> ids;
  PlantHandheld h;
  auto key = [&h](const std::string& key, const std::string& value, std::istringstream& rest,
                  bool& lineDone) -> std::string {
    long n = 0;
    if (key == "name") {
      h.name = freeText(value, rest, lineDone);
    } else if (key == "id" && value.size() == 4) {
      h.id = value;
    } else if (key == "via" && (value == "usb" || value == "bt")) {
      h.bluetooth = value == "bt";
    } else if (key == "address" && parseBtAddress(value)) {
      h.address = value;
    } else if (key == "password" &&
               (value == "-" || (value.size() == 8 && value.find_first_not_of("0123456789") == std::string::npos))) {
      if (value != "-") h.password = value;
    } else if (key == "attendance" && toNumber(value, 0, kMaxAttendance, n)) {
      h.attendance = static_cast<int>(n);
    } else if (key == "production" && toNumber(value, 0, kMaxProduction, n)) {
      h.production = static_cast<int>(n);
    } else if (key == "seed" && toNumber(value, 0, 999999999, n)) {
      h.seed = static_cast<unsigned>(n);
    } else {
      return "bad " + key + " \"" + value + "\"";
    }
    return {};
  };
  auto end = [&]() -> std::string {
    if (h.id.empty()) return "every handheld needs an id of 4 characters";
    if (!ids.insert(h.id).second) return "id " + h.id + " is used twice";
    if (h.name.empty()) h.name = h.bluetooth ? "SPP140" : kHandheldProduct;
    handhelds.push_back(h);
    return {};
  };
  if (!readPlantLines(text, "handheld", false, error, [&h] { h = PlantHandheld{}; }, key, end)) return std::nullopt;
  return handhelds;
}

namespace {

// A handheld's clock runs two hours behind until a batch sets it.
SimTerminal makeHandheld(const PlantHandheld& h) {
  SimTerminal terminal("HND  ", 1);
  terminal.clockOffset = std::chrono::hours(-2);
  for (const auto& r : generateAttendance(h.seed, h.attendance, kFirstDay)) terminal.add(r);
  for (const auto& r : generateProduction(h.seed, h.production, kFirstDay)) terminal.add(r);
  return terminal;
}

}  // namespace

SimTerminal makeTerminal(const PlantTerminal& t) {
  SimTerminal terminal(t.model, t.address);
  for (const auto& r : generateAttendance(t.seed, t.attendance, kFirstDay)) terminal.add(r);
  for (const auto& r : generateProduction(t.seed, t.production, kFirstDay)) terminal.add(r);
  for (const auto& r : generateCanteen(t.seed, t.canteen, kFirstDay)) terminal.add(r);
  return terminal;
}

Plant::Plant(std::vector<PlantTerminal> terminals, std::vector<PlantHandheld> handhelds)
    : terminals_(std::move(terminals)), handhelds_(std::move(handhelds)) {}

Plant::~Plant() { stop(); }

std::vector<std::string> Plant::start() {
  std::vector<std::string> lines;
  for (const auto& t : terminals_) {
    auto server = std::make_unique<SimServer>();
    server->add(makeTerminal(t));
    if (t.modem) server->setModem({});
    std::string where;
    if (t.pty) {
      ptyPaths_.push_back(server->openPty());
      tcpPorts_.push_back(0);
      where = (t.modem ? "modem " : "pty ") + ptyPaths_.back() + " " + t.port;
    } else {
      tcpPorts_.push_back(server->listenTcp());
      ptyPaths_.emplace_back();
      where = "tcp 127.0.0.1:" + std::to_string(tcpPorts_.back());
    }
    server->start();
    servers_.push_back(std::move(server));
    lines.push_back("terminal " + std::to_string(t.number) + " " + t.model + " " + where);
  }
  for (const auto& h : handhelds_) {
    if (h.bluetooth) {
      if (!bt_) bt_ = std::make_unique<SimBtServer>();
      bt_->addHandheld(*parseBtAddress(h.address), h.id, h.password, h.name, "Serial Port", makeHandheld(h));
    } else {
      if (!usb_) usb_ = std::make_unique<SimHidServer>();
      usb_->addHandheld(h.id, h.password, h.name, makeHandheld(h));
    }
  }
  if (usb_) {
    lines.push_back("hid " + usb_->listen());
    usb_->start();
  }
  if (bt_) {
    lines.push_back("bt " + bt_->listen());
    bt_->start();
  }
  return lines;
}

void Plant::stop() {
  for (auto& s : servers_) s->stop();
  if (usb_) usb_->stop();
  if (bt_) bt_->stop();
}

bool Plant::writeSettings(const std::filesystem::path& directory, std::string& error) const {
  std::string config, ports;
  for (std::size_t i = 0; i < terminals_.size(); ++i) {
    const PlantTerminal& t = terminals_[i];
    TerminalRecord row;
    row.number = static_cast<std::uint16_t>(t.number);
    row.description = t.description.substr(0, 30);
    row.model = t.model;
    row.address = static_cast<std::uint16_t>(t.address);
    row.port = t.pty ? t.port : "COM1";
    row.speed = " 9600";
    row.tcp = !t.pty;
    row.ip = t.pty ? 0 : 0x7F000001;
    row.tcpPort = tcpPorts_.at(i);
    if (t.modem) {
      row.modem = true;
      row.phoneNumber = t.phone;
      row.continuousModemDownload = t.continuous;
    }
    config += registryLine(row) + "\r\n";
    if (t.pty) ports += t.port + " " + ptyPaths_.at(i) + "\n";
  }
  return writeFile(directory / kRegistryFile, config, error) && writeFile(directory / kPortMapFile, ports, error);
}

bool Plant::writeExpected(const std::filesystem::path& directory, std::string& error) const {
  std::string reg, prd, mns;
  for (const auto& t : terminals_) {
    LinkConfig code;
    code.number = static_cast<std::uint16_t>(t.number);
    code.model = t.model;
    for (const auto& r : generateAttendance(t.seed, t.attendance, kFirstDay))
      reg += attendanceLine(attendanceFrame(t.address, r, 0), code);
    for (const auto& r : generateProduction(t.seed, t.production, kFirstDay))
      prd += productionLine(productionFrame(t.address, r, 0), code);
    for (const auto& r : generateCanteen(t.seed, t.canteen, kFirstDay))
      mns += canteenLine(canteenFrame(t.address, r, 0), code);
  }
  if (!writeFile(directory / "expected_reg.txt", reg, error) || !writeFile(directory / "expected_prd.txt", prd, error) ||
      !writeFile(directory / "expected_mns.txt", mns, error))
    return false;
  if (handhelds_.empty()) return true;
  // A batch run finds the Bluetooth handhelds first, then the USB ones, each
  // in the order they were added; a handheld's lines carry its id.
  std::string batchReg, batchPrd;
  for (bool bluetooth : {true, false}) {
    for (const auto& h : handhelds_) {
      if (h.bluetooth != bluetooth) continue;
      LinkConfig code;
      code.model = "HND  ";
      code.handheldId = h.id;
      for (const auto& r : generateAttendance(h.seed, h.attendance, kFirstDay))
        batchReg += attendanceLine(attendanceFrame(1, r, 0), code);
      for (const auto& r : generateProduction(h.seed, h.production, kFirstDay))
        batchPrd += productionLine(productionFrame(1, r, 0), code);
    }
  }
  return writeFile(directory / "expected_batch_reg.txt", batchReg, error) &&
         writeFile(directory / "expected_batch_prd.txt", batchPrd, error);
}

}  // namespace cfg::sim
