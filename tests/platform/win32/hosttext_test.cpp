// Names, arguments and texts through the wide API: every name Windows allows, also those the
// ANSI code page cannot hold.
#include "platform/hosttext.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/outputfiles.h"
#include "platform/win32/hosttext.h"

namespace plat {
namespace {

namespace fs = std::filesystem;

// "Łódź 12", "Kühlraum 4711", "Größe" in UTF-8.
const std::string kLodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA 12";
const std::string kKuehlraum = "K\xC3\xBChlraum 4711";

TEST(HostText, arguments_come_from_the_wide_command_line_in_utf8) {
  struct Row {
    const wchar_t* line;
    std::vector<std::string> arguments;
  };
  for (const Row& row : {
           Row{L"lcdwrite.exe", {}},
           Row{L"", {}},
           Row{L"lcdwrite.exe --console \"C:\\Platinen\\K\u00FChlraum 4711\"",
               {"--console", "C:\\Platinen\\" + kKuehlraum}},
           Row{L"\"C:\\Program Files\\lcdwrite\\lcdwrite.exe\" C:\\Platinen\\\u0141\u00F3d\u017A",
               {"C:\\Platinen\\\xC5\x81\xC3\xB3" "d\xC5\xBA"}},
           // The C runtime's rules: a backslash before a quote escapes it, others are kept.
           Row{L"x \"a b\" c\\d \"e\\\"f\" g\\\\\"h i\"", {"a b", "c\\d", "e\"f", "g\\h i"}},
           Row{L"x --log=\"Pr\u00FCfstand/Gr\u00F6\u00DFe 3\\port.log\"",
               {"--log=Pr\xC3\xBC" "fstand/Gr\xC3\xB6\xC3\x9F" "e 3\\port.log"}},
           Row{L"x \"\"", {""}},
       }) {
    EXPECT_EQ(ArgumentsOfCommandLine(row.line), row.arguments) << fs::path(row.line);
  }
}

TEST(HostText, a_path_and_its_text_convert_both_ways_without_loss) {
  for (const std::string& text : {kLodz, kKuehlraum, std::string("C:\\Platinen\\4711"),
                                  std::string("\xE2\x82\xAC \xF0\x9F\x94\x8C")}) {
    const fs::path path = FilePath(text);
    EXPECT_EQ(PathText(path), text);
  }
  EXPECT_EQ(FilePath(kLodz).wstring(), L"\u0141\u00F3d\u017A 12");
  EXPECT_EQ(FilePath("K\xFChl").wstring(), L"K\uFFFDhl");  // no UTF-8: marked, not guessed
}

TEST(HostText, code_pages_hold_what_they_can_and_mark_the_rest) {
  struct Row {
    std::string utf8;
    unsigned codePage;
    std::string expected;
  };
  for (const Row& row : {
           Row{"Ger\xC3\xA4tetyp", 850, "Ger\x84tetyp"},
           Row{"Ger\xC3\xA4tetyp", 1252, "Ger\xE4tetyp"},
           Row{"Ger\xC3\xA4tetyp", kCodePageUtf8, "Ger\xC3\xA4tetyp"},
           Row{kLodz, 850, "?\xA2" "d? 12"},
           Row{kLodz, 1252, "?\xF3" "d? 12"},
       }) {
    EXPECT_EQ(Utf8ToCodePage(row.utf8, row.codePage), row.expected) << row.codePage;
  }
}

TEST(HostText, the_environment_is_read_wide) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"LCDWRITE_HOSTTEXT_TEST", L"C:\\\u0141\u00F3d\u017A 12"));
  EXPECT_EQ(EnvironmentText("LCDWRITE_HOSTTEXT_TEST"), "C:\\" + kLodz);
  ASSERT_TRUE(::SetEnvironmentVariableW(L"LCDWRITE_HOSTTEXT_TEST", L""));
  EXPECT_EQ(EnvironmentText("LCDWRITE_HOSTTEXT_TEST"), "");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"LCDWRITE_HOSTTEXT_TEST", nullptr));
  EXPECT_EQ(EnvironmentText("LCDWRITE_HOSTTEXT_TEST"), std::nullopt);
}

// The output files in folders of every kind of name: created, appended to, replaced whole.
TEST(HostText, output_files_open_in_folders_outside_the_ansi_code_page) {
  const fs::path root = fs::temp_directory_path() /
                        ("lcdwrite-hosttext-" + std::to_string(::GetCurrentProcessId()));
  for (const std::string& name : {kLodz, kKuehlraum}) {
    const fs::path folder = root / FilePath(name);
    fs::create_directories(folder);
    const fs::path log = FilePath(PathText(folder) + "\\port.log");
    int error = 0;
    for (const char* line : {"eins\n", "zwei\n"}) {
      std::FILE* file = OpenForAppend(log, error);
      ASSERT_NE(file, nullptr) << name << " error " << error;
      std::fputs(line, file);
      std::fclose(file);
    }
    const fs::path report = folder / "report.json";
    for (const char* content : {"{}", "{\"stored\": true}"}) {
      ReplacementFile replacement(report);
      ASSERT_EQ(replacement.Error(), 0) << name;
      ASSERT_EQ(replacement.Commit(content), 0) << name;
    }
    std::ostringstream logText, reportText;
    logText << std::ifstream(log, std::ios::binary).rdbuf();
    reportText << std::ifstream(report, std::ios::binary).rdbuf();
    EXPECT_EQ(logText.str(), "eins\r\nzwei\r\n") << name;
    EXPECT_EQ(reportText.str(), "{\"stored\": true}") << name;
    // Only the two files: no temporary one left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2) << name;
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace plat
