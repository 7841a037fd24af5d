// TCustomComPort: opening and closing, the event thread and the dispatch of device events, line
// errors, and the optional text log.
//
// Threads: everything here runs on the main thread except ThreadProc and TComThread::Execute.
// The event thread keeps its own copy of what its wait needs and reaches the port only through
// TComThread::WithPort, which runs on the main thread and first checks the terminate request.
// Terminate is set only on the main thread (DestroyThread), so that check cannot race: a thread
// that was told to stop never touches its port again, even if the port is gone by then.
#include <cstring>
#include <exception>

#include "comport/comport.h"
#include "framework/sysutils.h"
#include "framework/textfile.h"

namespace comport {

// ---- Open and close ----

void TCustomComPort::SetActive(bool value) {
  if (value != GetActive() && !Designing() && !Loading()) {
    if (value) {
      Open();
    } else {
      Close();
    }
  }
  streamedActive_ = value;
}

void TCustomComPort::Loaded() {
  fw::TComponent::Loaded();
  SetActive(streamedActive_);
}

void TCustomComPort::Open() {
  if (HandleValid()) return;
  if (beforeOpen_) beforeOpen_(this);
  CreateHandle();
  if (Log()) WriteLog("Open " + deviceName_);
  WriteDeviceNotes();
  if (HandleValid() && afterOpen_) afterOpen_(this);
}

void TCustomComPort::Close() {
  // A handler running on the event thread (SynchronizeEvents false) hands the close over.
  if (eventThread_ != nullptr && eventThread_->IsCurrentThread()) {
    eventThread_->WithPort([](TCustomComPort& port) { port.Close(); });
    return;
  }
  if (!HandleValid()) return;
  if (beforeClose_) beforeClose_(this);
  FreeHandle();
  if (Log()) WriteLog("Close " + deviceName_);
  WriteDeviceNotes();
  if (!HandleValid() && afterClose_) afterClose_(this);
}

// ---- Event thread ----

void TCustomComPort::CreateThread() {
  if (eventThread_ != nullptr) return;
  TComThread* thread = nullptr;
  try {
    thread = new TComThread(this);
    thread->Start();
  } catch (const std::exception&) {
    delete thread;  // never started, so not yet free-on-terminate's business
    eventThread_ = nullptr;
    RaiseError(ekThread, 0, texts::kCreateThread);
  }
}

void TCustomComPort::DestroyThread() {
  if (eventThread_ == nullptr) return;
  // Terminate first: the wait completed by the cleared mask must find the request set.
  eventThread_->Terminate();
  if (HandleValid()) Serial().SetCommMask(handle_, 0);
  eventThread_ = nullptr;
}

void TCustomComPort::ThreadProc(TComThread* thread) {
  plat::KernelApi& kernel = thread->platform_.kernel();
  plat::SerialApi& serial = thread->platform_.serial();

  auto dispatch = [thread] {
    const DWORD mask = thread->mask_;
    // A wait completed by a changed mask delivers no bits: nothing to dispatch or log.
    if (mask == 0) return;
    auto call = [mask](TCustomComPort& port) {
      port.eventMask_ = mask;
      port.ThreadDoEvent();
    };
    if (thread->synchronizeEvents_) {
      thread->WithPort(call);
    } else if (!thread->Terminated()) {
      // Handlers run on this thread; keeping the port alive meanwhile is the caller's part.
      call(*thread->port_);
    }
  };

  const HANDLE event = thread->overlapped_.hEvent;
  std::memset(&thread->overlapped_, 0, sizeof thread->overlapped_);
  thread->overlapped_.hEvent = event;
  thread->mask_ = 0;
  // A wait that completed at once may have signalled the event too; left signalled, it would
  // end the next pending wait early and the wait after that would find one still in progress.
  kernel.ResetEvent(event);
  if (serial.WaitCommEvent(thread->handle_, &thread->mask_, &thread->overlapped_)) {
    if (!thread->Terminated()) dispatch();
    return;
  }
  const DWORD error = kernel.GetLastError();
  if (error == ERROR_IO_PENDING) {
    // Waited for even when the thread has been told to end meanwhile: the wait writes its
    // event mask into this thread's record when it ends, so the record must outlive it.
    // DestroyThread ends it at once (SetCommMask 0), as closing the handle does.
    if (kernel.WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0 && !thread->Terminated()) {
      dispatch();
    }
    return;
  }
  if (thread->Terminated()) return;
  kernel.SetLastError(0);
  // One call on the main thread reports the error, lets the port forget this thread (which
  // ends when the error comes back here) and, when the device is gone or taken, closes the
  // port; after it the thread needs nothing more from the main thread.
  thread->WithPort([thread, error](TCustomComPort& port) {
    port.threadError_ = error;
    try {
      port.RaiseThreadError();
    } catch (...) {
      if (port.eventThread_ == thread) port.eventThread_ = nullptr;
      thread->forgotten_ = true;
      if (error == ERROR_ACCESS_DENIED) port.Close();
      throw;
    }
  });
}

void TCustomComPort::ThreadDoEvent() {
  struct Row {
    DWORD bit;
    const char* text;
    TNotifyEvent TCustomComPort::*handler;  // null: the line-error row
  };
  static constexpr Row kRows[] = {
      {EV_BREAK, "Break event", &TCustomComPort::onBreak_},
      {EV_CTS, "CTSChange event", &TCustomComPort::onCTSChange_},
      {EV_DSR, "DSRChange event", &TCustomComPort::onDSRChange_},
      {EV_ERR, "LineError event", nullptr},
      {EV_EVENT1, "Event1 event", &TCustomComPort::onEvent1_},
      {EV_EVENT2, "Event2 event", &TCustomComPort::onEvent2_},
      {EV_PERR, "PrinterError event", &TCustomComPort::onPrinterError_},
      {EV_RING, "Ring event", &TCustomComPort::onRing_},
      {EV_RLSD, "RLSDChange event", &TCustomComPort::onRLSDChange_},
      {EV_RX80FULL, "Rx80PercFull event", &TCustomComPort::onRx80PercFull_},
      {EV_RXCHAR, "RxChar event", &TCustomComPort::onRxChar_},
      {EV_RXFLAG, "RxFlag event", &TCustomComPort::onRxFlag_},
      {EV_TXEMPTY, "TxEmpty event", &TCustomComPort::onTxEmpty_},
  };
  const DWORD mask = eventMask_;
  try {
    for (const Row& row : kRows) {
      if ((mask & row.bit) == 0) continue;
      WriteLog(row.text);
      if (row.handler == nullptr) {
        if (onLineError_) CheckLineErrors();
        continue;
      }
      const TNotifyEvent handler = this->*row.handler;
      if (handler) handler(this);
    }
  } catch (const fw::Exception&) {
    if (fw::Application != nullptr) fw::Application->HandleException();
  }
}

void TCustomComPort::RaiseThreadError() {
  RaiseError(ekThread, static_cast<std::int32_t>(threadError_),
             Kernel().SysErrorMessage(threadError_));
}

TComThread::TComThread(TCustomComPort* port)
    : fw::TThread(true, port->PlatformRef()),
      port_(port),
      platform_(port->PlatformRef()),
      handle_(port->handle_),
      synchronizeEvents_(port->synchronizeEvents_) {
  overlapped_.hEvent = port->waitOverlapped_.hEvent;
  port->eventThread_ = this;
  SetFreeOnTerminate(true);
  SetPriority(port->threadPriority_);
}

void TComThread::Execute() {
  try {
    while (!Terminated()) TCustomComPort::ThreadProc(this);
  } catch (...) {
    Forget();
    throw;
  }
}

void TComThread::WithPort(const std::function<void(TCustomComPort&)>& call) {
  Synchronize([this, &call] {
    if (!Terminated()) call(*port_);
  });
}

void TComThread::Forget() {
  // A terminated thread has been forgotten by the port already (DestroyThread).
  if (Terminated() || forgotten_) return;
  try {
    WithPort([this](TCustomComPort& port) {
      if (port.eventThread_ == this) port.eventThread_ = nullptr;
      forgotten_ = true;
    });
  } catch (...) {
    // Nothing can go wrong in the call itself; the thread ends either way.
  }
}

// ---- Line errors ----

TLineErrors TCustomComPort::GetLineErrors(DWORD errors) {
  static constexpr DWORD kFlags[] = {CE_BREAK, CE_DNS,  CE_FRAME,  CE_IOE,
                                     CE_MODE,  CE_OOP,  CE_OVERRUN, CE_PTO,
                                     CE_RXOVER, CE_RXPARITY, CE_TXFULL};
  static_assert(sizeof kFlags / sizeof kFlags[0] == leTxFull + 1);
  TLineErrors result;
  for (std::size_t i = 0; i < std::size(kFlags); ++i) {
    if ((errors & kFlags[i]) != 0) result.Include(static_cast<TLineError>(i));
  }
  return result;
}

void TCustomComPort::CheckLineErrors() {
  CheckActive();
  DWORD errors = 0;
  Check(Serial().ClearCommError(handle_, &errors, nullptr));
  if (errors != 0 && onLineError_) onLineError_(this, GetLineErrors(errors));
}

void TCustomComPort::ClearLineErrors() {
  CheckActive();
  DWORD errors = 0;
  Check(Serial().ClearCommError(handle_, &errors, nullptr));
}

// ---- Log ----

void TCustomComPort::WriteDeviceNotes() {
  std::vector<std::string> notes;
  notes.swap(deviceNotes_);
  for (const std::string& note : notes) WriteLog(note);
}

void TCustomComPort::WriteLog(const std::string& message, const void* data, std::int32_t count) {
  if (!Log()) return;
  std::string line = fw::DateTimeText() + " " + message;
  if (data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::int32_t i = 0; i < count; ++i) {
      if (i > 0) line += ", ";
      line += "$" + fw::IntToHex(bytes[i], 2);
    }
  }
  if (logWriter_) {
    logWriter_(line);
  } else {
    fw::AppendLine(logFile_, line);
  }
}

}  // namespace comport
