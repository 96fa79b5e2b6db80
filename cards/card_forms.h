// The " Dati da scrivere " forms of the card dialogs: typed text to holder
// data, with the message and the field to focus when a value is wrong.
#pragma once

#include <string>

#include "cards/card_layout.h"

namespace cfg::cards {

enum class FormField { Plant, Company, User, Info, Name, Type, Code, Data };

struct FormCheck {
  bool ok = false;
  FormField field = FormField::Plant;  // when not ok: the field to focus
  std::string message;                 // and its message ("Error Message")
};

struct FormA {
  std::string plant, company, user, info, name;
};
struct FormB {
  std::string type, plant, code, name, data;
};

inline constexpr std::size_t kNameLengthA = 20;
inline constexpr std::size_t kNameLengthB = 16;

// Checks in the order of the dialog; fills `out` when every value is good.
FormCheck checkFormA(const FormA& form, HolderA& out);
FormCheck checkFormB(const FormB& form, HolderB& out);

}  // namespace cfg::cards
