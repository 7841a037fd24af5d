// The serial behaviour table on the Win32 backend, under Wine: the port is a COM port of the
// Wine prefix mapped to a pty whose far end is tools/ptyfarend, a Linux program this test
// drives over a loopback socket (LCDWRITE_FAREND names it, LCDWRITE_FAREND_COM the port).
// The modem-line shim is preloaded into Wine by ptyfarend, so the pty has modem lines.
// Run through serial_behaviour.sh, which the Windows test run (scripts/test-windows.sh) calls.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win32/kernel.h"
#include "platform/win32/serial.h"
#include "tests/platform/serial_bench.h"
#include "tools/ptyfarend/hexbytes.h"

namespace serialtable {
namespace {

using ptyfarend::Hex;

// What ptyfarend answered, as bytes (nothing when the answer was not hex).
std::string Unhex(const std::string& text) {
  std::string bytes;
  return ptyfarend::Unhex(text, bytes) ? bytes : std::string();
}

// The connection to ptyfarend: one request, one answer, from any thread.
class FarEndLink {
 public:
  FarEndLink() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    started_ = true;
    const char* where = std::getenv("LCDWRITE_FAREND");
    if (!where) return;
    const std::string text = where;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(text.c_str() + colon + 1)));
    address.sin_addr.s_addr = inet_addr(text.substr(0, colon).c_str());
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ != INVALID_SOCKET &&
        connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }
  ~FarEndLink() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }
  FarEndLink(const FarEndLink&) = delete;
  FarEndLink& operator=(const FarEndLink&) = delete;

  bool Connected() const { return socket_ != INVALID_SOCKET; }

  // Sends one request; returns the answer after "ok" ("" for a bare "ok"), or records a failure.
  std::string Ask(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string line = request + "\n";
    if (!Connected() || send(socket_, line.data(), static_cast<int>(line.size()), 0) !=
                            static_cast<int>(line.size())) {
      ADD_FAILURE() << "the far end is not reachable: " << request;
      return "";
    }
    std::size_t newline;
    while ((newline = received_.find('\n')) == std::string::npos) {
      char buffer[65536];
      const int n = recv(socket_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received_.append(buffer, static_cast<std::size_t>(n));
    }
    std::string answer = received_.substr(0, newline);
    received_.erase(0, newline == std::string::npos ? received_.size() : newline + 1);
    if (answer.rfind("ok", 0) != 0) {
      ADD_FAILURE() << "the far end answered '" << answer << "' to " << request;
      return "";
    }
    return answer.size() > 3 ? answer.substr(3) : "";
  }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  std::mutex mutex_;
  std::string received_;  // read beyond the last answer
};

class WineBench : public SerialBench {
 public:
  WineBench() {
    EXPECT_TRUE(link_.Connected()) << "run through serial_behaviour.sh: no far end";
    const char* port = std::getenv("LCDWRITE_FAREND_COM");
    port_ = std::string("\\\\.\\") + (port ? port : "COM40");
    link_.Ask("new");
  }
  ~WineBench() override { actions_.reset(); }

  Backend Kind() const override { return Backend::Wine; }
  plat::SerialApi& Serial() override { return serial_; }
  plat::KernelApi& Kernel() override { return kernel_; }
  std::string PortName() override { return port_; }

  void Send(const std::string& bytes) override { link_.Ask("send " + Hex(bytes)); }
  std::string Receive(std::size_t count) override {
    return Unhex(link_.Ask("recv " + std::to_string(count)));
  }
  void SetLine(FarLine line, bool on) override {
    static const char* const kNames[] = {"cts", "dsr", "ring", "dcd"};
    link_.Ask(std::string("set ") + kNames[static_cast<int>(line)] + (on ? " 1" : " 0"));
  }
  bool Dtr() override { return link_.Ask("lines").rfind("1", 0) == 0; }
  bool Rts() override {
    const std::string lines = link_.Ask("lines");
    return lines.size() > 2 && lines[2] == '1';
  }
  void Fault(LineFault fault) override {
    static const char* const kNames[] = {"frame", "overrun", "parity", "break"};
    link_.Ask(std::string("fault ") + kNames[static_cast<int>(fault)]);
  }
  void Vanish() override { link_.Ask("vanish"); }
  void After(DWORD ms, std::function<void()> action) override {
    actions_->After(ms, std::move(action));
  }

  double FrameNs() const override { return 0; }
  std::size_t BlockingWriteSize() const override { return std::size_t{1} << 20; }

 private:
  FarEndLink link_;
  std::string port_;
  plat::win32::Kernel kernel_;
  plat::win32::Serial serial_;
  std::unique_ptr<DelayedActions> actions_ = std::make_unique<DelayedActions>();
};

}  // namespace

std::unique_ptr<SerialBench> MakeSerialBench() { return std::make_unique<WineBench>(); }

bool RanInChildProcess() { return false; }

INSTANTIATE_TEST_SUITE_P(Wine, SerialBehaviour, ::testing::ValuesIn(SerialBehaviourRows()), RowName);

}  // namespace serialtable
