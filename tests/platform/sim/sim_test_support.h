// Helpers shared by the simulated machine's tests: a machine with one port and a handle on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/sim/machine.h"

namespace simtest {

constexpr std::int64_t kMs = sim::kNsPerMs;
// 10 bits at 9600 baud.
constexpr double kFrame9600 = 1e9 * 10 / 9600;

class PortTest : public ::testing::Test {
 public:
  HANDLE Open(DWORD access = GENERIC_READ | GENERIC_WRITE, DWORD flags = FILE_FLAG_OVERLAPPED) {
    HANDLE h = serial.CreateFileA("\\\\.\\COM3", access, 0, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | flags);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
  }
  OVERLAPPED NewOverlapped() {
    OVERLAPPED ov{};
    ov.hEvent = kernel.CreateEventA(TRUE, FALSE);
    return ov;
  }
  std::vector<sim::WireRecord> ByteRecords(sim::Direction direction) {
    std::vector<sim::WireRecord> bytes;
    for (const sim::WireRecord& r : port.WireLog()) {
      if (r.kind == sim::WireRecord::Kind::Byte && r.direction == direction) bytes.push_back(r);
    }
    return bytes;
  }

  // Public, so that tables of set-up functions can reach them.
  sim::Machine machine;
  plat::SerialApi& serial = machine.serial();
  plat::KernelApi& kernel = machine.kernel();
  sim::SerialDevice& port = machine.AddPort("COM3");
};

}  // namespace simtest
