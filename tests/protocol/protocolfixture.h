// Whole board operations on the simulated machine's virtual clock: the board from board/ at the
// far end of COM3, the port opened with the tool's settings, a recording window, and the
// process end turned into fw::ProcessEnded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/scenario.h"
#include "comport/comport.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "platform/sim/machine.h"
#include "protocol/configrecord.h"
#include "protocol/operations.h"
#include "simfront/simboard.h"
#include "tests/protocol/recordingwindow.h"

namespace protocol::testing {

using Bytes = std::vector<std::uint8_t>;
constexpr std::int64_t kMs = 1000000;

// A text of the tool, written here in UTF-8 as a person reads it.
inline std::string Tool(const std::string& utf8) { return fw::Utf8ToCp1252(utf8); }

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
inline Bytes Prefix(const Bytes& bytes, std::size_t n) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size())));
}

// The five board operations.
enum class Op { OperatingTime, ErrorMemory, Serial, DeviceType, Configuration };

class ProtocolTest : public ::testing::Test {
 protected:
  ProtocolTest() {
    plat::SetCurrentPlatform(&machine);
    fw::TApplication::SetExitHook([](int status) { throw fw::ProcessEnded{status}; });
    record.loaded = 1;
    std::snprintf(record.serialPart1, sizeof record.serialPart1, "1234");
    std::snprintf(record.serialPart2, sizeof record.serialPart2, "567");
  }
  ~ProtocolTest() override {
    window.reset();
    port.reset();
    board.reset();
    fw::TApplication::SetExitHook(nullptr);
  }

  // Describes the machine from scenario text, attaches the board, and opens COM3 as the tool
  // does (9600 8N1, no flow control, DTR and RTS off), through portPlatform when given.
  void Start(const std::string& scenarioText = "", plat::Platform* portPlatform = nullptr) {
    std::istringstream in(scenarioText);
    board = simfront::BuildMachine(board::ParseScenario(in, "test"), machine);
    port = std::make_unique<comport::TComPort>(nullptr,
                                               portPlatform ? *portPlatform : machine);
    port->SetDeviceName("\\\\.\\COM3");
    port->SetBaudRate(comport::br9600);
    port->SetDataBits(comport::db8);
    port->SetParity(comport::paNone);
    port->SetStopBits(comport::sb1);
    port->FlowControl().SetDTRControl(comport::dcDisable);
    port->FlowControl().SetRTSControl(comport::rcDisable);
    port->FlowControl().SetXOnXOffControl(comport::xcDisable);
    port->BufferSizes().SetInput(64000);
    port->SetActive(true);
    window = std::make_unique<RecordingWindow>(*port, app);
  }

  // Runs an operation: the exit status when it ended the process, nullopt when it returned.
  std::optional<int> Run(const std::function<void(BoardWindow&)>& operation) {
    try {
      operation(*window);
    } catch (const fw::ProcessEnded& ended) {
      return ended.status;
    }
    return std::nullopt;
  }

  // Runs one of the five operations on the record, telling the board which one comes.
  std::optional<int> RunOp(Op op) {
    static constexpr board::Operation kBoardOperation[] = {
        board::Operation::kOperatingTime, board::Operation::kErrorMemory,
        board::Operation::kSerial, board::Operation::kDeviceType,
        board::Operation::kConfiguration};
    board->Firmware().ExpectNext(kBoardOperation[static_cast<int>(op)]);
    return Run([this, op](BoardWindow& w) {
      switch (op) {
        case Op::OperatingTime: ClearOperatingTime(w); break;
        case Op::ErrorMemory: ClearErrorMemory(w); break;
        case Op::Serial: ProgramSerialNumber(w, record); break;
        case Op::DeviceType: ProgramDeviceType(w, record); break;
        case Op::Configuration: SendConfiguration(w, record); break;
      }
    });
  }

  sim::SerialDevice& Device() { return board->Device(); }
  Bytes HostBytes() { return Device().WireBytes(sim::Direction::HostToFar); }
  Bytes BoardBytes() { return Device().WireBytes(sim::Direction::FarToHost); }
  // Both directions in the order the bytes arrived: host bytes as they are, board bytes
  // prefixed by 0x100 to tell them apart.
  std::vector<int> Dialogue() {
    std::vector<sim::WireRecord> log = Device().WireLog();
    std::stable_sort(log.begin(), log.end(), [](const auto& a, const auto& b) {
      return a.endNs < b.endNs;
    });
    std::vector<int> dialogue;
    for (const sim::WireRecord& r : log) {
      if (r.kind != sim::WireRecord::Kind::Byte) continue;
      dialogue.push_back(r.direction == sim::Direction::HostToFar ? r.byte : 0x100 | r.byte);
    }
    return dialogue;
  }

  sim::Machine machine;
  fw::TApplication app{machine};
  std::unique_ptr<simfront::SimulatedBoard> board;
  std::unique_ptr<comport::TComPort> port;
  std::unique_ptr<RecordingWindow> window;
  ConfigRecord record;
};

}  // namespace protocol::testing
