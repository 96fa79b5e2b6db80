#include "cards/card_forms.h"

#include <algorithm>

namespace cfg::cards {

namespace {

// A typed decimal number; -1 when it is not one (or has more than 10 digits).
long long typed(std::string s) {
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (s.empty() || s.size() > 10 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return -1;
  return std::stoll(s);
}

// Upper-case hexadecimal digits only, right-aligned to `width` with "0".
bool hexField(const std::string& s, std::size_t width, std::string& out) {
  if (s.size() > width || !std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
      }))
    return false;
  out = std::string(width - s.size(), '0') + s;
  return true;
}

FormCheck bad(FormField field, const char* message) { return {false, field, message}; }

}  // namespace

FormCheck checkFormA(const FormA& f, HolderA& out) {
  const long long plant = typed(f.plant), company = typed(f.company), user = typed(f.user), info = typed(f.info);
  if (plant < 0 || plant > 9999) return bad(FormField::Plant, "Errore: impianto non valido (0-9999).");
  if (company < 0 || company > 99) return bad(FormField::Company, "Errore: azienda non valida (0-99).");
  if (user < 1 || user > 999999999) return bad(FormField::User, "Errore: matricola non valida (1-999.999.999).");
  if (info < 0 || info > 65535) return bad(FormField::Info, "Errore: info non valido (0-65535).");
  out = HolderA{static_cast<unsigned>(plant), static_cast<unsigned>(company), static_cast<unsigned long>(user),
                static_cast<unsigned>(info), f.name.substr(0, kNameLengthA)};
  return {true, FormField::Plant, {}};
}

FormCheck checkFormB(const FormB& f, HolderB& out) {
  const long long type = typed(f.type), plant = typed(f.plant);
  if (type < 0 || type > 255) return bad(FormField::Type, "Errore: tipo non valido (0-255).");
  if (plant < 0 || plant > 9999) return bad(FormField::Plant, "Errore: impianto non valido (0-9999).");
  std::string code, data;
  if (!hexField(f.code, 10, code)) return bad(FormField::Code, "Errore: codice non valido.");
  if (!hexField(f.data, 12, data)) return bad(FormField::Data, "Errore: dati non validi.");
  out = HolderB{static_cast<unsigned>(type), static_cast<unsigned>(plant), code, f.name.substr(0, kNameLengthB), data};
  return {true, FormField::Plant, {}};
}

}  // namespace cfg::cards
