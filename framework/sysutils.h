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
// Appends one code point (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);
std::string Utf8Encode(const std::u16string& text);
std::u16string Utf8Decode(const std::string& bytes);

// The tool's texts are 8-bit Windows-1252; front-ends convert at their boundary.
//
// A text can also carry a character Windows-1252 lacks, when it came from a name or another text
// from outside (VisibleUtf8ToCp1252): as kCarryMark, a byte Windows-1252 leaves undefined,
// followed by the character's UTF-8 bytes (2-4 of them). Only VisibleUtf8ToCp1252 writes a mark,
// and never for a character Windows-1252 holds, so a mark is always followed by a lead byte
// 0xC4-0xF4 and its continuation bytes. Every text from outside is made visible on its way in
// (VisibleCp1252 shows a lone 0x81 of a file as "\x81"), so a mark in a text is one of ours.
// The conversions out of the tool's texts (Cp1252ToUtf8, and through it to UTF-16 for the
// window and the console, to JSON, the journal and another code page) give the character whole;
// a code page that cannot hold it shows '?' there, at its boundary.
inline constexpr char kCarryMark = '\x81';

// The tool's text in UTF-8: each byte by the Windows-1252 table (an undefined byte as the C1
// control of its number), a carried character whole.
std::string Cp1252ToUtf8(const std::string& text);
// Bytes read as Windows-1252 (a file's content, a value sent to the board) in UTF-8, each byte by
// the table and nothing else: a 0x81 there is data, never a mark.
std::string Cp1252BytesToUtf8(const std::string& bytes);
// The tool's text in Windows-1252 alone, for a file that holds nothing else: a carried character
// becomes '?', every other byte stays as it is.
std::string PlainCp1252(const std::string& text);
// Characters without a Windows-1252 form become '?'. For the tool's own texts and system messages.
std::string Utf8ToCp1252(const std::string& text);
// A text from outside (UTF-8: a file's name, a path, a device's description) as the tool's text,
// to be shown: what VisibleCp1252(Utf8ToCp1252(text)) gives, except that a character Windows-1252
// lacks is carried whole (see kCarryMark). Still '?': bytes that are not UTF-8, the C1 controls
// and the invisible characters that reorder or hide text around them (bidirectional controls,
// zero-width space, line and paragraph separators, byte-order mark, tags), so a shown name cannot
// disguise itself or the message around it. Never pass the result through VisibleCp1252 again:
// that shows its marks as "\x81" (VisibleMessage keeps them).
std::string VisibleUtf8ToCp1252(const std::string& text);
// A text the tool composed (a message that may name a file through VisibleUtf8ToCp1252, or hold
// a system's message converted by Utf8ToCp1252, which never writes a 0x81) made safe to show as
// VisibleCp1252 does, its carried characters kept. Not for bytes taken as Windows-1252 straight
// from outside (a file, a device's description): those go through VisibleCp1252, which shows
// every 0x81.
std::string VisibleMessage(const std::string& text);

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
