// The basic commands on a terminal that answers with the input's bytes, in
// arbitrary chunks (layout in reply_wire.h; up to eight replies, one per
// request). Flags bits 3-7 pick the command; bit 3 also picks the memory
// form (LX-K3 by block, LX-P2 by address). Whatever comes back, a command
// reads nothing outside its reply and shows only whole values.
#include <cstddef>
#include <cstdint>

#include "fuzz/reply_wire.h"
#include "link/commands.h"
#include "link/memory_view.h"
#include "link/status.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cfg;
  fuzz::WireInput wire = fuzz::parseWireInput({reinterpret_cast<const char*>(data), size}, 8);
  fuzz::FuzzLine line(wire);
  line.link.config.model = (wire.flags & 8) ? "LX-K3" : "LX-P2";

  switch ((wire.flags >> 4) % 7) {
    case 0: {
      std::string text;
      if (readDateTime(line.link, line.messages, text) && !text.empty()) {
        CFG_FUZZ_CHECK(text.size() == 19 && text[2] == '/' && text[5] == '/' && text[13] == ':');
      }
      break;
    }
    case 1: {
      std::optional<StatusBytes> bytes;
      bool ok = readStatus(line.link, line.messages, bytes);
      CFG_FUZZ_CHECK(ok || !bytes);
      if (bytes) CFG_FUZZ_CHECK(parseStatusText(statusProgressText(*bytes)) == bytes);
      break;
    }
    case 2: {
      auto text = firmwareVersionText(line.link, line.messages);
      if (text) CFG_FUZZ_CHECK(text->rfind("Versione firmware = '", 0) == 0);
      CFG_FUZZ_CHECK(line.messages.flags.askOnFailure == false);  // restored as it was
      break;
    }
    case 3: {
      // What is shown lies between STX and ETX of the reply: at most 64 - 7 bytes.
      std::optional<std::string> shown = sendDirectCommand(line.link, line.messages, "2D00100004");
      if (shown) CFG_FUZZ_CHECK(shown->size() <= 64 - 7);
      break;
    }
    case 4: {
      std::tm t{};
      t.tm_year = 2026 - 1900;
      t.tm_mday = 1;
      setDateTime(line.link, line.messages, t);
      sendOutputCommand(line.link, line.messages, "3", OutputChoice::Duration, "25");
      break;
    }
    default: {
      // One group of a page in each area the model reads.
      for (std::uint16_t page : {std::uint16_t{0x0010}, std::uint16_t{0x2004}, std::uint16_t{0x2404}}) {
        auto how = groupRead(line.link.config.model, page, 5);
        if (!how) continue;
        bool counted = false;
        std::array<std::uint8_t, 4> bytes{0xEE, 0xEE, 0xEE, 0xEE};
        bool ok = readGroup(line.link, line.messages, *how, counted, bytes);
        CFG_FUZZ_CHECK(ok || !counted);
        if (!counted) CFG_FUZZ_CHECK(bytes == (std::array<std::uint8_t, 4>{0xEE, 0xEE, 0xEE, 0xEE}));
      }
      break;
    }
  }
  return 0;
}
