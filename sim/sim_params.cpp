#include "sim/sim_params.h"

#include <string_view>

#include "link/link_config.h"
#include "params/image.h"

namespace cfg::sim {

namespace {

struct Area {
  std::uint32_t start;
  std::uint32_t size;
};

// Each model's parameter areas.
std::vector<Area> areasOf(std::string_view model, std::uint32_t main) {
  if (sameModel(model, "LX-P1") || sameModel(model, "LX-K3")) return {{main, 0xA0}};
  if (sameModel(model, "LX-P2")) return {{0x47FC00, 0x100}, {0x47FD00, 0xA0}};
  if (sameModel(model, "LX-K5")) return {{0x87FC00, 0x100}, {0x87FD80, 0x20}, {0x87FE00, 0x20}};
  if (sameModel(model, "LX-K2")) return {{0x27FC00, 0xA0}, {0x27FE00, 0x20}};
  if (sameModel(model, "LX-K4")) return {{0x800000, 0x40}};
  return {};
}

}  // namespace

void installParameterMemory(SimTerminal& t) {
  ParamModel model = paramModelOf(t.model());
  if (model == ParamModel::None) return;
  ParameterImage defaults;
  loadModelDefaults(defaults, model);
  if (model == ParamModel::Hnd) {
    for (std::uint32_t a = kHandheldSlots; a < kHandheldSlots + 64 * 64; ++a) t.poke(a, 0xFF);
    for (std::uint32_t i = 0; i < 64; ++i) t.poke(kHandheldSlots + i, defaults.at(0, i));
    return;
  }
  std::uint32_t main = t.configBlockAddress();
  for (const Area& area : areasOf(t.model(), main))
    for (std::uint32_t i = 0; i < area.size; ++i)
      if (area.start + i != main && area.start + i != main + 1) t.poke(area.start + i, 0);
  for (std::uint32_t i = 2; i < 64; ++i) t.poke(main + i, defaults.at(0, i));
  if (model == ParamModel::P2 || model == ParamModel::K5)
    for (std::uint32_t i = 64; i < 96; ++i) t.poke(main + 0xE0 + (i - 64), defaults.at(0, i));
}

std::optional<std::uint32_t> currentParameterSlot(const SimTerminal& t) {
  for (std::uint32_t k = 0; k < 64; ++k) {
    std::uint8_t mark = t.peek(kHandheldSlots + 64 * k);
    if (mark != 0x00 && mark != 0xFF) return kHandheldSlots + 64 * k;
  }
  return std::nullopt;
}

std::array<std::uint8_t, 64> slotBytes(const SimTerminal& t, std::uint32_t slot) {
  std::array<std::uint8_t, 64> out{};
  for (std::uint32_t i = 0; i < 64; ++i) out[i] = t.peek(slot + i);
  return out;
}

void invalidateAllSlots(SimTerminal& t, std::uint8_t mark) {
  for (std::uint32_t k = 0; k < 64; ++k) t.poke(kHandheldSlots + 64 * k, mark);
}

}  // namespace cfg::sim
