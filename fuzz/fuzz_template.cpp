// Archive lines of arbitrary record bytes: the output-template expansion and
// the fixed attendance and canteen lines.
//
// Input layout: byte 0 flags (bit 0: a handheld, whose terminal code is its
// description), bytes 1-2 the terminal number (little-endian, taken modulo
// 10000: registry numbers have four digits at most), then four
// texts, each a length byte and its bytes: description, entry text, exit
// text, template; the rest is the record.
//
// A record shorter than its kind gives no line; otherwise a line ends with
// CR LF, a template without "%" comes out as it is, and no field writes
// more than the longest value a field can have.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/reply_wire.h"
#include "records/archive_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cfg;
  fuzz::InputReader in({reinterpret_cast<const char*>(data), size});
  LinkConfig link;
  std::uint8_t flags = in.byte();
  link.model = (flags & 1) ? "HND  " : "LX-P2";
  link.number = static_cast<std::uint16_t>(in.u16() % 10000);
  link.description = std::string(in.take(in.byte()));
  std::string entry(in.take(in.byte()));
  std::string exit(in.take(in.byte()));
  std::string tmpl(in.take(in.byte()));
  std::string record(in.take(size));

  std::string line = expandTemplate(tmpl, record, link, entry, exit);
  if (record.size() < kAttendanceRecordLength) {
    CFG_FUZZ_CHECK(line.empty());
  } else {
    CFG_FUZZ_CHECK(line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0);
    if (tmpl.find('%') == std::string::npos) CFG_FUZZ_CHECK(line == tmpl + "\r\n");
    // Each template byte writes at most one field's worth; the longest
    // number is a user number of eleven characters ("-2147483648").
    std::size_t longest = std::max({std::size_t{11}, terminalCode(link).size(), entry.size(), exit.size()});
    CFG_FUZZ_CHECK(line.size() - 2 <= tmpl.size() * longest);

    std::string fixed = attendanceLine(record, link);
    CFG_FUZZ_CHECK(fixed.size() >= 2 && fixed.compare(fixed.size() - 2, 2, "\r\n") == 0);
    // 45 bytes, more only where a number outgrows its field (company 255,
    // a user number of ten digits or negative).
    if (!(flags & 1)) CFG_FUZZ_CHECK(fixed.size() >= 45 && fixed.size() <= 45 + 1 + 2);
  }
  std::string canteen = canteenLine(record, link);
  if (record.size() < kCanteenRecordLength) {
    CFG_FUZZ_CHECK(canteen.empty());
  } else {
    CFG_FUZZ_CHECK(canteen.size() == 99 && canteen.compare(97, 2, "\r\n") == 0);
  }
  return 0;
}
