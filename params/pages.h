// The parameter pages as data: which settings each model shows on which
// page, where each lives in the image and how it is encoded, its value list
// and its accepted values. The dialog builds its widgets from this table,
// and showPage/storePage are the only way values move between the widgets
// and the image, so a page cannot disagree with the codec.
//
// Texts (captions, list values, messages) are Windows-1252.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/image.h"

namespace cfg {

enum class Encoding {
  Flag,      // a byte 0 or 1 (check box)
  Bit,       // bit `arg` of the byte, the other bits kept (check box)
  Value,     // checked when the byte holds `arg`; checking stores it (radio button)
  Inverted,  // checked when the byte is 0 (check box)
  List,      // the byte is the position in the value list (drop-down list)
  Number,    // one byte in decimal (edit field)
  Word16,    // two bytes, high first, in decimal (edit field)
  Bcd,       // `arg` bytes of binary-coded decimal digits (edit field)
  Time,      // two BCD bytes, hours and minutes, shown "hh:mm" (edit field of a band)
  Text,      // the whole block as a text of up to its size (edit field)
};

enum class Widget { Check, Radio, Combo, Edit };
Widget widgetOf(Encoding e);

// Which code field this is, for the rules that join two fields.
enum class FieldRole { Plain, Password, CodeMin, CodeMax, BandFrom, BandTo, BandDay };

struct Field {
  int page = 1;                // 1-11, as in the title
  std::string caption;
  Encoding encoding = Encoding::Flag;
  int block = 0;
  int byte = 0;                // first byte in the block
  int arg = 0;                 // bit number, value, or BCD byte count
  std::vector<std::string> list;  // the value list (List)
  long min = 0, max = 255;     // accepted values (Number, Word16, short codes)
  FieldRole role = FieldRole::Plain;
  int band = -1;               // band 0-3 of a band group
  std::string group;           // the caption of the band group the field belongs to
  int port = -1;               // a serial-port device: its index in the device table
};

// Number of pages of the model (LX-P1 and LX-K4 5, LX-K2 and LX-K3 6, LX-K5
// 10, LX-P2 11, HND 3; none without parameters).
int pageCount(ParamModel model);
// Every field of the model, in table order.
const std::vector<Field>& fieldsOf(ParamModel model);
// The indices (into fieldsOf) of the fields of one page.
std::vector<std::size_t> fieldsOnPage(ParamModel model, int page);

// Whether the bands of this field's group may be edited: from the image
// byte that switches them on, wherever that setting's page is.
bool bandEnabled(ParamModel model, const Field& field, const ParameterImage& image);

// The values of a page's fields as the widgets show them, in the order of
// fieldsOnPage: "1"/"0" for check boxes and radio buttons, the list position
// for lists ("-1" when the byte lies outside the list), the text of edits.
std::vector<std::string> showPage(ParamModel model, int page, const ParameterImage& image);

struct StoreResult {
  bool ok = true;
  std::size_t field = 0;  // position in the page of the field that gets the focus
  std::string message;    // shown titled "Error Message"
};

// Validates every value of the page; only when all are good they are
// stored into the image (a list at "-1" keeps its byte). On failure nothing
// is stored and the result names the field and its message.
StoreResult storePage(ParamModel model, int page, const std::vector<std::string>& values, ParameterImage& image);

// A handheld that still has the factory password, once connected: asks
// "Configurare la password del terminale ?" (OK/Cancel); on OK the
// handheld's layout is selected and the pages open at page 1, where its
// own password is set. True on OK.
inline constexpr const char* kConfigurePasswordQuestion = "Configurare la password del terminale ?";
bool askConfigurePassword(const Messages& messages);

}  // namespace cfg
