// The fingerprint module behind a simulated desk reader.
//
// The desk reader hands its line to the module when it answers "00"; from
// then on the line carries binary packets (13 bytes: 0x40, command, nine
// parameter bytes, 8-bit sum of bytes 0-10, LF) until "+++" gives the line
// back to the desk reader. Every packet is answered with a packet of the
// same command:
//
//   0x03 read parameter    byte 10 code          -> byte 6 value, byte 10 code
//                                                   (an unknown code answers 0)
//   0x01 write parameter   byte 6 value, 10 code -> the same; held until power off
//   0x02 save parameters                         -> byte 10 'a'
//   0x17 start enrolment                         -> byte 10 'a'; the touches restart
//   0x05 scan, byte 10 0x79 (first touch)        -> byte 10 'a' finger read, 'x' none
//   0x05 scan, bytes 2-10 zero (second touch)    -> byte 10 'a' read and matched, 'b' not
//   0x14 template request, byte 2 = 1            -> a data block (byte 1 = 20, bytes 6-7
//                                                   the length 384 low byte first,
//                                                   byte 10 'a', the 384 template bytes, LF);
//                                                   byte 10 'b' and zero bytes when the two
//                                                   touches did not both succeed
//
// A packet with a wrong sum goes unanswered; bytes before a 0x40 are
// dropped; a Frame (SOH) gives the line back to the desk reader, as "+++"
// does. The faults below make the failure paths reachable.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cfg::sim {

inline constexpr std::size_t kSimTemplateBytes = 384;

class SimFingerprintModule {
 public:
  struct Reply {
    int delayMs = 0;  // how long after the request it goes out
    std::string bytes;
  };

  SimFingerprintModule();

  // Parameters as the module holds them: factory values that differ from
  // what the program wants for 'b' ('3' instead of '5').
  std::map<std::uint8_t, std::uint8_t> parameters;
  // The 384 bytes the template request returns.
  std::string templateBytes;
  // How long a scan takes before it answers (the finger's time on the glass).
  int scanMs = 0;

  // Faults: the next N (-1: every) ...
  int noFinger = 0;      // first touches find no finger ('x')
  int badTouches = 0;    // second touches do not match ('b')
  int badTemplates = 0;  // template requests come without a template ('b')
  int silent = 0;        // packets go unanswered

  // What happened, for tests.
  std::vector<std::string> packets;  // every well-formed request, in order
  int sessions = 0;                  // "00" hand-overs
  int saves = 0;                     // 0x02 received
  int templatesSent = 0;             // templates delivered with 'a'
  int endings = 0;                   // "+++" received

  bool active() const { return active_; }
  // The desk reader answered "00": the line is the module's.
  void enter();
  // Bytes from the line while active; the answers, in order. After "+++"
  // or a Frame the module is no longer active and takeRest() returns the
  // bytes that came after.
  std::vector<Reply> feed(std::string_view bytes);
  std::string takeRest();

  // A 384-byte template made from a seed (the default one is seed 1).
  static std::string sampleTemplate(unsigned seed);

 private:
  std::optional<Reply> answer(const std::string& request);

  bool active_ = false;
  int touches_ = 0;  // 0 after 0x17, 1 after the first touch, 2 after a matched second
  std::string input_;
  std::string rest_;
};

// Applies one fault "KIND[:COUNT]" (nofinger, badtouch, badtemplate,
// silent; no COUNT: every time). False when the text is not one of them.
bool applyModuleFault(std::string_view text, SimFingerprintModule& module);

// 768 hexadecimal digits (either case) to the 384 template bytes; nothing
// when the text is not that.
std::optional<std::string> parseTemplateDigits(std::string_view text);

}  // namespace cfg::sim
