// LoadConfigFile: Quorix.lcd from the working directory into ConfigRecord, or the run ends.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/configfile.h"
#include "app/mainform.h"
#include "app/texts.h"
#include "protocol/exitstatus.h"

namespace app {

void TMainForm::LoadConfigFile() {
  ComboBox->SetEnabled(false);
  SuchenButton->SetEnabled(false);
  const std::filesystem::path path =
      std::filesystem::path(workingDirectory_) / texts::kConfigFileName;
  protocol::ShowStatus(*this, texts::kLoading);

  std::ifstream file(path, std::ios::binary);
  if (!file) {
    ReportError(texts::kConfigCannotOpen);
    EndProcess(protocol::kExitNotLoaded);
  }
  std::ostringstream content;
  content << file.rdbuf();
  file.close();

  const ConfigLoadOutcome outcome = ParseConfigText(content.str(), ConfigRecord);
  switch (outcome.result) {
    case ConfigLoadResult::Loaded:
      return;
    case ConfigLoadResult::VersionMismatch:
      ReportError(texts::kConfigOtherVersion);
      EndProcess(protocol::kExitNotLoaded);
    case ConfigLoadResult::Damaged:
      ReportError(std::string(texts::kConfigDamaged) + "\n" + outcome.detail);
      EndProcess(protocol::kExitNotLoaded);
  }
}

}  // namespace app
