// TCustomComPort / TComPort: a non-visual component that owns one serial device.
//
// It keeps every line setting as a typed property and re-applies the affected group of settings
// to the device whenever the port is open (SetComDCB, SetComBufferSizes, SetComTimeouts,
// SetComEventMask); while closed, settings are only stored and reach the device at the next open.
// Bytes move through overlapped reads and writes with at most one operation in flight per
// direction. An event thread (TComThread) waits for device events while the port is open and
// at least one device-event handler is assigned, and dispatches them on the main thread unless
// SynchronizeEvents is false.
//
// Errors: every failed platform call (error codes other than 0 and 997) and every error of the
// component itself (code 0: closed port, open port, thread, "Timeout") goes through RaiseError:
// OnError sees the EComError first and may answer caAbort, which turns it into the silent
// fw::EAbort; otherwise the EComError is raised to the caller. Its Kind says which failure it
// is (TComErrorKind); its text is for people.
//
// The component reaches the device and the machine only through the platform it was given at
// construction (the process's platform by default), so the same code runs on Windows, on Linux
// and on the simulated machine; its log lines go to a file or to the owner's writer. The
// members the write tool and the board protocol call come first in the class.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "comport/comtypes.h"
#include "framework/application.h"
#include "framework/component.h"
#include "framework/stringlist.h"
#include "platform/platform.h"

namespace comport {

class TCustomComPort;
class TComThread;

// A registry value that exists but cannot be read as the type asked for (EnumComFriendlyNames
// meeting a "ClassGUID" that is not text). The message names the value.
class ERegistryException : public fw::Exception {
 public:
  using fw::Exception::Exception;
};

// The driver's status and capability words as sets (MS_..._ON, BAUD_, SP_, STOPBITS_, PARITY_,
// DATABITS_ and PCF_ bits): each named bit gives its member, every other bit is ignored; the
// maximum rate is one BAUD_ bit exactly, anything else gives brDefault. GetModemStatus and the
// seven capability queries use them.
TModemStatus ModemStatusFromBits(DWORD status);
TBaudRate MaxBaudRateFromBits(DWORD maxBaud);
TBaudRates BaudRatesFromBits(DWORD settableBaud);
TSettableParameters SettableParametersFromBits(DWORD settableParams);
TSettableStopBits StopBitsFromBits(WORD settableStopParity);
TSettableParity ParityFromBits(WORD settableStopParity);
TSettableDataBits DataBitsFromBits(WORD settableData);
TCapabilities CapabilitiesFromBits(DWORD provCapabilities);

// Flow control settings; each setter re-applies the DCB.
class TFlowControl : public fw::TPersistent {
 public:
  explicit TFlowControl(TCustomComPort* port) : port_(port) {}
  const char* ClassName() const override { return "TFlowControl"; }
  // Copies the fields of another TFlowControl (through the setters); others are refused.
  void Assign(const fw::TPersistent& source) override;

  TDTRControl DTR() const { return dtr_; }
  TRTSControl RTS() const { return rts_; }
  TXOnXOffControl XOnXOff() const { return xOnXOff_; }
  std::uint16_t XOnLimit() const { return xOnLimit_; }
  std::uint16_t XOffLimit() const { return xOffLimit_; }
  void SetDTRControl(TDTRControl value);
  void SetRTSControl(TRTSControl value);
  void SetXOnXOffControl(TXOnXOffControl value);
  void SetXOnLimit(std::uint16_t value);
  void SetXOffLimit(std::uint16_t value);

 private:
  friend class TCustomComPort;
  TCustomComPort* port_;
  TDTRControl dtr_ = dcDefault;
  TRTSControl rts_ = rcDefault;
  TXOnXOffControl xOnXOff_ = xcDefault;
  std::uint16_t xOnLimit_ = 0;
  std::uint16_t xOffLimit_ = 0;
};

// Special characters; each setter re-applies the DCB.
class TCharacters : public fw::TPersistent {
 public:
  explicit TCharacters(TCustomComPort* port) : port_(port) {}
  const char* ClassName() const override { return "TCharacters"; }
  void Assign(const fw::TPersistent& source) override;

  char XOn() const { return xOn_; }
  char XOff() const { return xOff_; }
  char Error() const { return error_; }
  char Eof() const { return eof_; }
  char Event() const { return event_; }
  void SetXOn(char value);
  void SetXOff(char value);
  void SetError(char value);
  void SetEof(char value);
  void SetEvent(char value);

 private:
  TCustomComPort* port_;
  char xOn_ = 17;
  char xOff_ = 19;
  char error_ = 0;
  char eof_ = 0;
  char event_ = 0;
};

// Driver queue sizes (-1: request none); setters re-apply them. The four queries need an open
// port (they raise "Can't perform this operation on a closed port" otherwise).
class TBufferSizes : public fw::TPersistent {
 public:
  explicit TBufferSizes(TCustomComPort* port) : port_(port) {}
  const char* ClassName() const override { return "TBufferSizes"; }
  void Assign(const fw::TPersistent& source) override;

  std::int32_t Input() const { return input_; }
  std::int32_t Output() const { return output_; }
  void SetInput(std::int32_t value);
  void SetOutput(std::int32_t value);
  std::int32_t GetMaxInput() const;
  std::int32_t GetMaxOutput() const;
  std::int32_t GetCurrentInput() const;
  std::int32_t GetCurrentOutput() const;

 private:
  TCustomComPort* port_;
  std::int32_t input_ = 4096;
  std::int32_t output_ = 2048;
};

// Read and write time-outs in milliseconds; setters re-apply them.
class TTimeouts : public fw::TPersistent {
 public:
  explicit TTimeouts(TCustomComPort* port) : port_(port) {}
  const char* ClassName() const override { return "TTimeouts"; }
  void Assign(const fw::TPersistent& source) override;

  std::int32_t ReadInterval() const { return readInterval_; }
  std::int32_t ReadMultiplier() const { return readMultiplier_; }
  std::int32_t ReadConstant() const { return readConstant_; }
  std::int32_t WriteMultiplier() const { return writeMultiplier_; }
  std::int32_t WriteConstant() const { return writeConstant_; }
  void SetReadInterval(std::int32_t value);
  void SetReadMultiplier(std::int32_t value);
  void SetReadConstant(std::int32_t value);
  void SetWriteMultiplier(std::int32_t value);
  void SetWriteConstant(std::int32_t value);

 private:
  TCustomComPort* port_;
  std::int32_t readInterval_ = 0;
  std::int32_t readMultiplier_ = 0;
  std::int32_t readConstant_ = 0;
  std::int32_t writeMultiplier_ = 0;
  std::int32_t writeConstant_ = 0;
};

class TCustomComPort : public fw::TComponent {
 public:
  explicit TCustomComPort(fw::TComponent* owner,
                          plat::Platform& platform = plat::CurrentPlatform());
  // Stops device notification, closes the port, then destroys the sub-objects.
  ~TCustomComPort() override;
  const char* ClassName() const override { return "TCustomComPort"; }
  plat::Platform& PlatformRef() const { return platform_; }

  // ---- What the write tool and the board protocol call; the rest follows by topic ----
  bool Active() const { return GetActive(); }
  void SetActive(bool value);
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& value);
  void Open();
  void Close();
  std::uint8_t ReadByte();
  void WriteByte(std::uint8_t value);
  // False on a closed port.
  bool WritePending() const;
  // Bytes in the driver's input queue. No open-port check: on a closed port the platform's
  // invalid-handle error is raised. Reports collected line errors through OnLineError.
  std::int32_t InputCount();
  void PurgeInput();
  void SetDTR();
  void ClearDTR();
  void ClearRTS();
  // The empty set at design time; needs an open port otherwise.
  TModemStatus GetModemStatus();
  void EnumDevices(fw::TStringList& list);
  void EnumComDevicesFromRegistry(fw::TStringList& list);

  // ---- Settings (port settings, handle set-up and errors) ----
  bool GetActive() const;
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  std::int32_t GetCustomBaudRate() const;
  void SetCustomBaudRate(std::int32_t value);
  bool StoreCustomBaudRate() const { return baudRate_ == brCustom; }
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value);
  TOptions Options() const { return options_; }
  void SetOptions(TOptions value);
  TPriorityClass PriorityClass() const { return priorityClass_; }
  void SetPriorityClass(TPriorityClass value);
  // True (default): device-event handlers run on the main thread, from its message loop. False:
  // they run on the event thread, concurrently with the main thread; keeping the port alive and
  // guarding shared data is then the caller's part. Needs a closed port to change.
  bool SynchronizeEvents() const { return synchronizeEvents_; }
  void SetSynchronizeEvents(bool value);
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority value);
  const std::string& LogFile() const { return logFile_; }
  void SetLogFile(const std::string& value) { logFile_ = value; }
  // Where log lines go. Empty (the default): each line is appended to LogFile, and a failure
  // raises EInOutError to whoever caused the line (an open, a transfer, an event). An owner
  // that keeps a log of its own installs a writer instead: the port then logs every line to
  // it, LogFile is not used, and the writer deals with its failures itself (so transfers are
  // never cut short by the log). Not a published property.
  using TLogWriter = std::function<void(const std::string& line)>;
  void SetLogWriter(TLogWriter writer) { logWriter_ = std::move(writer); }
  TFlowControl& FlowControl() { return *flowControl_; }
  TCharacters& Characters() { return *characters_; }
  TBufferSizes& BufferSizes() { return *bufferSizes_; }
  TTimeouts& Timeouts() { return *timeouts_; }
  const TFlowControl& FlowControl() const { return *flowControl_; }
  const TCharacters& Characters() const { return *characters_; }
  const TBufferSizes& BufferSizes() const { return *bufferSizes_; }
  const TTimeouts& Timeouts() const { return *timeouts_; }
  void SetFlowControl(const TFlowControl& value) { flowControl_->Assign(value); }
  void SetCharacters(const TCharacters& value) { characters_->Assign(value); }
  void SetBufferSizes(const TBufferSizes& value) { bufferSizes_->Assign(value); }
  void SetTimeouts(const TTimeouts& value) { timeouts_->Assign(value); }
  HANDLE Handle() const { return handle_; }
  const TBytes& WriteCopy() const { return writeCopy_; }

  void CheckActive() const;
  void CheckInactive() const;
  // Settings into a DCB (toDevice) or a DCB back into the settings.
  void CopyDCB(DCB& dcb, bool toDevice);
  void SetComDCB();
  void SetComBufferSizes();
  void SetComTimeouts();
  void SetComEventMask();
  virtual void CreateHandle();
  void FreeHandle();
  // A failed platform call (succeeded false, last error neither 0 nor 997) becomes EComError
  // of the kind given.
  void Check(bool succeeded, TComErrorKind kind = ekSystemCall) const;
  [[noreturn]] void RaiseError(TComErrorKind kind, std::int32_t code,
                               const std::string& message) const;

  // ---- Handlers ----
  TOpenCloseEvent AfterClose() const { return afterClose_; }
  TOpenCloseEvent AfterOpen() const { return afterOpen_; }
  TReadWriteEvent AfterRead() const { return afterRead_; }
  TReadWriteEvent AfterWrite() const { return afterWrite_; }
  TOpenCloseEvent BeforeClose() const { return beforeClose_; }
  TOpenCloseEvent BeforeOpen() const { return beforeOpen_; }
  TReadWriteEvent BeforeRead() const { return beforeRead_; }
  TReadWriteEvent BeforeWrite() const { return beforeWrite_; }
  TNotifyEvent OnBreak() const { return onBreak_; }
  TNotifyEvent OnCTSChange() const { return onCTSChange_; }
  TNotifyEvent OnDSRChange() const { return onDSRChange_; }
  TComErrorEvent OnError() const { return onError_; }
  TNotifyEvent OnEvent1() const { return onEvent1_; }
  TNotifyEvent OnEvent2() const { return onEvent2_; }
  TLineErrorEvent OnLineError() const { return onLineError_; }
  TNotifyEvent OnPrinterError() const { return onPrinterError_; }
  TNotifyEvent OnRing() const { return onRing_; }
  TNotifyEvent OnRLSDChange() const { return onRLSDChange_; }
  TNotifyEvent OnRx80PercFull() const { return onRx80PercFull_; }
  TNotifyEvent OnRxChar() const { return onRxChar_; }
  TNotifyEvent OnRxFlag() const { return onRxFlag_; }
  TNotifyEvent OnTxEmpty() const { return onTxEmpty_; }
  TDeviceArrivalEvent OnDeviceArrival() const { return onDeviceArrival_; }
  TDeviceRemovedEvent OnDeviceRemoved() const { return onDeviceRemoved_; }
  // Plain stores.
  void SetAfterClose(TOpenCloseEvent h) { afterClose_ = h; }
  void SetAfterOpen(TOpenCloseEvent h) { afterOpen_ = h; }
  void SetAfterRead(TReadWriteEvent h) { afterRead_ = h; }
  void SetAfterWrite(TReadWriteEvent h) { afterWrite_ = h; }
  void SetBeforeClose(TOpenCloseEvent h) { beforeClose_ = h; }
  void SetBeforeOpen(TOpenCloseEvent h) { beforeOpen_ = h; }
  void SetBeforeRead(TReadWriteEvent h) { beforeRead_ = h; }
  void SetBeforeWrite(TReadWriteEvent h) { beforeWrite_ = h; }
  void SetOnError(TComErrorEvent h) { onError_ = h; }
  // The device-event handlers: store, then bring the event mask (and thread) up to date. The
  // same code bound to another object counts as no change.
  void SetOnBreak(TNotifyEvent h);
  void SetOnCTSChange(TNotifyEvent h);
  void SetOnDSRChange(TNotifyEvent h);
  void SetOnEvent1(TNotifyEvent h);
  void SetOnEvent2(TNotifyEvent h);
  void SetOnLineError(TLineErrorEvent h);
  void SetOnPrinterError(TNotifyEvent h);
  void SetOnRing(TNotifyEvent h);
  void SetOnRLSDChange(TNotifyEvent h);
  void SetOnRx80PercFull(TNotifyEvent h);
  void SetOnRxChar(TNotifyEvent h);
  void SetOnRxFlag(TNotifyEvent h);
  void SetOnTxEmpty(TNotifyEvent h);
  // Device notification (registers with the system while either is set, outside design mode).
  void SetOnDeviceArrival(TDeviceArrivalEvent h);
  void SetOnDeviceRemoved(TDeviceRemovedEvent h);

  // ---- Lifecycle, event thread and events ----
  void Loaded() override;
  void CreateThread();
  void DestroyThread();
  bool HasEventThread() const { return eventThread_ != nullptr; }
  // One cycle of the event thread (runs on it). It is static because the thread must never
  // touch a port that may have been destroyed meanwhile: it works on its own copies of the
  // handle and the wait record, and reaches the port only through calls synchronised with the
  // main thread that first check the thread's terminate request.
  static void ThreadProc(TComThread* thread);
  // Dispatches the bits of the last delivered event mask (main thread unless SynchronizeEvents
  // is false). A framework exception of a handler skips the remaining events and goes to the
  // application's exception handler.
  void ThreadDoEvent();
  [[noreturn]] void RaiseThreadError();
  static TLineErrors GetLineErrors(DWORD errors);
  void CheckLineErrors();
  void ClearLineErrors();
  bool Log() const { return logWriter_ || !logFile_.empty(); }
  void WriteLog(const std::string& message, const void* data = nullptr, std::int32_t count = 0);
  // Logs (when Log) and forgets what the platform reported doing to the device at the last open
  // or close.
  void WriteDeviceNotes();

  // ---- Reading and writing ----
  // Read and Write need an open port and a Length of 0 or more (otherwise EComError, code 0).
  // At most one operation per direction is in flight: a new one first waits for the previous
  // one. Read without waiting: the caller keeps Buffer valid until ReadPending is false or a
  // completion wait has returned. Write without waiting copies the data into WriteCopy, so
  // Buffer is free at once. A waited transfer that moves fewer bytes than asked (the time-outs
  // ran out) raises "Timeout" (code 0).
  void Read(void* buffer, std::int32_t length, bool waitOnCompletion);
  void Write(const void* buffer, std::int32_t length, bool waitOnCompletion);
  void WaitForReadCompletion();
  void WaitForWriteCompletion();
  // False on a closed port. A read seen completed here is no longer logged later (its buffer
  // may be gone).
  bool ReadPending() const;
  // Bytes in the driver's output queue; as InputCount.
  std::int32_t OutputCount();
  void PurgeOutput();
  void ClearInput();
  void ClearOutput();
  void AbortInput();
  void AbortOutput();
  void Flush();
  char ReadChar();
  char ReadAnsiChar();
  void WriteChar(char value);
  void WriteAnsiChar(char value);
  std::uint16_t ReadWord();
  void WriteWord(std::uint16_t value);
  std::uint32_t ReadDWord();
  void WriteDWord(std::uint32_t value);
  std::string ReadString();
  std::string ReadAnsiString();
  void WriteString(const std::string& value);
  void WriteAnsiString(const std::string& value);
  TBytes ReadBytes();
  void WriteBytes(const TBytes& value);
  std::u16string ReadUtf8();
  void WriteUtf8(const std::u16string& value);
  std::string ReadUntil(char delimiter);
  std::string ReadAnsiUntil(char delimiter);
  TBytes ReadUntilBytes(std::uint8_t delimiter);
  std::u16string ReadUntilUtf8(char delimiter);
  std::string ReadLine();
  std::string ReadAnsiLine();
  TBytes ReadLineBytes();
  std::u16string ReadLineUtf8();
  void WriteLine(const std::string& value);
  void WriteAnsiLine(const std::string& value);
  void WriteLineBytes(const TBytes& value);
  void WriteLineUtf8(const std::u16string& value);

  // ---- Line signals ----
  void SetRTS();
  void SetXOn();
  void SetXOff();
  void ResetDevice();
  void SetBreak();
  void ClearBreak();
  void TransmitChar(char c);
  TModemStatus ModemStatus() { return GetModemStatus(); }

  // ---- Enumeration, device notification, capabilities ----
  void EnumComDevices(fw::TStringList& list);
  void EnumComFriendlyNames(fw::TStringList& list);
  std::string ShortDeviceName() const;
  bool ConfigDialog();
  bool DefaultConfigDialog();
  bool StartNotification();
  bool StopNotification();
  bool WindowHook(fw::TMessage& message);
  void GetCommProp(COMMPROP& properties) const;
  TBaudRate GetMaxBaudRate() const;
  TSettableParameters GetSettableParameters() const;
  TBaudRates GetSettableBaudRates() const;
  TSettableStopBits GetSettableStopBits() const;
  TSettableParity GetSettableParity() const;
  TSettableDataBits GetSettableDataBits() const;
  TCapabilities GetCapabilities() const;

 protected:
  plat::KernelApi& Kernel() const { return platform_.kernel(); }
  plat::SerialApi& Serial() const { return platform_.serial(); }
  plat::SystemApi& System() const { return platform_.system(); }

 private:
  friend class TComThread;
  // Sets a device-event handler slot and re-applies the mask when its code changed.
  template <class H>
  void SetDeviceEvent(H& slot, const H& handler);
  bool HandleValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Whether the device may be touched: open and not at design time.
  bool Applicable() const { return HandleValid() && !Designing(); }
  bool EventSignalled(HANDLE event) const;
  // Issues one overlapped transfer; on a refusal the direction is left idle before raising.
  void IssueTransfer(bool read, void* buffer, std::int32_t length);
  // The common part of the two completion waits.
  void WaitForCompletion(bool read);
  std::int32_t QueueCount(bool input);
  void Purge(DWORD flags);
  [[noreturn]] void RaiseNegativeLength(std::int32_t length) const;

  plat::Platform& platform_;
  // Fields in their declaration order.
  bool streamedActive_ = false;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
  OVERLAPPED waitOverlapped_{};
  OVERLAPPED readOverlapped_{};
  OVERLAPPED writeOverlapped_{};
  TComThread* eventThread_ = nullptr;
  DWORD eventMask_ = 0;
  // Mutable: ReadPending forgets a read whose completion the caller has seen.
  mutable DWORD readCount_ = 0;
  DWORD writeCount_ = 0;
  const void* readBuffer_ = nullptr;
  const void* writeBuffer_ = nullptr;
  std::int32_t savedPriorityClass_ = -1;
  DWORD threadError_ = 0;
  TThreadPriority threadPriority_ = tpTimeCritical;
  std::int32_t customBaudRateValue_ = 0;
  TBaudRate baudRate_ = brDefault;
  TBytes writeCopy_;
  TBufferSizes* bufferSizes_ = nullptr;
  TCharacters* characters_ = nullptr;
  TDataBits dataBits_ = dbDefault;
  std::string deviceName_ = "COM1";
  TFlowControl* flowControl_ = nullptr;
  std::string logFile_;
  // What the platform did to the device at its last open or close besides opening or closing it
  // (a converter's latency, say); written to the log after the "Open" or "Close" line.
  std::vector<std::string> deviceNotes_;
  TLogWriter logWriter_;
  HANDLE notification_ = nullptr;
  TOptions options_;
  TParity parity_ = paDefault;
  TPriorityClass priorityClass_ = pcDefault;
  TStopBits stopBits_ = sbDefault;
  bool synchronizeEvents_ = true;
  TTimeouts* timeouts_ = nullptr;
  TOpenCloseEvent afterClose_;
  TOpenCloseEvent afterOpen_;
  TReadWriteEvent afterRead_;
  TReadWriteEvent afterWrite_;
  TOpenCloseEvent beforeClose_;
  TOpenCloseEvent beforeOpen_;
  TReadWriteEvent beforeRead_;
  TReadWriteEvent beforeWrite_;
  TNotifyEvent onBreak_;
  TNotifyEvent onCTSChange_;
  TNotifyEvent onDSRChange_;
  TComErrorEvent onError_;
  TNotifyEvent onEvent1_;
  TNotifyEvent onEvent2_;
  TLineErrorEvent onLineError_;
  TNotifyEvent onPrinterError_;
  TNotifyEvent onRing_;
  TNotifyEvent onRLSDChange_;
  TNotifyEvent onRx80PercFull_;
  TNotifyEvent onRxChar_;
  TNotifyEvent onRxFlag_;
  TNotifyEvent onTxEmpty_;
  TDeviceArrivalEvent onDeviceArrival_;
  TDeviceRemovedEvent onDeviceRemoved_;
};

// The same component with every property published for form streaming; no new behaviour.
class TComPort : public TCustomComPort {
 public:
  // Registers the streamable classes (RegisterComPortClasses) on first use.
  explicit TComPort(fw::TComponent* owner, plat::Platform& platform = plat::CurrentPlatform());
  const char* ClassName() const override { return "TComPort"; }
  // Read-only version text; never stored.
  static const char* About();
};

// Registers TComPort and its sub-objects with the form streaming (idempotent).
void RegisterComPortClasses();

// The event thread of an open port: free-on-terminate, priority from the port's ThreadPriority.
//
// Created by TCustomComPort::CreateThread on the main thread while the port is open; it copies
// what its wait needs (platform, handle, wait event, SynchronizeEvents) so that it never reads
// the port's memory outside a synchronised call. The port terminates it (DestroyThread) before
// it closes the handle; a thread whose wait failed forgets itself from the port on the main
// thread before it ends. Either way it deletes itself.
class TComThread : public fw::TThread {
 public:
  // Registers itself as the port's EventThread; created suspended (CreateThread starts it).
  explicit TComThread(TCustomComPort* port);

 protected:
  void Execute() override;

 private:
  friend class TCustomComPort;
  // Runs call(port) on the main thread, unless this thread has been told to stop by then.
  void WithPort(const std::function<void(TCustomComPort&)>& call);
  // Clears the port's reference to this thread (it is about to end on its own).
  void Forget();

  TCustomComPort* port_;
  plat::Platform& platform_;
  HANDLE handle_;
  OVERLAPPED overlapped_{};
  DWORD mask_ = 0;
  bool synchronizeEvents_;
  // Set on the main thread once the port no longer refers to this thread.
  std::atomic<bool> forgotten_{false};
};

}  // namespace comport
