// The code page text for people is written in, by where it goes and on which system.
#include "platform/hosttext.h"

#include <gtest/gtest.h>

namespace plat {
namespace {

TEST(StreamCodePage, a_pipe_or_file_on_windows_gets_the_console_s_code_page) {
  struct Row {
    StreamTarget target;
    bool windows;
    unsigned console;  // the console's output code page; 0: no console
    unsigned oem;
    unsigned expected;
  };
  for (const Row& row : {
           // A terminal takes UTF-8 (lcdwrite.com passes it on whole; Linux terminals read it).
           Row{StreamTarget::Terminal, true, 850, 850, kCodePageUtf8},
           Row{StreamTarget::Terminal, false, 0, 0, kCodePageUtf8},
           // Into `more`, `findstr` or a file for `type`: what the console shows.
           Row{StreamTarget::Pipe, true, 850, 850, 850},
           Row{StreamTarget::File, true, 850, 850, 850},
           Row{StreamTarget::Pipe, true, 437, 850, 437},
           // After `chcp 65001` the console reads UTF-8, and so do its programs.
           Row{StreamTarget::File, true, kCodePageUtf8, 850, kCodePageUtf8},
           // No console (started from Explorer with its output redirected): the OEM code page.
           Row{StreamTarget::File, true, 0, 850, 850},
           Row{StreamTarget::Pipe, true, 0, 0, kCodePageUtf8},
           // Nothing to write to (NUL, no handle): unchanged.
           Row{StreamTarget::Nothing, true, 850, 850, kCodePageUtf8},
           // POSIX: UTF-8 wherever it goes.
           Row{StreamTarget::Pipe, false, 850, 850, kCodePageUtf8},
           Row{StreamTarget::File, false, 0, 0, kCodePageUtf8},
       }) {
    EXPECT_EQ(ChooseStreamCodePage(row.target, row.windows, row.console, row.oem), row.expected)
        << static_cast<int>(row.target) << " windows " << row.windows << " console " << row.console;
  }
}

}  // namespace
}  // namespace plat
