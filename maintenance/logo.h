// Logo bitmaps for the monochrome displays of the LX-P2 and LX-K5.
//
// A logo file is a bottom-up one-bit Windows bitmap: a 62-byte head (file
// header, information header, two-colour palette) and the pixel rows, each
// padded to 4 bytes. Only four header fields are looked at: width (offset
// 18) and height (22), planes (26) and bits per pixel (28).
//
//   model  pixels     file bytes  row bytes  memory  slot 1    slot 2    commands
//   LX-P2  240 x 128  4158        32         0x42    0x420000  0x421000  960
//   LX-K5  128 x 64   1086        16         0x82    0x820000  0x820500  257
//
// File bits are inverted on the way (a file 1 is sent as 0). The LX-P2 takes
// 128 rows of 30 bytes, top row first, leftmost pixel in bit 0. The LX-K5
// takes a header 00 80 40 (width 128, height 64), then 8 bands of 8 rows,
// each band 128 column bytes whose bit k is row k of the band, then one pad
// byte 0. Each 4 bytes go out with "2E" at their address.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

enum class LogoModel { P2, K5 };

inline constexpr const char* kLogoDialogTitle = "Download logo";
inline constexpr const char* kLogoFileTitle = "Open Data File";
inline constexpr const char* kLogoReadFailed = "Errore: lettura bitmap fallita.";
inline constexpr const char* kLogoSendTitle = "Aggiornamento Dati";
inline constexpr const char* kLogoSendText = "Invio dati in corso ...";

struct LogoGeometry {
  int width, height;         // display pixels
  std::size_t fileBytes;     // bytes read from the file
  std::size_t rowBytes;      // padded file row
  std::uint8_t area;         // memory area of "2E"
  std::uint16_t slotOffset;  // address offset of slot 2
  int commands;              // "2E" commands per logo
  int progressRange;         // progress bar 0 .. range
  const char* fileFilter;    // the Open dialog's filter
};
const LogoGeometry& logoGeometry(LogoModel model);
// The logo variant of a terminal model; nothing for models without a logo.
std::optional<LogoModel> logoModelOf(std::string_view model);

// The bytes read from a logo file. The buffer is the logo's own, so a
// firmware image is never overwritten by a logo.
struct LogoFile {
  std::vector<std::uint8_t> bytes;  // exactly the model's file bytes when loaded
  bool loaded() const { return !bytes.empty(); }
};

// Reads the model's number of bytes and checks the header. On false the
// file is empty.
bool readLogoFile(const std::filesystem::path& path, LogoModel model, LogoFile& file);

// The bytes written into the terminal, in address order: 3840 for the
// LX-P2, 1028 for the LX-K5.
std::vector<std::uint8_t> logoPayload(LogoModel model, const LogoFile& file);

// The "2E" commands (command code and data, without the Frame) for slot 1 or 2.
std::vector<std::string> logoCommands(LogoModel model, const LogoFile& file, int slot);

// Written by the worker, read by the owner once the worker has stopped.
struct LogoRun {
  std::atomic<int> commandsSent{0};
  std::atomic<bool> completed{false};
};

// The worker routine of "Aggiornamento Dati": one transaction per command
// (capacity 64, 250 ms, ACK expected); a failure ends the sending with a
// partly written logo. Refreshes carry a counter from 1 in `second`: after
// every fifth command on the LX-P2, on the LX-K5 after each command whose
// payload position 4096 + 4i is a multiple of 12.
void sendLogo(Worker& worker, Link& link, const Messages& messages, LogoModel model, const LogoFile& file,
              int slot, LogoRun& run);

}  // namespace cfg
