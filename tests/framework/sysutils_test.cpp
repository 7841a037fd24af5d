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
