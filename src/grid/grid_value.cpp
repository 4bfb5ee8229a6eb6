#include "grid/report_grid.h"

#include <charconv>
#include <cmath>

namespace zandrex {

namespace {

// Whole numbers below this print digit by digit; beyond it the shortest form may use an exponent.
constexpr double kPlainWholeLimit = 1e15;
// Room for the shortest round-trip form of any double.
constexpr std::size_t kNumberTextCapacity = 32;

int compareNumbers(double a, double b) {
  // NaN sorts after every number so the order stays strict and weak.
  const bool aNan = std::isnan(a);
  const bool bNan = std::isnan(b);
  if (aNan || bNan)
    return static_cast<int>(aNan) - static_cast<int>(bNan);
  if (a < b)
    return -1;
  return a > b ? 1 : 0;
}

} // namespace

std::string GridValue::displayText() const {
  if (kind_ == Kind::Text)
    return std::string(text_);
  if (kind_ == Kind::Empty)
    return {};
  if (std::isfinite(number_) && std::trunc(number_) == number_ &&
      std::fabs(number_) < kPlainWholeLimit)
    return std::to_string(static_cast<long long>(number_));
  char buffer[kNumberTextCapacity];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number_);
  return std::string(buffer, result.ptr);
}

int compare(const GridValue& a, const GridValue& b) {
  if (a.kind_ != b.kind_)
    return a.kind_ < b.kind_ ? -1 : 1;
  if (a.kind_ == GridValue::Kind::Number)
    return compareNumbers(a.number_, b.number_);
  if (a.kind_ == GridValue::Kind::Text) {
    const int order = a.text_.compare(b.text_);
    return (order > 0) - (order < 0);
  }
  return 0;
}

} // namespace zandrex
