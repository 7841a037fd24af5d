#include "board/firmware.h"

#include <limits>
#include <utility>

namespace board {

namespace {

constexpr std::uint8_t kProbe = 0xBA;
constexpr std::uint8_t kStart1 = 0xA5;
constexpr std::uint8_t kValueEnd = 0x5F;
constexpr std::uint8_t kDataEnd = 0xFA;
constexpr std::size_t kSerialBytes = 7;
constexpr std::int64_t kNsPerMs = 1000000;

struct Start2 {
  std::uint8_t character;
  Operation operation;
};
constexpr Start2 kStart2[] = {
    {0xA3, Operation::kOperatingTime}, {0xAD, Operation::kErrorMemory},
    {0xB8, Operation::kSerial},        {0xA4, Operation::kDeviceType},
    {0xA8, Operation::kConfiguration},
};

std::optional<Operation> OperationOfStart2(std::uint8_t character) {
  for (const Start2& s : kStart2) {
    if (s.character == character) return s.operation;
  }
  return std::nullopt;
}

// The operation the write sequence runs after this one.
Operation Following(Operation operation) {
  switch (operation) {
    case Operation::kOperatingTime: return Operation::kErrorMemory;
    case Operation::kErrorMemory: return Operation::kSerial;
    case Operation::kSerial: return Operation::kDeviceType;
    case Operation::kDeviceType: return Operation::kConfiguration;
    default: return Operation::kOperatingTime;
  }
}

bool IsClearing(Operation operation) {
  return operation == Operation::kOperatingTime || operation == Operation::kErrorMemory;
}

}  // namespace

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::kProbe: return "probe";
    case Operation::kOperatingTime: return "operating_time";
    case Operation::kErrorMemory: return "error_memory";
    case Operation::kSerial: return "serial";
    case Operation::kDeviceType: return "device_type";
    case Operation::kConfiguration: return "configuration";
  }
  return "?";
}

std::optional<Operation> OperationFromName(const std::string& name) {
  for (int i = 0; i < kOperationCount; ++i) {
    const auto operation = static_cast<Operation>(i);
    if (name == OperationName(operation)) return operation;
  }
  return std::nullopt;
}

std::optional<std::vector<std::int32_t>> ParseDecimalValues(
    const std::vector<std::uint8_t>& data) {
  std::vector<std::int32_t> values;
  std::size_t i = 0;
  while (i < data.size()) {
    const bool negative = data[i] == '-';
    if (negative) ++i;
    const std::size_t digitsStart = i;
    std::int64_t magnitude = 0;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
      magnitude = magnitude * 10 + (data[i] - '0');
      if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
        return std::nullopt;
      }
      ++i;
    }
    if (i == digitsStart || i == data.size() || data[i] != kValueEnd) return std::nullopt;
    ++i;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    values.push_back(static_cast<std::int32_t>(value));
  }
  return values;
}

Board::Board(Line& line, BoardSettings settings) : line_(line), settings_(std::move(settings)) {}

void Board::Start(bool dtr) {
  if (!settings_.present || settings_.dsr == DsrMode::kOff) {
    line_.SetDsr(false);
  } else {
    line_.SetDsr(settings_.dsr == DsrMode::kOn || dtr);
  }
}

void Board::ExpectNext(Operation operation) { next_ = operation; }

void Board::OnDtr(bool on) {
  if (on) {
    // DTR is the board's reset line: whatever was under way is forgotten.
    ++generation_;
    if (state_ != State::kDead) state_ = State::kIdle;
    data_.clear();
  }
  if (!settings_.present || settings_.dsr != DsrMode::kFollow || state_ == State::kDead) return;
  line_.After(settings_.dsrDelayMs * kNsPerMs, [this, on] { line_.SetDsr(on); });
}

void Board::OnReceive(std::uint8_t byte) {
  ++received_;
  if (state_ == State::kDead) return;
  if (settings_.unplugAfterBytes && received_ == *settings_.unplugAfterBytes) {
    state_ = State::kDead;
    line_.Unplug();
    return;
  }
  if (settings_.lineErrorAfterBytes && received_ == *settings_.lineErrorAfterBytes) {
    line_.InjectLineError(settings_.lineError);
  }
  if (!settings_.present) return;

  switch (state_) {
    case State::kData: ReceiveData(byte); return;
    case State::kEnd: EndData(byte); return;
    case State::kStart1Seen:
      if (const auto operation = OperationOfStart2(byte)) {
        StartOperation(*operation, byte);
        return;
      }
      break;
    default: break;
  }
  // Between operations only the probe and start character 1 mean something.
  state_ = State::kIdle;
  if (byte == kProbe) {
    Answer(Operation::kProbe, Step{StepKind::kStart1}, kProbe);
  } else if (byte == kStart1) {
    state_ = State::kStart1Seen;
    Answer(next_, Step{StepKind::kStart1}, kStart1);
  }
}

void Board::StartOperation(Operation operation, std::uint8_t start2) {
  next_ = Following(operation);
  operation_ = operation;
  Answer(operation, Step{StepKind::kStart2},
         operation == Operation::kConfiguration ? settings_.version : start2);
  if (IsClearing(operation)) {
    Store(operation);
  } else {
    data_.clear();
    state_ = State::kData;
  }
}

void Board::ReceiveData(std::uint8_t byte) {
  // The serial number is seven raw bytes of any value; decimal data ends with 0xFA.
  if (operation_ != Operation::kSerial && byte == kDataEnd) {
    EndData(byte);
    return;
  }
  Answer(operation_, Step{StepKind::kData, static_cast<int>(data_.size())}, byte);
  data_.push_back(byte);
  if (operation_ == Operation::kSerial && data_.size() == kSerialBytes) state_ = State::kEnd;
}

void Board::EndData(std::uint8_t byte) {
  Answer(operation_, Step{StepKind::kEnd}, byte);
  if (byte == kDataEnd) {
    Store(operation_);
  } else {
    state_ = State::kIdle;
  }
}

void Board::Answer(Operation operation, Step step, std::uint8_t answer) {
  bool silent = false;
  int delayMs = step.kind == StepKind::kConfirm ? 0 : settings_.echoDelayMs;
  std::vector<std::uint8_t> bytes;
  for (const Fault& fault : settings_.faults) {
    if (fault.operation != operation || !(fault.step == step)) continue;
    switch (fault.kind) {
      case FaultKind::kSilent: silent = true; break;
      case FaultKind::kWrong: answer = static_cast<std::uint8_t>(fault.value); break;
      case FaultKind::kDelay: delayMs += fault.value; break;
      case FaultKind::kStray: bytes.push_back(static_cast<std::uint8_t>(fault.value)); break;
    }
  }
  if (!silent) bytes.push_back(answer);
  SendLater(delayMs, std::move(bytes));
}

void Board::Store(Operation operation) {
  state_ = State::kIdle;
  line_.After(settings_.storeMs[static_cast<int>(operation)] * kNsPerMs,
              [this, operation, data = data_, generation = generation_] {
                if (generation != generation_ || state_ == State::kDead) return;
                if (Commit(operation, data)) {
                  Answer(operation, Step{StepKind::kConfirm}, settings_.confirmByte);
                }
              });
  data_.clear();
}

bool Board::Commit(Operation operation, const std::vector<std::uint8_t>& data) {
  std::lock_guard lock(memoryMutex_);
  switch (operation) {
    case Operation::kSerial: {
      std::array<std::uint8_t, kSerialBytes> serial{};
      for (std::size_t i = 0; i < kSerialBytes; ++i) serial[i] = data.at(i);
      memory_.serial = serial;
      break;
    }
    case Operation::kDeviceType: {
      const auto values = ParseDecimalValues(data);
      if (!values || values->size() != 1) return false;  // not a device type: not stored
      memory_.deviceType = values->front();
      break;
    }
    case Operation::kConfiguration: {
      auto values = ParseDecimalValues(data);
      if (!values) return false;
      memory_.parameters = std::move(*values);
      break;
    }
    default: break;
  }
  memory_.completed.push_back(operation);
  return true;
}

void Board::SendLater(int delayMs, std::vector<std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (delayMs <= 0) {
    for (std::uint8_t b : bytes) line_.Send(b);
    return;
  }
  line_.After(delayMs * kNsPerMs, [this, bytes = std::move(bytes), generation = generation_] {
    if (generation != generation_ || state_ == State::kDead) return;
    for (std::uint8_t b : bytes) line_.Send(b);
  });
}

Memory Board::Stored() const {
  std::lock_guard lock(memoryMutex_);
  return memory_;
}

}  // namespace board
