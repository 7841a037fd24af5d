#include "framework/sysutils.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace fw {

namespace detail {
std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (size > 0) {
    text.resize(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.pop_back();
  }
  va_end(again);
  return text;
}
}  // namespace detail

std::string IntToStr(long long value) { return std::to_string(value); }

std::string IntToHex(unsigned long long value, int digits) {
  return Format("%0*llX", digits, value);
}

std::string DecimalText(double value, int decimals) {
  // Formatted with the C locale's point (the program never changes its locale), which is then
  // the one character to replace.
  std::string text = Format("%.*f", decimals, value);
  const size_t point = text.find('.');
  if (point != std::string::npos) text[point] = ',';
  return text;
}

std::string DateTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%d.%m.%Y %H:%M:%S", &local);
  return buffer;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {
// Decodes one code point at i; advances i. Returns U+FFFD for a bad sequence.
char32_t DecodeUtf8(const std::string& s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int extra = 0;
  char32_t cp = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + extra >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  i += extra + 1;
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

// Windows-1252 0x80..0x9F; 0 marks an unassigned position.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

std::string Utf8Encode(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::u16string Utf8Decode(const std::string& bytes) {
  std::u16string out;
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = DecodeUtf8(bytes, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

namespace {

// The Windows-1252 byte of a code point, or 0 when the code page lacks it (U+0000 is byte 0).
bool InCp1252(char32_t cp, char& byte) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    byte = static_cast<char>(cp);
    return true;
  }
  for (int k = 0; k < 32; ++k) {
    if (kCp1252High[k] != 0 && kCp1252High[k] == cp) {
      byte = static_cast<char>(0x80 + k);
      return true;
    }
  }
  return false;
}

// Whether a character Windows-1252 lacks may be carried into a shown text: not a C1 control,
// and none of the invisible characters that reorder the text around them or hide themselves.
bool MayCarry(char32_t cp) {
  if (cp >= 0x80 && cp <= 0x9F) return false;                       // C1 controls
  if (cp == 0x061C || cp == 0x180E) return false;                   // Arabic letter mark, MVS
  if (cp == 0x200B || cp == 0x200E || cp == 0x200F) return false;  // ZWSP, LRM, RLM
  if (cp >= 0x2028 && cp <= 0x202E) return false;  // line/paragraph separators, embeddings
  if (cp >= 0x2060 && cp <= 0x206F) return false;  // word joiner, isolates, invisible operators
  if (cp == 0xFEFF) return false;                   // byte-order mark
  if (cp >= 0xFFF9 && cp <= 0xFFFB) return false;  // interlinear annotation
  if (cp >= 0xE0000 && cp <= 0xE007F) return false;  // tags
  return true;
}

// The length of a carried character's bytes after a mark at text[i], or 0 when the mark is none.
size_t CarriedLength(const std::string& text, size_t i) {
  if (text[i] != kCarryMark || i + 1 >= text.size()) return 0;
  const size_t n = Utf8SequenceLength(text, i + 1);
  if (n < 2) return 0;
  size_t at = i + 1;
  const char32_t cp = DecodeUtf8(text, at);
  char byte = 0;
  return !InCp1252(cp, byte) && MayCarry(cp) ? n : 0;
}

void AppendCp1252Byte(std::string& out, unsigned char b) {
  char32_t cp = b;
  if (b >= 0x80 && b < 0xA0) cp = kCp1252High[b - 0x80] != 0 ? kCp1252High[b - 0x80] : b;
  AppendUtf8(out, cp);
}

}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (const size_t n = CarriedLength(text, i); n > 0) {
      out.append(text, i + 1, n);
      i += 1 + n;
      continue;
    }
    AppendCp1252Byte(out, static_cast<unsigned char>(text[i]));
    ++i;
  }
  return out;
}

std::string Cp1252BytesToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendCp1252Byte(out, static_cast<unsigned char>(c));
  return out;
}

std::string PlainCp1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (const size_t n = CarriedLength(text, i); n > 0) {
      out += '?';
      i += 1 + n;
      continue;
    }
    out += text[i];
    ++i;
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const char32_t cp = DecodeUtf8(text, i);
    char byte = '?';
    InCp1252(cp, byte);
    out += byte;
  }
  return out;
}

namespace {

void AppendEscaped(std::string& out, unsigned char b) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 0x0F];
}

}  // namespace

size_t Utf8SequenceLength(const std::string& text, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char b0 = at(0);
  if (b0 < 0x80) return 1;
  size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (size_t k = 2; k < n; ++k) {
    if ((at(k) & 0xC0) != 0x80) return 0;
  }
  return n;
}

std::string VisibleCp1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    const bool control = b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F ||
                         b == 0x90 || b == 0x9D;
    if (control) {
      AppendEscaped(out, b);
    } else {
      out += c;
    }
  }
  return out;
}

std::string VisibleUtf8ToCp1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t start = i;
    const char32_t cp = DecodeUtf8(text, i);
    char byte = '?';
    if (InCp1252(cp, byte)) {
      const auto b = static_cast<unsigned char>(byte);
      if (b < 0x20 || b == 0x7F) {
        AppendEscaped(out, b);
      } else {
        out += byte;
      }
      continue;
    }
    // A character whole as UTF-8 (not a bad sequence read as U+FFFD) that may be shown.
    const bool whole = Utf8SequenceLength(text, start) == i - start;
    if (whole && MayCarry(cp)) {
      out += kCarryMark;
      out.append(text, start, i - start);
    } else {
      out += '?';
    }
  }
  return out;
}

std::string VisibleMessage(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (const size_t n = CarriedLength(text, i); n > 0) {
      out.append(text, i, 1 + n);
      i += 1 + n;
      continue;
    }
    out += VisibleCp1252(std::string(1, text[i]));
    ++i;
  }
  return out;
}

std::string VisibleUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t n = Utf8SequenceLength(text, i);
    const auto b0 = static_cast<unsigned char>(text[i]);
    const bool c0 = n == 1 && (b0 < 0x20 || b0 == 0x7F);
    const bool c1 = n == 2 && b0 == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (n == 0 || c0) {
      AppendEscaped(out, b0);
      ++i;
    } else if (c1) {
      AppendEscaped(out, b0);
      AppendEscaped(out, static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string JsonText(const std::string& utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t n = Utf8SequenceLength(utf8, i);
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (n == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (n == 1 && (b < 0x20 || b == 0x7F || b == '"' || b == '\\')) {
      if (b == '"' || b == '\\') {
        out += '\\';
        out += static_cast<char>(b);
      } else {
        out += "\\u00";
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
      }
    } else {
      out.append(utf8, i, n);
    }
    i += n;
  }
  return out + "\"";
}

}  // namespace fw
