// ArchiveSettings: which archive files the record writers append to.
//
// The same structure serves three times in the process state: the archive
// settings (acqreg.dat, used by batch runs), the recent settings (recent.dat,
// the last interactive choice) and the live settings that the writers read.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Stores a copy path into one of the copy fields. Returns false, leaving the
// field unchanged, when the path is longer than 255 bytes: it could not be
// written to the settings file whole.
bool storeArchivePath(std::string& field, std::string_view path);

}  // namespace cfg
