#include "simfront/simulation.h"

#include <vector>

#include "board/report.h"
#include "board/scenario.h"

namespace simfront {

namespace {

// The simulated machine runs this very program: its path and file version are the real ones.
void CopyProgramIdentity(plat::SystemApi& native, sim::System& simulated) {
  const std::string path = native.ProgramPath();
  simulated.SetProgramPath(path);
  const DWORD size = native.GetFileVersionInfoSizeA(path.c_str());
  std::vector<unsigned char> block(size);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || !native.GetFileVersionInfoA(path.c_str(), size, block.data()) ||
      !native.VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr) {
    simulated.ClearFileVersion();
    return;
  }
  const auto* info = static_cast<const plat::FixedFileInfo*>(value);
  simulated.SetFileVersion(static_cast<WORD>(info->dwFileVersionMS >> 16),
                           static_cast<WORD>(info->dwFileVersionMS & 0xFFFF),
                           static_cast<WORD>(info->dwFileVersionLS >> 16),
                           static_cast<WORD>(info->dwFileVersionLS & 0xFFFF));
}

}  // namespace

SimulatedRun::SimulatedRun(const std::string& scenarioFile, bool fast) {
  const board::Scenario scenario =
      scenarioFile.empty() ? board::DefaultScenario() : board::LoadScenarioFile(scenarioFile);
  machine_ = std::make_unique<sim::Machine>(fast ? sim::ClockMode::Virtual
                                                 : sim::ClockMode::RealTime);
  board_ = simfront::BuildMachine(scenario, *machine_, &moreBoards_);
  CopyProgramIdentity(plat::NativePlatform().system(), machine_->SimSystem());
}

SimulatedRun::~SimulatedRun() {
  moreBoards_.clear();
  board_.reset();
}

bool SimulatedRun::WriteReport(const std::string& path) const {
  const SimulatedBoard* reported = board_.get();
  if (!board_->Touched()) {
    for (const auto& more : moreBoards_) {
      if (more->Touched()) {
        reported = more.get();
        break;
      }
    }
  }
  return board::WriteReport(path, reported->Stored());
}

std::unique_ptr<app::SimulatedTarget> MakeSimulatedRun(const std::string& scenarioFile,
                                                       bool fast) {
  return std::make_unique<SimulatedRun>(scenarioFile, fast);
}

sim::Machine* MachineOf(app::SimulatedTarget* target) {
  return target != nullptr ? &static_cast<SimulatedRun*>(target)->Machine() : nullptr;
}

}  // namespace simfront
