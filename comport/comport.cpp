// TCustomComPort: settings and their sub-objects, the mapping of the settings onto the device
// (DCB, queue sizes, time-outs, event mask), creation and release of the device handle, and the
// one error path every failure takes (Check, RaiseError, OnError).
#include <cstring>
#include <exception>

#include "comport/comport.h"
#include "framework/property.h"

namespace comport {

namespace {

// Rates of the TBaudRate members; brDefault and brCustom have none of their own.
constexpr std::int32_t kBaudRates[] = {0,     50,    75,    110,    134,    150,    300,
                                       600,   1200,  1800,  2000,   2400,   3600,   4800,
                                       7200,  9600,  10400, 14400,  15625,  19200,  28800,
                                       38400, 56000, 57600, 115200, 128000, 256000, 0};
static_assert(sizeof kBaudRates / sizeof kBaudRates[0] == brCustom + 1);

// DCB values of the members of each setting; the ...Default member counts as 0 when a DCB is
// read back, so it is listed first with 0.
constexpr BYTE kByteSizes[] = {0, 4, 5, 6, 7, 8, 9, 16, 16};
constexpr BYTE kParities[] = {0, NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
constexpr BYTE kStopBits[] = {0, ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};
constexpr DWORD kDtrControls[] = {0, DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE,
                                  DTR_CONTROL_HANDSHAKE};
constexpr DWORD kRtsControls[] = {0, RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE,
                                  RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};
// XON/XOFF members as the pair (fInX, fOutX): bit 0 fInX, bit 1 fOutX.
constexpr unsigned kInX = 1;
constexpr unsigned kOutX = 2;
constexpr unsigned kXOnXOffs[] = {0, 0, kInX, kOutX, kInX | kOutX};

constexpr DWORD kPriorityClasses[] = {0, IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                      HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS};

// The first member (in declaration order) whose value equals value; count when none does.
template <class T, std::size_t N>
std::size_t FirstMatch(const T (&values)[N], T value) {
  for (std::size_t i = 0; i < N; ++i) {
    if (values[i] == value) return i;
  }
  return N;
}

}  // namespace

// ---- Sub-objects ----

void TFlowControl::SetDTRControl(TDTRControl value) {
  if (fw::StoreChange(dtr_, value)) port_->SetComDCB();
}

void TFlowControl::SetRTSControl(TRTSControl value) {
  if (fw::StoreChange(rts_, value)) port_->SetComDCB();
}

void TFlowControl::SetXOnXOffControl(TXOnXOffControl value) {
  if (fw::StoreChange(xOnXOff_, value)) port_->SetComDCB();
}

void TFlowControl::SetXOnLimit(std::uint16_t value) {
  if (fw::StoreChange(xOnLimit_, value)) port_->SetComDCB();
}

void TFlowControl::SetXOffLimit(std::uint16_t value) {
  if (fw::StoreChange(xOffLimit_, value)) port_->SetComDCB();
}

void TFlowControl::Assign(const fw::TPersistent& source) {
  const auto* other = dynamic_cast<const TFlowControl*>(&source);
  if (other == nullptr) {
    fw::TPersistent::Assign(source);
    return;
  }
  SetDTRControl(other->dtr_);
  SetRTSControl(other->rts_);
  SetXOnXOffControl(other->xOnXOff_);
  SetXOnLimit(other->xOnLimit_);
  SetXOffLimit(other->xOffLimit_);
}

void TCharacters::SetXOn(char value) {
  if (fw::StoreChange(xOn_, value)) port_->SetComDCB();
}

void TCharacters::SetXOff(char value) {
  if (fw::StoreChange(xOff_, value)) port_->SetComDCB();
}

void TCharacters::SetError(char value) {
  if (fw::StoreChange(error_, value)) port_->SetComDCB();
}

void TCharacters::SetEof(char value) {
  if (fw::StoreChange(eof_, value)) port_->SetComDCB();
}

void TCharacters::SetEvent(char value) {
  if (fw::StoreChange(event_, value)) port_->SetComDCB();
}

void TCharacters::Assign(const fw::TPersistent& source) {
  const auto* other = dynamic_cast<const TCharacters*>(&source);
  if (other == nullptr) {
    fw::TPersistent::Assign(source);
    return;
  }
  SetXOn(other->xOn_);
  SetXOff(other->xOff_);
  SetError(other->error_);
  SetEof(other->eof_);
  SetEvent(other->event_);
}

void TBufferSizes::SetInput(std::int32_t value) {
  if (fw::StoreChange(input_, value)) port_->SetComBufferSizes();
}

void TBufferSizes::SetOutput(std::int32_t value) {
  if (fw::StoreChange(output_, value)) port_->SetComBufferSizes();
}

std::int32_t TBufferSizes::GetMaxInput() const {
  COMMPROP properties;
  port_->GetCommProp(properties);
  return static_cast<std::int32_t>(properties.dwMaxRxQueue);
}

std::int32_t TBufferSizes::GetMaxOutput() const {
  COMMPROP properties;
  port_->GetCommProp(properties);
  return static_cast<std::int32_t>(properties.dwMaxTxQueue);
}

std::int32_t TBufferSizes::GetCurrentInput() const {
  COMMPROP properties;
  port_->GetCommProp(properties);
  return static_cast<std::int32_t>(properties.dwCurrentRxQueue);
}

std::int32_t TBufferSizes::GetCurrentOutput() const {
  COMMPROP properties;
  port_->GetCommProp(properties);
  return static_cast<std::int32_t>(properties.dwCurrentTxQueue);
}

void TBufferSizes::Assign(const fw::TPersistent& source) {
  const auto* other = dynamic_cast<const TBufferSizes*>(&source);
  if (other == nullptr) {
    fw::TPersistent::Assign(source);
    return;
  }
  SetInput(other->input_);
  SetOutput(other->output_);
}

void TTimeouts::SetReadInterval(std::int32_t value) {
  if (fw::StoreChange(readInterval_, value)) port_->SetComTimeouts();
}

void TTimeouts::SetReadMultiplier(std::int32_t value) {
  if (fw::StoreChange(readMultiplier_, value)) port_->SetComTimeouts();
}

void TTimeouts::SetReadConstant(std::int32_t value) {
  if (fw::StoreChange(readConstant_, value)) port_->SetComTimeouts();
}

void TTimeouts::SetWriteMultiplier(std::int32_t value) {
  if (fw::StoreChange(writeMultiplier_, value)) port_->SetComTimeouts();
}

void TTimeouts::SetWriteConstant(std::int32_t value) {
  if (fw::StoreChange(writeConstant_, value)) port_->SetComTimeouts();
}

void TTimeouts::Assign(const fw::TPersistent& source) {
  const auto* other = dynamic_cast<const TTimeouts*>(&source);
  if (other == nullptr) {
    fw::TPersistent::Assign(source);
    return;
  }
  SetReadInterval(other->readInterval_);
  SetReadMultiplier(other->readMultiplier_);
  SetReadConstant(other->readConstant_);
  SetWriteMultiplier(other->writeMultiplier_);
  SetWriteConstant(other->writeConstant_);
}

// ---- Construction and destruction ----

TCustomComPort::TCustomComPort(fw::TComponent* owner, plat::Platform& platform)
    : fw::TComponent(owner), platform_(platform) {
  flowControl_ = new TFlowControl(this);
  characters_ = new TCharacters(this);
  bufferSizes_ = new TBufferSizes(this);
  timeouts_ = new TTimeouts(this);
}

TCustomComPort::~TCustomComPort() {
  // Siblings that refer to this port (signal indicators) let go while it is still whole.
  BeforeDestruction();
  StopNotification();
  try {
    Close();
  } catch (...) {
    // A Before/AfterClose handler or the log failed: nobody can be told from a destructor,
    // but the device, its events and the event thread must not outlive the port.
    FreeHandle();
  }
  delete timeouts_;
  delete bufferSizes_;
  delete characters_;
  delete flowControl_;
}

// ---- Properties ----

bool TCustomComPort::GetActive() const {
  if (Designing()) return streamedActive_;
  return HandleValid();
}

void TCustomComPort::CheckActive() const {
  if (!GetActive()) RaiseError(ekNotOpen, 0, texts::kClosedPort);
}

void TCustomComPort::CheckInactive() const {
  if (!Designing() && GetActive()) RaiseError(ekStillOpen, 0, texts::kOpenPort);
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
  if (fw::StoreChange(baudRate_, value)) SetComDCB();
}

std::int32_t TCustomComPort::GetCustomBaudRate() const {
  if (baudRate_ == brCustom) return customBaudRateValue_;
  return kBaudRates[baudRate_];
}

void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
  if (!fw::StoreChange(customBaudRateValue_, value)) return;
  baudRate_ = brCustom;
  SetComDCB();
}

void TCustomComPort::SetDataBits(TDataBits value) {
  if (fw::StoreChange(dataBits_, value)) SetComDCB();
}

void TCustomComPort::SetParity(TParity value) {
  if (fw::StoreChange(parity_, value)) SetComDCB();
}

void TCustomComPort::SetStopBits(TStopBits value) {
  if (fw::StoreChange(stopBits_, value)) SetComDCB();
}

void TCustomComPort::SetOptions(TOptions value) {
  if (fw::StoreChange(options_, value)) SetComDCB();
}

void TCustomComPort::SetDeviceName(const std::string& value) {
  if (value == deviceName_) return;
  CheckInactive();
  deviceName_ = value;
}

void TCustomComPort::SetPriorityClass(TPriorityClass value) {
  if (value == priorityClass_) return;
  CheckInactive();
  priorityClass_ = value;
}

void TCustomComPort::SetSynchronizeEvents(bool value) {
  if (value == synchronizeEvents_) return;
  CheckInactive();
  synchronizeEvents_ = value;
}

void TCustomComPort::SetThreadPriority(TThreadPriority value) {
  if (fw::StoreChange(threadPriority_, value) && eventThread_ != nullptr) {
    eventThread_->SetPriority(value);
  }
}

template <class H>
void TCustomComPort::SetDeviceEvent(H& slot, const H& handler) {
  if (slot.SameCode(handler)) return;
  slot = handler;
  SetComEventMask();
}

void TCustomComPort::SetOnBreak(TNotifyEvent h) { SetDeviceEvent(onBreak_, h); }
void TCustomComPort::SetOnCTSChange(TNotifyEvent h) { SetDeviceEvent(onCTSChange_, h); }
void TCustomComPort::SetOnDSRChange(TNotifyEvent h) { SetDeviceEvent(onDSRChange_, h); }
void TCustomComPort::SetOnEvent1(TNotifyEvent h) { SetDeviceEvent(onEvent1_, h); }
void TCustomComPort::SetOnEvent2(TNotifyEvent h) { SetDeviceEvent(onEvent2_, h); }
void TCustomComPort::SetOnLineError(TLineErrorEvent h) { SetDeviceEvent(onLineError_, h); }
void TCustomComPort::SetOnPrinterError(TNotifyEvent h) { SetDeviceEvent(onPrinterError_, h); }
void TCustomComPort::SetOnRing(TNotifyEvent h) { SetDeviceEvent(onRing_, h); }
void TCustomComPort::SetOnRLSDChange(TNotifyEvent h) { SetDeviceEvent(onRLSDChange_, h); }
void TCustomComPort::SetOnRx80PercFull(TNotifyEvent h) { SetDeviceEvent(onRx80PercFull_, h); }
void TCustomComPort::SetOnRxChar(TNotifyEvent h) { SetDeviceEvent(onRxChar_, h); }
void TCustomComPort::SetOnRxFlag(TNotifyEvent h) { SetDeviceEvent(onRxFlag_, h); }
void TCustomComPort::SetOnTxEmpty(TNotifyEvent h) { SetDeviceEvent(onTxEmpty_, h); }

// ---- Settings onto the device ----

void TCustomComPort::CopyDCB(DCB& dcb, bool toDevice) {
  if (toDevice) {
    if (baudRate_ != brDefault) dcb.BaudRate = static_cast<DWORD>(GetCustomBaudRate());
    if (dataBits_ != dbDefault) dcb.ByteSize = kByteSizes[dataBits_];
    if (parity_ != paDefault) dcb.Parity = kParities[parity_];
    if (stopBits_ != sbDefault) dcb.StopBits = kStopBits[stopBits_];
    dcb.XonChar = characters_->XOn();
    dcb.XoffChar = characters_->XOff();
    dcb.ErrorChar = characters_->Error();
    dcb.EofChar = characters_->Eof();
    dcb.EvtChar = characters_->Event();
    if (flowControl_->DTR() != dcDefault) dcb.fDtrControl = kDtrControls[flowControl_->DTR()];
    if (flowControl_->RTS() != rcDefault) dcb.fRtsControl = kRtsControls[flowControl_->RTS()];
    if (flowControl_->XOnXOff() != xcDefault) {
      const unsigned pair = kXOnXOffs[flowControl_->XOnXOff()];
      dcb.fInX = (pair & kInX) != 0;
      dcb.fOutX = (pair & kOutX) != 0;
    }
    dcb.XonLim = flowControl_->XOnLimit();
    dcb.XoffLim = flowControl_->XOffLimit();
    dcb.fParity = options_.Contains(opCheckParity);
    dcb.fOutxCtsFlow = options_.Contains(opOutputCTSFlow);
    dcb.fOutxDsrFlow = options_.Contains(opOutputDSRFlow);
    dcb.fDsrSensitivity = options_.Contains(opDSRSensitivity);
    dcb.fTXContinueOnXoff = options_.Contains(opTXContinueOnXOff);
    dcb.fErrorChar = options_.Contains(opUseErrorChar);
    dcb.fNull = options_.Contains(opDiscardNullBytes);
    dcb.fAbortOnError = options_.Contains(opAbortOnError);
    dcb.fBinary = 1;
    return;
  }

  // Device to settings. A rate never maps back to a member: it becomes brCustom unless it
  // equals the stored custom rate.
  SetCustomBaudRate(static_cast<std::int32_t>(dcb.BaudRate));
  if (std::size_t i = FirstMatch(kByteSizes, dcb.ByteSize); i < std::size(kByteSizes)) {
    dataBits_ = static_cast<TDataBits>(i);
  }
  if (std::size_t i = FirstMatch(kParities, dcb.Parity); i < std::size(kParities)) {
    parity_ = static_cast<TParity>(i);
  }
  if (std::size_t i = FirstMatch(kStopBits, dcb.StopBits); i < std::size(kStopBits)) {
    stopBits_ = static_cast<TStopBits>(i);
  }
  characters_->SetXOn(dcb.XonChar);
  characters_->SetXOff(dcb.XoffChar);
  characters_->SetError(dcb.ErrorChar);
  characters_->SetEof(dcb.EofChar);
  characters_->SetEvent(dcb.EvtChar);
  if (std::size_t i = FirstMatch(kDtrControls, static_cast<DWORD>(dcb.fDtrControl));
      i < std::size(kDtrControls)) {
    flowControl_->dtr_ = static_cast<TDTRControl>(i);
  }
  if (std::size_t i = FirstMatch(kRtsControls, static_cast<DWORD>(dcb.fRtsControl));
      i < std::size(kRtsControls)) {
    flowControl_->rts_ = static_cast<TRTSControl>(i);
  }
  const unsigned pair = (dcb.fInX ? kInX : 0u) | (dcb.fOutX ? kOutX : 0u);
  flowControl_->xOnXOff_ = static_cast<TXOnXOffControl>(FirstMatch(kXOnXOffs, pair));
  flowControl_->SetXOnLimit(dcb.XonLim);
  flowControl_->SetXOffLimit(dcb.XoffLim);
  TOptions options;
  if (dcb.fParity) options.Include(opCheckParity);
  if (dcb.fOutxCtsFlow) options.Include(opOutputCTSFlow);
  if (dcb.fOutxDsrFlow) options.Include(opOutputDSRFlow);
  if (dcb.fDsrSensitivity) options.Include(opDSRSensitivity);
  if (dcb.fTXContinueOnXoff) options.Include(opTXContinueOnXOff);
  if (dcb.fErrorChar) options.Include(opUseErrorChar);
  if (dcb.fNull) options.Include(opDiscardNullBytes);
  if (dcb.fAbortOnError) options.Include(opAbortOnError);
  options_ = options;
}

void TCustomComPort::SetComDCB() {
  if (!Applicable()) return;
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  Check(Serial().GetCommState(handle_, &dcb));
  CopyDCB(dcb, true);
  Check(Serial().SetCommState(handle_, &dcb));
}

void TCustomComPort::SetComBufferSizes() {
  if (!Applicable()) return;
  if (bufferSizes_->Input() == -1 || bufferSizes_->Output() == -1) return;
  Check(Serial().SetupComm(handle_, static_cast<DWORD>(bufferSizes_->Input()),
                           static_cast<DWORD>(bufferSizes_->Output())));
}

void TCustomComPort::SetComTimeouts() {
  if (!Applicable()) return;
  COMMTIMEOUTS timeouts{};
  Check(Serial().GetCommTimeouts(handle_, &timeouts));
  timeouts.ReadIntervalTimeout = static_cast<DWORD>(timeouts_->ReadInterval());
  timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(timeouts_->ReadMultiplier());
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(timeouts_->ReadConstant());
  timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts_->WriteMultiplier());
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts_->WriteConstant());
  Check(Serial().SetCommTimeouts(handle_, &timeouts));
}

void TCustomComPort::SetComEventMask() {
  if (!Applicable()) return;
  DWORD mask = 0;
  if (onBreak_) mask |= EV_BREAK;
  if (onCTSChange_) mask |= EV_CTS;
  if (onDSRChange_) mask |= EV_DSR;
  if (onLineError_) mask |= EV_ERR;
  if (onEvent1_) mask |= EV_EVENT1;
  if (onEvent2_) mask |= EV_EVENT2;
  if (onPrinterError_) mask |= EV_PERR;
  if (onRing_) mask |= EV_RING;
  if (onRLSDChange_) mask |= EV_RLSD;
  if (onRx80PercFull_) mask |= EV_RX80FULL;
  if (onRxChar_) mask |= EV_RXCHAR;
  if (onRxFlag_) mask |= EV_RXFLAG;
  if (onTxEmpty_) mask |= EV_TXEMPTY;
  if (mask == 0) DestroyThread();
  Check(Serial().SetCommMask(handle_, mask));
  if (mask != 0) CreateThread();
}

// ---- Handle ----

void TCustomComPort::CreateHandle() {
  FreeHandle();
  Kernel().SetLastError(0);
  try {
    if (priorityClass_ != pcDefault) {
      // A platform without priority classes reports 0: then there is nothing to restore.
      const DWORD current = System().GetPriorityClass();
      if (current != 0) savedPriorityClass_ = static_cast<std::int32_t>(current);
      if (!System().SetPriorityClass(kPriorityClasses[priorityClass_])) {
        Kernel().SetLastError(0);  // ignored, and must not colour a later Check
      }
    }
    std::memset(&waitOverlapped_, 0, sizeof waitOverlapped_);
    waitOverlapped_.hEvent = Kernel().CreateEventA(FALSE, FALSE);
    Check(waitOverlapped_.hEvent != nullptr);
    readEvent_ = Kernel().CreateEventA(TRUE, TRUE);
    Check(readEvent_ != nullptr);
    writeEvent_ = Kernel().CreateEventA(TRUE, TRUE);
    Check(writeEvent_ != nullptr);
    const HANDLE device = Serial().CreateFileA(deviceName_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                               0, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED);
    Check(device != INVALID_HANDLE_VALUE, ekOpenFailed);
    handle_ = device;
    deviceNotes_ = Serial().LastDeviceNotes();
    PurgeInput();
    PurgeOutput();
    SetComBufferSizes();
    SetComDCB();
    SetComTimeouts();
    SetComEventMask();
  } catch (...) {
    FreeHandle();
    throw;
  }
}

void TCustomComPort::FreeHandle() {
  DestroyThread();
  if (HandleValid()) {
    Serial().CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    deviceNotes_ = Serial().LastDeviceNotes();
  }
  if (writeEvent_ != nullptr) {
    Kernel().CloseEvent(writeEvent_);
    writeEvent_ = nullptr;
  }
  if (readEvent_ != nullptr) {
    Kernel().CloseEvent(readEvent_);
    readEvent_ = nullptr;
  }
  if (waitOverlapped_.hEvent != nullptr) {
    Kernel().CloseEvent(waitOverlapped_.hEvent);
    waitOverlapped_.hEvent = nullptr;
  }
  // Nothing is in flight any more: no completion may be logged from the old buffers.
  readCount_ = 0;
  writeCount_ = 0;
  if (savedPriorityClass_ != -1) {
    System().SetPriorityClass(static_cast<DWORD>(savedPriorityClass_));
    savedPriorityClass_ = -1;
  }
}

// ---- Errors ----

void TCustomComPort::Check(bool succeeded, TComErrorKind kind) const {
  if (succeeded) return;
  const DWORD code = Kernel().GetLastError();
  if (code == ERROR_SUCCESS || code == ERROR_IO_PENDING) return;
  Kernel().SetLastError(0);
  RaiseError(kind, static_cast<std::int32_t>(code), Kernel().SysErrorMessage(code));
}

void TCustomComPort::RaiseError(TComErrorKind kind, std::int32_t code,
                                const std::string& message) const {
  EComError error(kind, code, message);
  TComAction action = caFail;
  if (onError_) onError_(const_cast<TCustomComPort*>(this), error, action);
  if (action == caAbort) throw fw::EAbort();
  throw error;
}

}  // namespace comport
