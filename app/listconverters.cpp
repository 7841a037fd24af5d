#include "app/listconverters.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <vector>

#include "app/converters.h"
#include "app/exitstatus.h"
#include "app/texttable.h"
#include "app/texts.h"
#include "board/scenario.h"
#include "comport/comport.h"
#include "framework/sysutils.h"
#include "platform/portname.h"

namespace app {

namespace {

// Who holds the port: "name (pid)" each, or a program the system does not name.
std::string Holders(const std::vector<plat::OpenFailure::Holder>& holders) {
  std::string text;
  for (const plat::OpenFailure::Holder& holder : holders) {
    std::string one = holder.program.empty() ? texts::kListUnknownHolder
                                             : fw::VisibleCp1252(fw::Utf8ToCp1252(holder.program));
    if (holder.pid > 0) one += " (" + std::to_string(holder.pid) + ")";
    text += (text.empty() ? "" : ", ") + one;
  }
  return text;
}

}  // namespace

std::vector<AttachedConverter> ConvertersOf(plat::Platform& platform) {
  comport::TComPort port(nullptr, platform);
  fw::TStringList devices;
  port.EnumDevices(devices);
  return AttachedConverters(devices, platform.system());
}

int ListConverters(const Options& options, std::ostream& out, std::ostream& err,
                   const SimulatedTargetMaker& simulate) {
  std::unique_ptr<SimulatedTarget> simulation;
  if (options.simulate) {
    try {
      simulation = simulate(options.scenario, /*fast=*/true);
    } catch (const board::ScenarioError& e) {
      err << "lcdwrite: " << e.what() << "\n";
      return kExitUsage;
    }
  }
  plat::Platform& platform = simulation ? simulation->Platform() : plat::NativePlatform();
  const std::vector<AttachedConverter> converters = ConvertersOf(platform);
  if (converters.empty()) {
    out << fw::Cp1252ToUtf8(texts::kListNone) << "\n";
    return kExitWritten;
  }
  std::vector<std::vector<std::string>> rows{
      {texts::kListHeadPort, texts::kListHeadConverter, texts::kListHeadLatency,
       texts::kListHeadHolder}};
  for (const AttachedConverter& converter : converters) {
    std::string latency;
    std::string holders;
    if (!converter.port.empty()) {
      const std::string device = plat::DevicePathOf(converter.port);
      DWORD ms = platform.serial().IdleConverterLatency(device.c_str());
      if (ms == 0 && converter.latencyMs) ms = *converter.latencyMs;
      if (ms > 0) latency = fw::Format(texts::kListLatency, static_cast<unsigned long>(ms));
      holders = Holders(platform.serial().PortHolders(device.c_str()));
    }
    rows.push_back({converter.port.empty() ? texts::kListNoPort : fw::VisibleCp1252(converter.port),
                    fw::VisibleCp1252(converter.Name()), latency, holders});
  }
  for (auto& row : rows) {
    for (std::string& cell : row) cell = fw::Cp1252ToUtf8(cell);
  }
  out << TextTable(rows);
  return kExitWritten;
}

}  // namespace app
