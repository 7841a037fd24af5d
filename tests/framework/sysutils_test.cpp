#include "framework/sysutils.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Format, TextIsSizedForTheResultNeverCut) {
  const std::string folder(5000, 'x');
  const std::string text = fw::Format("Im Ordner %s ist %s ein Ordner.", folder, "Quorix.lcd");
  EXPECT_EQ(text, "Im Ordner " + folder + " ist Quorix.lcd ein Ordner.");
}

TEST(Format, NumbersStringsAndPointersMix) {
  const struct {
    std::string got;
    const char* want;
  } rows[] = {
      {fw::Format("%d/%u/%ld", -3, 7u, 123456789L), "-3/7/123456789"},
      {fw::Format("<%02X>", 0x0A), "<0A>"},
      {fw::Format("%s=%s", std::string("a"), "b"), "a=b"},
      {fw::Format("plain"), "plain"},
      {fw::Format("%s", std::string()), ""},
  };
  for (const auto& row : rows) EXPECT_EQ(row.got, row.want);
}

}  // namespace

// Texts from outside are shown with their control characters made visible, never acted on.
TEST(VisibleText, ControlCharactersAreShownAndEverythingElseKept) {
  struct Row {
    const char* in;
    const char* utf8;     // VisibleUtf8
    const char* cp1252;   // VisibleCp1252
  };
  const Row rows[] = {
      {"C:\\Platinen\\K\xc3\xbchlraum", "C:\\Platinen\\K\xc3\xbchlraum",
       "C:\\Platinen\\K\xc3\xbchlraum"},
      {"\x1b[2J", "\\x1b[2J", "\\x1b[2J"},
      {"a\nb\tc\rd\x7f", "a\\x0ab\\x09c\\x0dd\\x7f", "a\\x0ab\\x09c\\x0dd\\x7f"},
      {"\x1b]52;c;SGVsbG8=\x07", "\\x1b]52;c;SGVsbG8=\\x07", "\\x1b]52;c;SGVsbG8=\\x07"},
      // C1 CSI in UTF-8; in Windows-1252 0xC2 0x9B are two printable characters.
      {"\xc2\x9b" "2J", "\\xc2\\x9b2J", "\xc2\x9b" "2J"},
      // Not UTF-8: a lone Latin-1 byte, an overlong slash, a surrogate, a cut sequence.
      {"K\xfchl", "K\\xfchl", "K\xfchl"},
      {"\xc0\xaf", "\\xc0\\xaf", "\xc0\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\xed\xa0\x80"},
      {"\xe2\x82", "\\xe2\\x82", "\xe2\x82"},
      // Windows-1252's undefined bytes become C1 controls when shown as UTF-8; the euro sign stays.
      {"\x80\x81\x9d", "\\x80\\x81\\x9d", "\x80\\x81\\x9d"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fw::VisibleUtf8(row.in), row.utf8) << row.in;
    EXPECT_EQ(fw::VisibleCp1252(row.in), row.cp1252) << row.in;
  }
  EXPECT_EQ(fw::VisibleUtf8(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(fw::VisibleCp1252(std::string("a\0b", 3)), "a\\x00b");
}

namespace {

TEST(DecimalText, GermanTextsWriteADecimalComma) {
  struct Row {
    double value;
    int decimals;
    const char* text;
  };
  for (const Row& row : {
           Row{0.0, 1, "0,0"},
           Row{42.5, 1, "42,5"},
           Row{-12.345, 2, "-12,35"},
           Row{1234567.25, 2, "1234567,25"},  // no thousands separator
           Row{0.96, 1, "1,0"},
           Row{7.0, 0, "7"},                   // no decimals, no comma
       }) {
    EXPECT_EQ(fw::DecimalText(row.value, row.decimals), row.text) << row.value;
  }
}

}  // namespace
TEST(JsonText, EveryTextBecomesOneValidJsonString) {
  const struct {
    std::string in;
    const char* json;
  } rows[] = {
      {"Schreiben erfolgreich beendet!", "\"Schreiben erfolgreich beendet!\""},
      {"Ger\xc3\xa4tetyp \"3\"", "\"Ger\xc3\xa4tetyp \\\"3\\\"\""},
      {"C:\\Platinen\nzwei", "\"C:\\\\Platinen\\u000azwei\""},
      {std::string("\x1b[2J\0\x7f", 6), "\"\\u001b[2J\\u0000\\u007f\""},
      {"K\xfchl", "\"K\\ufffdhl\""},
  };
  for (const auto& row : rows) EXPECT_EQ(fw::JsonText(row.in), row.json) << row.in;
}

// A name from outside as the tool's text and back: what Windows-1252 holds as its byte, any
// other character carried whole, the rest as before ('?' or made visible).
TEST(CarriedText, names_keep_every_character_windows_1252_lacks) {
  struct Row {
    std::string utf8;     // the name
    std::string text;     // VisibleUtf8ToCp1252
    std::string shown;    // Cp1252ToUtf8 of that
  };
  const Row rows[] = {
      // "Łódź 12": Ł and ź carried, ó is Windows-1252's own.
      {"C:\\Leer\\\xc5\x81\xc3\xb3" "d\xc5\xba 12", "C:\\Leer\\\x81\xc5\x81\xf3" "d\x81\xc5\xba 12",
       "C:\\Leer\\\xc5\x81\xc3\xb3" "d\xc5\xba 12"},
      {"K\xc3\xbchlraum 4711", "K\xfchlraum 4711", "K\xc3\xbchlraum 4711"},
      // Held by the table of 0x80-0x9F: never carried.
      {"\xe2\x82\xac \xc5\x92\xc5\xbd", "\x80 \x8c\x8e", "\xe2\x82\xac \xc5\x92\xc5\xbd"},
      // Three and four bytes; a joiner that some scripts need; a real replacement character.
      {"\xe4\xb8\x80\xf0\x9f\x94\x8c", "\x81\xe4\xb8\x80\x81\xf0\x9f\x94\x8c",
       "\xe4\xb8\x80\xf0\x9f\x94\x8c"},
      {"a\xe2\x80\x8d" "b", "a\x81\xe2\x80\x8d" "b", "a\xe2\x80\x8d" "b"},
      {"\xef\xbf\xbd", "\x81\xef\xbf\xbd", "\xef\xbf\xbd"},
      // Controls made visible, as VisibleCp1252 does.
      {"a\nb\x1b[2J", "a\\x0ab\\x1b[2J", "a\\x0ab\\x1b[2J"},
      // Not shown whole: C1 CSI, right-to-left override, isolate, zero-width space, BOM, a tag.
      {"\xc2\x9b" "2J", "?2J", "?2J"},
      {"abc\xe2\x80\xae" "fdp.exe", "abc?fdp.exe", "abc?fdp.exe"},
      {"\xe2\x81\xa7x\xe2\x80\x8bz\xef\xbb\xbf\xf3\xa0\x80\x81", "?x?z??", "?x?z??"},
      // Not UTF-8: a Latin-1 byte, an overlong slash, a surrogate, a cut sequence.
      {"K\xfchl", "K?hl", "K?hl"},
      {"\xc0\xaf", "?", "?"},
      {"\xed\xa0\x80", "?", "?"},
      {"\xe2\x82", "??", "??"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fw::VisibleUtf8ToCp1252(row.utf8), row.text) << row.utf8;
    EXPECT_EQ(fw::Cp1252ToUtf8(row.text), row.shown) << row.utf8;
    // A message that names it can be made visible again without harm.
    EXPECT_EQ(fw::VisibleMessage("Ordner " + row.text + "\n"), "Ordner " + row.text + "\\x0a")
        << row.utf8;
    // Into a file that holds Windows-1252 alone: a carried character is '?' there.
    EXPECT_EQ(fw::PlainCp1252(row.text), fw::VisibleCp1252(fw::Utf8ToCp1252(row.utf8))) << row.utf8;
  }
}

// Texts without a carried character come out of the new conversion exactly as before.
TEST(CarriedText, what_windows_1252_holds_is_shown_as_before) {
  for (const std::string& utf8 :
       {std::string("C:\\Platinen\\Pr\xc3\xbc" "fstand\\Gr\xc3\xb6\xc3\x9f" "e 3"),
        std::string("\x1b]52;c;SGVsbG8=\x07"), std::string("a\0b", 3), std::string("\xc2\x81"),
        std::string("\xe2\x80\x9e" "Zitat\xe2\x80\x9c \xe2\x80\xa6")}) {
    EXPECT_EQ(fw::VisibleUtf8ToCp1252(utf8), fw::VisibleCp1252(fw::Utf8ToCp1252(utf8))) << utf8;
  }
  // The conversion for the tool's own texts keeps its '?'.
  EXPECT_EQ(fw::Utf8ToCp1252("\xc5\x81\xc3\xb3" "d\xc5\xba"), "?\xf3" "d?");
}

// Bytes from a file are never taken for a carried character: a text from outside is made visible
// on its way in, and data (a file's content) is converted byte by byte.
TEST(CarriedText, a_lone_undefined_byte_from_a_file_stays_visible) {
  struct Row {
    std::string bytes;    // as read from a file, Windows-1252
    std::string visible;  // Cp1252ToUtf8(VisibleCp1252(bytes)): how a message shows them
    std::string text;     // Cp1252ToUtf8(bytes): a text that holds them as they are
    std::string data;     // Cp1252BytesToUtf8(bytes)
  };
  const Row rows[] = {
      // Would be a mark before "Ł": shown as bytes, not as the letter.
      {"\x81\xc5\x81", "\\x81\xc3\x85\\x81", "\xc5\x81", "\xc2\x81\xc3\x85\xc2\x81"},
      {"a\x81", "a\\x81", "a\xc2\x81", "a\xc2\x81"},
      // Never a mark: before a character Windows-1252 holds, a cut sequence, an override.
      {"\x81\xc3\xa4", "\\x81\xc3\x83\xc2\xa4", "\xc2\x81\xc3\x83\xc2\xa4",
       "\xc2\x81\xc3\x83\xc2\xa4"},
      {"\x81\xe4\xb8", "\\x81\xc3\xa4\xc2\xb8", "\xc2\x81\xc3\xa4\xc2\xb8",
       "\xc2\x81\xc3\xa4\xc2\xb8"},
      {"\x81\xe2\x80\xae", "\\x81\xc3\xa2\xe2\x82\xac\xc2\xae",
       "\xc2\x81\xc3\xa2\xe2\x82\xac\xc2\xae", "\xc2\x81\xc3\xa2\xe2\x82\xac\xc2\xae"},
      {"\x8d\x8f\x90\x9d", "\\x8d\\x8f\\x90\\x9d", "\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d",
       "\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fw::Cp1252ToUtf8(fw::VisibleCp1252(row.bytes)), row.visible) << row.bytes;
    // Made visible once, they stay as they are shown.
    EXPECT_EQ(fw::VisibleMessage(fw::VisibleCp1252(row.bytes)), fw::VisibleCp1252(row.bytes));
    EXPECT_EQ(fw::Cp1252ToUtf8(row.bytes), row.text) << row.bytes;
    EXPECT_EQ(fw::Cp1252BytesToUtf8(row.bytes), row.data) << row.bytes;
  }
}
