#include "sim/sim_loader.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "link/frame.h"
#include "link/link_config.h"
#include "sim/sim_terminal.h"

namespace cfg::sim {

namespace {
constexpr char kEot = 0x04;
}

void SimLoader::saveImage() const {
  // Written beside and renamed, so a reader never sees half an image.
  std::string temporary = imagePath + ".part";
  {
    std::ofstream f(temporary, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
    if (!f) {
      std::fprintf(stderr, "termsim: cannot write the loader image %s\n", temporary.c_str());
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, imagePath, ec);
  if (ec) std::fprintf(stderr, "termsim: cannot write the loader image %s: %s\n", imagePath.c_str(), ec.message().c_str());
}

void SimLoader::enter(int target) {
  active_ = true;
  ++entries_;
  target_ = target;
  finished_ = false;
  input_.clear();
  image_.clear();
  received_ = 0;
  refused_.clear();
}

std::string SimLoader::feed(std::string_view bytes) {
  std::string out;
  input_.append(bytes);
  const std::size_t blockLength = dataBytes + 4;
  while (active_ && !input_.empty()) {
    if (input_[0] == kEot) {
      input_.erase(0, 1);
      active_ = false;
      finished_ = true;
      out += ACK;
      if (!imagePath.empty()) saveImage();
      break;
    }
    if (input_[0] != SOH) {  // line noise between blocks
      input_.erase(0, 1);
      continue;
    }
    if (input_.size() < blockLength) break;
    auto n = static_cast<std::uint8_t>(input_[1]);
    auto complement = static_cast<std::uint8_t>(input_[2]);
    unsigned sum = 0;
    for (std::size_t i = 0; i < dataBytes; ++i) sum += static_cast<std::uint8_t>(input_[3 + i]);
    bool sound = complement == static_cast<std::uint8_t>(255 - n) &&
                 static_cast<std::uint8_t>(input_[3 + dataBytes]) == (sum & 0xFF);
    std::size_t sequence = received_ + 1;
    if (sound && n == static_cast<std::uint8_t>(received_ & 0xFF) && received_ > 0) {
      ++duplicates_;  // our ACK was lost: the sender repeats the block
      out += ACK;
    } else if (!sound || n != static_cast<std::uint8_t>(sequence & 0xFF) ||
               (refuseOnce.count(sequence) && !refused_.count(sequence))) {
      refused_.insert(sequence);
      ++naks_;
      out += NAK;
    } else {
      image_.insert(image_.end(), input_.begin() + 3, input_.begin() + 3 + static_cast<std::ptrdiff_t>(dataBytes));
      ++received_;
      out += ACK;
    }
    input_.erase(0, blockLength);
  }
  return out;
}

void installLoaderCommands(SimTerminal& terminal) {
  terminal.setHandler("33", [](SimTerminal& t, std::string_view data) -> std::optional<std::string> {
    int target = 0;
    if (data == "01" || data == "02") target = data[1] - '0';
    else if (!data.empty()) return std::nullopt;
    // A reader module the terminal does not have cannot be loaded.
    if (target > 0 && !t.readerVersion[target - 1]) return std::nullopt;
    t.loader.enter(target);
    return std::string();  // the server sends the loader's prompt instead of an ACK
  });
}

std::vector<std::uint8_t> logoSlot(const SimTerminal& terminal, int slot) {
  std::uint32_t base;
  std::size_t length;
  if (sameModel(terminal.model(), "LX-P2")) {
    base = slot == 2 ? 0x421000 : 0x420000;
    length = 3840;
  } else if (sameModel(terminal.model(), "LX-K5")) {
    base = slot == 2 ? 0x820500 : 0x820000;
    length = 1028;
  } else {
    return {};
  }
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = terminal.peek(base + static_cast<std::uint32_t>(i));
  return bytes;
}

}  // namespace cfg::sim
