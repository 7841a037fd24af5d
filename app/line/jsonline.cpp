#include "app/line/jsonline.h"

#include <cstdlib>

#include "framework/sysutils.h"

namespace app::line {

namespace {

constexpr int kMaxDepth = 32;

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  void SkipBlanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) {
      ++i_;
    }
  }
  bool AtEnd() const { return i_ == s_.size(); }
  bool Take(char c) {
    SkipBlanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  // A string at the current position (after blanks), decoded into out.
  bool String(std::string& out) {
    SkipBlanks();
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    out.clear();
    while (i_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned unit = 0;
          if (!Hex4(unit)) return false;
          char32_t code = unit;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            // A high surrogate: with its low one a code point beyond the first plane.
            unsigned low = 0;
            const size_t before = i_;
            if (i_ + 1 < s_.size() && s_[i_] == '\\' && s_[i_ + 1] == 'u') {
              i_ += 2;
              if (!Hex4(low)) return false;
            }
            if (low >= 0xDC00 && low <= 0xDFFF) {
              code = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            } else {
              i_ = before;
              code = 0xFFFD;
            }
          } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            code = 0xFFFD;
          }
          fw::AppendUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  // Any value; kind and raw text.
  bool Value(JsonMember& member, int depth) {
    SkipBlanks();
    if (i_ >= s_.size()) return false;
    const size_t start = i_;
    const char c = s_[i_];
    if (c == '"') {
      member.kind = JsonMember::Kind::String;
      if (!String(member.text)) return false;
    } else if (c == '{' || c == '[') {
      member.kind = JsonMember::Kind::Nested;
      if (!Nested(depth + 1)) return false;
    } else if (Word("true") || Word("false")) {
      member.kind = JsonMember::Kind::Bool;
    } else if (Word("null")) {
      member.kind = JsonMember::Kind::Null;
    } else {
      member.kind = JsonMember::Kind::Number;
      if (!Number()) return false;
    }
    member.raw = s_.substr(start, i_ - start);
    return true;
  }

 private:
  bool Hex4(unsigned& value) {
    if (i_ + 4 > s_.size()) return false;
    value = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      value <<= 4;
      if (h >= '0' && h <= '9') value |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') value |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') value |= static_cast<unsigned>(h - 'A' + 10);
      else return false;
    }
    return true;
  }
  bool Word(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool Digits() {
    const size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > start;
  }
  bool Number() {
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0') {
      ++i_;
    } else if (!Digits()) {
      return false;
    }
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      if (!Digits()) return false;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (!Digits()) return false;
    }
    return true;
  }
  // An object or array, checked and skipped.
  bool Nested(int depth) {
    if (depth > kMaxDepth) return false;
    const char open = s_[i_++];
    const char close = open == '{' ? '}' : ']';
    if (Take(close)) return true;
    for (;;) {
      JsonMember inner;
      if (open == '{') {
        std::string name;
        if (!String(name) || !Take(':')) return false;
      }
      if (!Value(inner, depth)) return false;
      if (Take(close)) return true;
      if (!Take(',')) return false;
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

const JsonMember* JsonObject::Find(const std::string& name) const {
  for (const JsonMember& member : members) {
    if (member.name == name) return &member;
  }
  return nullptr;
}

std::string JsonObject::Text(const std::string& name) const {
  const JsonMember* member = Find(name);
  return member != nullptr && member->kind == JsonMember::Kind::String ? member->text : "";
}

std::optional<long long> JsonObject::Integer(const std::string& name) const {
  const JsonMember* member = Find(name);
  if (member == nullptr || member->kind != JsonMember::Kind::Number ||
      member->raw.find_first_of(".eE") != std::string::npos || member->raw.size() > 18) {
    return std::nullopt;
  }
  return std::strtoll(member->raw.c_str(), nullptr, 10);
}

std::optional<JsonObject> ParseJsonObject(const std::string& line) {
  Reader reader(line);
  if (!reader.Take('{')) return std::nullopt;
  JsonObject object;
  if (!reader.Take('}')) {
    for (;;) {
      JsonMember member;
      if (!reader.String(member.name) || !reader.Take(':') || !reader.Value(member, 1)) {
        return std::nullopt;
      }
      object.members.push_back(std::move(member));
      if (reader.Take('}')) break;
      if (!reader.Take(',')) return std::nullopt;
    }
  }
  reader.SkipBlanks();
  if (!reader.AtEnd()) return std::nullopt;
  return object;
}

std::string JsonObjectText(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string text = "{";
  for (const auto& [name, value] : members) {
    if (text.size() > 1) text += ',';
    text += fw::JsonText(name) + ":" + value;
  }
  return text + "}";
}

}  // namespace app::line
