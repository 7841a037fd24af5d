#include "app/mainform.h"

#include <cmath>
#include <vector>

#include "app/openfailure.h"
#include "app/runstop.h"
#include "app/texts.h"
#include "framework/application.h"
#include "framework/frontend.h"
#include "framework/sysutils.h"
#include "app/exitstatus.h"
#include "protocol/link.h"
#include "protocol/operations.h"

namespace app {

TMainForm* MainForm = nullptr;
protocol::ConfigRecord ConfigRecord;

namespace {
// An error that says the system has no thread or memory left for the port, rather than that
// the port failed: the event thread could not start, or a call ran out of memory.
bool IsOutOfResources(const comport::EComError& e) {
  return (e.Kind() == comport::ekThread && e.ErrorCode() == 0) ||
         e.ErrorCode() == static_cast<std::int32_t>(ERROR_NOT_ENOUGH_MEMORY);
}
}  // namespace

std::string TMainForm::OutOfResourcesText(const std::string& cause, WriteProgress progress) {
  const char* board = texts::kBoardWritten;
  if (progress == WriteProgress::NotStarted) board = texts::kBoardUntouched;
  if (progress == WriteProgress::Started) board = texts::kBoardIncomplete;
  return std::string(texts::kOutOfResources) + " (" + cause + "). " + board;
}

TMainForm::TMainForm(fw::TComponent* owner, const RunSettings& settings)
    : fw::TForm(owner), settings_(settings) {
  app::MainForm = this;
  comport::RegisterComPortClasses();
  comport::RegisterComSignalClass();
  fw::TMethodTable& m = MethodTable();
  m.Add("FormCloseQuery", fw::Method<&TMainForm::FormCloseQuery>(this));
  m.Add("ComboBoxChange", fw::Method<&TMainForm::ComboBoxChange>(this));
  m.Add("SuchenButtonClick", fw::Method<&TMainForm::SuchenButtonClick>(this));
  m.Add("Timer1Timer", fw::Method<&TMainForm::Timer1Timer>(this));
  m.Add("Timer2Timer", fw::Method<&TMainForm::Timer2Timer>(this));
  m.Add("Timer3Timer", fw::Method<&TMainForm::Timer3Timer>(this));
  m.Add("ComPortError", fw::Method<&TMainForm::ComPortError>(this));
  m.Add("ComPortLineError", fw::Method<&TMainForm::ComPortLineError>(this));
  m.Add("ResetComSignalSignal", fw::Method<&TMainForm::ResetComSignalSignal>(this));
  ReadFormText(kMainFormText);

  auto find = [this](const char* name) { return FindComponent(name); };
  GroupBox3 = static_cast<fw::TGroupBox*>(find("GroupBox3"));
  statusLabel = static_cast<fw::TLabel*>(find("statusLabel"));
  ProgressBar = static_cast<fw::TProgressBar*>(find("ProgressBar"));
  ResetPanel = static_cast<fw::TPanel*>(find("ResetPanel"));
  GroupBox4 = static_cast<fw::TGroupBox*>(find("GroupBox4"));
  ComboBox = static_cast<fw::TComboBox*>(find("ComboBox"));
  SuchenButton = static_cast<fw::TButton*>(find("SuchenButton"));
  ResetComSignal = static_cast<comport::TComSignal*>(find("ResetComSignal"));
  ComPort = static_cast<comport::TComPort*>(find("ComPort"));
  ModeComSignal = static_cast<comport::TComSignal*>(find("ModeComSignal"));
  Timer1 = static_cast<fw::TTimer*>(find("Timer1"));
  Timer2 = static_cast<fw::TTimer*>(find("Timer2"));
  Timer3 = static_cast<fw::TTimer*>(find("Timer3"));
  if (settings_.logWriter) ComPort->SetLogWriter(settings_.logWriter);

  // The outer size follows the screen's resolution: scaleFactor = ppi / 96 as a single, the
  // products truncated toward zero.
  fw::FrontEnd* frontEnd = fw::CurrentFrontEnd();
  const int ppi = frontEnd != nullptr ? frontEnd->ScreenPixelsPerInch() : 96;
  scaleFactor_ = static_cast<float>(static_cast<long double>(ppi) * (1.0L / 96.0L));
  SetWidth(static_cast<int>(std::trunc(static_cast<long double>(scaleFactor_) * 593.0L)));
  SetHeight(static_cast<int>(std::trunc(static_cast<long double>(scaleFactor_) * 175.0L)));
  ShowVersionCaption();
  Timer1->SetEnabled(true);
}

TMainForm::~TMainForm() {
  // The port closes as it goes and its indicators call back into this window: let them go
  // while the window is still whole.
  DestroyComponents();
  if (app::MainForm == this) app::MainForm = nullptr;
}

plat::SystemApi& TMainForm::System() const { return ComPort->PlatformRef().system(); }

bool TMainForm::CanWaitForUser() const {
  fw::FrontEnd* frontEnd = fw::CurrentFrontEnd();
  return frontEnd == nullptr || frontEnd->CanWaitForUser();
}

void TMainForm::ShowVersionCaption() {
  plat::SystemApi& system = System();
  const std::string path = system.ProgramPath();
  const DWORD size = system.GetFileVersionInfoSizeA(path.c_str());
  if (size == 0) {
    versionText_.clear();
  } else {
    std::vector<unsigned char> block(size);
    DWORD major = 0;
    DWORD minor = 0;
    void* value = nullptr;
    UINT length = 0;
    if (system.GetFileVersionInfoA(path.c_str(), size, block.data()) &&
        system.VerQueryValueA(block.data(), "\\", &value, &length) && value != nullptr) {
      const auto* info = static_cast<const plat::FixedFileInfo*>(value);
      major = info->dwFileVersionMS >> 16;
      minor = info->dwFileVersionMS & 0xFFFF;
    }
    versionText_ = fw::Format("%u.%u", static_cast<unsigned>(major), static_cast<unsigned>(minor));
  }
  SetCaption(fw::Format(texts::kCaptionFormat, versionText_));
}

void TMainForm::EnableControls(bool enable) {
  ResetPanel->SetEnabled(enable);
  ProgressBar->SetEnabled(enable);
  SuchenButton->SetEnabled(enable);
  ComboBox->SetEnabled(enable);
  ComboBox->Repaint();
}

void TMainForm::EnableSearchControls() {
  SuchenButton->SetEnabled(true);
  ComboBox->SetEnabled(true);
  ComboBox->Repaint();
}

// ---- The timer chain ----

void TMainForm::Timer1Timer(fw::TObject*) {
  Timer1->SetEnabled(false);
  portFailed_ = false;
  Show();
  // The current directory, at most 258 characters; otherwise the previous one stays.
  std::string directory;
  if (System().CurrentDirectory(directory) && directory.size() <= 258) {
    workingDirectory_ = directory;
  }
  bool found = false;
  try {
    found = settings_.port.empty() ? SearchDevicePort() : UseNamedPort();
  } catch (const fw::EAbort&) {
    // A port error ended the search after its dialog.
    EndIfOutOfResources();
    if (!CanWaitForUser()) EndProcess(kExitNoPort);
    throw;
  }
  if (found) {
    Timer2->SetEnabled(true);
  } else if (!CanWaitForUser()) {
    EndProcess(kExitNoPort);
  }
}

void TMainForm::Timer2Timer(fw::TObject*) {
  Timer2->SetEnabled(false);
  EndIfOutOfResources();
  LoadConfigFile();
  Timer3->SetEnabled(true);
}

void TMainForm::Timer3Timer(fw::TObject*) {
  Timer3->SetEnabled(false);
  try {
    RunWriteSequence();
  } catch (const fw::EAbort&) {
    // A port error stopped the sequence; the window stays, dead, until it is closed.
    EndIfOutOfResources();
    closeStatus_ = kExitPortError;
    if (!CanWaitForUser()) EndProcess(kExitPortError);
    throw;
  }
}

void TMainForm::SuchenButtonClick(fw::TObject*) { Timer1->SetEnabled(true); }

// ---- The write sequence ----

void TMainForm::RunWriteSequence() {
  // The pauses watch the port: a converter pulled during one ends the run at once, with the
  // port error the next step would have met after the pause.
  auto resetPause = [&] {
    protocol::ResetOn(*this);
    protocol::PauseWatchingPort(*this, 200);
    protocol::ResetOff(*this);
    protocol::PauseWatchingPort(*this, 2000);
    protocol::ShowStatus(*this, texts::kWaiting);
    protocol::PauseWatchingPort(*this, 3000);
  };
  EndIfPortFailed();
  // Until the journal has begun its record the board is untouched: a stop here says so.
  AnnounceWrite();
  progress_ = WriteProgress::Started;
  ComPort->ClearRTS();
  protocol::PauseWatchingPort(*this, 200);
  resetPause();
  protocol::ClearOperatingTime(*this);
  Stored("operating_time");
  resetPause();
  protocol::ClearErrorMemory(*this);
  Stored("error_memory");
  resetPause();
  protocol::ProgramSerialNumber(*this, ConfigRecord);
  Stored("serial");
  resetPause();
  protocol::ProgramDeviceType(*this, ConfigRecord);
  Stored("device_type");
  resetPause();
  protocol::SendConfiguration(*this, ConfigRecord);
  EndIfPortFailed();
  Stored("configuration");
  progress_ = WriteProgress::Finished;
  WriteEnded();
  ShowInformation(texts::kSuccess);
  EndProcess(kExitWritten);
}

void TMainForm::AnnounceWrite() {
  if (!settings_.writeStarting) return;
  const RunSettings::WriteAnnouncement announcement = settings_.writeStarting(*this);
  if (announcement.refused) EndProcess(kExitUsage);
  if (announcement.line.empty()) return;
  fw::Note(announcement.line);
  if (ComPort->Log()) ComPort->WriteLog(announcement.line);
}

void TMainForm::Stored(const char* operation) {
  if (settings_.operationStored) settings_.operationStored(operation);
}

void TMainForm::WriteEnded() {
  if (writeEnded_) return;
  writeEnded_ = true;
  if (settings_.writeEnded) settings_.writeEnded();
}

// ---- Other handlers ----

void TMainForm::FormCloseQuery(fw::TObject*, bool&) { ComPort->SetActive(false); }

void TMainForm::ComPortError(comport::TCustomComPort*, comport::EComError& e,
                             comport::TComAction& action) {
  if (IsOutOfResources(e)) {
    // Not the port's fault, so no port error dialog: the run ends at the main thread's next
    // look (EndIfPortFailed), with the cause in the port's log.
    if (outOfResources_.empty()) {
      outOfResources_ = e.Message();
      ComPort->WriteLog("Error: " + outOfResources_);
    }
    action = comport::caAbort;
    return;
  }
  portFailed_ = true;
  // A closed port with a system error: its open failed (the trial open before it passed).
  std::string detail;
  if (!ComPort->Active() && e.ErrorCode() != 0) {
    detail = ExplainFailedOpen(ComPort->DeviceName(), static_cast<DWORD>(e.ErrorCode()));
  }
  ReportError(fw::Format(texts::kComPortError, ConfigRecord.portName), detail);
  action = comport::caAbort;
}

void TMainForm::ComPortLineError(fw::TObject*, comport::TLineErrors) {
  ReportError(fw::Format(texts::kComPortLineError, ConfigRecord.portName));
  ComPort->SetActive(false);
}

void TMainForm::ResetComSignalSignal(fw::TObject*) {
  ResetPanel->SetColor(ResetComSignal->SignalValue() ? ResetComSignal->ColorOn()
                                                     : ResetComSignal->ColorOff());
}

// ---- protocol::BoardWindow ----

void TMainForm::SetStatusText(const std::string& text) { statusLabel->SetCaption(text); }
void TMainForm::RepaintStatus() { statusLabel->Repaint(); }
void TMainForm::SetProgress(int position) { ProgressBar->SetPosition(position); }
void TMainForm::SetResetPanelColor(fw::TColor color) { ResetPanel->SetColor(color); }
void TMainForm::RepaintResetPanel() { ResetPanel->Repaint(); }
fw::TColor TMainForm::ResetColorOn() { return ResetComSignal->ColorOn(); }
fw::TColor TMainForm::ResetColorOff() { return ResetComSignal->ColorOff(); }
void TMainForm::ProcessMessages() {
  fw::Application->ProcessMessages();
  // Handlers called from the port's event thread run here.
  EndIfOutOfResources();
  if (progress_ == WriteProgress::Started) EndIfPortFailed();
}

void TMainForm::EndIfPortFailed() {
  EndIfOutOfResources();
  if (portFailed_) fw::Abort();
}

void TMainForm::EndIfOutOfResources() {
  if (outOfResources_.empty()) return;
  ReportError(OutOfResourcesText(outOfResources_, progress_));
  EndProcess(kExitInternalError);
}

void TMainForm::ReportError(const std::string& text) { ReportError(text, ""); }

void TMainForm::ReportError(const std::string& text, const std::string& detail) {
  if (progress_ == WriteProgress::Started && writeFailure_.empty()) {
    writeFailure_ = detail.empty() ? text : text + "\n" + detail;
    WriteEnded();
  }
  System().MessageBeep(0);
  fw::MessageDialog(fw::mtError, "Fehler", text, detail);
}

void TMainForm::ShowInformation(const std::string& text) {
  fw::MessageDialog(fw::mtInformation, "Information", text);
}

void TMainForm::MessageBeep() { System().MessageBeep(0); }

void TMainForm::CloseAndEnd(protocol::RunEnd why) { EndProcess(ExitStatusOf(why)); }

void TMainForm::EndProcess(int status) {
  // The tool has decided how the run ends; a stop request from now on cannot change that.
  RunStop::Instance().EndRun();
  if (progress_ != WriteProgress::NotStarted) WriteEnded();
  try {
    ComPort->SetActive(false);
  } catch (const fw::Exception&) {
    // The run ends anyway; the port's own dialog has been shown.
  }
  fw::TApplication::EndProcess(status);
}

}  // namespace app
