// What a simulated board is like: its firmware's answers, timings and injected faults.
//
// A scenario file sets these (board/scenario.h); the firmware (board/firmware.h) obeys them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace board {

// The board operations, in the order the write sequence runs them after the probe.
enum class Operation : std::uint8_t {
  kProbe, kOperatingTime, kErrorMemory, kSerial, kDeviceType, kConfiguration
};
constexpr int kOperationCount = 6;
// The scenario names: probe, operating_time, error_memory, serial, device_type, configuration.
const char* OperationName(Operation operation);
std::optional<Operation> OperationFromName(const std::string& name);

// Where in an operation a fault strikes. For the probe the only step is start1 (its one byte).
// kData counts every byte the host sends after the start characters and before the end byte,
// from 0, value separators included.
enum class StepKind : std::uint8_t { kStart1, kStart2, kData, kEnd, kConfirm };
struct Step {
  StepKind kind = StepKind::kStart1;
  int index = 0;  // for kData
  bool operator==(const Step&) const = default;
};

// What a fault does to the board's answer at its step.
enum class FaultKind : std::uint8_t {
  kSilent,  // no answer
  kWrong,   // answers value instead
  kDelay,   // answers value milliseconds later
  kStray,   // sends the byte value just before the answer
};
struct Fault {
  Operation operation = Operation::kProbe;
  Step step;
  FaultKind kind = FaultKind::kSilent;
  int value = 0;
};

enum class DsrMode : std::uint8_t { kFollow, kOn, kOff };

// Line errors the converter can report to the host.
enum class LineError : std::uint8_t { kFrame, kOverrun, kParity, kBreak };

struct BoardSettings {
  bool present = true;               // no: nothing answers, DSR stays off
  std::uint8_t version = 4;          // the answer to start character 0xA8
  int echoDelayMs = 0;               // added before every answer byte leaves
  DsrMode dsr = DsrMode::kFollow;
  int dsrDelayMs = 5;                // DSR follows DTR this much later
  // Storing time per operation (indexed by Operation; the probe stores nothing).
  std::array<int, kOperationCount> storeMs{0, 300, 2000, 300, 1000, 3000};
  std::uint8_t confirmByte = 0xAF;
  std::vector<Fault> faults;
  // The converter vanishes once the host has written this many bytes.
  std::optional<long> unplugAfterBytes;
  // The converter reports a line error once the host has written this many bytes.
  std::optional<long> lineErrorAfterBytes;
  LineError lineError = LineError::kFrame;
};

}  // namespace board
