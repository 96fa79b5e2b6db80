// The simulated terminal's loader: what a terminal runs after "33".
//
// It answers "33" with its prompt, asks for the first block with NAK and then
// takes XMODEM blocks with the 8-bit checksum, keeping the image it received:
//
//   SOH n 255-n data(128) sum  -> ACK, or NAK on a bad checksum or header
//   the previous block again   -> ACK, not stored twice
//   EOT                        -> ACK, the loader ends and the terminal
//                                 answers Frames again
//
// Its faults for the failure paths: given blocks are refused once as if
// their checksum were wrong; the loader can stay silent after "33".
//
// Logo memory: the "2E" writes of a logo land in the terminal's memory image;
// logoSlot() reads a slot back.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace cfg::sim {

class SimTerminal;

class SimLoader {
 public:
  std::string prompt = "\r\nLOADER ?";  // the answer to "33"
  std::size_t dataBytes = 128;          // per block
  std::set<std::size_t> refuseOnce;     // blocks (1-based sequence) answered NAK at first
  bool silent = false;                  // "33" gets no answer
  std::string imagePath;                // when set, each image is written here after EOT

  bool active() const { return active_; }
  // Target of the last "33": 0 the terminal, 1 and 2 its readers.
  int target() const { return target_; }
  // The image received since the last "33", whole blocks in order.
  const std::vector<std::uint8_t>& image() const { return image_; }
  bool finished() const { return finished_; }   // EOT received after the last "33"
  int naks() const { return naks_; }            // blocks refused
  int duplicates() const { return duplicates_; }
  int entries() const { return entries_; }        // "33" taken so far

  // "33" received: a new image starts.
  void enter(int target);
  // Ends the loader without an image (it never started).
  void leave() { active_ = false; }
  // Bytes from the line while the loader runs; returns what it answers.
  std::string feed(std::string_view bytes);

 private:
  void saveImage() const;

  bool active_ = false;
  int target_ = 0;
  bool finished_ = false;
  std::string input_;
  std::vector<std::uint8_t> image_;
  std::size_t received_ = 0;  // blocks stored
  std::set<std::size_t> refused_;
  int naks_ = 0;
  int duplicates_ = 0;
  int entries_ = 0;
};

// Installs "33" (and "3301", "3302") on the terminal.
void installLoaderCommands(SimTerminal& terminal);

// The bytes of logo slot 1 or 2 as the terminal holds them (3840 for an
// LX-P2, 1028 for an LX-K5); empty for other models.
std::vector<std::uint8_t> logoSlot(const SimTerminal& terminal, int slot);

}  // namespace cfg::sim
