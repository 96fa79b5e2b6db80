#include "maintenance/logo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "link/fd.h"
#include "link/hex.h"
#include "link/transaction.h"

namespace cfg {

namespace {

constexpr std::size_t kHeadBytes = 62;

constexpr LogoGeometry kP2{240, 128, 4158, 32, 0x42, 0x1000, 960, 182, "Bitmap (b/n 240x128) (*.bmp)"};
constexpr LogoGeometry kK5{128, 64, 1086, 16, 0x82, 0x0500, 257, 85, "Bitmap (b/n 128x64) (*.bmp)"};

// The file row shown as display row `row` (the file is bottom-up).
const std::uint8_t* displayRow(const LogoGeometry& g, const LogoFile& file, int row) {
  return file.bytes.data() + kHeadBytes + static_cast<std::size_t>(g.height - 1 - row) * g.rowBytes;
}

}  // namespace

const LogoGeometry& logoGeometry(LogoModel model) { return model == LogoModel::P2 ? kP2 : kK5; }

std::optional<LogoModel> logoModelOf(std::string_view model) {
  if (sameModel(model, "LX-P2")) return LogoModel::P2;
  if (sameModel(model, "LX-K5")) return LogoModel::K5;
  return std::nullopt;
}

bool readLogoFile(const std::filesystem::path& path, LogoModel model, LogoFile& file) {
  const LogoGeometry& g = logoGeometry(model);
  file.bytes.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st{};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::vector<std::uint8_t> bytes(g.fileBytes);
  std::size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // shorter than a bitmap of the display's size
    got += static_cast<std::size_t>(n);
  }
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
  };
  auto u16 = [&](std::size_t at) { return static_cast<unsigned>(bytes[at] | bytes[at + 1] << 8); };
  // Width and height are read whole: a 496-pixel or a top-down (negative
  // height) bitmap shares its low byte with a good one but not its rows.
  if (u32(18) != static_cast<std::uint32_t>(g.width) || u32(22) != static_cast<std::uint32_t>(g.height) ||
      u16(26) != 1 || u16(28) != 1)
    return false;
  file.bytes = std::move(bytes);
  return true;
}

std::vector<std::uint8_t> logoPayload(LogoModel model, const LogoFile& file) {
  const LogoGeometry& g = logoGeometry(model);
  std::vector<std::uint8_t> out;
  if (!file.loaded()) return out;
  std::size_t displayBytes = static_cast<std::size_t>(g.width / 8);
  if (model == LogoModel::P2) {
    // Rows top first, inverted, leftmost pixel in bit 0.
    out.reserve(static_cast<std::size_t>(g.height) * displayBytes);
    for (int row = 0; row < g.height; ++row) {
      const std::uint8_t* r = displayRow(g, file, row);
      for (std::size_t i = 0; i < displayBytes; ++i) out.push_back(bitReverse(static_cast<std::uint8_t>(~r[i])));
    }
    return out;
  }
  // LX-K5: header, then per band of 8 rows one byte per pixel column whose
  // bit k is row k of the band, then the pad byte.
  out = {0x00, static_cast<std::uint8_t>(g.width), static_cast<std::uint8_t>(g.height)};
  for (int band = 0; band < g.height / 8; ++band) {
    std::uint8_t rows[8][16];
    for (int k = 0; k < 8; ++k) {
      const std::uint8_t* r = displayRow(g, file, band * 8 + k);
      for (std::size_t i = 0; i < displayBytes; ++i) rows[k][i] = static_cast<std::uint8_t>(~bitReverse(r[i]));
    }
    for (std::size_t i = 0; i < displayBytes; ++i)
      for (int b = 0; b < 8; ++b) {
        std::uint8_t column = 0;
        for (int k = 0; k < 8; ++k)
          if (rows[k][i] & (1u << b)) column |= static_cast<std::uint8_t>(1u << k);
        out.push_back(column);
      }
  }
  out.push_back(0x00);
  return out;
}

std::vector<std::string> logoCommands(LogoModel model, const LogoFile& file, int slot) {
  const LogoGeometry& g = logoGeometry(model);
  std::vector<std::uint8_t> payload = logoPayload(model, file);
  std::vector<std::string> commands;
  if (payload.size() < static_cast<std::size_t>(g.commands) * 4) return commands;
  unsigned offset = slot == 2 ? g.slotOffset : 0;
  for (int i = 0; i < g.commands; ++i) {
    const std::uint8_t* p = payload.data() + 4 * i;
    char text[32];
    std::snprintf(text, sizeof text, "2E%02X%04X%02X%02X%02X%02X", g.area, (offset + 4u * i) & 0xFFFF, p[0], p[1],
                  p[2], p[3]);
    commands.emplace_back(text);
  }
  return commands;
}

void sendLogo(Worker& worker, Link& link, const Messages& messages, LogoModel model, const LogoFile& file, int slot,
              LogoRun& run) {
  std::vector<std::string> commands = logoCommands(model, file, slot);
  if (commands.empty()) return;
  int counter = 0;
  std::string reply;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (worker.stopRequested()) return;
    if (!exchange(link, messages, commands[i], reply, 64, 250, 6)) return;
    run.commandsSent = static_cast<int>(i + 1);
    bool step = model == LogoModel::P2 ? i % 5 == 4 : (4096 + 4 * i) % 12 == 0;
    if (step) {
      worker.refresh(0, ++counter, {});
      if (worker.pause(25)) return;
    }
  }
  run.completed = true;
  worker.pause(300);
}

}  // namespace cfg
