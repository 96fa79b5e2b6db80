// The archive lines of one record, byte for byte.
//
// Records arrive as reply Frames: attendance 43 bytes, production 61,
// canteen 91. Positions below are positions in the Frame (SOH = 0).
// Attendance: 6-9 pointer, 10-11 transit kind (hex of a character), 12-13
// company, 14-21 user number (32 bits, high first), 22-31 yymmddhhmm digits,
// 32-37 justification. Production: 10-21 yymmddhhmmss, 22-25 number, 26-27
// event type, 28-57 fifteen text bytes in hex. Canteen: 10-11 character,
// 12-21 user field, 22-31 yymmddhhmm, 32-37 second date yymmdd, 38 "1" for
// "C", 39 one character, eight 5-character fields at 41, 47, ... 83.
//
// Builders return an empty text for a Frame shorter than its kind: such a
// reply is never decoded as a record. A NUL byte among copied fields is
// written as a blank so the line keeps its length and its CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_config.h"

namespace cfg {

inline constexpr std::size_t kAttendanceRecordLength = 43;
inline constexpr std::size_t kProductionRecordLength = 61;
inline constexpr std::size_t kCanteenRecordLength = 91;

inline constexpr std::size_t kProductionItemLength = 21;
inline constexpr std::size_t kMaxProductionItems = 200;

// Production event types of the one-line archive.
inline constexpr int kItemCancelsLast = 0xF3;
inline constexpr int kClosingRecord = 0x84;
inline constexpr int kDiscardItems = 0xF4;

// The terminal's code in a line: "%04u" of the number, or for a handheld
// ("HND  ") "%4s" of its 4-character handheld id (of its description when
// the Link carries no id).
std::string terminalCode(const LinkConfig& link);

// 45 bytes: "nnnn k cc uuuuuuuuu dd/mm/20yy hh:mm jjjjjj" CR LF.
std::string attendanceLine(std::string_view record, const LinkConfig& link);
// 51 bytes: "nnnn dd/mm/20yy hh:mm:ss nnnnn TT ttttttttttttttt" CR LF.
std::string productionLine(std::string_view record, const LinkConfig& link);
// 99 bytes; the number is always "%04u".
std::string canteenLine(std::string_view record, const LinkConfig& link);

// The transit kinds written to the formatted archives: "0", "1", "A"-"G".
bool formattedTransit(std::string_view record);

// One attendance record through an output template, CR LF added. Field
// letters: %% %b %t %i %z %n %c %v %g %m %a %H %M, with an optional "-"
// (first characters instead of last) and width. A template ending inside a
// field stops there; an unknown letter writes nothing.
std::string expandTemplate(std::string_view outputTemplate, std::string_view record, const LinkConfig& link,
                           std::string_view entryText, std::string_view exitText);

// Event type of a production record (hex byte at 26), -1 when unreadable.
int productionEventType(std::string_view record);
// 21 bytes: "%03d " of the type, the fifteen text bytes, CR LF.
std::string productionItem(std::string_view record);
// The fifteen text bytes of a production record.
std::string productionText(std::string_view record);
// Date and time of the closing record, then " " + each item's text, CR LF.
std::string oneLineProduction(std::string_view closingRecord, const LinkConfig& link,
                              const std::vector<std::string>& itemTexts);
// Collects the items of an item file as the one-line archive takes them, in
// file order: at most 200, a 0xF3 item removes the one before it. Fed one
// 21-byte item at a time, so a file is read only as far as it is used.
class ProductionItemCollector {
 public:
  // Takes one item; false once 200 items are collected (read no further).
  bool feed(std::string_view item);
  bool full() const { return texts_.size() >= kMaxProductionItems; }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
};

// The texts of a whole item file's bytes (a cut last item is not read).
std::vector<std::string> collectProductionItems(std::string_view itemFile);

// Name of a terminal's item file: "%04Xtmp.txt" of the number, or
// "%04stmp.txt" of a handheld's description with "/", "\", control and
// non-ASCII bytes made "_".
std::string itemFileName(const LinkConfig& link);

}  // namespace cfg
