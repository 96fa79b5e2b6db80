// An IPv4 address field: four octet boxes (0-255) with dots between them.
// An empty box counts as 0.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <array>
#include <cstdint>

namespace cfg::ui {

class IpEdit : public QWidget {
  Q_OBJECT
 public:
  explicit IpEdit(QWidget* parent = nullptr);
  // a.b.c.d as a << 24 | b << 16 | c << 8 | d
  std::uint32_t address() const;
  void setAddress(std::uint32_t address);
  QLineEdit* octet(int i) const { return octets_.at(i); }

 private:
  std::array<QLineEdit*, 4> octets_{};
};

// Accepts decimal digits up to `max` (e.g. 255 for an octet, 65535 for a port).
void limitToDecimal(QLineEdit* edit, int maxLength, unsigned max);

}  // namespace cfg::ui
