#include "board/report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

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
  const std::string temporary = path + ".tmp";
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << ReportJson(memory);
  out.close();
  std::error_code error;
  if (out) std::filesystem::rename(temporary, path, error);
  if (!out || error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace board
