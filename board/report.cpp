#include "board/report.h"

#include <cstdio>

#include "platform/hosttext.h"
#include "platform/outputfiles.h"

namespace board {

std::string ReportJson(const Memory& memory) {
  std::string json = "{\"completed\": [";
  for (std::size_t i = 0; i < memory.completed.size(); ++i) {
    json += (i ? ", \"" : "\"") + std::string(OperationName(memory.completed[i])) + "\"";
  }
  json += "], \"serial\": ";
  if (memory.serial) {
    json += '"';
    for (std::uint8_t b : *memory.serial) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", b);
      json += hex;
    }
    json += '"';
  } else {
    json += "null";
  }
  json += ", \"device_type\": ";
  json += memory.deviceType ? std::to_string(*memory.deviceType) : "null";
  json += ", \"parameters\": ";
  if (memory.parameters) {
    json += '[';
    for (std::size_t i = 0; i < memory.parameters->size(); ++i) {
      json += (i ? ", " : "") + std::to_string((*memory.parameters)[i]);
    }
    json += ']';
  } else {
    json += "null";
  }
  json += "}\n";
  return json;
}

bool WriteReport(const std::string& path, const Memory& memory) {
  // Written beside the file and renamed over it: a reader finds the old report or the whole
  // new one, never a cut one (a full disk fails the write, not the report).
  plat::ReplacementFile file(plat::FilePath(path));
  return file.Commit(ReportJson(memory)) == 0;
}

}  // namespace board
