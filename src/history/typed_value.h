#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>

namespace kabuka::history {

// One price field as the database keeps it. A field that is a decimal number is
// a number, an empty field is NULL, and anything else stays text, so that every
// field can be given back as it was read.
struct Value {
  enum class Kind : unsigned char { Null, Integer, Real, Text };
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  double real = 0;
  QString text;

  static Value ofInteger(std::int64_t v) { return Value{Kind::Integer, v, 0, {}}; }
  static Value ofReal(double v) { return Value{Kind::Real, 0, v, {}}; }
  static Value ofText(QString v) { return Value{Kind::Text, 0, 0, std::move(v)}; }
  friend bool operator==(const Value&, const Value&) = default;
};

// What a field's bytes (Shift-JIS, quotes already taken off) are kept as, without
// the text: the kind, and the number when it is one. A number is a number only
// when appendNumber() gives its text back exactly: "0123", "+5", "-0", "1.50" or
// "1e3" would lose their form and are text.
struct FieldType {
  Value::Kind kind = Value::Kind::Null;
  std::int64_t integer = 0;
  double real = 0;
};
FieldType typeOfField(std::string_view field);

// The field as a value, its text converted when it is kept as text.
Value typedValue(std::string_view field);

// The one way numbers are written, by every output: an integer in decimal, a real
// in the shortest decimal that reads back as the same double, with at least one
// digit after the point ("1234.0").
void appendNumber(QByteArray& out, const Value& value);

}  // namespace kabuka::history
