// Small text helpers of the framework: printf-style formatting, number texts, the local
// date-time text of log lines, UTF-8 conversion of wide (UTF-16) texts, and the Windows-1252
// code page the tool's texts use.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace fw {

namespace detail {
std::string FormatText(const char* format, ...);
inline const char* FormatArg(const std::string& text) { return text.c_str(); }
template <class T>
  requires std::is_arithmetic_v<T> || std::is_pointer_v<T> || std::is_enum_v<T>
T FormatArg(T value) {
  return value;
}
}  // namespace detail

// printf-style formatting into a text sized for the result: nothing is ever cut. A std::string
// argument stands for its characters (%s).
template <class... Args>
std::string Format(const char* format, const Args&... args) {
  return detail::FormatText(format, detail::FormatArg(args)...);
}

std::string IntToStr(long long value);
// Upper-case hexadecimal with at least digits digits.
std::string IntToHex(unsigned long long value, int digits);
// A number as German texts for people write it: decimals digits after a decimal comma
// ("0,0", "-12,35"), rounded as printf rounds, no thousands separator. Not for files that
// programs read (CSV keeps its point).
std::string DecimalText(double value, int decimals);
// The current local date and time in the default text form ("dd.mm.yyyy hh:mm:ss").
std::string DateTimeText();

// UTF-16 <-> UTF-8. Invalid input decodes to U+FFFD per bad sequence; nothing is dropped silently.
std::string Utf8Encode(const std::u16string& text);
std::u16string Utf8Decode(const std::string& bytes);

// The tool's texts are 8-bit Windows-1252; front-ends convert at their boundary.
std::string Cp1252ToUtf8(const std::string& text);
// Characters without a Windows-1252 form become '?'.
std::string Utf8ToCp1252(const std::string& text);

// A text that came from outside (a file, a path, the command line, a database) made safe to show
// on a terminal or in a log: every control character becomes "\xNN" (lower-case hexadecimal, one
// per byte), so an escape sequence is shown instead of acted on. Everything else is kept as it
// is, backslashes included (Windows paths read as before).
// Windows-1252: 0x00-0x1F, 0x7F and the five bytes 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D, which become C1 controls in UTF-8).
std::string VisibleCp1252(const std::string& text);
// UTF-8: 0x00-0x1F, 0x7F, the C1 controls U+0080-U+009F, and every byte that is not part of a
// well-formed UTF-8 sequence (the result is always valid UTF-8).
std::string VisibleUtf8(const std::string& text);

// The length of the well-formed UTF-8 sequence at text[i] (1-4), or 0 when there is none
// (overlong forms, surrogates and code points above U+10FFFF are not well-formed).
// Precondition: i < text.size().
size_t Utf8SequenceLength(const std::string& text, size_t i);

// A UTF-8 text as a JSON string, quotes included: '"', '\\' and every control character escaped
// (\u00XX), bytes that are not UTF-8 as U+FFFD, so the line is valid JSON whatever the text held.
std::string JsonText(const std::string& utf8);

}  // namespace fw
