#include "app/resultline.h"

#include "app/exitstatus.h"
#include "framework/sysutils.h"

namespace app {

std::string ResultLine(int status, const std::string& port, const std::string& converter,
                       const std::string& failure) {
  auto text = [](const std::string& cp1252) { return fw::JsonText(fw::Cp1252ToUtf8(cp1252)); };
  return "{\"event\":\"result\",\"status\":" + std::to_string(status) +
         ",\"written\":" + (status == kExitWritten ? "true" : "false") + ",\"port\":" + text(port) +
         ",\"converter\":" + text(converter) + ",\"failure\":" + text(failure) + "}\n";
}

}  // namespace app
