// TMainForm: the tool's one window and everything it does without user input.
//
// Built from its form text (mainform_layout.cpp), it owns the serial port, the two line-signal
// indicators and three one-shot timers that run the tool: Timer1 finds and opens the board's
// port, Timer2 loads Quorix.lcd, Timer3 runs the write sequence. It is the window the board
// protocol talks to (protocol::BoardWindow).
//
// Exit status (app/exitstatus.h): EndProcess(status) closes the port and ends the run.
// When the window is closed by the user, the run ends with CloseStatus(): kExitNoPort, or
// kExitPortError once a port error has stopped the write.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/configfile.h"
#include "comport/comport.h"
#include "comport/comsignal.h"
#include "framework/controls.h"
#include "framework/timer.h"
#include "protocol/boardwindow.h"
#include "protocol/configrecord.h"
#include "app/converters.h"
#include "app/exitstatus.h"
#include "platform/platform.h"

namespace app {

class TMainForm;

// What a run adds to the plain tool (from the command line).
struct RunSettings {
  std::string port;  // skip the search and use this port ("COM3")
  // The search takes the converter with this serial (or USB location), not the first one.
  std::string converter;
  // The configuration file named on the command line; empty: Quorix.lcd in the directory that
  // was current at the last search.
  std::filesystem::path configFile;
  // Where the port's log lines go (see TCustomComPort::SetLogWriter); empty: no log.
  comport::TCustomComPort::TLogWriter logWriter;
  // Who follows the write besides the window (the run's journal); each may be empty.
  // writeStarting is called before the first reset: its line goes to the console and the
  // port's log ("" for none); a refusal ends the run before the reset with the usage status
  // (whoever refused has said why). operationStored is called after each operation the board
  // stored; writeEnded once, when the write is over (its last step done, or its first failure
  // shown), before any dialog waits for its user.
  struct WriteAnnouncement {
    std::string line;
    bool refused = false;
  };
  std::function<WriteAnnouncement(const TMainForm& form)> writeStarting;
  std::function<void(const char* operation)> operationStored;
  std::function<void()> writeEnded;
};

class TMainForm : public fw::TForm, public protocol::BoardWindow {
 public:
  TMainForm(fw::TComponent* owner, const RunSettings& settings);
  ~TMainForm() override;

  // The components, in their declaration order.
  fw::TGroupBox* GroupBox3 = nullptr;
  fw::TLabel* statusLabel = nullptr;
  fw::TProgressBar* ProgressBar = nullptr;
  fw::TPanel* ResetPanel = nullptr;
  fw::TGroupBox* GroupBox4 = nullptr;
  fw::TComboBox* ComboBox = nullptr;
  fw::TButton* SuchenButton = nullptr;
  comport::TComSignal* ResetComSignal = nullptr;
  comport::TComPort* ComPort = nullptr;
  comport::TComSignal* ModeComSignal = nullptr;
  fw::TTimer* Timer1 = nullptr;
  fw::TTimer* Timer2 = nullptr;
  fw::TTimer* Timer3 = nullptr;

  // Handlers.
  void FormCloseQuery(fw::TObject* sender, bool& canClose);
  void ComboBoxChange(fw::TObject* sender);
  void SuchenButtonClick(fw::TObject* sender);
  void Timer1Timer(fw::TObject* sender);
  void Timer2Timer(fw::TObject* sender);
  void Timer3Timer(fw::TObject* sender);
  void ComPortError(comport::TCustomComPort* port, comport::EComError& e,
                    comport::TComAction& action);
  void ComPortLineError(fw::TObject* sender, comport::TLineErrors errors);
  void ResetComSignalSignal(fw::TObject* sender);

  // The search for the board's port; true when ComPort is open on it.
  bool SearchDevicePort();
  // Takes portName into ConfigRecord and ComPort, tries a trial open of its device path (read
  // access, no sharing), then opens ComPort on it; true when ComPort is open.
  bool TakePort(const std::string& portName);
  // Loads Quorix.lcd from the working directory; returns only when it was loaded.
  void LoadConfigFile();
  // The fixed write sequence; never returns normally.
  void RunWriteSequence();
  void ShowVersionCaption();
  void EnableControls(bool enable);

  float ScaleFactor() const { return scaleFactor_; }
  // The text of its path (platform/hosttext.h).
  const std::string& WorkingDirectory() const { return workingDirectory_; }
  int CloseStatus() const { return closeStatus_; }

  // How far the write sequence has come: not started, running (the board may be partly
  // written), or through (every operation stored).
  enum class WriteProgress { NotStarted, Started, Finished };
  WriteProgress Progress() const { return progress_; }
  // The line a run ends with when the system would not give a thread, a timer or memory:
  // the cause, then how far the board was written.
  static std::string OutOfResourcesText(const std::string& cause, WriteProgress progress);

  // What the search found, for the journal: the converter's device instance ("A5XK3RJTA";
  // empty when the port was named or none matched) and its latency step.
  const std::string& ConverterInstance() const { return converterInstance_; }
  const plat::LatencyStep& Latency() const { return latency_; }
  // The first error dialog of the write (its text, and its detail on the next line); "" when
  // the write showed none.
  const std::string& WriteFailure() const { return writeFailure_; }
  // What the last load of the configuration file read (its place, fingerprint and text).
  const ConfigLoadOutcome& LoadedFile() const { return loaded_; }

  // protocol::BoardWindow
  comport::TCustomComPort& Port() override { return *ComPort; }
  void SetStatusText(const std::string& text) override;
  void RepaintStatus() override;
  void SetProgress(int position) override;
  void SetResetPanelColor(fw::TColor color) override;
  void RepaintResetPanel() override;
  fw::TColor ResetColorOn() override;
  fw::TColor ResetColorOff() override;
  void ProcessMessages() override;
  void ReportError(const std::string& text) override;
  // The same with a detail below the text (the cause of a failure and what to do).
  void ReportError(const std::string& text, const std::string& detail);
  void ShowInformation(const std::string& text) override;
  void MessageBeep() override;

 protected:
  void CloseAndEnd(protocol::RunEnd why) override;

 private:
  // Closes the port, then ends the run with the given exit status; never returns.
  [[noreturn]] void EndProcess(int status);
  // False when nobody can answer a window left open (the console): a failed search or a
  // stopped write then ends the run.
  bool CanWaitForUser() const;
  // The search's replacement when a port was named on the command line.
  bool UseNamedPort();
  // The console's and the log's note that the search takes the first of several converters
  // (converters: every one attached, the first is taken) and how to choose another.
  void NoteOtherConverters(const std::vector<AttachedConverter>& converters);
  // Re-enables the list and the button after a failed search step.
  void EnableSearchControls();
  // Why the open of device failed with code, as far as the platform tells: the detail for the
  // dialog, also written to the port's log.
  std::string ExplainFailedOpen(const std::string& device, DWORD code);
  // The converter's latency step of the search (converter_latency.cpp): asks the platform for
  // low latency on the converter of this Device Parameters key and says what it answered in the
  // console and the port's log.
  void ReportConverterLatency(const std::string& keyPath, const std::string& portName);
  plat::SystemApi& System() const;
  // A port error can reach this window from the port's event thread, where its unwinding
  // ends that thread and not the step the main thread is in. So the handler records it, and
  // the main thread looks at the record wherever it may stop: when it processes messages, when
  // a timer step begins and before it reports the board written.
  //   - the system had no thread or memory for the port: the run ends (status 70);
  //   - another port error during the write: the write stops (status 4), as when the error
  //     had been raised in the step itself.
  void EndIfPortFailed();
  void EndIfOutOfResources();
  // The write's followers (RunSettings): its start, and each operation the board stored.
  void AnnounceWrite();
  void Stored(const char* operation);
  void WriteEnded();

  RunSettings settings_;
  float scaleFactor_ = 1.0f;
  std::string versionText_;
  std::string workingDirectory_;
  int closeStatus_ = kExitNoPort;
  WriteProgress progress_ = WriteProgress::NotStarted;
  std::string outOfResources_;  // the cause, once the system refused a thread or memory
  bool portFailed_ = false;     // a port error since the port was last opened
  std::string converterInstance_;
  plat::LatencyStep latency_;
  std::string writeFailure_;
  ConfigLoadOutcome loaded_{ConfigLoadResult::CannotOpen, {}};
  bool writeEnded_ = false;
};

// The one window instance (null when none exists).
extern TMainForm* MainForm;
// The global record the board is programmed with.
extern protocol::ConfigRecord ConfigRecord;

// The form's layout, as form text.
extern const char* const kMainFormText;

}  // namespace app
