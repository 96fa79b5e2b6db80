// ArchiveSettings: which archive files the record writers append to.
//
// The same structure serves three times in the process state: the archive
// settings (acqreg.dat, used by batch runs), the recent settings (recent.dat,
// the last interactive choice) and the live settings that the writers read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace cfg {

// Longest path a copy field holds (the file's column width).
inline constexpr std::size_t kArchivePathMax = 255;
// Longest acquisition format name.
inline constexpr std::size_t kFormatNameMax = 10;

struct ArchiveSettings {
  std::uint8_t acquisitionOption = 0;  // "acq": read and written, acted on by nobody
  std::uint8_t regEnabled = 1;         // file_reg.txt
  std::string regCopy2, regCopy3;
  std::uint8_t outEnabled = 0;         // file_out.txt in outFormat
  std::uint8_t ou2Enabled = 0;         // file_ou2.txt in ou2Format
  std::string outCopy2, outCopy3;
  std::string ou2Copy2, ou2Copy3;
  std::string outFormat, ou2Format;    // names of acquisition formats, 10 bytes at most
  std::uint8_t prdEnabled = 0;         // file_prd.txt
  std::string prdCopy2, prdCopy3;
  std::uint8_t cntEnabled = 0;         // file_cnt.txt
  std::string cntCopy2, cntCopy3;
  std::uint8_t mnsEnabled = 0;         // file_mns.txt
  std::string mnsCopy2, mnsCopy3;

  bool operator==(const ArchiveSettings&) const = default;
};

// Copy paths are kept as Windows-1252 bytes, like every text of the settings
// files, so that acqreg.dat and recent.dat move between installations
// unchanged; on this system's file system the same name is UTF-8.

// Why a path cannot be stored; empty when it can.
struct PathRefusal {
  std::string reason;  // Windows-1252, for a message box
  explicit operator bool() const { return reason.empty(); }  // true: stored
};

// Checks a path as the user typed or chose it (UTF-8) and returns its
// Windows-1252 bytes in `bytes`. Refused: a character Windows-1252 cannot
// hold (never replaced by "?"), a control character (it would break the
// settings file's lines), more than 255 bytes (never cut).
PathRefusal archivePathBytes(std::string_view utf8Path, std::string& bytes);

// archivePathBytes, then the bytes into `field`; the field stays unchanged
// when the path is refused.
PathRefusal storeArchivePath(std::string& field, std::string_view utf8Path);

// The file a stored copy path names on this file system.
std::filesystem::path archivePathOnDisk(std::string_view stored);

}  // namespace cfg
