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
// The current local date and time in the default text form ("dd.mm.yyyy hh:mm:ss").
std::string DateTimeText();

// UTF-16 <-> UTF-8. Invalid input decodes to U+FFFD per bad sequence; nothing is dropped silently.
std::string Utf8Encode(const std::u16string& text);
std::u16string Utf8Decode(const std::string& bytes);

// The tool's texts are 8-bit Windows-1252; front-ends convert at their boundary.
std::string Cp1252ToUtf8(const std::string& text);
// Characters without a Windows-1252 form become '?'.
std::string Utf8ToCp1252(const std::string& text);

}  // namespace fw
