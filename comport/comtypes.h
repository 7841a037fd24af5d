// The serial port component's enumerations, sets, exception and handler types.
//
// Enumerations are one byte wide with their members in declaration order, first member 0; a
// `...Default` member means "leave the device's (or the process's) current value alone". Sets
// hold member n at bit n.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/closure.h"
#include "framework/exceptions.h"
#include "framework/object.h"
#include "framework/set.h"
#include "framework/thread.h"

namespace comport {

enum TBaudRate : std::uint8_t {
  brDefault, br50, br75, br110, br134_5, br150, br300, br600, br1200, br1800, br2000, br2400,
  br3600, br4800, br7200, br9600, br10400, br14400, br15625, br19200, br28800, br38400, br56000,
  br57600, br115200, br128000, br256000, brCustom
};
enum TDataBits : std::uint8_t { dbDefault, db4, db5, db6, db7, db8, db9, db16, db16x };
enum TParity : std::uint8_t { paDefault, paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sbDefault, sb1, sb1_5, sb2 };
enum TOption : std::uint8_t {
  opCheckParity, opOutputCTSFlow, opOutputDSRFlow, opDSRSensitivity, opTXContinueOnXOff,
  opUseErrorChar, opDiscardNullBytes, opAbortOnError
};
enum TDTRControl : std::uint8_t { dcDefault, dcDisable, dcEnable, dcHandshake };
enum TRTSControl : std::uint8_t { rcDefault, rcDisable, rcEnable, rcHandshake, rcToggle };
enum TXOnXOffControl : std::uint8_t { xcDefault, xcDisable, xcInput, xcOutput, xcInputOutput };
enum TPriorityClass : std::uint8_t { pcDefault, pcIdle, pcNormal, pcHigh, pcRealTime };
enum TLineError : std::uint8_t {
  leBreak, leDeviceNotSelected, leFrame, leIO, leMode, leOutOfPaper, leOverrun, leDeviceTimeOut,
  leRxOverflow, leParity, leTxFull
};
enum TModemStatusValue : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
enum TComAction : std::uint8_t { caFail, caAbort };
using TThreadPriority = fw::TThreadPriority;
using fw::tpHigher;
using fw::tpHighest;
using fw::tpIdle;
using fw::tpLower;
using fw::tpLowest;
using fw::tpNormal;
using fw::tpTimeCritical;

// Capabilities reported by the driver.
enum TSettableParameter : std::uint8_t {
  spParity, spParityCheck, spBaudRate, spDataBits, spStopBits, spHandShaking, spRLSD
};
enum TCapability : std::uint8_t {
  caDtrDsr, caRtsCts, caRLSD, caParityCheck, caXOnXOff, caSettableXChar, caTotalTimeouts,
  caIntervalTimeouts, caSpecialChars, ca16BitMode
};

using TOptions = fw::TSet<TOption, 8>;
using TLineErrors = fw::TSet<TLineError, 16>;
using TModemStatus = fw::TSet<TModemStatusValue, 8>;
using TSettableParameters = fw::TSet<TSettableParameter, 8>;
using TCapabilities = fw::TSet<TCapability, 16>;
using TBaudRates = fw::TSet<TBaudRate, 32>;
using TSettableParity = fw::TSet<TParity, 8>;
using TSettableStopBits = fw::TSet<TStopBits, 8>;
using TSettableDataBits = fw::TSet<TDataBits, 16>;
using TBytes = std::vector<std::uint8_t>;

// What an EComError reports, so that a caller can tell failures apart without reading texts.
enum TComErrorKind {
  ekNotOpen,         // the operation needs an open port (code 0)
  ekStillOpen,       // the operation needs a closed port (code 0)
  ekOpenFailed,      // the device could not be opened (the platform's code)
  ekTimeout,         // a transfer ended with fewer bytes than asked (code 0)
  ekNegativeLength,  // Read or Write with a length below 0 (code 0)
  ekThread,          // the event thread could not start (code 0) or its wait failed (its code)
  ekSystemCall       // another platform call failed (the platform's code)
};

// The component's exception: its kind, a platform error code (0 for the component's own
// errors) and text.
class EComError : public fw::Exception {
 public:
  EComError(TComErrorKind kind, std::int32_t code, std::string message)
      : fw::Exception(std::move(message)), kind_(kind), errorCode_(code) {}
  TComErrorKind Kind() const { return kind_; }
  std::int32_t ErrorCode() const { return errorCode_; }

 private:
  TComErrorKind kind_;
  std::int32_t errorCode_;
};

class TCustomComPort;

// Handler types: a method bound to an object; assigned when its code part is set.
using TNotifyEvent = fw::TNotifyEvent;
using TOpenCloseEvent = fw::Closure<void(TCustomComPort* ComPort)>;
using TReadWriteEvent = fw::Closure<void(fw::TObject* Sender, const void* Buffer,
                                         std::int32_t Length, bool WaitOnCompletion)>;
using TComErrorEvent =
    fw::Closure<void(TCustomComPort* ComPort, EComError& E, TComAction& Action)>;
using TLineErrorEvent = fw::Closure<void(fw::TObject* Sender, TLineErrors LineErrors)>;
using TDeviceArrivalEvent =
    fw::Closure<void(fw::TObject* Sender, const std::string& DeviceName)>;
using TDeviceRemovedEvent =
    fw::Closure<void(fw::TObject* Sender, const std::string& DeviceName)>;

// The component's own error texts.
namespace texts {
inline constexpr const char* kClosedPort = "Can't perform this operation on a closed port";
inline constexpr const char* kOpenPort = "Can't perform this operation on an open port";
inline constexpr const char* kCreateThread = "Can't create thread";
inline constexpr const char* kTimeout = "Timeout";
inline constexpr const char* kNegativeLength = "Can't transfer a negative number of bytes";
}  // namespace texts

}  // namespace comport
