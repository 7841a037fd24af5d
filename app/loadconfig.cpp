// LoadConfigFile: Quorix.lcd from the working directory into ConfigRecord, or the run ends.
#include "app/configfile.h"
#include "app/mainform.h"
#include "app/texts.h"
#include "framework/frontend.h"
#include "platform/hosttext.h"
#include "app/exitstatus.h"

namespace app {

void TMainForm::LoadConfigFile() {
  ComboBox->SetEnabled(false);
  SuchenButton->SetEnabled(false);
  protocol::ShowStatus(*this, texts::kLoading);

  loaded_ = ReadConfigFile(
      settings_.configFile.empty() ? ConfigFilePath("", plat::FilePath(workingDirectory_))
                                   : settings_.configFile,
      ConfigRecord);
  const ConfigLoadOutcome& outcome = loaded_;
  switch (outcome.result) {
    case ConfigLoadResult::Loaded:
      // What the write will send, for the console (a window shows no notes).
      for (const std::string& line : WriteSummary(ConfigRecord)) fw::Note(line);
      return;
    case ConfigLoadResult::CannotOpen:
      // The folder that was searched: below the text, and in the port's log.
      if (ComPort->Log()) ComPort->WriteLog(outcome.detail);
      ReportError(texts::kConfigCannotOpen, outcome.detail);
      EndProcess(kExitNotLoaded);
    case ConfigLoadResult::VersionMismatch:
      ReportError(texts::kConfigOtherVersion);
      EndProcess(kExitNotLoaded);
    case ConfigLoadResult::Damaged:
      ReportError(std::string(texts::kConfigDamaged) + "\n" + outcome.detail);
      EndProcess(kExitNotLoaded);
  }
}

}  // namespace app
