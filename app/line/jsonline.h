// Reading one JSON line of a child (ui/console's JSON lines, app/resultline.h): one object whose
// members are read in order, strings decoded, numbers and literals kept, and nested objects and
// arrays kept as their text. Only what the children write needs reading, but the reader takes
// any well-formed object and refuses anything else, since a child's output is input.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app::line {

struct JsonMember {
  enum class Kind { String, Number, Bool, Null, Nested };
  std::string name;  // decoded (UTF-8)
  Kind kind = Kind::Null;
  std::string raw;   // the value's JSON text as it stood
  std::string text;  // String: the decoded UTF-8 text (a \u0000 included); else empty
};

struct JsonObject {
  std::vector<JsonMember> members;

  // The first member of that name, null for none.
  const JsonMember* Find(const std::string& name) const;
  // A string member's text; "" when it is missing or no string.
  std::string Text(const std::string& name) const;
  // An integer member's value (a number without fraction or exponent that fits); none else.
  std::optional<long long> Integer(const std::string& name) const;
};

// One object, blanks around it allowed; none for anything else (an unfinished line, two
// objects, a bare value, a control character inside a string, a bad escape, nesting deeper than
// 32).
std::optional<JsonObject> ParseJsonObject(const std::string& line);

// A JSON object text from members in order, each value already JSON text: what ParseJsonObject
// reads back member for member.
std::string JsonObjectText(const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace app::line
