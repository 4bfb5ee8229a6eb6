#include "errors/param_value.h"

#include <charconv>
#include <system_error>

namespace zandrex {

namespace {

// The shortest text that reads back as the same double; plain digits where that is not longer.
std::string doubleText(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc())
    return "{?}";
  return std::string(buffer, end);
}

std::string quoted(const std::string& text) {
  return "'" + text + "'";
}

} // namespace

std::string ParamValue::reportText() const {
  switch (kind_) {
  case Kind::None:
    return {};
  case Kind::Empty:
    return "{Empty}";
  case Kind::Null:
    return "{Null}";
  case Kind::Integer:
    return std::to_string(integer_);
  case Kind::Double:
    return doubleText(real_);
  case Kind::Boolean:
    return integer_ != 0 ? "True" : "False";
  case Kind::Date:
  case Kind::Text:
    return quoted(text_);
  case Kind::Array:
    return "{Array}";
  case Kind::Object:
    return text_.empty() ? "{Nothing}" : "{" + text_ + "}";
  case Kind::Other:
    return "{?}";
  }
  return "{?}";
}

} // namespace zandrex
