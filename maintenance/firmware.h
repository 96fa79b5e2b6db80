// Firmware download: a terminal's own firmware or one of its reader modules'.
//
// The image is a plain binary file of 128-byte blocks, sent to the
// terminal's loader as XMODEM blocks with the 8-bit checksum:
//
//   SOH  n  255-n  data(128, or 32 for a handheld over USB)  sum(data) & 0xFF
//
// n is the block number modulo 256, starting with 1 (so the 256th block is
// numbered 0). The loader answers each block with ACK or NAK; EOT ends the
// transfer.
//
// A fixed terminal enters its loader on the raw request "33" (with "01" or
// "02" for a reader module), answers with its prompt and then asks for the
// first block with NAK. A handheld takes "33" as an ordinary transaction,
// then shows a 16-byte prompt ending in '?' before its NAK. Over USB a
// handheld takes each 128-byte block as four 32-byte pieces.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/prompt.h"
#include "link/worker.h"

namespace cfg {

inline constexpr std::size_t kFirmwareBlock = 128;
// The image buffer holds eight banks of 64 KiB: 4096 blocks.
inline constexpr std::size_t kFirmwareMaxBlocks = 4096;
// LX-P1 and LX-K3 take only images of exactly this many blocks.
inline constexpr std::size_t kFixedImageBlocks = 479;

inline constexpr const char* kBadFirmwareFile = "Errore: dati non corretti.";
inline constexpr const char* kFirmwareFileFilter = "Download File (*.bin)";
inline constexpr const char* kFirmwareFileTitle = "Open Download File";
inline constexpr const char* kFirmwareDialogTitle = "Aggiornamento Terminale";

inline constexpr char EOT = 0x04;

// 0 = the terminal itself, 1 and 2 = its reader modules.
enum class FirmwareTarget { Terminal = 0, Reader1 = 1, Reader2 = 2 };

struct FirmwareImage {
  std::vector<std::uint8_t> bytes;  // whole blocks, in file order
  std::size_t blocks() const { return bytes.size() / kFirmwareBlock; }
};

// Reads the file and applies its checks: whole 128-byte blocks, at most 4096
// of them, the XOR of the little-endian 16-bit words of the first 1024 blocks
// 0xFFFF and, from 1024 blocks on, of the rest too; for the terminal itself
// of an LX-P1 or LX-K3 exactly 479 blocks. On false the image is empty.
bool loadFirmwareFile(const std::filesystem::path& path, std::string_view model, FirmwareTarget target,
                      FirmwareImage& image);

// The XOR checks alone, over whole blocks.
bool firmwareChecksHold(const std::vector<std::uint8_t>& bytes);

// One XMODEM block: SOH, number & 0xFF, its complement, the data, the sum.
std::string transferBlock(std::string_view data, std::size_t number);

// Blocks the transfer sends (and the progress bar's range): four times the
// file's blocks for a handheld over USB, which takes 32-byte pieces.
std::size_t transferBlockCount(const LinkConfig& link, const FirmwareImage& image);
// Data bytes per transfer block on this Link: 32 for a handheld over USB, else 128.
std::size_t transferPieceSize(const LinkConfig& link);

// "ATTENZIONE! Rilevate %d transazioni %s" with "non scaricate che verranno
// cancellate. Continuare?".
std::string recordWarningText(int count);

struct FirmwareJob {
  Link& link;
  const Messages& messages;
  const FirmwareImage& image;
  FirmwareTarget target = FirmwareTarget::Terminal;
};

// Written by the worker, read by the owner once the worker has stopped.
struct FirmwareRun {
  std::atomic<std::size_t> blocksSent{0};  // acknowledged transfer blocks
  std::atomic<bool> declined{false};       // No to the record warning: nothing sent
  std::atomic<bool> completed{false};      // every block acknowledged and EOT sent
};

// The worker routine of "Aggiornamento Terminale". Refreshes carry the
// number of acknowledged blocks in `second`. Stops between two sendings when
// asked; a terminal stopped half way stays in its loader and a new download
// starts again from "33".
void downloadFirmware(Worker& worker, const FirmwareJob& job, FirmwareRun& run);

}  // namespace cfg
