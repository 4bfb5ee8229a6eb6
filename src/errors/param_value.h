// A trapped procedure's parameter value, as the error report prints it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace zandrex {

class ParamValue {
public:
  enum class Kind : std::uint8_t {
    None,    // parameter not given: prints nothing
    Empty,   // never assigned: "{Empty}"
    Null,    // "{Null}"
    Integer, // ordinary decimal text
    Double,  // ordinary decimal text, shortest form
    Boolean, // "True" / "False"
    Date,    // "'" + text + "'"
    Text,    // "'" + text + "'"
    Array,   // "{Array}"
    Object,  // "{" + type name + "}", "{Nothing}" for none
    Other    // "{?}"
  };

  ParamValue() = default;
  static ParamValue none() { return {}; }
  static ParamValue empty() { return ParamValue(Kind::Empty); }
  static ParamValue null() { return ParamValue(Kind::Null); }
  static ParamValue array() { return ParamValue(Kind::Array); }
  static ParamValue other() { return ParamValue(Kind::Other); }
  static ParamValue date(std::string text) { return ParamValue(Kind::Date, std::move(text)); }
  // An object reference; an empty type name stands for none ("{Nothing}").
  static ParamValue object(std::string typeName) {
    return ParamValue(Kind::Object, std::move(typeName));
  }

  ParamValue(std::string_view text) : kind_(Kind::Text), text_(text) {}
  ParamValue(const std::string& text) : kind_(Kind::Text), text_(text) {}
  ParamValue(const char* text) : kind_(Kind::Text), text_(text ? text : "") {}
  ParamValue(bool value) : kind_(Kind::Boolean), integer_(value ? 1 : 0) {}
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  ParamValue(T value) : kind_(Kind::Integer), integer_(static_cast<std::int64_t>(value)) {}
  ParamValue(double value) : kind_(Kind::Double), real_(value) {}

  Kind kind() const { return kind_; }
  // The text the report shows for this value (the value table of the error report).
  std::string reportText() const;

private:
  explicit ParamValue(Kind kind, std::string text = {}) : kind_(kind), text_(std::move(text)) {}

  Kind kind_ = Kind::None;
  std::int64_t integer_ = 0;
  double real_ = 0.0;
  std::string text_;
};

// A procedure's parameter values in declaration order. One value is passed as a one-element
// list, none as an empty list.
using ParamValues = std::vector<ParamValue>;

} // namespace zandrex
