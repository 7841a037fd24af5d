// A child for the Windows ChildProcess tests. Its first argument says what it does:
//   args            each further argument on a line of its own, as the wide command line splits
//                   them ("w:" and the UTF-8 text) and as the C runtime's argv has them ("c:")
//   lines N STATUS  "line 1" .. "line N" on standard output (CR LF, as a text-mode stream
//                   writes), "error line" on standard error, "tail" without a line break, then
//                   exits with STATUS
//   wait            watches for stop requests as the tool does, says "ready", and ends with 130
//                   (Ctrl+C) or 143 (termination) when one comes; 1 after 30 s without one
//   hang            says "ready" and never ends by itself
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hosttext.h"
#include "platform/process.h"

namespace {

HANDLE g_stopped = nullptr;
int g_status = 1;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  if (mode == "args") {
    const std::vector<std::string> wide = plat::ProgramArguments(argc, argv);
    for (size_t i = 1; i < wide.size(); ++i) std::printf("w:%s\n", wide[i].c_str());
    for (int i = 2; i < argc; ++i) std::printf("c:%s\n", argv[i]);
    return 0;
  }
  if (mode == "lines" && argc == 4) {
    const int count = std::atoi(argv[2]);
    for (int i = 1; i <= count; ++i) std::printf("line %d\n", i);
    std::fflush(stdout);
    std::fprintf(stderr, "error line\n");
    std::fflush(stderr);
    std::printf("tail");
    std::fflush(stdout);
    return std::atoi(argv[3]);
  }
  if (mode == "wait") {
    g_stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    plat::WatchStopRequests([](plat::StopRequest request) {
      g_status = request == plat::StopRequest::Interrupt ? 130 : 143;
      ::SetEvent(g_stopped);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    ::WaitForSingleObject(g_stopped, 30000);
    std::printf("stopped %d\n", g_status);
    std::fflush(stdout);
    return g_status;
  }
  if (mode == "hang") {
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) ::Sleep(1000);
  }
  return 2;
}
