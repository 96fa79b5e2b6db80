#include "params/image.h"

#include <cstdio>
#include <system_error>
#include <utility>

#include "app/settings_io.h"
#include "link/link_config.h"

namespace cfg {

namespace {

struct DefaultByte {
  std::uint8_t offset;
  std::uint8_t value;
};

// Factory defaults of block 0: the non-zero bytes (offset, value).
constexpr DefaultByte kDefaultsP1[] = {{0x00, 0x01}, {0x01, 0x04}, {0x04, 0x06}, {0x08, 0x01}, {0x09, 0x11},
                                       {0x0A, 0x0A}, {0x0B, 0x06}, {0x13, 0x01}, {0x14, 0x01}, {0x18, 0x01},
                                       {0x19, 0x01}, {0x1D, 0x02}, {0x26, 0x03}, {0x27, 0x01}, {0x29, 0x01},
                                       {0x2B, 0x01}, {0x2C, 0x05}, {0x2D, 0x02}};
constexpr DefaultByte kDefaultsP2[] = {{0x00, 0x01}, {0x01, 0x04}, {0x04, 0x06}, {0x08, 0x01}, {0x09, 0x11},
                                       {0x0A, 0x0A}, {0x0B, 0x06}, {0x13, 0x01}, {0x14, 0x01}, {0x18, 0x01},
                                       {0x19, 0x01}, {0x1D, 0x02}, {0x2E, 0x01}, {0x40, 0x05}, {0x41, 0x02},
                                       {0x44, 0x03}, {0x45, 0x01}, {0x47, 0x01}, {0x49, 0x01}};
constexpr DefaultByte kDefaultsK3[] = {{0x00, 0x01}, {0x01, 0x04}, {0x04, 0x06}, {0x08, 0x01}, {0x09, 0x11},
                                       {0x0A, 0x0A}, {0x0B, 0x06}, {0x13, 0x01}, {0x14, 0x01}, {0x18, 0x01},
                                       {0x19, 0x01}, {0x1D, 0x02}, {0x23, 0x01}, {0x2E, 0x01}, {0x32, 0x03},
                                       {0x33, 0x01}, {0x35, 0x01}, {0x37, 0x01}, {0x38, 0x05}, {0x39, 0x02}};
constexpr DefaultByte kDefaultsK2[] = {{0x00, 0x01}, {0x01, 0x04}, {0x04, 0x06}, {0x08, 0x01}, {0x09, 0x11},
                                       {0x0A, 0x0A}, {0x0B, 0x06}, {0x13, 0x01}, {0x14, 0x01}, {0x18, 0x01},
                                       {0x19, 0x01}, {0x1D, 0x02}, {0x26, 0x03}, {0x27, 0x01}, {0x29, 0x01},
                                       {0x2B, 0x01}, {0x2C, 0x05}, {0x2D, 0x02}, {0x31, 0x03}};
constexpr DefaultByte kDefaultsK5[] = {{0x00, 0x01}, {0x01, 0x04}, {0x04, 0x06}, {0x08, 0x01}, {0x09, 0x14},
                                       {0x0A, 0x0B}, {0x0B, 0x0A}, {0x13, 0x01}, {0x14, 0x01}, {0x18, 0x01},
                                       {0x19, 0x01}, {0x1D, 0x02}, {0x2E, 0x01}};
constexpr DefaultByte kDefaultsHnd[] = {{0x00, 0x01}, {0x01, 0x01}, {0x02, 0x1E}, {0x03, 0x05},
                                        {0x04, 0x18}, {0x05, 0x0D}, {0x08, 0x01}, {0x09, 0x08},
                                        {0x0A, 0x06}, {0x0D, 0x01}, {0x11, 0x01}};

template <std::size_t N>
void apply(ParameterImage& image, const DefaultByte (&row)[N]) {
  std::uint8_t* b0 = image.block(0);
  std::fill(b0, b0 + kBlockSizes[0], std::uint8_t{0});
  for (const DefaultByte& d : row) b0[d.offset] = d.value;
}

// atoi of a line: leading blanks, a sign, digits; the value kept to 8 bits.
std::uint8_t lineValue(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\n' || line[i] == '\r' ||
                             line[i] == '\v' || line[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  unsigned value = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) value = value * 10 + unsigned(line[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

ParamModel paramModelOf(std::string_view model) {
  static constexpr std::pair<const char*, ParamModel> kModels[] = {
      {"LX-P1", ParamModel::P1}, {"LX-P2", ParamModel::P2}, {"LX-K2", ParamModel::K2}, {"LX-K3", ParamModel::K3},
      {"LX-K4", ParamModel::K4}, {"LX-K5", ParamModel::K5}, {"HND  ", ParamModel::Hnd}};
  for (const auto& [name, m] : kModels)
    if (sameModel(model, name)) return m;
  return ParamModel::None;
}

const char* paramModelName(ParamModel model) {
  switch (model) {
    case ParamModel::P1: return "LX-P1";
    case ParamModel::P2: return "LX-P2";
    case ParamModel::K2: return "LX-K2";
    case ParamModel::K3: return "LX-K3";
    case ParamModel::K4: return "LX-K4";
    case ParamModel::K5: return "LX-K5";
    case ParamModel::Hnd: return "HND  ";
    case ParamModel::None: break;
  }
  return "";
}

void loadModelDefaults(ParameterImage& image, ParamModel model) {
  switch (model) {
    case ParamModel::P1: apply(image, kDefaultsP1); break;
    case ParamModel::P2: apply(image, kDefaultsP2); break;
    case ParamModel::K3: apply(image, kDefaultsK3); break;
    case ParamModel::K2:
    case ParamModel::K4: apply(image, kDefaultsK2); break;
    case ParamModel::K5: apply(image, kDefaultsK5); break;
    case ParamModel::Hnd: apply(image, kDefaultsHnd); break;
    case ParamModel::None: break;
  }
  std::fill(image.bytes.begin() + static_cast<std::ptrdiff_t>(ParameterImage::offsetOf(1)), image.bytes.end(),
            std::uint8_t{0});
}

void selectParameterLayout(ParameterState& state, std::string_view model) {
  state.model = paramModelOf(model);
  loadModelDefaults(state.image, state.model);
}

std::string parameterFileText(const ParameterImage& image) {
  std::string out;
  out.reserve(kParameterFileLines * 5);
  auto line = [&out](std::uint8_t b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d\r\n", static_cast<int>(b));
    out += buf;
  };
  for (std::size_t i = 0; i < kFileBlock0Bytes; ++i) line(image.at(0, i));
  for (int b = 1; b < kParameterBlocks; ++b)
    for (std::size_t i = 0; i < kBlockSizes[static_cast<std::size_t>(b)]; ++i) line(image.at(b, i));
  return out;
}

bool saveParameterFile(const std::filesystem::path& path, const ParameterImage& image, const Messages& messages) {
  std::filesystem::path directory = path.parent_path();
  if (directory.empty()) directory = ".";
  FileContext ctx{directory, messages, false};
  return saveFileAtomically(ctx, path.filename().string(), parameterFileText(image));
}

bool loadParameterText(std::string_view text, ParameterImage& image) {
  ParameterImage scratch = image;
  std::size_t pos = 0;
  // The next 5-byte line: its bytes, or fewer at the end of the text.
  auto next = [&]() {
    std::string_view line = text.substr(pos, std::min<std::size_t>(5, text.size() - pos));
    pos += line.size();
    return line;
  };
  for (int b = 0; b < kParameterBlocks; ++b) {
    std::size_t count = b == 0 ? kFileBlock0Bytes : kBlockSizes[static_cast<std::size_t>(b)];
    std::uint8_t* block = scratch.block(b);
    for (std::size_t i = 0; i < count; ++i) {
      std::string_view line = next();
      if (b >= 7 && line.empty()) {
        // A file from before blocks 7 and 8: the block reads as zeros.
        std::fill(block, block + kBlockSizes[static_cast<std::size_t>(b)], std::uint8_t{0});
        break;
      }
      if (line.size() < 5) return false;
      block[i] = lineValue(line);
    }
  }
  image = scratch;
  return true;
}

bool loadParameterFile(const std::filesystem::path& path, ParameterImage& image) {
  // Only a plain file: a pipe or a device could keep the open waiting.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  FileSource source;
  if (!source.open(path)) return false;
  std::string text = source.take(kParameterFileLines * 5);
  if (source.error() != 0) return false;
  return loadParameterText(text, image);
}

}  // namespace cfg
