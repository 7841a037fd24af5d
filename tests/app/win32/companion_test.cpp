// lcdwrite.com, the command prompt's lcdwrite: how it reads its command line and names the
// window program, and whole runs through it, with the output and exit status its caller sees.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/win32/companion_command.h"
#include "app/win32/console_forward.h"
#include "programs.h"

namespace {

namespace companion = app::companion;
namespace fs = std::filesystem;

TEST(CompanionCommand, tail_is_what_follows_the_program_name) {
  struct Row {
    const wchar_t* line;
    const wchar_t* tail;
  };
  for (const Row& row : {
           Row{L"lcdwrite --help", L"--help"},
           Row{L"lcdwrite", L""},
           Row{L"lcdwrite   \t --console  --fast ", L"--console  --fast "},
           Row{L"\"C:\\Program Files\\lcdwrite\\lcdwrite.com\" --log \"a b.log\"",
               L"--log \"a b.log\""},
           Row{L"C:\\\"Program Files\"\\lcdwrite\\lcdwrite --check", L"--check"},
           Row{L"\"lcdwrite\"--help", L""},
           Row{L"\"C:\\no closing quote --help", L""},
       }) {
    EXPECT_EQ(companion::CommandTail(row.line), row.tail) << row.line;
  }
}

TEST(CompanionCommand, window_program_is_the_exe_beside_it) {
  struct Row {
    const wchar_t* companion;
    const wchar_t* program;
  };
  for (const Row& row : {
           Row{L"C:\\Program Files\\lcdwrite\\lcdwrite.com", L"C:\\Program Files\\lcdwrite\\lcdwrite.exe"},
           Row{L"C:\\TOOLS\\LCDWRITE.COM", L"C:\\TOOLS\\LCDWRITE.exe"},
           Row{L"C:\\v1.2\\lcdwrite", L"C:\\v1.2\\lcdwrite.exe"},
           Row{L"Z:/build/app/lcdwrite.com", L"Z:/build/app/lcdwrite.exe"},
           Row{L"C:\\tools\\lcdwrite.exe", L""},
           Row{L"C:\\tools\\LCDWRITE.EXE", L""},
       }) {
    EXPECT_EQ(companion::WindowProgramPath(row.companion), row.program) << row.companion;
  }
}

TEST(CompanionCommand, child_line_quotes_the_program_and_keeps_the_arguments) {
  EXPECT_EQ(companion::ChildCommandLine(L"C:\\a b\\lcdwrite.exe", L"--log \"x y.log\""),
            L"\"C:\\a b\\lcdwrite.exe\" --log \"x y.log\"");
  EXPECT_EQ(companion::ChildCommandLine(L"C:\\lcdwrite.exe", L""), L"\"C:\\lcdwrite.exe\"");
}

TEST(CompanionCommand, what_is_forwarded_reaches_the_program_as_sent) {
  for (const companion::Forwarded forwarded :
       {companion::Forwarded{false, false}, companion::Forwarded{true, false},
        companion::Forwarded{false, true}, companion::Forwarded{true, true}}) {
    EXPECT_EQ(companion::ForwardedOf(companion::ForwardedValue(forwarded)), forwarded)
        << forwarded.output << forwarded.error;
  }
  // Both streams on the console: the value lcdwrite.com has always sent.
  EXPECT_EQ(std::wstring(companion::ForwardedValue({true, true})), L"console");
  EXPECT_EQ(companion::ForwardedOf(L"1"), companion::Forwarded{});
  EXPECT_EQ(companion::ForwardedOf(L"anything"), companion::Forwarded{});
}

// True when text is whole UTF-8: no sequence cut off at its end (or anywhere).
bool WholeUtf8(const std::string& text) {
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

// The program's output reaches the console in pieces that never end inside a sequence,
// however the program's writes split it: at every single byte position, and byte by byte.
TEST(ConsoleForward, no_piece_ends_inside_a_utf8_sequence) {
  // Two-, three- and four-byte sequences, at the start, inside and at the end.
  const std::string output =
      "\xC3\x9C" "bertragung: Ger\xC3\xA4tetyp-\xC3\x9C" "bertragung \xE2\x82\xAC 7 \xF0\x9F\x94\x8C\n"
      "Fortschritt: 10 %\r\xE2\x9C\x93";
  ASSERT_TRUE(WholeUtf8(output));
  std::vector<std::vector<size_t>> splits;
  for (size_t at = 0; at <= output.size(); ++at) splits.push_back({at});
  std::vector<size_t> everyByte;
  for (size_t at = 1; at < output.size(); ++at) everyByte.push_back(at);
  splits.push_back(everyByte);
  for (const std::vector<size_t>& cuts : splits) {
    std::vector<std::string> pieces;
    companion::Utf8Forwarder forwarder([&](const std::string& piece) { pieces.push_back(piece); });
    size_t from = 0;
    for (const size_t cut : cuts) {
      forwarder.Feed(output.data() + from, cut - from);
      from = cut;
    }
    forwarder.Feed(output.data() + from, output.size() - from);
    forwarder.Finish();
    std::string joined;
    for (const std::string& piece : pieces) {
      EXPECT_FALSE(piece.empty());
      EXPECT_TRUE(WholeUtf8(piece)) << "piece \"" << piece << "\" at cut " << cuts.front();
      joined += piece;
    }
    EXPECT_EQ(joined, output) << "cut " << cuts.front();
  }
}

TEST(ConsoleForward, bytes_that_are_no_utf8_are_passed_on_not_held) {
  struct Row {
    std::string bytes;
    size_t whole;  // what may go out now
  };
  for (const Row& row : {
           Row{"abc", 3},
           Row{"ab\xC3", 2},                  // a two-byte sequence begun
           Row{"ab\xE2\x82", 2},              // a three-byte sequence, two of three
           Row{"\xF0\x9F\x94", 0},            // a four-byte sequence, three of four
           Row{"\xF0\x9F\x94\x8C", 4},        // complete
           Row{"a\x80\x80", 3},               // continuations after an ASCII byte: no wait
           Row{"\x80\x80\x80\x80", 4},        // continuations without any lead
           Row{"\xFF", 1},                    // never a lead byte
       }) {
    EXPECT_EQ(companion::WholeSequencesPrefix(row.bytes.data(), row.bytes.size()), row.whole)
        << ::testing::PrintToString(row.bytes);
  }
  // What is held at the end of the output goes out as it is.
  std::string out;
  companion::Utf8Forwarder forwarder([&](const std::string& piece) { out += piece; });
  forwarder.Feed("x\xC3", 2);
  EXPECT_EQ(out, "x");
  forwarder.Finish();
  EXPECT_EQ(out, "x\xC3");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Outcome {
  DWORD status = 0;
  std::string out;
  std::string err;
};

// Runs a program as a command prompt with redirected output would: standard output and error
// go to files, inheritable, through the startup information.
Outcome RunProgram(const fs::path& program, const std::wstring& arguments, const fs::path& folder) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const fs::path outPath = folder / "stdout.txt";
  const fs::path errPath = folder / "stderr.txt";
  HANDLE out = ::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE err = ::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring line = L"\"" + program.wstring() + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  PROCESS_INFORMATION process{};
  Outcome outcome;
  const BOOL started = ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, folder.c_str(), &startup, &process);
  ::CloseHandle(out);
  ::CloseHandle(err);
  if (!started) {
    ADD_FAILURE() << "cannot start " << program << ": error " << ::GetLastError();
    return outcome;
  }
  if (::WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "still running after two minutes";
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  ::GetExitCodeProcess(process.hProcess, &outcome.status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  outcome.out = ReadFile(outPath);
  outcome.err = ReadFile(errPath);
  return outcome;
}

class CompanionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / ("lcdwrite-" + std::string(info->name()) + "-" +
                                           std::to_string(::GetCurrentProcessId()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // The configuration and a failing board's scenario, as a technician's folder holds them.
  void CopyExampleFiles() {
    const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy_file(fs::path(source) / "app/examples/Quorix.lcd", folder_ / "Quorix.lcd");
    fs::copy_file(fs::path(source) / "board/scenarios/no-board.scenario",
                  folder_ / "no-board.scenario");
  }

  fs::path folder_;
};

TEST_F(CompanionRun, caller_sees_the_programs_output_and_status) {
  CopyExampleFiles();
  struct Row {
    const wchar_t* arguments;
    DWORD status;
    const char* out;  // expected in standard output
    const char* err;  // expected in standard error
  };
  for (const Row& row : {
           Row{L"--version", 0, "lcdwrite " LCDWRITE_VERSION_TEXT, ""},
           Row{L"--help", 0, "Usage: lcdwrite", ""},
           Row{L"--check", 0, "120", ""},
           Row{L"--frobnicate", 64, "", "--frobnicate"},
           Row{L"--console --simulate --fast", 0, "Schreiben erfolgreich beendet!", ""},
           Row{L"--console --simulate=no-board.scenario --fast", 1, "", ""},
       }) {
    const Outcome outcome = RunProgram(test::ProgramPath(L"lcdwrite.com"), row.arguments, folder_);
    EXPECT_EQ(outcome.status, row.status) << fs::path(row.arguments) << "\n" << outcome.out << outcome.err;
    EXPECT_NE(outcome.out.find(row.out), std::string::npos) << fs::path(row.arguments) << outcome.out;
    EXPECT_NE(outcome.err.find(row.err), std::string::npos) << fs::path(row.arguments) << "[" << outcome.err << "] out [" << outcome.out << "]";
  }
}

TEST_F(CompanionRun, arguments_reach_the_program_as_typed) {
  CopyExampleFiles();
  const Outcome outcome = RunProgram(test::ProgramPath(L"lcdwrite.com"),
                              L"--console --simulate --fast --log \"port log.txt\"", folder_);
  EXPECT_EQ(outcome.status, 0u) << outcome.out << outcome.err;
  EXPECT_GT(fs::file_size(folder_ / "port log.txt"), 0u);
}

// A text as the program writes it into a file for people: in the console's code page (or the
// OEM one without a console), a character it lacks as '?'.
std::string InConsoleCodePage(const std::wstring& text) {
  UINT codePage = ::GetConsoleOutputCP();
  if (codePage == 0) codePage = ::GetOEMCP();
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
  const int size = ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, fallback, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(),
                        size, fallback, nullptr);
  return bytes;
}

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  return bytes;
}

// Technicians' folders of every kind of name, named on the command line, as a file, or current:
// whole writes, --check, and a missing Quorix.lcd named with its folder. Names outside the ANSI
// code page (Łódź) included; the journal keeps every name whole.
TEST_F(CompanionRun, folders_of_any_name_are_written_checked_and_named) {
  const char* source = std::getenv("LCDWRITE_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const fs::path journal = folder_ / "journal.sqlite3";
  for (const std::wstring name : {L"K\u00FChlraum 4711", L"Pr\u00FCfstand\\Gr\u00F6\u00DFe 3",
                                  L"\u0141\u00F3d\u017A 12"}) {
    const fs::path board = folder_ / "Platinen" / name;
    const fs::path empty = folder_ / "Leer" / name;
    fs::create_directories(board);
    fs::create_directories(empty);
    fs::copy_file(fs::path(source) / "app/examples/Quorix.lcd", board / "Quorix.lcd");
    const std::wstring quoted = L"\"" + board.wstring() + L"\"";
    const std::wstring write = L"--console --simulate --fast --journal \"" + journal.wstring() + L"\" ";
    struct Row {
      std::wstring arguments;
      fs::path current;
      DWORD status;
      std::string out;  // expected in standard output
      std::string err;  // expected in standard error
    };
    for (const Row& row : {
             Row{write + quoted, folder_, 0, "Schreiben erfolgreich beendet!", ""},
             Row{write + L"\"" + (board / L"Quorix.lcd").wstring() + L"\"", folder_, 0,
                 "Schreiben erfolgreich beendet!", ""},
             Row{write + L"--log port.log", board, 0, "Schreiben erfolgreich beendet!", ""},
             Row{write + L"\"" + fs::relative(board, folder_).wstring() + L"\"", folder_, 0,
                 "Schreiben erfolgreich beendet!", ""},
             Row{L"--check " + quoted, folder_, 0, "120", ""},
             Row{L"--check", board, 0, "120", ""},
             Row{L"--check \"" + empty.wstring() + L"\"", folder_, 2, "",
                 InConsoleCodePage(L"Gesucht im Ordner: " + empty.wstring())},
             Row{L"--console --simulate --fast --no-journal \"" + empty.wstring() + L"\"", folder_, 2,
                 InConsoleCodePage(L"Gesucht im Ordner: " + empty.wstring()), ""},
         }) {
      const Outcome outcome = RunProgram(test::ProgramPath(L"lcdwrite.com"), row.arguments, row.current);
      const std::string shown = Utf8(row.arguments);
      EXPECT_EQ(outcome.status, row.status) << shown << "\n" << outcome.out << outcome.err;
      EXPECT_NE(outcome.out.find(row.out), std::string::npos) << shown << "\n" << outcome.out;
      EXPECT_NE(outcome.err.find(row.err), std::string::npos) << shown << "\n" << outcome.err;
    }
    EXPECT_GT(fs::file_size(board / "port.log"), 0u) << Utf8(name);
    // The journal names the file that was read, whole, in UTF-8 (its CSV is UTF-8 wherever it
    // goes).
    const Outcome history = RunProgram(test::ProgramPath(L"lcdwrite.com"),
                                       L"--history --csv --journal \"" + journal.wstring() + L"\"",
                                       folder_);
    EXPECT_EQ(history.status, 0u) << history.err;
    EXPECT_NE(history.out.find(Utf8((board / L"Quorix.lcd").wstring())), std::string::npos)
        << Utf8(name) << "\n" << history.out;
  }
}

// Text for people into a file or pipe is in the console's code page, so that `type` and `more`
// show it whole; CSV, for programs, stays UTF-8.
TEST_F(CompanionRun, text_into_a_file_is_in_the_console_s_code_page) {
  CopyExampleFiles();
  const Outcome outcome = RunProgram(test::ProgramPath(L"lcdwrite.com"), L"--check", folder_);
  EXPECT_EQ(outcome.status, 0u) << outcome.err;
  EXPECT_NE(outcome.out.find(InConsoleCodePage(L"Ger\u00E4tetyp")), std::string::npos) << outcome.out;
}

TEST_F(CompanionRun, without_the_window_program_it_says_so) {
  fs::copy_file(test::ProgramPath(L"lcdwrite.com"), folder_ / "lcdwrite.com");
  const Outcome outcome = RunProgram(folder_ / "lcdwrite.com", L"--version", folder_);
  EXPECT_EQ(outcome.status, static_cast<DWORD>(companion::kExitCannotStart));
  EXPECT_NE(outcome.err.find("lcdwrite.exe kann nicht gestartet werden"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.out, "");
}

}  // namespace
