// The parameter image: the PC's copy of a terminal's configuration memory,
// nine byte blocks edited by the parameter pages and moved to and from the
// terminal as a whole.
//
//   block  size  content
//   0      96    bytes 0-63: the first 64 bytes of the main area (byte 0 the
//                terminal's address, byte 1 its line-speed code); bytes
//                64-95: main area 0xE0-0xFF (LX-P2 and LX-K5 only)
//   1-3    32    main area 0x80-0x9F, 0xA0-0xBF, 0xC0-0xDF
//   4-6    40    second area 0x00-0x27, 0x28-0x4F, 0x50-0x77
//   7      32    second area 0x80-0x9F
//   8      32    third area 0x00-0x1F
//
// The parameter file holds one byte per line ("%03d" CR LF), block 0 bytes
// 0-63 then blocks 1-8: 344 lines. Block 0 bytes 64-95 never go to a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "link/prompt.h"

namespace cfg {

inline constexpr int kParameterBlocks = 9;
inline constexpr std::array<std::size_t, kParameterBlocks> kBlockSizes{96, 32, 32, 32, 40, 40, 40, 32, 32};
inline constexpr std::size_t kFileBlock0Bytes = 64;   // block 0 bytes stored in a file
inline constexpr std::size_t kParameterFileLines = 344;
inline constexpr const char* kParameterFileReadFailed = "Errore: lettura dati non riuscita.";

// The models with a parameter memory. None: no parameters (LX-K1, unknown).
enum class ParamModel { None, P1, P2, K2, K3, K4, K5, Hnd };

// By the terminal's model code, compared with its trailing blanks ("HND  ").
ParamModel paramModelOf(std::string_view model);
// The model code as the registry writes it.
const char* paramModelName(ParamModel model);

struct ParameterImage {
  static constexpr std::size_t kTotal = 376;
  std::array<std::uint8_t, kTotal> bytes{};

  static constexpr std::size_t offsetOf(int block) {
    std::size_t at = 0;
    for (int b = 0; b < block; ++b) at += kBlockSizes[static_cast<std::size_t>(b)];
    return at;
  }
  std::uint8_t* block(int b) { return bytes.data() + offsetOf(b); }
  const std::uint8_t* block(int b) const { return bytes.data() + offsetOf(b); }
  std::uint8_t& at(int b, std::size_t i) { return block(b)[i]; }
  std::uint8_t at(int b, std::size_t i) const { return block(b)[i]; }

  bool operator==(const ParameterImage&) const = default;
};

// The image of the connected terminal and the layout (model) it is read with.
struct ParameterState {
  ParamModel model = ParamModel::None;
  ParameterImage image;
};

// Factory defaults: the model's 96 bytes into block 0, blocks 1-8 zeroed. A
// model without defaults leaves block 0 as it was (and still zeroes 1-8).
void loadModelDefaults(ParameterImage& image, ParamModel model);

// On connection: the layout of `model` is selected and its defaults loaded.
void selectParameterLayout(ParameterState& state, std::string_view model);

// The 1720 bytes of the parameter file of `image`.
std::string parameterFileText(const ParameterImage& image);

// Saves the file through a temporary file renamed into place; false (with
// the reason shown through `messages`) when any step fails, the old file
// then stays as it was.
bool saveParameterFile(const std::filesystem::path& path, const ParameterImage& image, const Messages& messages);

// Loads a parameter file into `image`. The file is read into a scratch image
// that replaces `image` only when the whole file was good: a file that ends
// before block 7 (or inside blocks 0-6), or has a partial line, leaves the
// image untouched. A file ending at a line start within blocks 7-8 loads with
// both blocks zero. Block 0 bytes 64-95 are kept.
bool loadParameterFile(const std::filesystem::path& path, ParameterImage& image);
// The same over bytes already in memory.
bool loadParameterText(std::string_view text, ParameterImage& image);

}  // namespace cfg
